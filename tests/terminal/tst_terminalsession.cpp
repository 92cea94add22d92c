// The terminal as a trader starts it: the main window with the charting module loaded from the
// plug-in folder, driven with keys and the mouse the way a person drives it.

#include "hostwindow.h"
#include "terminalsession.h"
#include "terminalwindow.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

TerminalSession::Options sessionOptions()
{
    TerminalSession::Options options;
    options.history = false;
    options.pluginFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    options.simulate = false;
    return options;
}

} // namespace

class TestTerminalSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void chartShortcutWorksFromTheStart();
    void windowStatesComeBackAfterRestart();

private:
    QTemporaryDir m_dir;
};

void TestTerminalSession::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "terminalsession.ini");
}

// Alt+C asks for an instrument to chart before anybody has opened the chart menu.
void TestTerminalSession::chartShortcutWorksFromTheStart()
{
    TerminalSession session;
    TerminalSession::Options options = sessionOptions();
    options.workspace = false;
    session.start(options);
    QWidget *main = session.window();
    QVERIFY(main);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));

    QString asked;
    QTimer::singleShot(0, this, [&asked] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            asked = dialog->windowTitle();
            dialog->reject();
        }
    });
    QTest::keyClick(main, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(asked, QStringLiteral("Выбор инструмента для открытия окна 'Тех. анализ'"));
    QVERIFY(session.windows().windows().isEmpty());
    session.stop();
}

// A chart window maximised at exit comes back maximised within the window area, with the
// geometry it had before it was maximised, and titled after its instrument as it was; a
// minimised one comes back minimised.
void TestTerminalSession::windowStatesComeBackAfterRestart()
{
    struct Shown
    {
        QString title;
        QRect normal;
    };
    QList<Shown> before;
    const auto frameOf = [](HostWindow *window) {
        return qobject_cast<QMdiSubWindow *>(window->parentWidget());
    };
    {
        TerminalSession session;
        session.start(sessionOptions());
        QVERIFY(session.openChart(QStringLiteral("2,2,2001")));
        QVERIFY(session.openChart(QStringLiteral("2,2,2002")));
        const QList<HostWindow *> windows = session.windows().windows();
        QCOMPARE(windows.size(), 2);
        const QList<QRect> normal{{30, 20, 700, 450}, {90, 60, 640, 400}};
        for (int i = 0; i < 2; ++i) {
            QMdiSubWindow *frame = frameOf(windows[i]);
            QVERIFY(frame);
            frame->setGeometry(normal[i]);
            before.append({frame->windowTitle(), normal[i]});
        }
        frameOf(windows[1])->showMinimized();
        frameOf(windows[0])->showMaximized();
        QCoreApplication::processEvents();
        QVERIFY(frameOf(windows[0])->isMaximized());
        QVERIFY(frameOf(windows[1])->isMinimized());
        session.stop();
    }
    QVERIFY2(before[0].title.startsWith(QStringLiteral("Арктик Нефть ао")), qPrintable(before[0].title));

    TerminalSession session;
    session.start(sessionOptions());
    const QList<HostWindow *> windows = session.windows().windows();
    QCOMPARE(windows.size(), 2);
    QCoreApplication::processEvents();
    QMdiSubWindow *maximised = frameOf(windows[0]);
    QMdiSubWindow *minimised = frameOf(windows[1]);
    QVERIFY(maximised && minimised);
    QMdiArea *area = maximised->mdiArea();
    QCOMPARE(maximised->windowTitle(), before[0].title);
    QCOMPARE(minimised->windowTitle(), before[1].title);
    QVERIFY(maximised->isMaximized());
    QVERIFY(minimised->isMinimized());
    // The whole window within the area: nothing cut off, nothing to scroll to.
    QVERIFY2(area->viewport()->rect().contains(maximised->geometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(maximised->x()).arg(maximised->y())
                            .arg(maximised->width()).arg(maximised->height())));
    QVERIFY(!area->horizontalScrollBar()->isVisible());
    QVERIFY(!area->verticalScrollBar()->isVisible());
    // Back to normal: where and as large as each was before.
    maximised->showNormal();
    minimised->showNormal();
    QCOMPARE(maximised->geometry(), before[0].normal);
    QCOMPARE(minimised->geometry(), before[1].normal);
    session.stop();
}

TA_REGISTER_TEST(TestTerminalSession)
#include "tst_terminalsession.moc"
