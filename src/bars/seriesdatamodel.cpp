#include "seriesdatamodel.h"

#include "datetime.h"
#include "dealbatch.h"
#include "mapsettings.h"
#include "schedulestore.h"
#include "securitydirectory.h"
#include "seriesdataservice.h"

#include <algorithm>

namespace {

SeriesDataService *service = nullptr;

} // namespace

SeriesDataService *SeriesDataService::instance()
{
    return service;
}

void SeriesDataService::setInstance(SeriesDataService *s)
{
    service = s;
}

SeriesDataModel::SeriesDataModel(const SeriesKey &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
{
}

SeriesDataModel::~SeriesDataModel()
{
    if (SeriesDataService *s = SeriesDataService::instance())
        s->unregisterModel(this);
}

SeriesKey SeriesDataModel::seriesKey() const
{
    Lock lock(m_mutex);
    return m_key;
}

void SeriesDataModel::setSeriesKey(const SeriesKey &key)
{
    cancelFillers();
    Lock lock(m_mutex);
    if (key == m_key)
        return;
    m_key = key;
    layOutAnew();
}

ModelKey SeriesDataModel::modelKey() const
{
    Lock lock(m_mutex);
    return {m_key, m_timeFrame, m_toCurrDate, m_dateFrom, m_dateTo};
}

TimeFrameValue SeriesDataModel::timeFrame() const
{
    Lock lock(m_mutex);
    return m_timeFrame;
}

bool SeriesDataModel::toCurrDate() const
{
    Lock lock(m_mutex);
    return m_toCurrDate;
}

QDate SeriesDataModel::dateFrom() const
{
    Lock lock(m_mutex);
    return m_dateFrom;
}

QDate SeriesDataModel::dateTo() const
{
    Lock lock(m_mutex);
    return m_dateTo;
}

FrameIndex SeriesDataModel::lastIndex() const
{
    Lock lock(m_mutex);
    return m_lastIndex;
}

QList<datetime> SeriesDataModel::sessionIntervals() const
{
    Lock lock(m_mutex);
    return m_layout.periods();
}

void SeriesDataModel::cancelFillers()
{
    m_acceptingData.store(0);
    if (SeriesDataService *s = SeriesDataService::instance())
        s->cancelFillers(this);
    m_acceptingData.store(0);
}

// --- state --------------------------------------------------------------------------------

void SeriesDataModel::saveState(Settings &settings) const
{
    Lock lock(m_mutex);
    // An instrument the reference data does not know (yet) keeps its numeric key, so that the
    // saved window still names it.
    QString key = SecurityDirectory::i()->textIdById(m_key.stock_id, m_key.board_id, m_key.sec_id);
    if (key.isEmpty())
        key = m_key.toString();
    settings.setValue(QStringLiteral("key"), key);
    settings.setValue(QStringLiteral("toCurrDate"), m_toCurrDate);
    settings.setValue(QStringLiteral("dateTo"), m_dateTo.toString(Qt::ISODate));
    settings.setValue(QStringLiteral("daysBack"), int(m_dateFrom.daysTo(m_dateTo) + 1));
    m_timeFrame.save(settings);
}

QString SeriesDataModel::tooManySlotsText(qint64 count)
{
    // Grouped as the limit is written.
    QString digits = QString::number(count);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u' ');
    return QStringLiteral("Слишком большой диапазон: %1 баров при допустимых 10 000 000. "
                          "Уменьшите период или увеличьте таймфрейм.")
        .arg(digits);
}

QString SeriesDataModel::rangeRefusal(const SeriesKey &key, const TimeFrameValue &frame,
                                      const QDate &from, const QDate &to)
{
    if (!from.isValid() || !to.isValid() || to < from)
        return {};
    // A bound first: most ranges are far below the limit whatever the sessions.
    if (slotBound(frame, from.daysTo(to) + 1) <= MaxSlots)
        return {};
    SessionList schedule;
    try {
        schedule = ScheduleStore::scheduleForBoard(key.stock_id, key.board_id);
    } catch (const QString &) {
        return {};
    }
    const qint64 slotTotal = BarLayout::slotCount(frame, from, to,
                                              BarLayout::tradingPeriods(schedule, from, to));
    return slotTotal > MaxSlots ? tooManySlotsText(slotTotal) : QString();
}

