// The whole product as a trader uses it, through the real terminal and the real plug-in module
// with the local history service: two chart windows, frames switched, indicators added from
// the selector, drawings made with the mouse, the items manager and a property dialog, the
// workspace saved; then a fresh start of the terminal must bring back every window as it was,
// pixel for pixel.
//
// Each run of the terminal is a process of its own (this executable with -class
// TestTraderSession), so that the second start really starts from the saved files. The
// plug-in's classes live in the loaded module: the runs reach its widgets and actions through
// Qt's object tree, class names and texts, as a person reaches them through the screen.
#include "appsettings.h"
#include "hostwindow.h"
#include "referencedata.h"
#include "terminalsession.h"
#include "testregistry.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <functional>

namespace {

const QString First = QStringLiteral("2,2,2001");
const QString Second = QStringLiteral("1,1,1001");
const QColor MacdColour(0xff, 0x80, 0x00);

QString scenarioDir()
{
    return qEnvironmentVariable("TA_SCENARIO_DIR");
}

bool isA(const QObject *object, const char *className)
{
    return object && object->metaObject()->className() == QByteArray(className);
}

QAction *actionNamed(QWidget *window, const QString &text)
{
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Runs `act` on the first modal dialog of the class that shows, from the event loop, while
// the test is blocked in whatever opened it.
void whenModal(const char *className, const std::function<void(QDialog *)> &act, bool *seen)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (isA(dialog, className)) {
            timer->stop();
            timer->deleteLater();
            *seen = true;
            act(dialog);
        } else if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

QImage picture(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Waits until the window looks the same four times in a row, a quarter of a second apart:
// history downloaded, bars filled, indicators computed.
QImage settledPicture(QWidget *widget, int timeoutMs = 60000)
{
    QImage last = picture(widget);
    int same = 0;
    QElapsedTimer clock;
    clock.start();
    while (same < 4 && clock.elapsed() < timeoutMs) {
        QTest::qWait(250);
        const QImage now = picture(widget);
        same = now == last ? same + 1 : 0;
        last = now;
    }
    return last;
}

void mouse(QWidget *viewport, QEvent::Type type, const QPoint &point, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, viewport->mapToGlobal(point), button, buttons, {});
    QCoreApplication::sendEvent(viewport, &event);
}

void clickTwice(QWidget *viewport, const QPoint &first, const QPoint &second)
{
    mouse(viewport, QEvent::MouseButtonPress, first, Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, first, Qt::NoButton);
    mouse(viewport, QEvent::MouseMove, second, Qt::NoButton);
    mouse(viewport, QEvent::MouseButtonPress, second, Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, second, Qt::NoButton);
}

int rowWithText(QAbstractItemModel *model, int column, const QString &text)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->data(model->index(row, column)).toString() == text)
            return row;
    }
    return -1;
}

TerminalSession::Options sessionOptions()
{
    TerminalSession::Options options;
    options.historyUrl = qEnvironmentVariable("TA_SCENARIO_HDX");
    options.pluginFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    options.simulate = false;
    return options;
}

void savePictures(TerminalSession &session, const QString &prefix)
{
    const QList<HostWindow *> windows = session.windows().windows();
    for (int i = 0; i < windows.size(); ++i) {
        // What is selected is not kept with the workspace (its name shows in bold).
        for (QGraphicsView *view : windows.at(i)->findChildren<QGraphicsView *>()) {
            if (view->scene())
                view->scene()->clearSelection();
        }
        const QImage image = settledPicture(windows.at(i));

        QVERIFY2(image.save(QDir(scenarioDir()).filePath(QStringLiteral("%1-%2.png").arg(prefix).arg(i))),
                 "step: keep a snapshot of each window");
    }
}

} // namespace

// One start of the terminal, as a trader works with it. Run by TestScenario only.
class TestTraderSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstRun();
    void secondRun();

private:
    void workInWindow(QWidget *window, bool drawAndManage);
};

void TestTraderSession::init()
{
    if (scenarioDir().isEmpty())
        QSKIP("runs inside the scenario only");
    QString error;
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
    TerminalSession::seedSchedules();
}

