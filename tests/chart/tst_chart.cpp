#include "testclock.h"
#include "bartesthelpers.h"
#include "calendardirectory.h"
#include "indexsort.h"
#include "referencedata.h"
#include "table.h"
#include "testenvironment.h"
#include "timeaxisscrollarea.h"
#include "timeseriesitem.h"
#include "tsynchronyzer.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QPaintEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace BarTest;

namespace {

// A series as the synchroniser sees it: a bar model, placed where it is told.
class FakeSeries : public QObject, public TimeSeriesItem
{
    Q_OBJECT
public:
    FakeSeries(TSynchronyzer *synchronizer, const TimeFrameValue &tf, const QDate &from,
               const QDate &to)
        : m_synchronizer(synchronizer)
        , m_model(Shares)
    {
        restore(m_model, tf, from, to);
    }

    SeriesDataModel *barModel() const override { return const_cast<SeriesDataModel *>(&m_model); }
    datetime firstBarTime() const override
    {
        return m_model.chunkCount() > 0 ? m_model.chunkStart(0) : datetime();
    }
    double barsWidth() const override
    {
        const int chunks = m_model.chunkCount();
        if (chunks == 0)
            return 0;
        return m_synchronizer->indexOf(m_model.chunkEnd(chunks - 1))
               - m_synchronizer->indexOf(firstBarTime());
    }
    void setIndexPosition(int index) override { position = index; }
    void rebuildSpans() override { ++rebuilds; }
    QObject *itemObject() override { return this; }

    int position = -1;
    int rebuilds = 0;

private:
    TSynchronyzer *m_synchronizer;
    SeriesDataModel m_model;
};

class FakeHost : public TimeAxisHost
{
public:
    double pixelsPerUnit() const override { return ppu; }
    void zoomStep(Zoom direction) override { zooms.append(direction); }
    double ppu = 1.0;
    QList<Zoom> zooms;
};

const QDate Wednesday(2026, 12, 2);

// One-minute bars of Wednesday and Thursday, laid out by the synchroniser.
std::unique_ptr<FakeSeries> twoDaysOfMinutes(TSynchronyzer &sync)
{
    auto series = std::make_unique<FakeSeries>(&sync, TimeFrameValue(60), Wednesday,
                                               Wednesday.addDays(1));
    sync.addSeries(series.get());
    sync.update();
    return series;
}

// The axis over the synchroniser, shown and scrolled into place.
void showAxis(TimeAxisScrollArea &axis)
{
    axis.resize(800, axis.sizeHint().height());
    axis.show();
    QVERIFY(QTest::qWaitForWindowExposed(&axis));
    axis.scrollingAreaChanged();
}

void move(QWidget *viewport, int x, Qt::MouseButtons buttons)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(x, 5), viewport->mapToGlobal(QPointF(x, 5)),
                      Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &event);
}

// The region a widget was asked to repaint.
struct PaintSpy : QObject
{
    QRegion region;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

// The shared time index of a chart window and the axis that draws it.
class TestTimeAxis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void twoTradingDaysShareTheirBoundary();
    void dayAndWeekUnitsAcrossClockChanges();
    void roundTrips();
    void sessionPassingMidnightAndHoliday();
    void axisPaintsTicksAndDates();
    void dragZoomsPastTwentyPixels();
    void scrollRangeFollowsTheScale();

private:
    QTemporaryDir m_dir;
};

void TestTimeAxis::initTestCase()
{
    TestClock::pinRun();
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "axis.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
}

void TestTimeAxis::init()
{
    CalendarDirectory::i()->table()->reset({});
    setSchedule(everyWeekday({at(1, 10, 0, 525)}));
}

