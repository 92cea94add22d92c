#include "appsettings.h"
#include "colorbutton.h"
#include "confirmationdialog.h"
#include "favoritesecurities.h"
#include "favsecmodelproxyrecent.h"
#include "inputfilenamedialog.h"
#include "instrumentselectordialog.h"
#include "legibility.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "stickyscrollbar.h"
#include "table.h"
#include "testenvironment.h"
#include "visualevent.h"
#include "visualeventcenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs check on the modal dialog that the next exec() opens, once it is up. Whatever check
// leaves open is rejected, so a failed check cannot leave the test waiting in exec().
template <typename Dialog, typename Check> void whenModal(Check check)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, check] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++*tries < 500)
                return;
            timer->deleteLater();
            QFAIL("the expected dialog did not open");
        }
        timer->stop();
        timer->deleteLater();
        check(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

// QTest::keyClicks() knows only ASCII; names here are mostly Cyrillic.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

QPushButton *dialogButton(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    return box ? box->button(which) : nullptr;
}

} // namespace

class TestHostGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void colorButtonEmitsOncePerChange();
    void stickyScrollBar_data();
    void stickyScrollBar();
    void inputFileName_data();
    void inputFileName();

    void favoritesAndRecentPersist();
    void favoritesModel();
    void instrumentSelector_data();
    void instrumentSelector();
    void instrumentMenu();

    void confirmation_data();
    void confirmation();
    void visualEventsFromWorkerThreadAreBounded();

private:
    QTemporaryDir m_dir;
};

void TestHostGui::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "terminal.ini");
}

void TestHostGui::init()
{
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("terminal.ini")));
    FavoriteSecurities *store = FavoriteSecurities::instance();
    store->setFavorites({});
    // Recent keys only grow; clearing them goes through the file.
    AppSettings().remove(QStringLiteral("Favorites"));
    store->reload();
    QVERIFY(store->favorites().isEmpty());
    QVERIFY(store->recent().isEmpty());
}

// --- gui ---------------------------------------------------------------------------------