qint64 SeriesDataModel::slotBound(const TimeFrameValue &frame, qint64 days)
{
    if (frame.kind != Interval)
        return days / 28 + 2;
    // A day of a clock change has 25 hours; a bar may straddle each end of the range.
    return days * 90000 / qMax<qint64>(1, frame.value) + 2;
}

QString SeriesDataModel::layoutError() const
{
    Lock lock(m_mutex);
    if (!m_rebuildFailure.isEmpty())
        return m_rebuildFailure;
    return m_scheduleError.isEmpty() ? m_rangeError : m_scheduleError;
}

void SeriesDataModel::noteRebuildFailure(const QString &text)
{
    Lock lock(m_mutex);
    m_rebuildFailure = text;
}

namespace {

struct Range
{
    bool toCurrDate;
    QDate dateFrom;
    QDate dateTo;
};

// Throws the name of the first key that is not acceptable.
Range readRange(Settings &settings)
{
    Range r;
    r.toCurrDate = settings.value(QStringLiteral("toCurrDate"), true).toBool();
    r.dateTo = r.toCurrDate ? datetime::today()
                            : settings.value(QStringLiteral("dateTo")).toDate();
    if (!r.dateTo.isValid())
        throw QStringLiteral("dateTo");
    bool ok = false;
    const int daysBack = settings.value(QStringLiteral("daysBack"), 1).toInt(&ok);
    if (!ok || daysBack < 1)
        throw QStringLiteral("daysBack");
    r.dateFrom = r.dateTo.addDays(-(daysBack - 1));
    return r;
}

} // namespace

QString SeriesDataModel::rangeRefusal(const SeriesKey &key, const TimeFrameValue &frame,
                                      const Settings &range)
{
    MapSettings copy;
    for (const char *name : {"toCurrDate", "dateTo", "daysBack"}) {
        const QString k = QString::fromLatin1(name);
        if (range.contains(k))
            copy.setValue(k, range.value(k));
    }
    try {
        const Range r = readRange(copy);
        return rangeRefusal(key, frame, r.dateFrom, r.dateTo);
    } catch (const QString &) {
        return {};
    }
}

void SeriesDataModel::restoreState(Settings &settings)
{
    cancelFillers();
    Lock lock(m_mutex);
    restoreStateLocked(settings);
}

void SeriesDataModel::restoreStateLocked(Settings &settings)
{
    const TimeFrameValue timeFrame = TimeFrameValue::load(settings);
    const Range range = readRange(settings);
    m_timeFrame = timeFrame;
    m_toCurrDate = range.toCurrDate;
    m_dateFrom = range.dateFrom;
    m_dateTo = range.dateTo;
    layOutAnew();
}

bool SeriesDataModel::setTimeFrame(const TimeFrameValue &timeFrame)
{
    if (this->timeFrame() == timeFrame)
        return false;
    cancelFillers();
    {
        Lock lock(m_mutex);
        m_timeFrame = timeFrame;
        m_lastIndex = {};
        m_valid.clear();
        m_newValid.clear();
        layOutSlots();
        noteChanged(0);
    }
    Q_EMIT timeFrameScaleChanged();
    return true;
}

bool SeriesDataModel::applyRange(Settings &settings)
{
    Range range;
    try {
        range = readRange(settings);
    } catch (const QString &) {
        return false;
    }
    {
        Lock lock(m_mutex);
        if (range.dateFrom == m_dateFrom && range.dateTo == m_dateTo
            && range.toCurrDate == m_toCurrDate)
            return false;
    }
    cancelFillers();
    Lock lock(m_mutex);
    m_toCurrDate = range.toCurrDate;
    m_dateFrom = range.dateFrom;
    m_dateTo = range.dateTo;
    layOutAnew();
    return true;
}

