#include "appsettings.h"
#include "favoritesecurities.h"
#include "instrumentselectordialog.h"
#include "legibility.h"
#include "stickyscrollbar.h"
#include "testenvironment.h"
#include "visualevent.h"
#include "visualeventcenter.h"

#include <QApplication>
#include <QDialogButtonBox>
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

} // namespace

class TestHostGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void stickyScrollBar_data();
    void stickyScrollBar();

    void favoritesAndRecentPersist();
    void instrumentSelector();
    void instrumentMenu();

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
    // The user drags to the end: from then on the bar follows new bars.
    bar.triggerAction(QAbstractSlider::SliderToMaximum);
    bar.setMaximum(600);
    QCOMPARE(bar.value(), 600);
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
    // Another settings file knows nothing; back on the first one the lists return.
    AppSettings::syncAll();
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("other.ini")));
    store->reload();
    QVERIFY(store->favorites().isEmpty());
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("terminal.ini")));
    store->reload();
    QCOMPARE(store->favorites(),
        QStringList({ QStringLiteral("2,2,2001"), QStringLiteral("1,1,1003") }));
    QCOMPARE(store->recent(), recent);
}

// The selector at its first size shows every code and name whole; it filters by a part of a
// name in any case, and takes the row clicked.
void TestHostGui::instrumentSelector()
{
    InstrumentSelectorDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = dialog.findChild<QLineEdit *>();
    auto *view = dialog.findChild<QTableView *>();
    QVERIFY(edit && view);
    const QStringList faults = legibilityFaults(&dialog, true);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));

    QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    typeText(edit, QStringLiteral("zzzz"));
    QCOMPARE(view->model()->rowCount(), 0);
    QVERIFY(!ok->isEnabled());
    edit->clear();
    typeText(edit, QStringLiteral("ЮАНЬ"));
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown.append(view->model()->index(row, 0).data(Qt::UserRole).toString());
    QCOMPARE(shown, QStringList({ QStringLiteral("3,4,3003"), QStringLiteral("3,6,3102") }));
    QCOMPARE(dialog.currentText(), shown.first());
    const QRect cell = view->visualRect(view->model()->index(1, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.currentText(), shown.at(1));
}

void TestHostGui::instrumentMenu()
{
    FavoriteSecurities *store = FavoriteSecurities::instance();
    // Unknown and malformed keys are left out.
    store->setFavorites({ QStringLiteral("2,2,2001"), QStringLiteral("9,9,9999") });
    store->addRecent(QStringLiteral("garbage"));
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
    const QList<VisualEventCenter::Event> events = center->events();
    QCOMPARE(events.size(), VisualEventCenter::MaxEvents);
    QCOMPARE(events.last().text, QString::number(count - 1));
    QCOMPARE(events.first().text, QString::number(25));
}

QTEST_MAIN(TestHostGui)
#include "tst_hostgui.moc"