void TestHostGui::colorButtonEmitsOncePerChange()
{
    ColorButton button;
    QSignalSpy spy(&button, &ColorButton::colorChanged);
    button.setColor(Qt::red);
    button.setColor(QColor(255, 0, 0));
    QCOMPARE(spy.count(), 1);
    // Only the alpha differs: still a change.
    button.setColor(QColor(255, 0, 0, 128));
    QCOMPARE(spy.count(), 2);
    // A click opens the colour dialog with alpha; what it accepts is taken, a cancel is not.
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    whenModal<QColorDialog>([](QColorDialog *dialog) {
        QVERIFY(dialog->testOption(QColorDialog::ShowAlphaChannel));
        dialog->setCurrentColor(QColor(10, 20, 30, 40));
        dialog->accept();
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(button.color(), QColor(10, 20, 30, 40));
    whenModal<QColorDialog>([](QColorDialog *dialog) {
        dialog->setCurrentColor(Qt::green);
        dialog->reject();
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(button.color(), QColor(10, 20, 30, 40));
}

void TestHostGui::stickyScrollBar_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("newMaximum");
    QTest::addColumn<int>("expected");

    QTest::newRow("at max, range grows") << 100 << 100 << 150 << 150;
    QTest::newRow("at max, range shrinks") << 100 << 100 << 60 << 60;
    QTest::newRow("inside, range grows") << 100 << 40 << 150 << 40;
    QTest::newRow("inside, range shrinks below") << 100 << 80 << 50 << 50;
    QTest::newRow("empty range grows") << 0 << 0 << 10 << 10;
}

void TestHostGui::stickyScrollBar()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(int, newMaximum);
    QFETCH(int, expected);

    StickyScrollBar bar;
    bar.setRange(0, maximum);
    bar.setValue(value);
    QCOMPARE(bar.isMax(), value == maximum);
    QSignalSpy spy(&bar, &StickyScrollBar::sliderChanged);
    bar.setMaximum(newMaximum);
    QCOMPARE(bar.value(), expected);
    // Range and (sticky) value change together: one notification.
    QCOMPARE(spy.count(), 1);
    // Growing again keeps following only when it stood at the end.
    bar.setMaximum(newMaximum + 5);
    QCOMPARE(bar.value(), expected == newMaximum ? newMaximum + 5 : expected);
    // The user drags to the end: from then on the bar follows new bars.
    bar.triggerAction(QAbstractSlider::SliderToMaximum);
    bar.setMaximum(600);
    QCOMPARE(bar.value(), 600);
}

void TestHostGui::inputFileName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<bool>("errorShown");

    QTest::newRow("empty") << QString() << false << false;
    QTest::newRow("blank") << QStringLiteral("   ") << false << false;
    QTest::newRow("taken") << QStringLiteral("Default") << false << true;
    QTest::newRow("taken, other case") << QStringLiteral("dEfAuLt") << false << true;
    QTest::newRow("taken, with spaces") << QStringLiteral("  мой шаблон ") << false << true;
    QTest::newRow("taken, Cyrillic case") << QStringLiteral("МОЙ ШАБЛОН") << false << true;
    QTest::newRow("free") << QStringLiteral("Default 2") << true << false;
}

void TestHostGui::inputFileName()
{
    QFETCH(QString, typed);
    QFETCH(bool, okEnabled);
    QFETCH(bool, errorShown);

    InputFileNameDialog dialog;
    dialog.setText(QStringLiteral("Имя шаблона:"));
    dialog.setErrorText(QStringLiteral("Шаблон с таким именем уже есть"));
    dialog.setExceptions({ QStringLiteral("default"), QStringLiteral(" Мой шаблон") });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPushButton *ok = dialogButton(&dialog, QDialogButtonBox::Ok);
    QVERIFY(ok);
    QVERIFY(!ok->isEnabled());

    typeText(dialog.lineEdit(), typed);
    QCOMPARE(ok->isEnabled(), okEnabled);
    auto *error = dialog.findChild<QLabel *>(QStringLiteral("errorLabel"));
    QVERIFY(error);
    QCOMPARE(error->isVisible(), errorShown);
    if (errorShown)
        QCOMPARE(error->text(), QStringLiteral("Шаблон с таким именем уже есть"));
    QCOMPARE(dialog.fileName(), typed.trimmed());

    if (okEnabled) {
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
}

// --- views -------------------------------------------------------------------------------

void TestHostGui::favoritesAndRecentPersist()
{
    FavoriteSecurities *store = FavoriteSecurities::instance();
    QSignalSpy spy(store, &FavoriteSecurities::changed);
    store->addFavorite(QStringLiteral("2,2,2001"));
    store->addFavorite(QStringLiteral("1,1,1003"));
    store->addFavorite(QStringLiteral("2,2,2001"));
    QCOMPARE(spy.count(), 2);
    // The recent list is bounded; opening one again moves it to the front, listed once.
    QStringList added;
    for (int i = 1; i <= 14; ++i) {
        added.prepend(QStringLiteral("2,2,%1").arg(2000 + i));
        store->addRecent(added.first());
    }
    store->addRecent(QStringLiteral("2,2,2010"));
    added.removeOne(QStringLiteral("2,2,2010"));
    added.prepend(QStringLiteral("2,2,2010"));
    const QStringList recent = added.mid(0, FavoriteSecurities::MaxRecent);
    QCOMPARE(store->recent(), recent);
    AppSettings::syncAll();
    // Another settings file knows nothing; back on the first one the lists return.
    const QString saved = m_dir.filePath(QStringLiteral("terminal.ini"));
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("other.ini")));
    store->reload();
    QVERIFY(store->favorites().isEmpty());
    AppSettings::setFileName(saved);
    store->reload();
    QCOMPARE(store->favorites(),
        QStringList({ QStringLiteral("2,2,2001"), QStringLiteral("1,1,1003") }));
    QCOMPARE(store->recent(), recent);
    store->removeFavorite(QStringLiteral("2,2,2001"));
    store->reload();
    QCOMPARE(store->favorites(), QStringList({ QStringLiteral("1,1,1003") }));
}