void SeriesDataModel::clearLayout()
{
    m_lastIndex = {};
    m_valid.clear();
    m_newValid.clear();
    m_layout.clear();
    m_bars.clear();
    ++m_layoutGeneration;
    noteChanged(0);
}

void SeriesDataModel::layOutAnew()
{
    clearLayout();
    m_periods.clear();
    m_scheduleError.clear();
    SessionList schedule;
    try {
        schedule = ScheduleStore::scheduleForBoard(m_key.stock_id, m_key.board_id);
    } catch (const QString &message) {
        // A stored schedule the loader refuses: no slots until it is mended.
        m_scheduleError = message;
    }
    if (m_scheduleError.isEmpty() && schedule.isEmpty())
        m_scheduleError = QStringLiteral("Нет торговых сессий");
    if (m_scheduleError.isEmpty())
        m_periods = BarLayout::tradingPeriods(schedule, m_dateFrom, m_dateTo);
    layOutSlots();
}

void SeriesDataModel::layOutSlots()
{
    m_rebuildFailure.clear();
    // Counted before anything is allocated: a layout of too many slots stays empty.
    const qint64 slotTotal = BarLayout::slotCount(m_timeFrame, m_dateFrom, m_dateTo, m_periods);
    m_rangeError = slotTotal > MaxSlots ? tooManySlotsText(slotTotal) : QString();
    m_layout.layOut(m_timeFrame, m_dateFrom, m_dateTo,
                    m_rangeError.isEmpty() ? m_periods : QList<datetime>());
    m_bars.clear();
    fitBars();
}

void SeriesDataModel::fitBars()
{
    ++m_layoutGeneration;
    m_bars.resize(m_layout.chunks().size());
    for (size_t c = 0; c < m_bars.size(); ++c)
        m_bars[c].resize(size_t(m_layout.chunkSize(int(c))));
}

// --- deals --------------------------------------------------------------------------------

FrameIndex SeriesDataModel::frameIndexAt(const datetime &time) const
{
    Lock lock(m_mutex);
    return m_layout.indexAt(time);
}

bool SeriesDataModel::addDeals(const ModelKey &key, const DealBatch &batch)
{
    if (m_acceptingData.load() == 0)
        return false;
    FrameIndex smallest;
    FrameIndex greatest;
    {
        Lock lock(m_mutex);
        if (key != ModelKey{m_key, m_timeFrame, m_toCurrDate, m_dateFrom, m_dateTo})
            return false;
        if (!batch.replaceFrom().isNull()) {
            const FrameIndex oldLast = m_lastIndex;
            smallest = clearBarsLocked(batch.replaceFrom(), batch.replaceTo());
            if (smallest.isValid())
                greatest = oldLast.isValid() && smallest < oldLast ? oldLast : smallest;
        }
        // Deals come in runs that fall into one bar: while a deal lies in the borders of the
        // previous deal's bar, it goes straight there without finding its slot again.
        qint64 barFrom = 0;
        qint64 barTo = 0; // [barFrom, barTo): the current bar's moments; empty at first
        TimeFrame *bar = nullptr;
        int linear = 0;
        for (const Deal &deal : batch.deals()) {
            const qint64 ms = deal.time.toMSecsSinceEpoch();
            if (ms < barFrom || ms >= barTo) {
                const FrameIndex idx = m_layout.indexAt(deal.time);
                if (!idx.isValid()) {
                    barTo = barFrom;
                    continue;
                }
                if (!m_lastIndex.isValid() || m_lastIndex < idx)
                    m_lastIndex = idx;
                if (!smallest.isValid() || idx < smallest)
                    smallest = idx;
                if (!greatest.isValid() || greatest < idx)
                    greatest = idx;
                bar = &m_bars[size_t(idx.chunk)][size_t(idx.bar)];
                linear = m_layout.offset(idx.chunk) + idx.bar;
                barFrom = m_layout.frameTime(idx, false).toMSecsSinceEpoch();
                barTo = std::min(m_layout.frameTime(idx, true).toMSecsSinceEpoch(),
                                 m_layout.chunkEnd(idx.chunk).toMSecsSinceEpoch());
            }
            if (foldDeal(*bar, deal))
                m_newValid.push_back(linear);
        }
        if (smallest.isValid())
            noteChanged(m_layout.linearIndex(smallest));
    }
    if (smallest.isValid())
        Q_EMIT dataChanged(smallest, greatest);
    return true;
}

