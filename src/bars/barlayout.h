#pragma once

#include "datetime.h"
#include "frameindex.h"
#include "session.h"
#include "timeframevalue.h"

#include <QDate>
#include <QList>

#include <vector>

// Where the bar slots of one time frame lie over a range of calendar days: the trading
// periods of the range, the chunks of contiguous slots laid over them, and the conversions
// between moments, chunk-and-bar indices and linear slot numbers. A plain value without locks
// or bars: the bar model keeps one under its lock beside the bars themselves.
class BarLayout
{
public:
    struct Chunk
    {
        datetime start;
        datetime end; // exclusive
        int size = 0; // slots
        // Bars of whole days (a day, a week) start at local midnight, and a day is 23, 24 or
        // 25 hours long: for them the start of every bar and the end of the last, in msecs.
        // Empty for every other frame, whose bars are one fixed stride long.
        std::vector<qint64> borders;
    };

    // Sorted [start, end) pairs of trading time. unite() merges a period in (periods that
    // touch become one), subtract() cuts one out.
    static void unite(QList<datetime> &periods, const datetime &start, const datetime &end);
    static void subtract(QList<datetime> &periods, const datetime &start, const datetime &end);
    // The trading periods of a weekly schedule over the days [from, to]: a session that runs
    // past the last day ends at its midnight, one that opened the day before the first day
    // leaves its morning tail, holidays of the trading calendar close whole days and its
    // working weekend days open them. Empty for an empty or inverted range.
    static QList<datetime> tradingPeriods(const SessionList &schedule, const QDate &from,
                                          const QDate &to);

    // The slots the frame lays out over the periods of the days [from, to], counted without
    // laying them out (a range can hold more than an int).
    static qint64 slotCount(const TimeFrameValue &frame, const QDate &from, const QDate &to,
                            const QList<datetime> &periods);
    // Lays the frame's slots out over the periods of the days [from, to]; at most INT_MAX
    // slots in all (slotCount() tells beforehand).
    void layOut(const TimeFrameValue &frame, const QDate &from, const QDate &to,
                const QList<datetime> &periods);
    void clear();

    TimeFrameValue timeFrame() const { return m_frame; }
    const QList<datetime> &periods() const { return m_periods; }
    const std::vector<Chunk> &chunks() const { return m_chunks; }
    bool isEmpty() const { return m_chunks.empty(); }
    int chunkSize(int chunk) const;
    datetime chunkStart(int chunk) const;
    datetime chunkEnd(int chunk) const;
    int totalBarCount() const;
    // The linear number of the chunk's first slot.
    int offset(int chunk) const { return m_offsets[size_t(chunk)]; }

    // The slot holding the moment, invalid outside every slot. Remembers the chunk it found:
    // moments mostly come in time order.
    FrameIndex indexAt(const datetime &time) const;
    // The start of the slot, or its end when atEnd.
    datetime frameTime(const FrameIndex &index, bool atEnd) const;
    int linearIndex(const FrameIndex &index) const;
    FrameIndex indexOf(int n) const;
    // Slots [first, end) of the chunk whose start lies in [from, to).
    std::pair<int, int> slotsStartingIn(int chunk, const datetime &from, const datetime &to) const;
    // Gives the layout slots up to the index: chunks after the last one as long as it is,
    // and more slots in the index's chunk. Throws for an empty layout.
    void expand(const FrameIndex &index);
    // Every chunk's start and end, sorted.
    QList<datetime> chunkBorders() const;

private:
    void addChunk(const datetime &start, const datetime &end, qint64 size);
    // Days per bar for frames laid out on calendar days (one day, one week), else 0.
    int calendarDays() const;
    // Fills a calendar chunk's borders for its slots (and its end) from its start.
    void layOutBorders(Chunk &chunk) const;
    datetime barStart(const FrameIndex &index) const;
    void updateOffsets();

    TimeFrameValue m_frame{0, Interval};
    QList<datetime> m_periods;
    std::vector<Chunk> m_chunks;
    std::vector<int> m_offsets;
    mutable int m_lastChunk = 0;
};
