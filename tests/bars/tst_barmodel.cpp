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

    void timeFrameTexts();
    void timeFrameKeys();

    void breakBetweenSessions();
    void dayFrameKeepsWeekendSlots();
    void dayAndWeekBarsStartAtMidnightAllYear_data();
    void dayAndWeekBarsStartAtMidnightAllYear();
    void severalHourBarsFollowEachSessionsOpening();
    void monthAndYearFrames();
    void noSessionAtAll();

    void foldingRules();
    void nothingFoldedAfterCancel();

    void saveRestoreRoundTrip();
    void restoreExceptions_data();
    void restoreExceptions();
    void badScheduleNamesItsGroup();
    void applyRangeAndReset();

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

// --- time frames and keys -----------------------------------------------------------------

void TestBarModel::timeFrameTexts()
{
    // Every standard frame reads back from its text; other lengths are written in seconds or
    // whole days, and a text of no standard frame is refused.
    for (const TimeFrameValue &tf : standardTimeFrames())
        QCOMPARE(TimeFrameValue::fromString(tf.toString()), tf);
    QCOMPARE(TimeFrameValue(1209600).toString(), QStringLiteral("1209600 сек"));
    QCOMPARE(TimeFrameValue(172800).toString(), QStringLiteral("2 дн"));
    QVERIFY_THROWS_EXCEPTION(QString, TimeFrameValue::fromString(QStringLiteral("7 мин")));
    QVERIFY(TimeFrameValue(5, Month) == TimeFrameValue(1, Month));
    QVERIFY(TimeFrameValue(60) != TimeFrameValue(60, Month));
    QCOMPARE(TimeFrameValue(1, Year).seconds(), qint64(31536000));
}

void TestBarModel::timeFrameKeys()
{
    MapSettings settings;
    TimeFrameValue(900).save(settings);
    QCOMPARE(TimeFrameValue::load(settings), TimeFrameValue(900));
    // A stored length that is not a positive number falls back to three minutes.
    for (const QVariant &bad : {QVariant(0), QVariant(-60), QVariant(QStringLiteral("x"))}) {
        settings.setValue(QStringLiteral("timeFrameValue"), bad);
        QCOMPARE(TimeFrameValue::load(settings), TimeFrameValue(180));
    }
    settings.setValue(QStringLiteral("timeFrameType"), 1);
    QCOMPARE(TimeFrameValue::load(settings), TimeFrameValue(1, Month));
    settings.setValue(QStringLiteral("timeFrameType"), QStringLiteral("year"));
    QCOMPARE(TimeFrameValue::load(settings).kind, quint32(Interval));
}

// --- layout -------------------------------------------------------------------------------