void SeriesDataModel::signalWholeRange()
{
    const int total = totalBarCount();
    if (total > 0)
        Q_EMIT dataChanged(FrameIndex(0, 0), frameIndexOf(total - 1));
}

void SeriesDataModel::settleValid() const
{
    if (m_newValid.empty())
        return;
    std::sort(m_newValid.begin(), m_newValid.end());
    const size_t middle = m_valid.size();
    m_valid.insert(m_valid.end(), m_newValid.begin(), m_newValid.end());
    std::inplace_merge(m_valid.begin(), m_valid.begin() + std::ptrdiff_t(middle), m_valid.end());
    m_newValid.clear();
}

// --- reading ------------------------------------------------------------------------------

TimeFrame SeriesDataModel::bar(const FrameIndex &index) const
{
    Lock lock(m_mutex);
    if (index.chunk < 0 || index.chunk >= int(m_bars.size()) || index.bar < 0
        || index.bar >= int(m_bars[size_t(index.chunk)].size()))
        return {};
    return m_bars[size_t(index.chunk)][size_t(index.bar)];
}

std::vector<TimeFrame> SeriesDataModel::bars(int chunk, int first, int count) const
{
    Lock lock(m_mutex);
    if (chunk < 0 || chunk >= int(m_bars.size()))
        return {};
    const std::vector<TimeFrame> &chunkBars = m_bars[size_t(chunk)];
    const int from = std::clamp(first, 0, int(chunkBars.size()));
    const int to = std::clamp(first + std::max(0, count), from, int(chunkBars.size()));
    return std::vector<TimeFrame>(chunkBars.begin() + from, chunkBars.begin() + to);
}

datetime SeriesDataModel::frameTime(const FrameIndex &index, bool atEnd) const
{
    Lock lock(m_mutex);
    return m_layout.frameTime(index, atEnd);
}

int SeriesDataModel::chunkCount() const
{
    Lock lock(m_mutex);
    return int(m_layout.chunks().size());
}

int SeriesDataModel::chunkSize(int chunk) const
{
    Lock lock(m_mutex);
    return m_layout.chunkSize(chunk);
}

datetime SeriesDataModel::chunkStart(int chunk) const
{
    Lock lock(m_mutex);
    return m_layout.chunkStart(chunk);
}

datetime SeriesDataModel::chunkEnd(int chunk) const
{
    Lock lock(m_mutex);
    return m_layout.chunkEnd(chunk);
}

int SeriesDataModel::totalBarCount() const
{
    Lock lock(m_mutex);
    return m_layout.totalBarCount();
}

int SeriesDataModel::linearIndex(const FrameIndex &index) const
{
    Lock lock(m_mutex);
    return m_layout.linearIndex(index);
}

FrameIndex SeriesDataModel::frameIndexOf(int n) const
{
    Lock lock(m_mutex);
    return m_layout.indexOf(n);
}

int SeriesDataModel::validBarCount() const
{
    Lock lock(m_mutex);
    settleValid();
    return int(m_valid.size());
}

FrameIndex SeriesDataModel::validBar(int k) const
{
    Lock lock(m_mutex);
    settleValid();
    if (k < 0 || k >= int(m_valid.size()))
        return {};
    return m_layout.indexOf(m_valid[size_t(k)]);
}

int SeriesDataModel::validLinear(int k) const
{
    Lock lock(m_mutex);
    settleValid();
    return k >= 0 && k < int(m_valid.size()) ? m_valid[size_t(k)] : -1;
}