void TestTraderSession::workInWindow(QWidget *window, bool drawAndManage)
{
    // Frames: 1 min, then 1 h, then 1 day, each through the window's tool bar.
    for (const char *frame : {"1 мин", "1 ч", "1 дн"}) {
        QAction *action = actionNamed(window, QString::fromUtf8(frame));
        QVERIFY2(action, qPrintable(QStringLiteral("step: time frame %1 offered").arg(QString::fromUtf8(frame))));
        action->trigger();
        settledPicture(window, 20000);
        QVERIFY2(action->isChecked(), qPrintable(QStringLiteral("step: time frame %1 taken").arg(QString::fromUtf8(frame))));
    }

    // RSI and MACD from the indicator selector.
    QAction *addStudy = actionNamed(window, QStringLiteral("Добавить индикатор"));
    QVERIFY2(addStudy && addStudy->isEnabled(), "step: the add-indicator command");
    bool seen = false;
    whenModal("StudySelector", [](QDialog *selector) {
        auto *list = selector->findChild<QTreeView *>(QStringLiteral("studiesView"));
        QAbstractItemModel *model = list->model();
        list->selectionModel()->clearSelection();
        for (const char *name : {"RSI", "MACD"}) {
            const int row = rowWithText(model, 0, QString::fromLatin1(name));
            if (row >= 0)
                list->selectionModel()->select(model->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        list->selectionModel()->setCurrentIndex(
            model->index(rowWithText(model, 0, QStringLiteral("MACD")), 0), QItemSelectionModel::NoUpdate);
        selector->accept();
    }, &seen);
    addStudy->trigger();
    QVERIFY2(seen, "step: the indicator selector shows");
    settledPicture(window, 20000);

    if (!drawAndManage)
        return;
    // A trend line and Fibonacci levels, drawn with the mouse on the price pane.
    // The price pane: the topmost pane on screen.
    QGraphicsView *pane = nullptr;
    for (QGraphicsView *view : window->findChildren<QGraphicsView *>()) {
        if (isA(view, "GraphicsView") && view->isVisible()
            && (!pane || view->mapTo(window, QPoint()).y() < pane->mapTo(window, QPoint()).y()))
            pane = view;
    }
    QVERIFY2(pane, "step: the price pane");
    QWidget *viewport = pane->viewport();
    const QRect area = viewport->rect();
    for (const auto &[tool, from, to] :
         {std::tuple{"Линия тренда", QPoint(area.width() * 3 / 10, area.height() * 3 / 4),
                     QPoint(area.width() * 7 / 10, area.height() / 4)},
          std::tuple{"Уровни Фибоначчи", QPoint(area.width() / 2, area.height() * 4 / 5),
                     QPoint(area.width() * 4 / 5, area.height() / 5)}}) {
        QAction *action = actionNamed(window, QString::fromUtf8(tool));
        QVERIFY2(action, qPrintable(QStringLiteral("step: the tool %1").arg(QString::fromUtf8(tool))));
        action->trigger();
        clickTwice(viewport, from, to);
        QVERIFY2(!action->isChecked(), qPrintable(QStringLiteral("step: %1 drawn").arg(QString::fromUtf8(tool))));
    }

    // The items manager: RSI hidden, MACD's colour changed in its property dialog.
    QAction *manager = actionNamed(window, QStringLiteral("Менеджер объектов"));
    QVERIFY2(manager && manager->isEnabled(), "step: the items manager command");
    bool managerSeen = false;
    bool propertiesSeen = false;
    int drawingRows = -1;
    int hiddenRow = -1;
    whenModal("ItemsManager", [&](QDialog *dialog) {
        auto *tabs = dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        auto *studies = dialog->findChild<QTreeView *>(QStringLiteral("studiesView"));
        auto *drawings = dialog->findChild<QTreeView *>(QStringLiteral("drawingsView"));
        drawingRows = drawings->model()->rowCount();
        QAbstractItemModel *model = studies->model();
        hiddenRow = rowWithText(model, 1, QStringLiteral("RSI"));
        if (hiddenRow >= 0)
            model->setData(model->index(hiddenRow, 2), Qt::Unchecked, Qt::CheckStateRole);
        tabs->setCurrentIndex(1);
        const int macd = rowWithText(model, 1, QStringLiteral("MACD"));
        studies->selectionModel()->select(model->index(macd, 0), QItemSelectionModel::ClearAndSelect
                                                                     | QItemSelectionModel::Rows);
        whenModal("StudyItemPropertyDialog", [&](QDialog *properties) {
            auto *styles = properties->findChild<QTableWidget *>(QStringLiteral("stylesTable"));
            if (styles && styles->rowCount() > 0)
                styles->cellWidget(0, 2)->setProperty("color", MacdColour);
            properties->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        }, &propertiesSeen);
        dialog->findChild<QAbstractButton *>(QStringLiteral("propertiesButton"))->click();
        dialog->findChild<QAbstractButton *>(QStringLiteral("closeButton"))->click();
    }, &managerSeen);
    manager->trigger();
    QVERIFY2(managerSeen, "step: the items manager shows");
    QCOMPARE(drawingRows, 2);
    QVERIFY2(hiddenRow >= 0, "step: RSI listed in the manager");
    QVERIFY2(propertiesSeen, "step: MACD's property dialog shows");
}

void TestTraderSession::firstRun()
{
    // New charts show the last four months, as the demo's --chart-days sets it.
    AppSettings(QStringLiteral("TechAnalysis/SeriesDefaultProperty"))
        .setValue(QStringLiteral("daysBack"), 120);
    TerminalSession session;
    session.start(sessionOptions());
    QVERIFY2(session.openChart(First) && session.openChart(Second), "step: open two chart windows");
    const QList<HostWindow *> windows = session.windows().windows();
    QCOMPARE(windows.size(), 2);
    for (HostWindow *window : windows)
        settledPicture(window);
    workInWindow(windows.at(0), true);
    if (QTest::currentTestFailed())
        return;
    workInWindow(windows.at(1), false);
    if (QTest::currentTestFailed())
        return;
    savePictures(session, QStringLiteral("first"));
    session.stop();
}

void TestTraderSession::secondRun()
{
    TerminalSession session;
    session.start(sessionOptions());
    QCOMPARE(session.windows().windows().size(), 2);
    savePictures(session, QStringLiteral("second"));
    session.stop();
}

// Runs the two starts and compares what they show.
class TestScenario : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void traderDaySurvivesRestart();

private:
    bool run(const char *function, QString *output);

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_url;
};

void TestScenario::initTestCase()
{
    if (!scenarioDir().isEmpty())
        QSKIP("the runs of the scenario do not start the scenario again");
    QVERIFY(m_dir.isValid());
    m_server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                   {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--reference"),
                    QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json")});
    QVERIFY2(m_server.waitForStarted() && m_server.waitForReadyRead(20000),
             "the history service did not start");
    const int port = m_server.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    m_url = QStringLiteral("http://127.0.0.1:%1").arg(port);
}

void TestScenario::cleanupTestCase()
{
    m_server.kill();
    m_server.waitForFinished();
}

bool TestScenario::run(const char *function, QString *output)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TA_SCENARIO_DIR"), m_dir.path());
    env.insert(QStringLiteral("TA_SCENARIO_HDX"), m_url);
    env.insert(QStringLiteral("TA_TERMINAL_SETTINGS"), m_dir.filePath(QStringLiteral("terminal.ini")));
    env.insert(QStringLiteral("TA_DATA_DIR"), m_dir.filePath(QStringLiteral("data")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("-class"), QStringLiteral("TestTraderSession"),
                   QString::fromLatin1(function)});
    const bool finished = process.waitForFinished(600000);
    *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void TestScenario::traderDaySurvivesRestart()
{
    QString output;
    QVERIFY2(run("firstRun", &output), qPrintable(QStringLiteral("first start:\n") + output));
    QVERIFY2(run("secondRun", &output), qPrintable(QStringLiteral("second start:\n") + output));
    const QString kept = qEnvironmentVariable("TA_TEST_IMAGES");
    for (int i = 0; i < 2; ++i) {
        const QImage before(QDir(m_dir.path()).filePath(QStringLiteral("first-%1.png").arg(i)));
        const QImage after(QDir(m_dir.path()).filePath(QStringLiteral("second-%1.png").arg(i)));
        QVERIFY2(!before.isNull() && !after.isNull(), "the snapshots were written");
        if (!kept.isEmpty()) {
            before.save(QDir(kept).filePath(QStringLiteral("scenario-window-%1.png").arg(i)));
            after.save(QDir(kept).filePath(QStringLiteral("scenario-window-%1-restored.png").arg(i)));
        }
        QCOMPARE(after.size(), before.size());
        // Pixel by pixel, so that a failure says how many differ and where.
        int differing = 0;
        QPoint firstDifference(-1, -1);
        for (int y = 0; y < before.height(); ++y) {
            for (int x = 0; x < before.width(); ++x) {
                if (before.pixel(x, y) != after.pixel(x, y) && !differing++)
                    firstDifference = QPoint(x, y);
            }
        }
        QVERIFY2(differing == 0,
                 qPrintable(QStringLiteral("window %1: %2 pixels differ after the restart, the first at "
                                           "(%3, %4)")
                                .arg(i).arg(differing).arg(firstDifference.x()).arg(firstDifference.y())));
    }
}

TA_REGISTER_TEST(TestScenario)
TA_REGISTER_TEST(TestTraderSession)
#include "tst_scenario.moc"