void TestBarModel::breakBetweenSessions()
{
    setSchedule(everyWeekday({at(1, 10, 0, 240), at(1, 14, 5, 280)}));
    const QDate thursday(2026, 12, 3);
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(900), thursday, thursday.addDays(1));
    QCOMPARE(model.chunkCount(), 4); // 16 + 19 bars a day
    QCOMPARE(model.chunkEnd(0), t(thursday, 14, 0));
    QCOMPARE(model.chunkStart(1), t(thursday, 14, 0));
    QCOMPARE(model.chunkEnd(1), t(thursday, 18, 45));
    QCOMPARE(model.totalBarCount(), 70);
    QCOMPARE(model.frameIndexOf(16), FrameIndex(1, 0));
    QCOMPARE(model.frameIndexOf(69), FrameIndex(3, 18));
    QCOMPARE(model.frameIndexOf(70), FrameIndex());
    QCOMPARE(model.linearIndex({2, 3}), 38);
    QCOMPARE(model.distance({0, 15}, {1, 0}), 1);
    QCOMPARE(model.distance({3, 18}, {0, 0}), -69);
    QCOMPARE(model.frameTime({0, 15}, true), t(thursday, 14, 0));
    QCOMPARE(model.frameIndexAt(t(thursday, 13, 59, 59, 999)), FrameIndex(0, 15));
    QCOMPARE(model.frameIndexAt(t(thursday, 14, 0)), FrameIndex(1, 0));
    QVERIFY(model.setTimeFrame(TimeFrameValue(3600)));
    QVERIFY(!model.setTimeFrame(TimeFrameValue(3600)));
    QCOMPARE(model.chunkSize(0), 4);
    QCOMPARE(model.chunkEnd(1), t(thursday, 19, 0));
    QCOMPARE(model.chunkSize(1), 5);

    // Expanding: the first chunk grows, a new chunk of the last one's length follows it.
    QVERIFY_THROWS_EXCEPTION(QString, SeriesDataModel(Shares).expand({0, 3}));
    restore(model, TimeFrameValue(900), thursday, thursday);
    model.build();
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(thursday, 15, 0), "100")); // (1, 4)
    }
    model.expand({0, 20});
    QCOMPARE(model.chunkSize(0), 21);
    QCOMPARE(model.validBar(0), FrameIndex(1, 4));
    QCOMPARE(model.validPosition(model.linearIndex({1, 4})), 0);
    model.expand({3, 2});
    QCOMPARE(model.chunkCount(), 4);
    QCOMPARE(model.chunkStart(2), t(thursday, 18, 45));
    QCOMPARE(model.chunkEnd(2), t(thursday, 23, 30));
    const QList<datetime> borders = model.chunkBorders();
    QCOMPARE(borders.size(), 8);
    // Chunks that touch give equal borders, still in order.
    QVERIFY(std::is_sorted(borders.begin(), borders.end()));
    QCOMPARE(borders.at(1), borders.at(2));

    // Sessions that touch are one interval, and one chunk.
    setSchedule(everyWeekday({at(1, 10, 0, 240), at(1, 14, 0, 285)}));
    restore(model, TimeFrameValue(60), thursday, thursday);
    QCOMPARE(model.sessionIntervals().size(), 2);
    QCOMPARE(model.chunkCount(), 1);
    QCOMPARE(model.chunkSize(0), 525);
}

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

void TestBarModel::monthAndYearFrames()
{
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(1, Month), QDate(2026, 11, 15), QDate(2027, 2, 3));
    QCOMPARE(model.chunkStart(0), datetime(QDate(2026, 11, 1)));
    QCOMPARE(model.chunkEnd(0), datetime(QDate(2027, 3, 1)));
    QCOMPARE(model.chunkSize(0), 4);
    QCOMPARE(model.frameTime({0, 2}, true), datetime(QDate(2027, 2, 1)));
    // Deals outside the range are dropped.
    model.build();
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(QDate(2027, 3, 2), 12, 0), "100"));
        batch.append(deal(t(QDate(2026, 10, 30), 12, 0), "100"));
        batch.append(deal(t(QDate(2026, 12, 2), 12, 0), "101"));
    }
    QCOMPARE(model.validBarCount(), 1);
    restore(model, TimeFrameValue(1, Year), QDate(2025, 12, 30), QDate(2027, 1, 2));
    QCOMPARE(model.chunkSize(0), 3);
    QCOMPARE(model.chunkEnd(0), datetime(QDate(2028, 1, 1)));
    QVERIFY(!model.frameIndexAt(t(QDate(2028, 1, 2), 12, 0)).isValid());
}

void TestBarModel::noSessionAtAll()
{
    setSchedule({at(7, 10, 0, 60)}); // Sundays only
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(60), QDate(2026, 12, 1), QDate(2026, 12, 4));
    QCOMPARE(model.totalBarCount(), 0);
    QVERIFY(!model.frameIndexAt(t(QDate(2026, 12, 1), 10, 30)).isValid());
    const int fills = m_service.fills;
    model.build();
    QCOMPARE(m_service.fills.load(), fills);
    QVERIFY(model.isAcceptingData());
    // An unknown security is not filled either.
    setSchedule(everyWeekday({at(1, 10, 0, 60)}));
    SeriesDataModel unknown(SeriesKey{2, 2, 424242});
    restore(unknown, TimeFrameValue(60), QDate(2026, 12, 1), QDate(2026, 12, 4));
    unknown.build();
    QCOMPARE(m_service.fills.load(), fills);
}

// --- folding ------------------------------------------------------------------------------

