#include "barlayout.h"
#include "bartesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QTemporaryDir>

using namespace BarTest;

// The slot layout on its own: no model, no lock, no threads.
class TestBarLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void tradingPeriodsOfAWeek();
    void slotsRoundTripEveryFrame_data();
    void slotsRoundTripEveryFrame();

private:
    QTemporaryDir m_dir;
};

namespace {

// Monday 2026-11-23 and the days after it.
const QDate Monday(2026, 11, 23);

datetime h(int day, int hour, int minute = 0)
{
    return datetime(Monday.addDays(day), QTime(hour, minute));
}

// Periods written as "d:hh:mm-d:hh:mm" pairs separated by spaces, days after Monday.
QList<datetime> periodsOf(const QString &text)
{
    QList<datetime> periods;
    for (const QString &pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        for (const QString &end : pair.split(QLatin1Char('-'))) {
            const QStringList parts = end.split(QLatin1Char(':'));
            periods.append(h(parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt()));
        }
    }
    return periods;
}

} // namespace

void TestBarLayout::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "barlayout.ini");
}

void TestBarLayout::tradingPeriodsOfAWeek()
{
    // A day session and an evening one that runs past midnight into the next morning.
    const SessionList schedule = everyWeekday({at(1, 10, 0, 8 * 60), at(1, 19, 0, 7 * 60)});
    // Monday to Wednesday (no calendar exception among them): each evening runs into the next
    // morning, and the last one stops at the range's midnight.
    QCOMPARE(BarLayout::tradingPeriods(schedule, Monday, Monday.addDays(2)),
             periodsOf("0:10:00-0:18:00 0:19:00-1:02:00 1:10:00-1:18:00 1:19:00-2:02:00 "
                       "2:10:00-2:18:00 2:19:00-3:00:00"));
    // Starting on a Tuesday: the morning tail of Monday's evening session comes first.
    QCOMPARE(BarLayout::tradingPeriods(schedule, Monday.addDays(1), Monday.addDays(1)),
             periodsOf("1:00:00-1:02:00 1:10:00-1:18:00 1:19:00-2:00:00"));
    // The shipped calendar: Wednesday 2026-11-04 is a holiday, Saturday 2026-12-26 a working
    // day that trades from midnight to midnight.
    const QList<datetime> holiday =
        BarLayout::tradingPeriods(schedule, QDate(2026, 11, 3), QDate(2026, 11, 5));
    QVERIFY(std::none_of(holiday.begin(), holiday.end(), [](const datetime &t) {
        return t.getDate() == QDate(2026, 11, 4) && t.getDateTime().time() >= QTime(3, 0);
    }));
    QVERIFY(holiday.contains(datetime(QDate(2026, 11, 5), QTime(10, 0))));
    const QList<datetime> saturday =
        BarLayout::tradingPeriods(schedule, QDate(2026, 12, 25), QDate(2026, 12, 26));
    // (Friday's evening session runs into it and so joins the same period.)
    QCOMPARE(saturday.last(), datetime(QDate(2026, 12, 27)));
    QVERIFY(saturday.at(saturday.size() - 2) < datetime(QDate(2026, 12, 26)).addMSecs(1));
    // Nothing for an inverted range.
    QVERIFY(BarLayout::tradingPeriods(schedule, Monday, Monday.addDays(-1)).isEmpty());
}

void TestBarLayout::slotsRoundTripEveryFrame_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("kind");
    QTest::newRow("5 s") << 5 << int(Interval);
    QTest::newRow("1 min") << 60 << int(Interval);
    QTest::newRow("7 min") << 420 << int(Interval);
    QTest::newRow("2 h") << 7200 << int(Interval);
    QTest::newRow("day") << 86400 << int(Interval);
    QTest::newRow("week") << 604800 << int(Interval);
    QTest::newRow("month") << 1 << int(Month);
    QTest::newRow("year") << 1 << int(Year);
}

void TestBarLayout::slotsRoundTripEveryFrame()
{
    QFETCH(int, seconds);
    QFETCH(int, kind);
    const TimeFrameValue frame(seconds, quint32(kind));
    const SessionList schedule = everyWeekday({at(1, 10, 0, 8 * 60 + 45), at(1, 19, 5, 285)});
    // Both clock changes of a year for the long frames, the autumn one for the short frames.
    const bool intraday = frame.kind == Interval && frame.value < 86400;
    const QDate from = intraday ? QDate(2026, 10, 19) : QDate(2026, 3, 2);
    const QDate to(2026, 11, 6);
    BarLayout layout;
    layout.layOut(frame, from, to, BarLayout::tradingPeriods(schedule, from, to));
    QVERIFY(layout.totalBarCount() > 0);
    // Every slot: its number, index, start and end agree with each other, and every moment
    // from its start to just before its end lies in it.
    datetime previousEnd;
    for (int n = 0; n < layout.totalBarCount(); ++n) {
        const FrameIndex index = layout.indexOf(n);
        QVERIFY2(index.isValid(), qPrintable(QString::number(n)));
        QCOMPARE(layout.linearIndex(index), n);
        const datetime start = layout.frameTime(index, false);
        const datetime end = layout.frameTime(index, true);
        QVERIFY(start < end);
        QVERIFY(previousEnd.isNull() || !(start < previousEnd));
        previousEnd = end;
        if (frame.kind == Interval && frame.value < 86400) {
            QCOMPARE(start.msecsTo(end), qint64(frame.value) * 1000);
        }
        const datetime last = std::min(end, layout.chunkEnd(index.chunk)).addMSecs(-1);
        QCOMPARE(layout.indexAt(start), index);
        QCOMPARE(layout.indexAt(last), index);
    }
    QCOMPARE(layout.indexOf(layout.totalBarCount()), FrameIndex());
    QCOMPARE(layout.indexAt(layout.frameTime({0, 0}, false).addMSecs(-1)), FrameIndex());
    // Day and week bars start at local midnight on both sides of each clock change.
    if (frame.value == 86400 || frame.value == 604800) {
        for (int n = 0; n < layout.totalBarCount(); ++n)
            QCOMPARE(layout.frameTime(layout.indexOf(n), false).getDateTime().time(), QTime(0, 0));
    }
}

TA_REGISTER_TEST(TestBarLayout)

#include "tst_barlayout.moc"