void TestTimeAxis::twoTradingDaysShareTheirBoundary()
{
    TSynchronyzer sync;
    const auto minutes = twoDaysOfMinutes(sync);
    QCOMPARE(sync.spanIndices(), (QList<int>{0, 525, 525, 1050}));
    const datetime thursday = t(Wednesday.addDays(1), 10, 0);
    QCOMPARE(sync.indexOf(t(Wednesday, 18, 45)), 525);
    QCOMPARE(sync.indexOf(thursday), 525);
    QCOMPARE(sync.timeAt(525), thursday);
    QCOMPARE(sync.timeAt(524), t(Wednesday, 18, 44));
    // A time between the days belongs to the next day's start; one inside a minute to the
    // next whole minute.
    QCOMPARE(sync.indexOf(t(Wednesday, 22, 0)), 525);
    QCOMPARE(sync.indexOf(t(Wednesday, 10, 0, 30)), 1);
    QCOMPARE(sync.indexOf(datetime()), 0);

    const QList<TSynchronyzer::Mark> marks = sync.timeMarks(0, 1050, 60);
    QList<int> indices;
    for (const auto &m : marks)
        indices.append(m.first);
    QCOMPARE(indices, (QList<int>{0, 60, 120, 180, 240, 300, 360, 420, 480, 525, 585, 645, 705,
                                  765, 825, 885, 945, 1005}));
    // The next day's marks start at its own start.
    QCOMPARE(marks.at(10).second, t(Wednesday.addDays(1), 11, 0));
    QCOMPARE(sync.markText(marks.at(10).second), QStringLiteral("11:00"));
    QCOMPARE(sync.timeMarkIndices(0, 1050, 60), indices);
    // Marks of a later part of the index keep their alignment to the span's start.
    QCOMPARE(sync.timeMarkIndices(130, 300, 60), (QList<int>{120, 180, 240}));
    QVERIFY(sync.timeMarks(200, 200, 60).isEmpty());
}

void TestTimeAxis::dayAndWeekUnitsAcrossClockChanges()
{
    // Day and week series over a whole year: every index is a local midnight, every midnight
    // an index, whatever the day's length (run in zones with daylight saving too).
    const QDate from(2026, 1, 1), to(2026, 12, 31);
    for (const int days : {1, 7}) {
        TSynchronyzer sync;
        FakeSeries series(&sync, TimeFrameValue(days * 86400), from, to);
        sync.addSeries(&series);
        // A day series beside a week series: the base is a day.
        FakeSeries daily(&sync, TimeFrameValue(86400), from, to);
        if (days == 7)
            sync.addSeries(&daily);
        sync.update();
        QCOMPARE(sync.baseFrame().value, 86400);
        const QDate first = days == 7 ? from.addDays(1 - from.dayOfWeek()) : from;
        const QDate last = days == 7 ? first.addDays(((first.daysTo(to) + 7) / 7) * 7) : to.addDays(1);
        QCOMPARE(sync.spanIndices(), (QList<int>{0, int(first.daysTo(last))}));
        for (int i = 0; i < first.daysTo(last); ++i) {
            const QDate day = first.addDays(i);
            QCOMPARE(sync.timeAt(i), datetime(day));
            QCOMPARE(sync.indexOf(datetime(day)), i);
            // A moment inside the day belongs to the next border, as with any unit.
            QCOMPARE(sync.indexOf(datetime(day, QTime(23, 0))), i + 1);
        }
        const QList<TSynchronyzer::Mark> marks = sync.timeMarks(0, 364, 7);
        QVERIFY(!marks.isEmpty());
        for (const TSynchronyzer::Mark &mark : marks)
            QCOMPARE(mark.second, datetime(first.addDays(mark.first)));
    }
}

void TestTimeAxis::roundTrips()
{
    QRandomGenerator random(11);
    const QList<int> frames{1, 5, 60, 300, 900, 3600};
    for (int round = 0; round < 40; ++round) {
        // Random sessions: one or two a weekday, some running past midnight.
        SessionList sessions;
        for (int day = 1; day <= 5; ++day) {
            const int open = 6 * 60 + int(random.bounded(8 * 60));
            const int length = 30 + int(random.bounded(round % 3 == 0 ? 20 * 60 : 6 * 60));
            sessions.append(at(day, open / 60, open % 60, length));
        }
        setSchedule(sessions);
        const int a = frames.at(int(random.bounded(frames.size())));
        const int b = frames.at(int(random.bounded(frames.size())));
        const QDate to = Wednesday.addDays(-int(random.bounded(30)));
        const QDate from = to.addDays(-int(random.bounded(a < 60 || b < 60 ? 3 : 20)));
        TSynchronyzer sync;
        FakeSeries first(&sync, TimeFrameValue(a), from, to);
        FakeSeries second(&sync, TimeFrameValue(b), from, to);
        sync.addSeries(&first);
        sync.addSeries(&second);
        sync.update();
        const qint64 base = sync.baseFrame().value;
        QCOMPARE(base, std::gcd(qint64(a), qint64(b)));
        const QList<qint64> spans = sync.spans();
        for (qsizetype s = 0; s + 1 < spans.size(); s += 2) {
            const qint64 units = (spans.at(s + 1) - spans.at(s)) / 1000 / base;
            for (int probe = 0; probe < 20 && units > 0; ++probe) {
                const qint64 k = qint64(random.bounded(quint64(units)));
                const datetime time = datetime::fromMSecsSinceEpoch(spans.at(s) + k * base * 1000);
                const int index = sync.indexOf(time);
                QVERIFY2(sync.timeAt(index) == time,
                         qPrintable(QStringLiteral("round %1, index %2").arg(round).arg(index)));
            }
        }
    }
}

