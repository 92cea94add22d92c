#pragma once

#include "barlayout.h"
#include "deal.h"
#include "frameindex.h"
#include "serieskey.h"
#include "timeframe.h"
#include "timeframevalue.h"

#include <QDate>
#include <QList>
#include <QObject>

#include <atomic>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

class DealBatch;
class Settings;

// The bars of one instrument for one time frame over a range of calendar days. Bar slots are
// laid out (BarLayout) from the board's trading sessions and the trading calendar, grouped in
// chunks of contiguous slots; deals are folded into them from any thread.
class SeriesDataModel : public QObject
{
    Q_OBJECT
public:
    explicit SeriesDataModel(const SeriesKey &key, QObject *parent = nullptr);
    ~SeriesDataModel() override;

    SeriesKey seriesKey() const;
    // Gives the model another instrument: the layout and bars are forgotten (clear() and
    // build() lay them out and fill them again). The caller cancels the fillers first.
    void setSeriesKey(const SeriesKey &key);
    // Changes whenever the slots are laid out anew or grow: indices of an older layout may
    // name other bars or none.
    int layoutGeneration() const { return m_layoutGeneration.load(); }
    ModelKey modelKey() const;
    TimeFrameValue timeFrame() const;
    bool toCurrDate() const;
    QDate dateFrom() const;
    QDate dateTo() const;
    FrameIndex lastIndex() const;
    QList<datetime> sessionIntervals() const;

    // A layout holds at most this many slots: more would not fit in memory.
    static constexpr qint64 MaxSlots = 10000000;
    // The refusal of a layout of so many slots.
    static QString tooManySlotsText(qint64 count);
    // Why the frame over the days [from, to] is refused for the instrument (a layout of more
    // than MaxSlots slots, counted from its sessions without laying them out), or empty.
    static QString rangeRefusal(const SeriesKey &key, const TimeFrameValue &frame,
                                const QDate &from, const QDate &to);
    // The same for the range that series settings name ("toCurrDate", "dateTo", "daysBack");
    // empty for a range they do not name validly.
    static QString rangeRefusal(const SeriesKey &key, const TimeFrameValue &frame,
                                const Settings &range);
    // The most slots the frame can lay out over that many days for any instrument (one that
    // trades around the clock every day).
    static qint64 slotBound(const TimeFrameValue &frame, qint64 days);
    // Why the model holds no slots, or empty: a range of too many slots, a schedule without
    // sessions ("Нет торговых сессий") or one the loader refuses (its message). The model
    // stays empty until the range, the frame or the schedule change. A rebuild failure noted
    // below comes first.
    QString layoutError() const;
    // A rebuild that failed part-way (the day change's reset): the text is the layout error
    // until the model is laid out again.
    void noteRebuildFailure(const QString &text);

    void saveState(Settings &settings) const;
    // Reads the time frame and range and lays out the slots. Throws "dateTo" or "daysBack" for
    // an invalid range; a range or a schedule that cannot be laid out leaves the model empty
    // with its layoutError().
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
    // Copies of the bars [first, first + count) of a chunk, clipped to it, under one lock.
    std::vector<TimeFrame> bars(int chunk, int first, int count) const;
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
    // The linear number of the valid bar k; -1 when there is none.
    int validLinear(int k) const;
    int distance(const FrameIndex &a, const FrameIndex &b) const;
    // Gives the model slots up to the index (beyond the last bar), for drawings and the axis.
    void expand(const FrameIndex &index);
    QList<datetime> chunkBorders() const;

    // Change watches: readers that keep values by bar number (an indicator's cached closes)
    // ask what changed since they last looked, whatever thread changed it and whether or not
    // the change has been signalled yet.
    int watchChanges();
    void unwatchChanges(int watch);
    // The first bar number whose bar may differ since the last call (a bar that received
    // deals, was cleared or was laid out anew, and every bar after it), -1 when none.
    int takeChanges(int watch);
    // Calls fn(k, bar) for the valid bars k in [first, first + count), under one lock.
    void forValidBars(int first, int count,
                      const std::function<void(int, const TimeFrame &)> &fn) const;
    // The slots of the valid bars whose linear numbers lie in [linearFrom, linearTill], taken
    // under one lock, and the bar number of the first of them (-1 when there is none).
    std::vector<FrameIndex> validBarsBetween(int linearFrom, int linearTill, int *firstBar) const;

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
    // Forgets bars and layout; layOutAnew() then lays them out again.
    void clearLayout();
    void layOutAnew();
    // Lays the slots out for the current frame over the current periods, all bars empty.
    void layOutSlots();
    // One vector of bars per chunk, each as long as its chunk; bars already there stay.
    void fitBars();
    void settleValid() const;
    void clearBars();
    // Every change watch learns that the slots from the linear number on may have changed.
    void noteChanged(int linear);
    // Empties the slots starting in [from, to); the first of them, invalid when none.
    FrameIndex clearBarsLocked(const datetime &from, const datetime &to);

    SeriesKey m_key;
    TimeFrameValue m_timeFrame{0, Interval};
    bool m_toCurrDate = true;
    QDate m_dateFrom;
    QDate m_dateTo;
    BarLayout m_layout;
    QList<datetime> m_periods; // the trading periods of the range, laid out or not
    QString m_scheduleError;   // why the schedule gave no periods
    QString m_rangeError;      // why the periods were not laid out
    QString m_rebuildFailure;  // why the last rebuild stopped part-way
    std::vector<std::vector<TimeFrame>> m_bars; // per chunk of the layout
    FrameIndex m_lastIndex;
    // The valid list: sorted linear numbers of valid bars; bars that became valid since the
    // last read wait unsorted in m_newValid, so folding never shifts the list.
    mutable std::vector<int> m_valid;
    mutable std::vector<int> m_newValid;
    mutable std::recursive_mutex m_mutex;
    std::atomic<qint16> m_acceptingData{1};
    std::atomic<int> m_layoutGeneration{0};
    // Per change watch: the lowest linear number changed since it last looked (max: none).
    std::vector<std::pair<int, int>> m_changeWatches;
    int m_nextWatch = 1;
};
