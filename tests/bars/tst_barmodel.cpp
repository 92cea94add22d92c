#include "barmodelstress.h"
#include "bartesthelpers.h"
#include "mapsettings.h"
#include "referencedata.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "timeframevalue.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>

using namespace BarTest;

class TestBarModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void dayFrameKeepsWeekendSlots();
    void dayAndWeekBarsStartAtMidnightAllYear_data();
    void dayAndWeekBarsStartAtMidnightAllYear();
    void severalHourBarsFollowEachSessionsOpening();


    void saveRestoreRoundTrip();

    void changeWatchesSeeEveryChange();

    void crossCheckAgainstPlainFold();
    void foldWhileRelayingOut();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestBarModel::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "barmodel.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
}

void TestBarModel::cleanupTestCase()
{
    SeriesDataService::setInstance(nullptr);
}

void TestBarModel::init()
{
    setSchedule(everyWeekday({at(1, 10, 0, 8 * 60 + 45)}));
}

// --- layout -------------------------------------------------------------------------------

void TestBarModel::dayFrameKeepsWeekendSlots()
{
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(86400), QDate(2026, 12, 4), QDate(2026, 12, 7));
    QCOMPARE(model.chunkCount(), 1);
    QCOMPARE(model.chunkSize(0), 4);
    QCOMPARE(model.sessionIntervals().size(), 4); // Friday and Monday only
    QCOMPARE(model.frameIndexAt(t(QDate(2026, 12, 7), 12, 0)), FrameIndex(0, 3));
    QCOMPARE(model.frameIndexAt(t(QDate(2026, 12, 5), 12, 0)), FrameIndex(0, 1));
    QCOMPARE(model.frameIndexAt(t(QDate(2026, 12, 8), 12, 0)), FrameIndex());
    // Weeks: from the Monday on or before the first day.
    restore(model, TimeFrameValue(604800), QDate(2026, 12, 3), QDate(2026, 12, 21));
    QCOMPARE(model.chunkStart(0), datetime(QDate(2026, 11, 30)));
    QCOMPARE(model.chunkSize(0), 4);
}

void TestBarModel::dayAndWeekBarsStartAtMidnightAllYear_data()
{
    QTest::addColumn<TimeFrameValue>("frame");
    QTest::newRow("day") << TimeFrameValue(86400);
    QTest::newRow("week") << TimeFrameValue(604800);
}

void TestBarModel::dayAndWeekBarsStartAtMidnightAllYear()
{
    // A whole year holds both clock changes of a zone with daylight saving (run in
    // Europe/Berlin and America/New_York too): days of 23 and 25 hours. Deals at both ends of
    // the day after each change fold into that day's bar. (Every slot's borders are checked by
    // the layout's own tests, the bars' midnight starts by the export tool's.)
    QFETCH(TimeFrameValue, frame);
    const QDate from(2026, 1, 1), to(2026, 12, 31);
    QList<QDate> afterChange;
    for (QDate d = from; d < to; d = d.addDays(1)) {
        if (datetime(d).msecsTo(datetime(d.addDays(1))) != 86400000)
            afterChange.append(d.addDays(1));
    }
    const QByteArray zone = qgetenv("TZ");
    if (zone == "Europe/Berlin" || zone == "America/New_York")
        QCOMPARE(afterChange.size(), 2);
    setSchedule(everyWeekday({at(1, 9, 50, 9 * 60)}));
    SeriesDataModel model(Shares);
    restore(model, frame, from, to);
    const int days = frame.value / 86400;
    const QDate first = model.chunkStart(0).getDate();
    QCOMPARE(model.chunkStart(0), datetime(first));
    model.build();
    {
        DealBatch batch(&model, 4, false);
        for (const QDate &after : std::as_const(afterChange)) {
            batch.append(deal(datetime(after), "100"));
            batch.append(deal(datetime(after, QTime(23, 59, 59, 999)), "101"));
        }
    }
    QCOMPARE(model.validBarCount(), int(afterChange.size()));
    for (int n = 0; n < afterChange.size(); ++n) {
        const FrameIndex index = model.validBar(n);
        QCOMPARE(index, FrameIndex(0, int(first.daysTo(afterChange.at(n)) / days)));
        QCOMPARE(model.bar(index).low, decimal(QStringLiteral("100")));
        QCOMPARE(model.bar(index).high, decimal(QStringLiteral("101")));
    }
}