void TestTimeAxis::sessionPassingMidnightAndHoliday()
{
    // 07:00 to 01:30 the next morning, Monday to Friday; Tuesday a holiday.
    setSchedule(everyWeekday({at(1, 7, 0, 18 * 60 + 30)}));
    const QDate monday(2026, 11, 30);
    Table *calendar = CalendarDirectory::i()->table();
    Record holiday(calendar);
    holiday.data(QStringLiteral("date")).setValue(QVariant::fromValue(datetime(monday.addDays(1))));
    holiday.data(QStringLiteral("is_trading")).setValue(false);
    calendar->reset({holiday});

    TSynchronyzer sync;
    FakeSeries minutes(&sync, TimeFrameValue(60), monday, monday.addDays(2));
    sync.addSeries(&minutes);
    sync.update();
    // Monday until midnight (Tuesday is closed), then Tuesday's session running into
    // Wednesday morning, then Wednesday from 07:00 to the range's end.
    QCOMPARE(sync.spans(),
             (QList<qint64>{t(monday, 7, 0).toMSecsSinceEpoch(),
                            datetime(monday.addDays(1)).toMSecsSinceEpoch(),
                            datetime(monday.addDays(2)).toMSecsSinceEpoch(),
                            t(monday.addDays(2), 1, 30).toMSecsSinceEpoch(),
                            t(monday.addDays(2), 7, 0).toMSecsSinceEpoch(),
                            datetime(monday.addDays(3)).toMSecsSinceEpoch()}));
    QCOMPARE(sync.spanIndices(), (QList<int>{0, 1020, 1020, 1110, 1110, 2130}));
    QCOMPARE(sync.indexOf(t(monday.addDays(1), 12, 0)), 1020); // the holiday takes no room
    QCOMPARE(sync.timeAt(1020), datetime(monday.addDays(2)));
    QCOMPARE(sync.timeAt(1019), t(monday, 23, 59));
    QCOMPARE(sync.timeAt(1110), t(monday.addDays(2), 7, 0));
    // Marks run through midnight within a span.
    const QList<TSynchronyzer::Mark> marks = sync.timeMarks(960, 1200, 30);
    QCOMPARE(marks.first(), TSynchronyzer::Mark(960, t(monday, 23, 0)));
    QCOMPARE(marks.at(1), TSynchronyzer::Mark(990, t(monday, 23, 30)));
    // At the span's end a tick without text, and the next span's first mark on it.
    QCOMPARE(marks.at(2), TSynchronyzer::Mark(1020, datetime()));
    QCOMPARE(marks.at(3), TSynchronyzer::Mark(1020, datetime(monday.addDays(2))));
    QCOMPARE(marks.at(4), TSynchronyzer::Mark(1050, t(monday.addDays(2), 0, 30)));
    // Steps longer than the short span from midnight to 01:30: texts stay a whole step apart
    // (the span that starts too close to the last text gives its text up) and the ticks run
    // left to right, none past the end of its span.
    for (const int step : {30, 60, 100, 150, 400}) {
        int lastText = -step, lastTick = 0;
        for (const TSynchronyzer::Mark &mark : sync.timeMarks(0, 2130, step)) {
            const QString where = QStringLiteral("step %1, mark %2").arg(step).arg(mark.first);
            QVERIFY2(mark.first >= lastTick, qPrintable(where));
            lastTick = mark.first;
            if (mark.second.isNull())
                continue;
            QVERIFY2(mark.first - lastText >= step, qPrintable(where));
            lastText = mark.first;
        }
    }
}

