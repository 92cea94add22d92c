#pragma once

#include "datetime.h"
#include "seriesdataservice.h"
#include "timeframevalue.h"

#include <QList>
#include <QObject>
#include <QPair>

#include <vector>

class QFont;
class QGraphicsScene;
class TimeSeriesItem;

// The time axis shared by the sub-charts of one window. It picks a base unit that divides the
// bar length of every series, lays the trading periods of all series end to end as one index
// of whole units (non-trading time takes no room), converts between times and indices, keeps
// the scenes as wide as the widest series and says where time marks go.
class TSynchronyzer : public QObject, public DayChangeFollower
{
    Q_OBJECT
public:
    using Mark = QPair<int, datetime>;

    explicit TSynchronyzer(QObject *parent = nullptr);

    // DayChangeFollower: the spans of the new day's ranges, at once.
    void followDayChange() override { update(); }
    QObject *followerObject() override { return this; }

    void addScene(QGraphicsScene *scene);
    // Full updates run so far (benchmarks check that a restore runs few).
    int updateCount() const { return m_updateCount; }
    QList<QGraphicsScene *> scenes() const { return m_scenes; }
    void addSeries(TimeSeriesItem *series);
    void removeSeries(TimeSeriesItem *series);
    QList<TimeSeriesItem *> series() const { return m_series; }

    // Value and type: 0 seconds, 1 months, 2 years.
    TimeFrameValue baseFrame() const { return m_baseFrame; }
    double rightEdge() const { return m_rightEdge; }
    int rightMargin() const { return m_rightMargin; }
    void setRightMargin(int bars);
    // A series now reaches the edge: when that is beyond the right edge, the edge moves there
    // and every scene widens with it. sceneWidthChanged() is emitted either way.
    void growRightEdge(double edge);
    // The scene width in index units: right margin + right edge.
    double sceneWidth() const { return m_rightMargin + m_rightEdge; }
    // [first, last] index per span.
    QList<int> spanIndices() const;
    // [start, end] per span, milliseconds since the epoch.
    QList<qint64> spans() const;
    bool hasSpans() const { return !m_spans.empty(); }

    int indexOf(const datetime &time) const;
    // The units from the first span's start up to the moment, as a series counts its width:
    // calendar units for month and year bases; else the first span whose end is not before
    // the moment (the last span, up to its end, when none is), its first index plus the
    // units begun since its start.
    double unitsTo(const datetime &time) const;
    datetime timeAt(int index) const;
    // timeAt, and at the last span's last index that span's end: where a bar standing at the
    // end of its interval closes the shown period.
    datetime momentAt(int index) const;
    // A moment brought into the shown period: not before the first span's start and not at or
    // after the last span's end (one second before it instead); null without spans.
    datetime clampedTime(const datetime &time) const;
    // The time at an index, clamped the same way: an index in the right margin or before the
    // first span still gets a moment of the shown period.
    datetime clampedTimeAt(int index) const;
    // Marks every step indices from `from` up to `to`, aligned to each span's start; a mark
    // whose next step would pass its span's end carries no time (a tick without text).
    QList<Mark> timeMarks(int from, int to, int step) const;
    QList<int> timeMarkIndices(int from, int to, int step) const;
    // Indices between marks for the font at that horizontal scale.
    int markStep(const QFont &font, double pixelsPerUnit) const;
    // The text of a mark or of the cursor label at that time.
    QString markText(const datetime &time) const;

Q_SIGNALS:
    void sceneWidthChanged();
    void timeMarkingChanged();

public Q_SLOTS:
    void updateSceneRectAndItemsPos();
    void update();
    // update() on the next turn of the event loop, once however often it is asked for.
    void requestUpdate();
    void removeScene(QObject *scene);
    void removeItem(QObject *item);

private:
    struct Span
    {
        qint64 start;
        qint64 end;
        int first;
        int last;
    };

    void rebuildSpans();
    void computeBaseFrame();
    void computeSpanIndices();
    // The first span whose end is not before the time; -1 when none.
    int spanEndingAtOrAfter(qint64 msecs) const;
    // The first span whose end is not before the moment; past the last span, the last one,
    // with the moment moved to its end. The spans must not be empty.
    const Span &spanHolding(qint64 &msecs) const;
    // The first span whose last index is greater than the index; -1 when none.
    int spanLastAbove(int index) const;
    // Whole calendar days per base unit when the base is a day or a week (slots then start at
    // local midnight, whatever the length of the day), else 0.
    int baseDays() const;
    datetime unitStart(qint64 spanStart, int units) const;
    void scheduleUpdate();

    QList<QGraphicsScene *> m_scenes;
    QList<TimeSeriesItem *> m_series;
    QList<QObject *> m_objects; // the series' objects, in the same order
    TimeFrameValue m_baseFrame{1, Interval};
    double m_rightEdge = 1.0;
    int m_rightMargin = 10;
    std::vector<Span> m_spans;
    bool m_updateScheduled = false;
    int m_updateCount = 0;
};
