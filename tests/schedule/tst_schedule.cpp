#include "appsettings.h"
#include "legibility.h"
#include "mapsettings.h"
#include "optionsdialog.h"
#include "referencedata.h"
#include "schedulestore.h"
#include "session.h"
#include "sessioneditform.h"
#include "sessionscheduledatamodel.h"
#include "sessionscheduleform.h"
#include "sessionschedulepage.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimeEdit>

namespace {

using Fields = SessionScheduleDataModel::Fields;

constexpr int Monday = 1;
constexpr int Sunday = 7;

Session at(int day, int hour, int minute, int length)
{
    return {(day - 1) * Session::MinutesPerDay + hour * 60 + minute, length};
}

SessionList weekdays(int fromHour, int fromMinute, int length)
{
    SessionList list;
    for (int day = 1; day <= 5; ++day)
        list.append(at(day, fromHour, fromMinute, length));
    return list;
}

// Stores sessions in the charting settings as the group's schedule.
void store(const char *group, const SessionList &sessions)
{
    AppSettings settings(QStringLiteral("TechAnalysis/") + QLatin1String(group));
    saveSchedule(sessions, settings);
}

// Runs fn on the modal dialog that the next statement opens.
void onNextDialog(QObject *context, std::function<void(QDialog *)> fn)
{
    QTimer::singleShot(0, context, [fn] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        fn(dialog);
    });
}

template <typename T>
T *child(QWidget *parent, const char *name)
{
    T *w = parent->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

} // namespace

class TestSchedules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void storageForm();
    void loaderRefusesBadValues_data();
    void loaderRefusesBadValues();
    void validity_data();
    void validity();
    void editorAgreesWithLoader();

    void formAddDelete();
    void formRefusesFirstRowRunningIntoNextWeek();
    void pageWritesExactlyTheShownGroups();
    void pageKeepsUnreadableGroupUntouched();
    void formForOneInstrument();

private:
    QTemporaryDir m_dir;
};

void TestSchedules::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "schedules.ini");
}

void TestSchedules::init()
{
    AppSettings().remove(QString());
}

void TestSchedules::storageForm()
{
    const SessionList sessions{at(Monday, 9, 5, 8 * 60 + 45), at(Sunday, 23, 0, 120)};
    store("Schedule_EQ", sessions);
    AppSettings settings(QStringLiteral("TechAnalysis/Schedule_EQ"));
    QCOMPARE(settings.value(QStringLiteral("sessionsCount")).toInt(), 2);
    QCOMPARE(settings.value(QStringLiteral("open_1")).toString(), QStringLiteral("1:9:5"));
    QCOMPARE(settings.value(QStringLiteral("length_1")).toString(), QStringLiteral("8:45"));
    QCOMPARE(settings.value(QStringLiteral("open_2")).toString(), QStringLiteral("7:23:0"));
    QCOMPARE(settings.value(QStringLiteral("length_2")).toString(), QStringLiteral("2:0"));
    QCOMPARE(loadSchedule(settings), sessions);
    MapSettings empty;
    QVERIFY(loadSchedule(empty).isEmpty());
    QCOMPARE(defaultSchedule(), (SessionList{{0, 1440}, {1440, 1440}, {2880, 1440},
                                             {4320, 1440}, {5760, 1440}}));
}

void TestSchedules::loaderRefusesBadValues_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("message");

    QTest::newRow("day 8") << "8:10:0" << "8:0" << "Неверное значение настройки open_1";
    QTest::newRow("not a number") << "a:10:0" << "8:0" << "Неверное значение настройки open_1";
    QTest::newRow("hour 24") << "1:24:0" << "8:0" << "Неверное значение настройки open_1";
    QTest::newRow("minute 60") << "1:10:60" << "8:0" << "Неверное значение настройки open_1";
    QTest::newRow("two parts") << "1:10" << "8:0" << "Неверное значение настройки open_1";
    QTest::newRow("length three parts") << "1:10:0" << "8:0:0"
                                        << "Неверное значение настройки length_1";
    QTest::newRow("length 25 hours") << "1:10:0" << "25:0"
                                     << "Неверное значение настройки length_1";
    QTest::newRow("length minute 60") << "1:10:0" << "1:60"
                                      << "Неверное значение настройки length_1";
    QTest::newRow("24:30 parses, breaks the rules")
        << "1:10:0" << "24:30" << "Расписание не удовлетворяет требованиям";
    QTest::newRow("zero length") << "1:10:0" << "0:0" << "Расписание не удовлетворяет требованиям";
    QTest::newRow("24:00 is accepted") << "1:10:0" << "24:0" << "";
}