void TestBarModel::severalHourBarsFollowEachSessionsOpening()
{
    // Weekdays open at 09:50, the Saturday session at 10:00: each day's bars count whole frames
    // from the full hour of its own opening, and no bar reaches into another day's session.
    SessionList sessions = everyWeekday({at(1, 9, 50, 9 * 60)});
    sessions.append(at(6, 10, 0, 5 * 60));
    setSchedule(sessions);
    const QDate friday(2026, 12, 4), saturday(2026, 12, 5), monday(2026, 12, 7);
    SeriesDataModel model(Shares);
    for (const int hours : {2, 4}) {
        restore(model, TimeFrameValue(hours * 3600), friday, monday);
        QCOMPARE(model.chunkCount(), 3);
        // Friday 09:50-18:50 from 09:00; Saturday 10:00-15:00 from 10:00; Monday from 09:00.
        // 9 h 50 min from 09:00 is five 2-hour bars (to 19:00) or three 4-hour bars (to
        // 21:00); Saturday's 5 hours are three 2-hour bars (to 16:00) or two 4-hour bars.
        const int weekdayEnd = hours == 2 ? 19 : 21;
        const int saturdayEnd = hours == 2 ? 16 : 18;
        const QList<QPair<datetime, datetime>> expected{
            {t(friday, 9, 0), t(friday, weekdayEnd, 0)},
            {t(saturday, 10, 0), t(saturday, saturdayEnd, 0)},
            {t(monday, 9, 0), t(monday, weekdayEnd, 0)}};
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(model.chunkStart(c), expected.at(c).first);
            QCOMPARE(model.chunkEnd(c), expected.at(c).second);
            for (int k = 0; k < model.chunkSize(c); ++k)
                QCOMPARE(model.frameTime({c, k}, false),
                         expected.at(c).first.addSecs(qint64(k) * hours * 3600));
        }
        // The Saturday's first trades open a bar at 10:00, not at a Friday-based multiple.
        QCOMPARE(model.frameIndexAt(t(saturday, 10, 0)), FrameIndex(1, 0));
        QCOMPARE(model.frameIndexAt(t(saturday, 9, 59)), FrameIndex());
        QCOMPARE(model.frameIndexAt(t(friday, 9, 50)), FrameIndex(0, 0));
    }
}

// --- state --------------------------------------------------------------------------------

void TestBarModel::saveRestoreRoundTrip()
{
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(900), QDate(2026, 10, 20), QDate(2026, 11, 18));
    MapSettings state;
    model.saveState(state);
    // Read back, the model has the same range, frame and layout.
    SeriesDataModel back(Shares);
    back.restoreState(state);
    QCOMPARE(back.dateFrom(), QDate(2026, 10, 20));
    QCOMPARE(back.dateTo(), QDate(2026, 11, 18));
    QCOMPARE(back.timeFrame(), TimeFrameValue(900));
    QCOMPARE(back.chunkCount(), model.chunkCount());
    QCOMPARE(back.totalBarCount(), model.totalBarCount());

    // A range that follows today ends today.
    state.setValue(QStringLiteral("toCurrDate"), true);
    state.setValue(QStringLiteral("daysBack"), 3);
    back.restoreState(state);
    QCOMPARE(back.dateTo(), datetime::today());
    QCOMPARE(back.dateFrom(), datetime::today().addDays(-2));
}

// --- positions ----------------------------------------------------------------------------

void TestBarModel::changeWatchesSeeEveryChange()
{
    // A Thursday morning of one-minute bars, watched by two readers.
    setSchedule(everyWeekday({at(1, 10, 0, 60)}));
    const QDate day(2026, 12, 3);
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(60), day, day);
    model.build();
    const int first = model.watchChanges();
    QCOMPARE(model.takeChanges(first), 0); // a new watch has seen nothing
    QCOMPARE(model.takeChanges(first), -1);
    {
        DealBatch batch(&model, 1, false);
        for (int m : {0, 1, 2, 3, 10})
            batch.append(deal(t(day, 10, m), "100"));
    }
    const int second = model.watchChanges();
    QCOMPARE(model.takeChanges(first), 0);
    QCOMPARE(model.takeChanges(second), 0);
    // A trade in the last bar: only bar 4 on may differ, whoever looks.
    {
        DealBatch batch(&model, 1, false);
        batch.append(deal(t(day, 10, 10, 30), "101"));
    }
    QCOMPARE(model.takeChanges(first), 4);
    // A bar that becomes valid in the middle moves the numbers after it; the mark is the
    // lowest change since the watch last looked.
    {
        DealBatch batch(&model, 1, false);
        batch.append(deal(t(day, 10, 5), "102"));
    }
    QCOMPARE(model.takeChanges(first), 4);
    QCOMPARE(model.takeChanges(second), 4);
    QCOMPARE(model.validPosition(model.linearIndex(model.validBar(5))), 5);
    QCOMPARE(model.takeChanges(second), -1);
    // Bulk reads in bar order, clipped to the valid bars.
    QList<int> seen;
    model.forValidBars(4, 100, [&](int k, const TimeFrame &bar) {
        QVERIFY(bar.valid);
        seen.append(k);
    });
    QCOMPARE(seen, (QList<int>{4, 5}));
    // Clearing and a new time frame change everything.
    model.clear();
    QCOMPARE(model.takeChanges(first), 0);
    model.setTimeFrame(TimeFrameValue(300));
    QCOMPARE(model.takeChanges(second), 0);
    model.unwatchChanges(first);
    QCOMPARE(model.takeChanges(first), 0); // unknown watches report everything
}

// --- cross-check --------------------------------------------------------------------------