void TestBarModel::foldingRules()
{
    SeriesDataModel model(Shares);
    const QDate day(2026, 12, 3);
    restore(model, TimeFrameValue(60), day, day);
    model.build();
    QSignalSpy changed(&model, &SeriesDataModel::dataChanged);
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(day, 10, 5, 30), "101", 3, 7));
        batch.append(deal(t(day, 10, 5, 10), "100", 1, 5)); // earlier: the open
        batch.append(deal(t(day, 10, 5, 10), "99", 1, 6));  // same earliest time: open stays
        batch.append(deal(t(day, 10, 5, 50), "102", 2, 8));
        batch.append(deal(t(day, 10, 5, 50), "103", 2, 9)); // same latest time: the close
        batch.append(deal(t(day, 10, 1, 0), "98.5", 1, 1));
        batch.append(deal(t(day, 9, 0, 0), "1", 1, 1)); // before the session: dropped
    }
    const TimeFrame bar = model.bar({0, 5});
    QVERIFY(bar.valid);
    QCOMPARE(bar.open, decimal(QStringLiteral("100")));
    QCOMPARE(bar.close, decimal(QStringLiteral("103")));
    QCOMPARE(bar.low, decimal(QStringLiteral("99")));
    QCOMPARE(bar.high, decimal(QStringLiteral("103")));
    QCOMPARE(bar.volume, qint64(9));
    QCOMPARE(bar.value, xdecimal(QStringLiteral("912")));
    QCOMPARE(bar.openInterest, quint32(9));
    QCOMPARE(bar.firstTime, t(day, 10, 5, 10));
    QCOMPARE(bar.lastTime, t(day, 10, 5, 50));
    QCOMPARE(model.lastIndex(), FrameIndex(0, 5));
    QCOMPARE(model.validBarCount(), 2);
    QCOMPARE(model.validBar(0), FrameIndex(0, 1));
    QCOMPARE(model.validBar(1), FrameIndex(0, 5));
    QCOMPARE(model.validPosition(5), 1);
    QCOMPARE(model.validPosition(4), -1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).value<FrameIndex>(), FrameIndex(0, 1));
    QCOMPARE(changed.first().at(1).value<FrameIndex>(), FrameIndex(0, 5));
    QVERIFY(!model.bar({0, 4}).valid);

    // A whole-range batch signals every bar when it is done.
    changed.clear();
    {
        DealBatch batch(&model, 4, true);
        batch.append(deal(t(day, 18, 44), "104"));
    }
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last().at(0).value<FrameIndex>(), FrameIndex(0, 0));
    QCOMPARE(changed.last().at(1).value<FrameIndex>(), FrameIndex(0, 524));
    QCOMPARE(model.lastIndex(), FrameIndex(0, 524));
    QCOMPARE(DealBatch(&model, 4, false).capacity(), 1000);
    QCOMPARE(DealBatch(&model, 3, false).capacity(), 1002);
}

void TestBarModel::nothingFoldedAfterCancel()
{
    SeriesDataModel model(Shares);
    const QDate day(2026, 12, 3);
    restore(model, TimeFrameValue(60), day, day);
    model.build();
    {
        // The layout changes while a batch is being filled: the batch is refused.
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(day, 10, 5), "100"));
        QVERIFY(model.setTimeFrame(TimeFrameValue(300)));
        model.build();
        batch.append(deal(t(day, 11, 5), "101"));
        batch.flush();
        QVERIFY(!batch.handedOver());
    }
    QCOMPARE(model.validBarCount(), 0);
    const int cancels = m_service.cancels;
    model.clear();
    QVERIFY(m_service.cancels > cancels);
    QVERIFY(!model.isAcceptingData());
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(day, 10, 5), "100"));
        batch.flush();
        QVERIFY(!batch.handedOver());
    }
    QCOMPARE(model.validBarCount(), 0);
    model.build();
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(day, 10, 5), "100"));
    }
    QCOMPARE(model.validBarCount(), 1);
    // What a caller holds of a bar stays intact when a re-layout frees the bars.
    const TimeFrame before = model.bar({0, 1});
    model.setTimeFrame(TimeFrameValue(1));
    QCOMPARE(before.close, decimal(QStringLiteral("100")));
    QVERIFY(!model.bar({0, 1}).valid);
    QVERIFY(!model.bar({7, 0}).valid);
}

// --- state --------------------------------------------------------------------------------