void TestHostGui::favoritesModel()
{
    FavoriteSecurities *store = FavoriteSecurities::instance();
    store->setFavorites(
        { QStringLiteral("2,2,2001"), QStringLiteral("9,9,9999"), QStringLiteral("1,1,1003") });
    store->addRecent(QStringLiteral("1,1,1003")); // a favourite: listed once
    store->addRecent(QStringLiteral("garbage"));
    store->addRecent(QStringLiteral("3,4,3001"));
    // Unknown and malformed keys are left out; favourites come first, then recent ones.
    FavSecModelProxyRecent model;
    QCOMPARE(model.rowCount(), 3);
    const QModelIndex first = model.index(0, 0);
    QCOMPARE(first.data(Qt::UserRole).toString(), QStringLiteral("2,2,2001"));
    QCOMPARE(first.data(Qt::DisplayRole).toString(), QStringLiteral("ARKT — Арктик Нефть ао (EQMN)"));
    QCOMPARE(model.index(1, 0).data(Qt::UserRole).toString(), QStringLiteral("1,1,1003"));
    QCOMPARE(model.index(2, 0).data(Qt::UserRole).toString(), QStringLiteral("3,4,3001"));
    // Favourites and recent rows carry different icons.
    const QIcon star = first.data(Qt::DecorationRole).value<QIcon>();
    const QIcon clock = model.index(2, 0).data(Qt::DecorationRole).value<QIcon>();
    QVERIFY(!star.isNull() && !clock.isNull());
    QVERIFY(star.pixmap(16).toImage() != clock.pixmap(16).toImage());

    // The rows follow the store; an unknown key changes the store but not the rows.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    store->removeFavorite(QStringLiteral("2,2,2001"));
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 2);
    store->addRecent(QStringLiteral("2,2,9999"));
    QCOMPARE(resets.count(), 1);
    store->setFavorites({});

    // A renamed security shows its new name, also when the table changes on a worker thread.
    store->addFavorite(QStringLiteral("2,2,2002"));
    QThread *writer = QThread::create([] {
        Table *table = SecurityDirectory::i()->table();
        const Record record = SecurityDirectory::i()->recordById(2, 2, 2002);
        table->update(record,
            { { table->columnIndex(QStringLiteral("sec_name")),
                QStringLiteral("Каспий Строй ао") } });
    });
    writer->start();
    QVERIFY(writer->wait(5000));
    delete writer;
    QTRY_COMPARE(
        model.index(0, 0).data().toString(), QStringLiteral("KSTR — Каспий Строй ао (EQMN)"));

    QString error;
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
        qPrintable(error));
}

void TestHostGui::instrumentSelector_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("chartOnly");
    QTest::addColumn<QStringList>("keys");

    // The name of the futures contract contains the code of the share.
    QTest::newRow("code, all boards")
        << QStringLiteral("arkt") << false
        << QStringList { QStringLiteral("1,1,1003"), QStringLiteral("2,2,2001"),
               QStringLiteral("2,5,2501"), QStringLiteral("2,7,2701") };
    QTest::newRow("code, chart only")
        << QStringLiteral("ARKT") << true
        << QStringList { QStringLiteral("1,1,1003"), QStringLiteral("2,2,2001"),
               QStringLiteral("2,5,2501") };
    QTest::newRow("part of a name") << QStringLiteral(
        "ЮАНЬ") << false << QStringList { QStringLiteral("3,4,3003"), QStringLiteral("3,6,3102") };
    QTest::newRow("nothing") << QStringLiteral("zzzz") << false << QStringList();
}

void TestHostGui::instrumentSelector()
{
    QFETCH(QString, filter);
    QFETCH(bool, chartOnly);
    QFETCH(QStringList, keys);

    InstrumentSelectorDialog dialog;
    dialog.setShowChartOnly(chartOnly);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = dialog.findChild<QLineEdit *>();
    auto *view = dialog.findChild<QTableView *>();
    QVERIFY(edit && view);
    // Every code and name whole at the first size.
    const QStringList faults = legibilityFaults(&dialog, true);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));

    typeText(edit, filter);
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown.append(view->model()->index(row, 0).data(Qt::UserRole).toString());
    QCOMPARE(shown, keys);

    QPushButton *ok = dialogButton(&dialog, QDialogButtonBox::Ok);
    QCOMPARE(ok->isEnabled(), !keys.isEmpty());
    QCOMPARE(dialog.currentText(), keys.value(0));
    if (keys.size() > 1) {
        // Pick the second row by mouse, then confirm.
        const QRect cell = view->visualRect(view->model()->index(1, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(dialog.currentText(), keys.at(1));
    }
    if (!keys.isEmpty()) {
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.currentText(), keys.value(1, keys.first()));
    }
}