namespace {

struct PlainBar
{
    qint64 openTime = 0, closeTime = 0;
    decimal open, close, low, high;
    qint64 volume = 0;
    xdecimal value;
};

// The start of the slot of a deal for frames that divide an hour, for days, weeks, months and
// years, worked out from the calendar alone.
datetime plainSlot(const TimeFrameValue &tf, const datetime &time)
{
    const QDate d = time.getDate();
    if (tf.kind == Year)
        return datetime(QDate(d.year(), 1, 1));
    if (tf.kind == Month)
        return datetime(QDate(d.year(), d.month(), 1));
    if (tf.value == 604800)
        return datetime(d.addDays(1 - d.dayOfWeek()));
    if (tf.value == 86400)
        return datetime(d);
    const QTime tt = time.getTime();
    const int secondOfHour = tt.minute() * 60 + tt.second();
    const int slot = secondOfHour - secondOfHour % tf.value;
    return datetime(d, QTime(tt.hour(), slot / 60, slot % 60));
}

} // namespace

void TestBarModel::crossCheckAgainstPlainFold()
{
    QRandomGenerator random(20261206);
    const QDate from(2026, 11, 2); // a Monday; the range holds the 2026-11-04 holiday
    const QDate to(2026, 11, 13);
    int checkedBars = 0;
    for (const TimeFrameValue &tf : standardTimeFrames()) {
        // 2- and 4-hour bars count from each chunk's start, not from a calendar grid.
        if (tf.kind == Interval && (tf.value == 7200 || tf.value == 14400))
            continue;
        // A random valid schedule: one or two sessions a weekday.
        SessionList monday;
        const int open = 6 * 60 + int(random.bounded(6 * 60));
        const int first = 30 + int(random.bounded(5 * 60));
        monday.append({open, first});
        if (random.bounded(2)) {
            const int gap = int(random.bounded(60));
            monday.append({open + first + gap, 30 + int(random.bounded(4 * 60))});
        }
        setSchedule(everyWeekday(monday));
        SeriesDataModel model(Shares);
        restore(model, tf, from, to);
        model.build();
        const QList<datetime> sessions = model.sessionIntervals();
        QVERIFY(!sessions.isEmpty());

        // Deals inside the session intervals, in random order, with repeated times.
        std::vector<Deal> deals;
        for (int i = 0; i < 3000; ++i) {
            const qsizetype pair = random.bounded(int(sessions.size() / 2));
            const datetime s = sessions.at(2 * pair);
            const qint64 span = s.msecsTo(sessions.at(2 * pair + 1));
            const datetime when = s.addMSecs(qint64(random.bounded(double(span))) / 1000 * 1000);
            const QByteArray price = QByteArray::number(100 + random.bounded(50)) + '.'
                                     + QByteArray::number(random.bounded(100));
            deals.push_back(deal(when, price.constData(), 1 + random.bounded(20)));
            if (random.bounded(10) == 0)
                deals.push_back(deal(when, "120.5", 1)); // the same time again
        }
        std::map<qint64, PlainBar> plain;
        for (const Deal &d : deals) {
            PlainBar &b = plain[plainSlot(tf, d.time).toMSecsSinceEpoch()];
            const qint64 ms = d.time.toMSecsSinceEpoch();
            if (b.volume == 0) {
                b = {ms, ms, d.price, d.price, d.price, d.price, d.quantity, d.value};
                continue;
            }
            if (ms < b.openTime) {
                b.openTime = ms;
                b.open = d.price;
            }
            if (ms >= b.closeTime) {
                b.closeTime = ms;
                b.close = d.price;
            }
            b.low = std::min(b.low, d.price);
            b.high = std::max(b.high, d.price);
            b.volume += d.quantity;
            b.value += d.value;
        }
        {
            DealBatch batch(&model, 4, true);
            for (const Deal &d : deals)
                batch.append(d);
        }
        QCOMPARE(model.validBarCount(), int(plain.size()));
        for (const auto &[start, b] : plain) {
            const FrameIndex idx = model.frameIndexAt(datetime::fromMSecsSinceEpoch(start));
            QVERIFY2(idx.isValid(), qPrintable(tf.toString()));
            QCOMPARE(model.frameTime(idx, false), datetime::fromMSecsSinceEpoch(start));
            const TimeFrame bar = model.bar(idx);
            QCOMPARE(bar.open, b.open);
            QCOMPARE(bar.close, b.close);
            QCOMPARE(bar.low, b.low);
            QCOMPARE(bar.high, b.high);
            QCOMPARE(bar.volume, b.volume);
            QCOMPARE(bar.value, b.value);
            ++checkedBars;
        }
        // The valid list is the bars in order.
        for (int k = 1; k < model.validBarCount(); ++k)
            QVERIFY(model.validBar(k - 1) < model.validBar(k));
    }
    QVERIFY(checkedBars > 10000);
}

void TestBarModel::foldWhileRelayingOut()
{
    const QString failure = BarModelStress::run();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

TA_REGISTER_TEST(TestBarModel)
#include "tst_barmodel.moc"