void TestTimeAxis::axisPaintsTicksAndDates()
{
    TSynchronyzer sync;
    const auto minutes = twoDaysOfMinutes(sync);
    FakeHost host;
    host.ppu = 0.5; // the two days in 530 pixels
    TimeAxisScrollArea axis(&host, &sync);
    showAxis(axis);
    if (QTest::currentTestFailed())
        return;
    const QImage image = axis.grab().toImage();
    const QColor line(255, 0, 0);
    const QColor background(0, 0, 0);
    // The scene is narrower than the axis: it is right-aligned.
    QCOMPARE(axis.padding(), 800 - 530 - 1);
    const int step = sync.markStep(axis.font(), host.ppu);
    const QList<TSynchronyzer::Mark> marks = sync.timeMarks(0, 1060, step);
    QVERIFY(marks.size() >= 4);
    for (const auto &mark : marks) {
        const int x = axis.xOfIndex(mark.first);
        QCOMPARE(QColor(image.pixel(x, 3)), line);
    }
    // Between two ticks the axis is empty below the line.
    const int between = (axis.xOfIndex(marks.at(0).first) + axis.xOfIndex(marks.at(1).first)) / 2;
    QCOMPARE(QColor(image.pixel(between, 3)), background);
    QCOMPARE(QColor(image.pixel(between, 0)), line);
    // Left of the right-aligned scene there is nothing but the line.
    QCOMPARE(QColor(image.pixel(100, 3)), background);

    // The date row: text somewhere in each day's cell, below the mark texts.
    const int row = axis.fontMetrics().height() + 6;
    auto inked = [&](int left, int right) {
        for (int y = row; y < image.height(); ++y)
            for (int x = qMax(0, left); x < qMin(image.width(), right); ++x)
                if (QColor(image.pixel(x, y)) != background)
                    return true;
        return false;
    };
    QVERIFY(inked(axis.xOfIndex(0), axis.xOfIndex(525)));
    QVERIFY(inked(axis.xOfIndex(525), axis.xOfIndex(1050)));
    QVERIFY(!inked(0, axis.xOfIndex(0) - 1));
    // Without the date row the axis is one line of text high.
    axis.showDateAction()->trigger();
    QCOMPARE(axis.sizeHint().height(), axis.fontMetrics().height() + 10);
}

void TestTimeAxis::dragZoomsPastTwentyPixels()
{
    TSynchronyzer sync;
    FakeHost host;
    TimeAxisScrollArea axis(&host, &sync);
    axis.resize(600, 40);
    axis.show();
    QWidget *viewport = axis.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(300, 5));
    move(viewport, 320, Qt::LeftButton); // 20 pixels: nothing yet
    move(viewport, 280, Qt::LeftButton);
    QVERIFY(host.zooms.isEmpty());
    move(viewport, 279, Qt::LeftButton); // 21 pixels left: one step in
    QCOMPARE(host.zooms, (QList<TimeAxisHost::Zoom>{TimeAxisHost::Zoom::In}));
    move(viewport, 300, Qt::LeftButton); // 21 pixels right of the new mark: out
    QCOMPARE(host.zooms.size(), 2);
    QCOMPARE(host.zooms.last(), TimeAxisHost::Zoom::Out);
    move(viewport, 400, Qt::NoButton); // without the button nothing happens
    QCOMPARE(host.zooms.size(), 2);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(300, 5));
}

void TestTimeAxis::scrollRangeFollowsTheScale()
{
    TSynchronyzer sync;
    const auto minutes = twoDaysOfMinutes(sync);
    FakeHost host;
    host.ppu = 2.0;
    TimeAxisScrollArea axis(&host, &sync);
    showAxis(axis);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(axis.sceneWidthInPixels(), 2120);
    QCOMPARE(axis.horizontalScrollBar()->maximum(), 2120 - 800 - 1);
    QCOMPARE(axis.horizontalScrollBar()->pageStep(), 800);
    axis.horizontalScrollBar()->setValue(200);
    QCOMPARE(axis.xOfIndex(150), 100);
    int from = 0, to = 0;
    QVERIFY(axis.visibleRange(0, 800, &from, &to));
    QCOMPARE(from, 100);
    QCOMPARE(to, 500);

    // The cursor's time label, once it goes, leaves nothing behind: the repaint asked for
    // covers every pixel it took, its frame's bottom edge included.
    const QImage without = axis.grab().toImage();
    axis.showCursorLabel(150, 100);
    const QImage with = axis.grab().toImage();
    QVERIFY(with != without);
    PaintSpy repainted;
    axis.viewport()->installEventFilter(&repainted);
    QTest::qWait(50); // what showing it asked for is painted first
    repainted.region = QRegion();
    axis.hideCursorLabel();
    QTRY_VERIFY(!repainted.region.isEmpty());
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            const QPoint at = axis.viewport()->mapFrom(&axis, QPoint(x, y));
            if (with.pixel(x, y) != without.pixel(x, y) && !repainted.region.contains(at))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 of the label is left").arg(x).arg(y)));
        }
    }
}

QTEST_MAIN(TestTimeAxis)
#include "tst_chart.moc"
