#pragma once

#include "deal.h"
#include "frameindex.h"
#include "serieskey.h"
#include "timeframe.h"
#include "timeframevalue.h"

#include <QDate>
#include <QList>
#include <QObject>

#include <atomic>
#include <mutex>
#include <vector>

class DealBatch;
class Settings;

// The bars of one instrument for one time frame over a range of calendar days. Bar slots are
// laid out from the board's trading sessions and the trading calendar, grouped in chunks of
// contiguous slots; deals are folded into them from any thread.
class SeriesDataModel : public QObject
{
    Q_OBJECT
public:
    struct Chunk
    {
        datetime start;
        datetime end; // exclusive
        std::vector<TimeFrame> bars;
        // Bars of whole days (a day, a week) start at local midnight, and a day is 23, 24 or
        // 25 hours long: for them the start of every bar and the end of the last, in msecs.
        // Empty for every other frame, whose bars are one fixed stride long.
        std::vector<qint64> borders;
    };

    explicit SeriesDataModel(const SeriesKey &key, QObject *parent = nullptr);
    ~SeriesDataModel() override;

    SeriesKey seriesKey() const { return m_key; }
    ModelKey modelKey() const;
    TimeFrameValue timeFrame() const;
    bool toCurrDate() const;
    QDate dateFrom() const;
    QDate dateTo() const;
    FrameIndex lastIndex() const;
    QList<datetime> sessionIntervals() const;

    void saveState(Settings &settings) const;
    // Reads the time frame and range and lays out the slots. Throws "dateTo" or "daysBack" for
    // an invalid range, and the schedule loader's message (with its group) for a bad schedule.
    void restoreState(Settings &settings);
    bool setTimeFrame(const TimeFrameValue &timeFrame);
    bool applyRange(Settings &settings);

    // Folds the deals of a batch made for the current layout; false when the model does not
    // accept deals now or the batch was made for another layout.
    bool addDeals(const ModelKey &key, const DealBatch &batch);
    // Emits dataChanged from the first to the last bar.
    void signalWholeRange();

    // A copy of the bar, taken under the lock; an empty bar for an invalid index.
    TimeFrame bar(const FrameIndex &index) const;
    FrameIndex frameIndexAt(const datetime &time) const;
    datetime frameTime(const FrameIndex &index, bool atEnd) const;
    int chunkCount() const;
    int chunkSize(int chunk) const;
    datetime chunkStart(int chunk) const;
    datetime chunkEnd(int chunk) const;
    int totalBarCount() const;
    int linearIndex(const FrameIndex &index) const;
    FrameIndex frameIndexOf(int n) const;
    int validBarCount() const;
    FrameIndex validBar(int k) const;
    int validPosition(int n) const;
    int distance(const FrameIndex &a, const FrameIndex &b) const;
    // Gives the model slots up to the index (beyond the last bar), for drawings and the axis.
    void expand(const FrameIndex &index);
    QList<datetime> chunkBorders() const;

    bool isAcceptingData() const { return m_acceptingData.load() != 0; }

Q_SIGNALS:
    void dataChanged(const FrameIndex &from, const FrameIndex &till);
    void timeFrameScaleChanged();

public Q_SLOTS:
    void clear();
    void build();
    void rebuild();
    void update();
    void reset();

private:
    using Lock = std::lock_guard<std::recursive_mutex>;

    void cancelFillers();
    void restoreStateLocked(Settings &settings);
    // Forgets bars, session intervals and chunks; layOutAnew() then lays them out again.
    void clearLayout();
    void layOutAnew();
    void buildSessionIntervals();
    void layoutChunks();
    // Days per bar for frames laid out on calendar days (one day, one week), else 0.
    int calendarDays() const;
    // Fills a calendar chunk's borders for its bars (and its end) from its start.
    void layOutBorders(Chunk &chunk) const;
    datetime barStartLocked(const FrameIndex &index) const;
    datetime frameTimeLocked(const FrameIndex &index, bool atEnd) const;
    void updateOffsets();
    void unite(const datetime &start, const datetime &end);
    void subtract(const datetime &start, const datetime &end);
    void settleValid() const;
    FrameIndex frameIndexAtLocked(const datetime &time) const;
    FrameIndex frameIndexOfLocked(int n) const;
    int linearIndexLocked(const FrameIndex &index) const;
    void clearBars();
    // Empties the slots starting in [from, to); the first of them, invalid when none.
    FrameIndex clearBarsLocked(const datetime &from, const datetime &to);

    const SeriesKey m_key;
    TimeFrameValue m_timeFrame{0, Interval};
    bool m_toCurrDate = true;
    QDate m_dateFrom;
    QDate m_dateTo;
    QList<datetime> m_sessions;
    std::vector<Chunk> m_chunks;
    std::vector<int> m_offsets; // linear number of each chunk's first bar
    FrameIndex m_lastIndex;
    // The valid list: sorted linear numbers of valid bars; bars that became valid since the
    // last read wait unsorted in m_newValid, so folding never shifts the list.
    mutable std::vector<int> m_valid;
    mutable std::vector<int> m_newValid;
    mutable int m_lastChunk = 0; // where the last deal fell: deals mostly come in time order
    mutable std::recursive_mutex m_mutex;
    std::atomic<qint16> m_acceptingData{1};
};