void TestBarModel::saveRestoreRoundTrip()
{
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(900), QDate(2026, 10, 20), QDate(2026, 11, 18));
    MapSettings state;
    model.saveState(state);
    QCOMPARE(state.value(QStringLiteral("key")).toString(), QStringLiteral("2,2,2001"));
    QCOMPARE(state.value(QStringLiteral("daysBack")).toInt(), 30);
    QCOMPARE(state.value(QStringLiteral("toCurrDate")).toBool(), false);
    // Through the settings file as well.
    {
        AppSettings stored(QStringLiteral("Workspace/model"));
        stored.copyFrom(state);
        stored.sync();
    }
    AppSettings stored(QStringLiteral("Workspace/model"));
    SeriesDataModel back(Shares);
    back.restoreState(stored);
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

void TestBarModel::restoreExceptions_data()
{
    QTest::addColumn<QVariant>("toCurrDate");
    QTest::addColumn<QVariant>("dateTo");
    QTest::addColumn<QVariant>("daysBack");
    QTest::addColumn<QString>("thrown");
    QTest::newRow("no date") << QVariant(false) << QVariant() << QVariant(1) << "dateTo";
    QTest::newRow("bad date") << QVariant(false) << QVariant(QStringLiteral("2026-13-01"))
                              << QVariant(1) << "dateTo";
    QTest::newRow("zero days") << QVariant(false) << QVariant(QStringLiteral("2026-12-01"))
                               << QVariant(0) << "daysBack";
    QTest::newRow("text days") << QVariant(true) << QVariant() << QVariant(QStringLiteral("two"))
                               << "daysBack";
    QTest::newRow("fine") << QVariant(false) << QVariant(QStringLiteral("2026-12-01"))
                          << QVariant(5) << "";
}

void TestBarModel::restoreExceptions()
{
    QFETCH(QVariant, toCurrDate);
    QFETCH(QVariant, dateTo);
    QFETCH(QVariant, daysBack);
    QFETCH(QString, thrown);
    MapSettings state;
    state.setValue(QStringLiteral("toCurrDate"), toCurrDate);
    if (dateTo.isValid())
        state.setValue(QStringLiteral("dateTo"), dateTo);
    state.setValue(QStringLiteral("daysBack"), daysBack);
    SeriesDataModel model(Shares);
    QString caught;
    try {
        model.restoreState(state);
    } catch (const QString &e) {
        caught = e;
    }
    QCOMPARE(caught, thrown);
}

void TestBarModel::badScheduleNamesItsGroup()
{
    AppSettings stock(QStringLiteral("TechAnalysis/Schedule_EQ"));
    stock.setValue(QStringLiteral("length_1"), QStringLiteral("30:00"));
    SeriesDataModel model(Shares);
    // The model stays empty and says why, naming the group.
    restore(model, TimeFrameValue(60), QDate(2026, 12, 1), QDate(2026, 12, 1));
    QCOMPARE(model.totalBarCount(), 0);
    QCOMPARE(model.layoutError(), QStringLiteral("Schedule_EQ: Неверное значение настройки length_1"));
}

void TestBarModel::applyRangeAndReset()
{
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(3600), QDate(2026, 12, 1), QDate(2026, 12, 3));
    MapSettings range;
    range.setValue(QStringLiteral("toCurrDate"), false);
    range.setValue(QStringLiteral("dateTo"), QStringLiteral("2026-12-03"));
    range.setValue(QStringLiteral("daysBack"), 3);
    QVERIFY(!model.applyRange(range)); // the same range
    range.setValue(QStringLiteral("daysBack"), 0);
    QVERIFY(!model.applyRange(range)); // invalid
    range.setValue(QStringLiteral("daysBack"), 1);
    QVERIFY(model.applyRange(range));
    QCOMPARE(model.dateFrom(), QDate(2026, 12, 3));
    QCOMPARE(model.chunkCount(), 1);

    model.build();
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(QDate(2026, 12, 3), 12, 0), "100"));
    }
    QSignalSpy changed(&model, &SeriesDataModel::dataChanged);
    model.reset();
    QCOMPARE(changed.count(), 1);
    QVERIFY(!changed.first().at(0).value<FrameIndex>().isValid());
    QCOMPARE(model.validBarCount(), 0);
    QCOMPARE(model.dateFrom(), QDate(2026, 12, 3));
    QCOMPARE(model.chunkCount(), 1);

    const int updates = m_service.updates;
    model.update(); // a fixed range is only refreshed
    QCOMPARE(m_service.updates.load(), updates + 1);
    QCOMPARE(model.dateFrom(), QDate(2026, 12, 3));
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