int SeriesDataModel::validPosition(int n) const
{
    Lock lock(m_mutex);
    settleValid();
    const auto it = std::lower_bound(m_valid.begin(), m_valid.end(), n);
    return it != m_valid.end() && *it == n ? int(it - m_valid.begin()) : -1;
}

int SeriesDataModel::watchChanges()
{
    Lock lock(m_mutex);
    const int watch = m_nextWatch++;
    // A new watch has seen nothing: everything counts as changed.
    m_changeWatches.emplace_back(watch, 0);
    return watch;
}

void SeriesDataModel::unwatchChanges(int watch)
{
    Lock lock(m_mutex);
    m_changeWatches.erase(std::remove_if(m_changeWatches.begin(), m_changeWatches.end(),
                                         [watch](const auto &w) { return w.first == watch; }),
                          m_changeWatches.end());
}

void SeriesDataModel::noteChanged(int linear)
{
    for (auto &watch : m_changeWatches)
        watch.second = std::min(watch.second, std::max(0, linear));
}

int SeriesDataModel::takeChanges(int watch)
{
    Lock lock(m_mutex);
    for (auto &w : m_changeWatches) {
        if (w.first != watch)
            continue;
        const int lowest = w.second;
        w.second = std::numeric_limits<int>::max();
        if (lowest == std::numeric_limits<int>::max())
            return -1;
        // Bars before the lowest changed slot kept their numbers: nothing before it became
        // valid or invalid, or the mark would be lower.
        settleValid();
        return int(std::lower_bound(m_valid.begin(), m_valid.end(), lowest) - m_valid.begin());
    }
    return 0;
}

void SeriesDataModel::forValidBars(int first, int count,
                                   const std::function<void(int, const TimeFrame &)> &fn) const
{
    Lock lock(m_mutex);
    settleValid();
    const int from = std::clamp(first, 0, int(m_valid.size()));
    const int to = int(std::clamp<qint64>(qint64(from) + std::max(0, count), from,
                                          qint64(m_valid.size())));
    for (int k = from; k < to; ++k) {
        const FrameIndex index = m_layout.indexOf(m_valid[size_t(k)]);
        fn(k, m_bars[size_t(index.chunk)][size_t(index.bar)]);
    }
}

std::vector<FrameIndex> SeriesDataModel::validBarsBetween(int linearFrom, int linearTill,
                                                          int *firstBar) const
{
    Lock lock(m_mutex);
    settleValid();
    const auto begin = std::lower_bound(m_valid.begin(), m_valid.end(), linearFrom);
    const auto end = std::upper_bound(begin, m_valid.end(), linearTill);
    std::vector<FrameIndex> found;
    found.reserve(size_t(std::max<std::ptrdiff_t>(0, end - begin)));
    for (auto it = begin; it < end; ++it)
        found.push_back(m_layout.indexOf(*it));
    if (firstBar)
        *firstBar = found.empty() ? -1 : int(begin - m_valid.begin());
    return found;
}

int SeriesDataModel::distance(const FrameIndex &a, const FrameIndex &b) const
{
    Lock lock(m_mutex);
    return m_layout.linearIndex(b) - m_layout.linearIndex(a);
}

void SeriesDataModel::expand(const FrameIndex &index)
{
    Lock lock(m_mutex);
    if (m_layout.isEmpty())
        throw QStringLiteral("Can't expand empty SeriesDataModel");
    if (index.chunk < 0 || index.bar < 0)
        return;
    settleValid();
    std::vector<int> oldOffsets(m_bars.size());
    for (size_t c = 0; c < oldOffsets.size(); ++c)
        oldOffsets[c] = m_layout.offset(int(c));
    m_layout.expand(index);
    fitBars();
    // Bars after the grown chunk move; the valid list follows their linear numbers.
    for (int &n : m_valid) {
        const auto it = std::upper_bound(oldOffsets.begin(), oldOffsets.end(), n);
        const size_t c = size_t(it - oldOffsets.begin()) - 1;
        n = m_layout.offset(int(c)) + (n - oldOffsets[c]);
    }
}