void TestHostGui::instrumentMenu()
{
    FavoriteSecurities *store = FavoriteSecurities::instance();
    store->setFavorites({ QStringLiteral("2,2,2001") });
    store->addRecent(QStringLiteral("3,4,3001"));

    QMenu menu;
    auto *context = new QObject;
    QStringList chosen;
    QMenu *sub = InstrumentSelectorDialog::addInstrumentSelectorToMenu(&menu,
        QStringLiteral("3,4,3001"), context, [&chosen](const QString &key) { chosen.append(key); });
    QVERIFY(sub);
    QList<QAction *> actions;
    for (QAction *a : sub->actions()) {
        if (!a->isSeparator())
            actions.append(a);
    }
    QCOMPARE(actions.size(), 3);
    QVERIFY(!actions.at(0)->isChecked());
    QVERIFY(actions.at(1)->isChecked());
    QCOMPARE(actions.at(2)->text(), QStringLiteral("Выбрать..."));

    actions.at(0)->trigger();
    QCOMPARE(chosen, QStringList({ QStringLiteral("2,2,2001") }));

    // "Выбрать..." opens the selector on the current instrument; what it returns is passed on.
    // The share, its mirror and an index have the word in their names; the first is selected,
    // Down in the filter moves to the next and Return accepts.
    whenModal<InstrumentSelectorDialog>([](InstrumentSelectorDialog *dialog) {
        QCOMPARE(dialog->currentText(), QStringLiteral("3,4,3001"));
        auto *edit = dialog->findChild<QLineEdit *>();
        edit->setFocus();
        typeText(edit, QStringLiteral("велмора"));
        QCOMPARE(dialog->currentText(), QStringLiteral("2,2,2003"));
        QTest::keyClick(edit, Qt::Key_Down);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    actions.at(2)->trigger();
    QCOMPARE(chosen.value(1), QStringLiteral("2,5,2503"));

    // Once the context is gone nothing is called.
    delete context;
    actions.at(1)->trigger();
    QCOMPARE(chosen.size(), 2);
}

void TestHostGui::confirmation_data()
{
    QTest::addColumn<bool>("asking");
    QTest::addColumn<bool>("dontAsk");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("askAfterwards");

    QTest::newRow("not asking") << false << false << false << 1 << false;
    QTest::newRow("yes, don't ask") << true << true << true << 1 << false;
    QTest::newRow("yes, ask again") << true << false << true << 1 << true;
    QTest::newRow("no, don't ask") << true << true << false << 0 << true;
    QTest::newRow("no") << true << false << false << 0 << true;
}

void TestHostGui::confirmation()
{
    QFETCH(bool, asking);
    QFETCH(bool, dontAsk);
    QFETCH(bool, answerYes);
    QFETCH(int, result);
    QFETCH(bool, askAfterwards);

    const QString key = QStringLiteral("TechAnalysis/Confirmations/askDelSubChart");
    AppSettings().remove(key);
    if (!asking)
        AppSettings().setValue(key, false);
    ConfirmationDialog dialog;
    dialog.setText(QStringLiteral("Удалить подграфик?"));
    dialog.setSettingsKey(key);
    // Not asking, nothing is shown, so nothing could close a dialog: exec() returns by itself.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &dialog, &QDialog::reject);
    guard.start(5000);
    if (asking) {
        whenModal<ConfirmationDialog>([dontAsk, answerYes](ConfirmationDialog *shown) {
            auto *box = shown->findChild<QCheckBox *>();
            QVERIFY(box && box->isVisible());
            if (dontAsk)
                QTest::mouseClick(box, Qt::LeftButton);
            QPushButton *button
                = dialogButton(shown, answerYes ? QDialogButtonBox::Yes : QDialogButtonBox::No);
            QTest::mouseClick(button, Qt::LeftButton);
        });
    }
    QCOMPARE(dialog.exec(), result);
    QVERIFY(guard.isActive());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(AppSettings().value(key, true).toBool(), askAfterwards);
}

// Events reported on a worker thread reach the centre's listeners on its own thread, and the
// centre keeps only the newest ones.
void TestHostGui::visualEventsFromWorkerThreadAreBounded()
{
    VisualEventCenter *center = VisualEventCenter::instance();
    QSignalSpy spy(center, &VisualEventCenter::eventShown);
    QThread *seenOn = nullptr;
    QObject receiver;
    connect(center, &VisualEventCenter::eventShown, &receiver,
        [&seenOn] { seenOn = QThread::currentThread(); });

    // The events are logged on the thread that reports them.
    const int count = VisualEventCenter::MaxEvents + 25;
    for (int i = 0; i < count; ++i)
        QTest::ignoreMessage(
            QtInfoMsg, qPrintable(QStringLiteral("VisualEvent::showEvent 3 %1").arg(i)));
    QThread *worker = QThread::create([count] {
        VisualEvent event;
        event.setEventType(3);
        for (int i = 0; i < count; ++i)
            event.showEvent(QString::number(i));
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;

    QTRY_COMPARE(spy.count(), count);
    QCOMPARE(seenOn, QThread::currentThread());
    QCOMPARE(spy.last().at(0).toInt(), 3);
    QCOMPARE(spy.last().at(1).toString(), QString::number(count - 1));
    QVERIFY(spy.last().at(2).toDateTime().isValid());
    const QList<VisualEventCenter::Event> events = center->events();
    QCOMPARE(events.size(), VisualEventCenter::MaxEvents);
    QCOMPARE(events.last().text, QString::number(count - 1));
    QCOMPARE(events.first().text, QString::number(25));
}

QTEST_MAIN(TestHostGui)
#include "tst_hostgui.moc"