void TestSchedules::loaderRefusesBadValues()
{
    QFETCH(QString, open);
    QFETCH(QString, length);
    QFETCH(QString, message);
    MapSettings settings;
    settings.setValue(QStringLiteral("sessionsCount"), 1);
    settings.setValue(QStringLiteral("open_1"), open);
    settings.setValue(QStringLiteral("length_1"), length);
    QString thrown;
    SessionList loaded;
    try {
        loaded = loadSchedule(settings);
    } catch (const QString &e) {
        thrown = e;
    }
    QCOMPARE(thrown, message);
    if (message.isEmpty())
        QCOMPARE(loaded, SessionList{at(Monday, 10, 0, 1440)});
}

void TestSchedules::validity_data()
{
    QTest::addColumn<SessionList>("sessions");
    QTest::addColumn<bool>("valid");

    QTest::newRow("default") << defaultSchedule() << true;
    QTest::newRow("touching") << SessionList{at(Monday, 10, 0, 240), at(Monday, 14, 0, 285)}
                              << true;
    QTest::newRow("overlapping") << SessionList{at(Monday, 10, 0, 241), at(Monday, 14, 0, 285)}
                                 << false;
    QTest::newRow("out of order") << SessionList{at(2, 10, 0, 60), at(Monday, 10, 0, 60)} << false;
    QTest::newRow("sunday into monday 01:00")
        << SessionList{at(Monday, 1, 0, 60), at(Sunday, 23, 0, 120)} << true;
    QTest::newRow("sunday into monday 00:30")
        << SessionList{at(Monday, 0, 30, 60), at(Sunday, 23, 0, 120)} << false;
    QTest::newRow("longer than a day") << SessionList{at(Monday, 0, 0, 1441)} << false;
    QTest::newRow("empty") << SessionList{} << true;
}

void TestSchedules::validity()
{
    QFETCH(SessionList, sessions);
    QFETCH(bool, valid);
    QCOMPARE(isValidSchedule(sessions), valid);
}

// Whatever the editor lets through, added or in place of any row, the loader takes back; and
// what it refuses, the loader would refuse too. Sessions of every half hour of the week and of
// lengths around the day's and the week's edges, against a schedule with a Sunday overrun.
void TestSchedules::editorAgreesWithLoader()
{
    const QList<SessionList> schedules{
        {at(Monday, 0, 30, 30), at(Monday, 1, 0, 60), at(2, 10, 0, 60)},
        {at(Monday, 1, 0, 60), at(3, 10, 0, 600), at(Sunday, 22, 0, 180)},
    };
    int refused = 0;
    for (const SessionList &schedule : schedules) {
        SessionScheduleDataModel model;
        model.setSessions(schedule);
        for (int row = -1; row < schedule.size(); ++row) {
            for (int open = 0; open < Session::MinutesPerWeek; open += 30) {
                for (int length : {30, 60, 90, 150, 600, 1440}) {
                    const Fields fields = SessionScheduleDataModel::fieldsOf({open, length});
                    SessionList edited = schedule;
                    if (row < 0)
                        edited.append({open, length});
                    else
                        edited[row] = {open, length};
                    std::sort(edited.begin(), edited.end(),
                              [](const Session &a, const Session &b) { return a.open < b.open; });
                    const bool accepted = model.checkSession(fields, row).isEmpty();
                    refused += accepted ? 0 : 1;
                    QVERIFY2(accepted == isValidSchedule(edited),
                             qPrintable(QStringLiteral("row %1, open %2, length %3")
                                            .arg(row)
                                            .arg(open)
                                            .arg(length)));
                }
            }
        }
    }
    QVERIFY(refused > 0);
}