QList<datetime> SeriesDataModel::chunkBorders() const
{
    Lock lock(m_mutex);
    return m_layout.chunkBorders();
}

// --- slots --------------------------------------------------------------------------------

void SeriesDataModel::clearBars()
{
    noteChanged(0);
    m_lastIndex = {};
    m_valid.clear();
    m_newValid.clear();
    for (std::vector<TimeFrame> &bars : m_bars)
        std::fill(bars.begin(), bars.end(), TimeFrame());
}

FrameIndex SeriesDataModel::clearBarsLocked(const datetime &from, const datetime &to)
{
    if (!(from < to))
        return {};
    int lowest = -1;
    int highest = -1; // linear numbers of the cleared slots
    for (size_t c = 0; c < m_bars.size(); ++c) {
        if (!(from < m_layout.chunkEnd(int(c))) || !(m_layout.chunkStart(int(c)) < to))
            continue;
        const auto [first, end] = m_layout.slotsStartingIn(int(c), from, to);
        if (first >= end)
            continue;
        std::fill(m_bars[c].begin() + first, m_bars[c].begin() + end, TimeFrame());
        if (lowest < 0)
            lowest = m_layout.offset(int(c)) + first;
        highest = m_layout.offset(int(c)) + end - 1;
    }
    if (lowest < 0)
        return {};
    noteChanged(lowest);
    settleValid();
    const auto begin = std::lower_bound(m_valid.begin(), m_valid.end(), lowest);
    const auto end = std::upper_bound(begin, m_valid.end(), highest);
    m_valid.erase(begin, end);
    if (m_lastIndex.isValid() && m_layout.linearIndex(m_lastIndex) >= lowest)
        m_lastIndex = m_valid.empty() ? FrameIndex() : m_layout.indexOf(m_valid.back());
    return m_layout.indexOf(lowest);
}

void SeriesDataModel::clear()
{
    cancelFillers();
    {
        Lock lock(m_mutex);
        clearBars();
    }
    Q_EMIT dataChanged({}, {});
}

void SeriesDataModel::build()
{
    cancelFillers();
    m_acceptingData.store(1);
    bool hasSessions;
    {
        Lock lock(m_mutex);
        hasSessions = !m_layout.periods().isEmpty();
    }
    if (hasSessions
        && !SecurityDirectory::i()->recordById(m_key.stock_id, m_key.board_id, m_key.sec_id)
                .isNull()) {
        if (SeriesDataService *s = SeriesDataService::instance())
            s->fillModel(this);
    }
}

void SeriesDataModel::rebuild()
{
    clear();
    build();
}

void SeriesDataModel::update()
{
    cancelFillers();
    m_acceptingData.store(1);
    SeriesDataService *s = SeriesDataService::instance();
    QDate from, to;
    bool follow;
    {
        Lock lock(m_mutex);
        if (m_layout.periods().isEmpty())
            return;
        follow = m_toCurrDate;
        from = m_dateFrom;
        to = m_dateTo;
    }
    if (!follow) {
        if (s)
            s->updateModel(this);
        return;
    }
    const QDate today = datetime::today();
    const QDate newFrom = alignToFrame(timeFrame(), datetime(today.addDays(-from.daysTo(to))))
                              .getDate();
    if (to != today || from != newFrom) {
        cancelFillers();
        {
            Lock lock(m_mutex);
            m_dateTo = today;
            m_dateFrom = newFrom;
            layOutAnew();
        }
        m_acceptingData.store(1);
    }
    if (s)
        s->updateModel(this);
}

void SeriesDataModel::reset()
{
    cancelFillers();
    {
        Lock lock(m_mutex);
        MapSettings state;
        saveState(state);
        clearLayout();
        // The fillers were cancelled above: the data manager is never called with the lock
        // held, since its live path takes the locks the other way round.
        restoreStateLocked(state);
    }
    Q_EMIT dataChanged({}, {});
}