void TestSchedules::formAddDelete()
{
    store("Schedule_EQ", weekdays(10, 0, 525));
    AppSettings settings(QStringLiteral("TechAnalysis"));
    SessionScheduleForm form;
    form.load(settings);
    form.show();
    QVERIFY(form.select(2, 2)); // EQMN follows its stock
    QCOMPARE(form.scheduleModel()->sessions(), weekdays(10, 0, 525));
    QVERIFY(!form.hasOwnSchedule(2, 2));
    QVERIFY(!form.isModified());
    auto *addButton = child<QPushButton>(&form, "addButton");
    auto *editButton = child<QPushButton>(&form, "editButton");
    auto *delButton = child<QPushButton>(&form, "delButton");
    QVERIFY(!editButton->isEnabled() && !delButton->isEnabled());

    // Add an evening session on Monday through the dialog.
    QSignalSpy changed(&form, &SessionScheduleForm::changed);
    onNextDialog(this, [](QDialog *dialog) {
        auto *editForm = qobject_cast<SessionEditForm *>(dialog);
        QVERIFY(editForm);
        editForm->setFields({1, QTime(19, 5), 1, QTime(23, 50)});
        dialog->accept();
    });
    QTest::mouseClick(addButton, Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QVERIFY(form.hasOwnSchedule(2, 2));
    QVERIFY(form.isModified(2, 2));
    QVERIFY(!form.isModified(2, 0));
    QCOMPARE(form.scheduleOf(2, 2).at(1), at(Monday, 19, 5, 285));
    QVERIFY(!form.stockBoardModel()->item(1)->child(0)->icon().isNull()); // the pencil
    // The table shows it as a person reads it.
    SessionScheduleDataModel *model = form.scheduleModel();
    const auto cell = [model](int column) { return model->data(model->index(1, column)).toString(); };
    QCOMPARE(QStringList({cell(0), cell(1), cell(2), cell(3), cell(4)}),
             QStringList({"понедельник", "19:05", "понедельник", "23:50", "4 ч 45 мин"}));

    // Select the new row and delete it.
    auto *view = child<QTableView>(&form, "scheduleView");
    view->selectRow(1);
    QVERIFY(editButton->isEnabled() && delButton->isEnabled());
    QTest::mouseClick(delButton, Qt::LeftButton);
    QCOMPARE(form.scheduleOf(2, 2), weekdays(10, 0, 525));
    // The same sessions, but now its own schedule where none was stored: still a change.
    QVERIFY(form.isModified(2, 2));

    // A cancelled dialog changes nothing.
    const int before = int(changed.count());
    onNextDialog(this, [](QDialog *dialog) { dialog->reject(); });
    QTest::mouseClick(addButton, Qt::LeftButton);
    QCOMPARE(changed.count(), before);
}

// The first row edited to run from Sunday into Monday across next week's first session: the
// dialog says why and keeps OK disabled, and what the form writes still loads.
void TestSchedules::formRefusesFirstRowRunningIntoNextWeek()
{
    const SessionList stored{at(Monday, 0, 30, 30), at(Monday, 1, 0, 60), at(2, 10, 0, 60)};
    store("Schedule_EQ_EQMN", stored);
    AppSettings settings(QStringLiteral("TechAnalysis"));
    SessionScheduleForm form;
    form.load(settings);
    form.show();
    QVERIFY(form.select(2, 2));
    QCOMPARE(form.scheduleModel()->sessions(), stored);
    child<QTableView>(&form, "scheduleView")->selectRow(0);
    QString warning;
    bool okEnabled = true;
    onNextDialog(this, [&](QDialog *dialog) {
        child<QComboBox>(dialog, "openDayComboBox")->setCurrentIndex(Sunday - 1);
        child<QTimeEdit>(dialog, "openTimeEdit")->setTime(QTime(23, 0));
        child<QComboBox>(dialog, "closeDayComboBox")->setCurrentIndex(Monday - 1);
        child<QTimeEdit>(dialog, "closeTimeEdit")->setTime(QTime(1, 30));
        warning = child<QLabel>(dialog, "warningLabel")->text();
        QPushButton *ok =
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
        okEnabled = ok->isEnabled();
        QTest::mouseClick(ok, Qt::LeftButton);
        if (dialog->isVisible())
            dialog->reject();
    });
    QTest::mouseClick(child<QPushButton>(&form, "editButton"), Qt::LeftButton);
    QCOMPARE(warning, QStringLiteral("Сессия пересекается с другими сессиями."));
    QVERIFY(!okEnabled);
    QCOMPARE(form.scheduleOf(2, 2), stored);

    MapSettings written;
    form.apply(written);
    written.beginGroup(QStringLiteral("Schedule_EQ_EQMN"));
    QCOMPARE(loadSchedule(written), stored);
}

void TestSchedules::pageWritesExactlyTheShownGroups()
{
    store("Schedule_EQ", weekdays(10, 0, 525));
    // Left over from a stock that no longer exists: apply drops it.
    store("Schedule_OLD", weekdays(9, 0, 60));
    AppSettings(QStringLiteral("TechAnalysis")).setValue(QStringLiteral("General/enabled"), true);
    SessionSchedulePage page;
    AppSettings root;
    QWidget parent;
    QVERIFY(page.createPage(root, &parent));
    SessionScheduleForm *form = page.form();
    QVERIFY(form->select(3, 4));
    form->scheduleModel()->setWarningsShown(false);
    QVERIFY(form->scheduleModel()->addSession({6, QTime(10, 0), 6, QTime(14, 0)}));
    QSignalSpy changed(&page, &TAOptionsPage::changed);
    page.apply(root);
    QCOMPARE(changed.count(), 1);
    {
        // In the settings dialog at its first size every board's name is whole.
        OptionsDialog dialog;
        dialog.setPages({&page}, &root);
        dialog.show();
        QTest::qWait(50);
        const QStringList faults = legibilityFaults(&dialog, true);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
        dialog.reject();
    }
    AppSettings ta(QStringLiteral("TechAnalysis"));
    QStringList groups = ta.childGroups();
    groups.sort();
    QCOMPARE(groups, QStringList({"General", "Schedule_EQ", "Schedule_FX_FXTM"}));
    ta.beginGroup(QStringLiteral("Schedule_FX_FXTM"));
    const SessionList fxtm = loadSchedule(ta);
    ta.endGroup();
    QCOMPARE(fxtm.size(), 6);
    QCOMPARE(fxtm.last(), at(6, 10, 0, 240));
    QVERIFY(ta.value(QStringLiteral("General/enabled")).toBool());
    page.finish();
}

void TestSchedules::pageKeepsUnreadableGroupUntouched()
{
    {
        AppSettings board(QStringLiteral("TechAnalysis/Schedule_EQ_EQMN"));
        board.setValue(QStringLiteral("sessionsCount"), 1);
        board.setValue(QStringLiteral("open_1"), QStringLiteral("1:25:0"));
        board.setValue(QStringLiteral("length_1"), QStringLiteral("8:0"));
    }
    AppSettings root;
    {
        SessionSchedulePage page;
        QWidget parent;
        page.createPage(root, &parent);
        QStandardItem *item = page.form()->stockBoardModel()->item(1)->child(0);
        QVERIFY2(item->toolTip().contains(QLatin1String("open_1")), qPrintable(item->toolTip()));
        QVERIFY(!page.form()->hasOwnSchedule(2, 2));
        page.apply(root);
    }
    // Applied without touching it: the group is still there, byte for byte.
    AppSettings board(QStringLiteral("TechAnalysis/Schedule_EQ_EQMN"));
    QCOMPARE(board.value(QStringLiteral("open_1")).toString(), QStringLiteral("1:25:0"));

    // Replacing it in the form writes the new schedule.
    SessionSchedulePage page;
    QWidget parent;
    page.createPage(root, &parent);
    QVERIFY(page.form()->select(2, 2));
    page.form()->scheduleModel()->setSessions(weekdays(10, 0, 60));
    page.apply(root);
    QCOMPARE(board.value(QStringLiteral("open_1")).toString(), QStringLiteral("1:10:0"));
    QCOMPARE(ScheduleStore::scheduleForBoard(2, 2), weekdays(10, 0, 60));
}

void TestSchedules::formForOneInstrument()
{
    MapSettings settings;
    SessionScheduleForm form;
    form.loadFor(settings, 1, 14);
    QCOMPARE(form.stockBoardModel()->rowCount(), 1);
    QCOMPARE(form.stockBoardModel()->item(0)->rowCount(), 1);
    QCOMPARE(form.stockBoardModel()->item(0)->child(0)->data(Qt::UserRole + 2).toInt(), 14);
    QCOMPARE(form.scheduleModel()->sessions(), defaultSchedule());
    form.scheduleModel()->removeRows(0, 1);
    form.apply(settings);
    QCOMPARE(settings.childGroups(), QStringList({"Schedule_DRV_OPT"}));
}

TA_REGISTER_TEST(TestSchedules)
#include "tst_schedule.moc"
