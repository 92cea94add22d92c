#include "seriesdatamodel.h"

#include "datetime.h"
#include "calendardirectory.h"
#include "dealbatch.h"
#include "mapsettings.h"
#include "schedulestore.h"
#include "securitydirectory.h"
#include "seriesdataservice.h"
#include "table.h"

#include <algorithm>

namespace {

SeriesDataService *service = nullptr;


datetime atMinute(const QDate &date, int minuteOfDay)
{
    return datetime(date, QTime(minuteOfDay / 60, minuteOfDay % 60));
}

datetime addMonths(const datetime &t, int months)
{
    return datetime(t.getDateTime().addMonths(months));
}

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
    return m_sessions;
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
    settings.setValue(QStringLiteral("key"),
                      SecurityDirectory::i()->textIdById(m_key.stock_id, m_key.board_id,
                                                         m_key.sec_id));
    settings.setValue(QStringLiteral("toCurrDate"), m_toCurrDate);
    settings.setValue(QStringLiteral("dateTo"), m_dateTo.toString(Qt::ISODate));
    settings.setValue(QStringLiteral("daysBack"), int(m_dateFrom.daysTo(m_dateTo) + 1));
    m_timeFrame.save(settings);
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
        layoutChunks();
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
    m_sessions.clear();
    m_chunks.clear();
    updateOffsets();
}

void SeriesDataModel::layOutAnew()
{
    clearLayout();
    buildSessionIntervals();
    layoutChunks();
}

// --- session intervals --------------------------------------------------------------------

void SeriesDataModel::unite(const datetime &start, const datetime &end)
{
    if (!(start < end))
        return;
    auto first = std::lower_bound(m_sessions.begin(), m_sessions.end(), start);
    qsizetype i = first - m_sessions.begin();
    datetime newStart = start;
    if (i % 2 == 1) {
        // Inside a pair, or touching its end: the united pair starts where that one did.
        --i;
        newStart = m_sessions.at(i);
    }
    qsizetype j = std::lower_bound(m_sessions.begin() + i, m_sessions.end(), end)
                  - m_sessions.begin();
    datetime newEnd = end;
    if (j % 2 == 1) {
        newEnd = m_sessions.at(j);
        ++j;
    } else if (j < m_sessions.size() && m_sessions.at(j) == end) {
        // Touching the next pair's start: take that pair in.
        newEnd = m_sessions.at(j + 1);
        j += 2;
    }
    m_sessions.remove(i, j - i);
    m_sessions.insert(i, newEnd);
    m_sessions.insert(i, newStart);
}

void SeriesDataModel::subtract(const datetime &start, const datetime &end)
{
    if (!(start < end))
        return;
    const qsizetype i = std::lower_bound(m_sessions.begin(), m_sessions.end(), start)
                        - m_sessions.begin();
    const qsizetype j = std::upper_bound(m_sessions.begin(), m_sessions.end(), end)
                        - m_sessions.begin();
    QList<datetime> kept;
    if (i % 2 == 1 && j % 2 == 1 && i == j) {
        // The cut lies inside one pair: it splits in two.
        kept << start << end;
    } else {
        if (i % 2 == 1)
            kept << start;
        if (j % 2 == 1)
            kept << end;
    }
    m_sessions.remove(i, j - i);
    for (qsizetype k = 0; k < kept.size(); ++k)
        m_sessions.insert(i + k, kept.at(k));
    // A cut that ends exactly where a pair started leaves an empty pair [e, e): drop it.
    for (qsizetype k = 0; k + 1 < m_sessions.size(); k += 2) {
        if (!(m_sessions.at(k) < m_sessions.at(k + 1))) {
            m_sessions.remove(k, 2);
            k -= 2;
        }
    }
}

void SeriesDataModel::buildSessionIntervals()
{
    m_sessions.clear();
    if (!m_dateFrom.isValid() || !m_dateTo.isValid() || m_dateTo < m_dateFrom)
        return;
    const SessionList schedule = ScheduleStore::scheduleForBoard(m_key.stock_id, m_key.board_id);
    QList<Session> byDay[8];
    for (const Session &s : schedule)
        byDay[s.open / Session::MinutesPerDay + 1].append(s);

    for (QDate d = m_dateFrom; d <= m_dateTo; d = d.addDays(1)) {
        for (const Session &s : byDay[d.dayOfWeek()]) {
            const datetime start = atMinute(d, s.open % Session::MinutesPerDay);
            const int endOfWeek = s.end() % Session::MinutesPerWeek;
            const int endDay = endOfWeek / Session::MinutesPerDay + 1;
            const int endMinute = endOfWeek % Session::MinutesPerDay;
            datetime end;
            if (endDay == d.dayOfWeek())
                end = atMinute(d, endMinute);
            else if (d.addDays(1) > m_dateTo)
                end = datetime(d.addDays(1)); // the range ends at midnight
            else
                end = atMinute(d.addDays(1), endMinute);
            unite(start, end);
        }
    }
    // Morning tails on the first day of sessions that opened the day before.
    for (const Session &s : schedule) {
        const int endOfWeek = s.end() % Session::MinutesPerWeek;
        const int endDay = endOfWeek / Session::MinutesPerDay + 1;
        const int openDay = s.open / Session::MinutesPerDay + 1;
        const int endMinute = endOfWeek % Session::MinutesPerDay;
        if (endDay == m_dateFrom.dayOfWeek() && openDay != endDay && endMinute != 0)
            unite(datetime(m_dateFrom), atMinute(m_dateFrom, endMinute));
    }
    // The trading calendar: holidays close whole days, working weekend days open them.
    CalendarDirectory *calendar = CalendarDirectory::i();
    TableLocker locker(calendar->table());
    for (const Record &r : calendar->range(datetime(m_dateFrom), datetime(m_dateTo))) {
        const datetime day = calendar->date(r);
        const datetime next(day.getDate().addDays(1));
        if (calendar->isTradingDay(r))
            unite(day.addMSecs(1), next);
        else
            subtract(day, next);
    }
}

// --- chunks -------------------------------------------------------------------------------

void SeriesDataModel::updateOffsets()
{
    m_offsets.resize(m_chunks.size());
    int total = 0;
    for (size_t c = 0; c < m_chunks.size(); ++c) {
        m_offsets[c] = total;
        total += int(m_chunks[c].bars.size());
    }
    m_lastChunk = 0;
}

void SeriesDataModel::layoutChunks()
{
    m_chunks.clear();
    if (m_sessions.isEmpty()) {
        updateOffsets();
        return;
    }
    auto addChunk = [this](const datetime &start, const datetime &end, qint64 bars) {
        Chunk chunk;
        chunk.start = start;
        chunk.end = end;
        chunk.bars.resize(size_t(qMax<qint64>(0, bars)));
        layOutBorders(chunk);
        m_chunks.push_back(std::move(chunk));
    };
    const datetime from(m_dateFrom);
    if (m_timeFrame.kind == Year) {
        const datetime start = alignToFrame(m_timeFrame, from);
        const int n = m_dateTo.year() - m_dateFrom.year() + 1;
        addChunk(start, addMonths(start, 12 * n), n);
    } else if (m_timeFrame.kind == Month) {
        const datetime start = alignToFrame(m_timeFrame, from);
        const int m = (m_dateTo.year() - m_dateFrom.year()) * 12 - m_dateFrom.month()
                      + m_dateTo.month();
        addChunk(start, addMonths(start, m + 1), m + 1);
    } else if (m_timeFrame.value == 604800) {
        const QDate monday = m_dateFrom.addDays(1 - m_dateFrom.dayOfWeek());
        const qint64 n = (monday.daysTo(m_dateTo) + 1 + 6) / 7;
        addChunk(datetime(monday), datetime(monday.addDays(7 * n)), n);
    } else if (m_timeFrame.value == 86400) {
        addChunk(from, datetime(m_dateTo.addDays(1)), m_dateFrom.daysTo(m_dateTo) + 1);
    } else if (m_timeFrame.value > 0) {
        const qint64 step = qint64(m_timeFrame.value) * 1000;
        auto endFor = [step](const datetime &s, const datetime &pairEnd) {
            const qint64 seconds = s.msecsTo(pairEnd) / 1000;
            const qint64 steps = (seconds * 1000 + step - 1) / step;
            return s.addMSecs(steps * step);
        };
        const qsizetype pairs = m_sessions.size() / 2;
        qsizetype i = 0;
        while (i < pairs) {
            const datetime s = alignToFrame(m_timeFrame, m_sessions.at(2 * i));
            datetime e = endFor(s, m_sessions.at(2 * i + 1));
            qsizetype j = i + 1;
            while (j < pairs && m_sessions.at(2 * j) < e) {
                e = std::max(e, endFor(s, m_sessions.at(2 * j + 1)));
                ++j;
            }
            addChunk(s, e, s.msecsTo(e) / 1000 / m_timeFrame.value);
            i = j;
        }
    }
    updateOffsets();
}

int SeriesDataModel::calendarDays() const
{
    if (m_timeFrame.kind != Interval)
        return 0;
    if (m_timeFrame.value == 86400)
        return 1;
    if (m_timeFrame.value == 604800)
        return 7;
    return 0;
}

void SeriesDataModel::layOutBorders(Chunk &chunk) const
{
    const int days = calendarDays();
    if (days == 0)
        return;
    const QDate first = chunk.start.getDate();
    const size_t count = chunk.bars.size() + 1;
    chunk.borders.resize(count);
    for (size_t k = 0; k < count; ++k)
        chunk.borders[k] = datetime(first.addDays(qint64(k) * days)).toMSecsSinceEpoch();
    chunk.end = datetime::fromMSecsSinceEpoch(chunk.borders.back());
}

datetime SeriesDataModel::barStartLocked(const FrameIndex &index) const
{
    if (index.chunk < 0 || index.chunk >= int(m_chunks.size()) || index.bar < 0)
        return {};
    const Chunk &chunk = m_chunks[size_t(index.chunk)];
    if (!chunk.borders.empty()) {
        if (size_t(index.bar) < chunk.borders.size())
            return datetime::fromMSecsSinceEpoch(chunk.borders[size_t(index.bar)]);
        return datetime(chunk.start.getDate().addDays(qint64(index.bar) * calendarDays()));
    }
    return chunk.start.addMSecs(qint64(index.bar) * m_timeFrame.value * 1000);
}

// --- deals --------------------------------------------------------------------------------

FrameIndex SeriesDataModel::frameIndexAtLocked(const datetime &t) const
{
    if (m_chunks.empty() || t.isNull())
        return {};
    const Chunk &first = m_chunks.front();
    if (m_timeFrame.kind == Year || m_timeFrame.kind == Month) {
        const QDate start = first.start.getDate();
        const QDate date = t.getDate();
        int bar = date.year() - start.year();
        if (m_timeFrame.kind == Month)
            bar = bar * 12 - start.month() + date.month();
        // Outside the laid-out range there is no slot to write into.
        if (bar < 0 || bar >= int(first.bars.size()))
            return {};
        return {0, bar};
    }
    int c = m_lastChunk;
    if (c >= int(m_chunks.size()) || t < m_chunks[c].start || !(t < m_chunks[c].end)) {
        const auto it = std::upper_bound(m_chunks.begin(), m_chunks.end(), t,
                                         [](const datetime &time, const Chunk &chunk) {
                                             return time < chunk.start;
                                         });
        if (it == m_chunks.begin())
            return {};
        c = int(it - m_chunks.begin()) - 1;
        if (!(t < m_chunks[c].end))
            return {};
        m_lastChunk = c;
    }
    const Chunk &chunk = m_chunks[c];
    const qint64 ms = t.toMSecsSinceEpoch();
    qint64 bar = (ms - chunk.start.toMSecsSinceEpoch()) / 1000 / m_timeFrame.value;
    if (!chunk.borders.empty()) {
        // The fixed stride is off by at most an hour per clock change: step to the bar whose
        // borders hold the moment.
        const qint64 last = qint64(chunk.borders.size()) - 2;
        bar = qBound<qint64>(0, bar, last);
        while (bar > 0 && ms < chunk.borders[size_t(bar)])
            --bar;
        while (bar < last && ms >= chunk.borders[size_t(bar) + 1])
            ++bar;
        if (ms < chunk.borders[size_t(bar)] || ms >= chunk.borders[size_t(bar) + 1])
            return {};
    }
    if (bar < 0 || bar >= qint64(chunk.bars.size()))
        return {};
    return {c, int(bar)};
}

FrameIndex SeriesDataModel::frameIndexAt(const datetime &time) const
{
    Lock lock(m_mutex);
    return frameIndexAtLocked(time);
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
                const FrameIndex idx = frameIndexAtLocked(deal.time);
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
                bar = &m_chunks[size_t(idx.chunk)].bars[size_t(idx.bar)];
                linear = m_offsets[size_t(idx.chunk)] + idx.bar;
                barFrom = frameTimeLocked(idx, false).toMSecsSinceEpoch();
                barTo = std::min(frameTimeLocked(idx, true).toMSecsSinceEpoch(),
                                 m_chunks[size_t(idx.chunk)].end.toMSecsSinceEpoch());
            }
            if (foldDeal(*bar, deal))
                m_newValid.push_back(linear);
        }
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
    if (index.chunk < 0 || index.chunk >= int(m_chunks.size()) || index.bar < 0
        || index.bar >= int(m_chunks[size_t(index.chunk)].bars.size()))
        return {};
    return m_chunks[size_t(index.chunk)].bars[size_t(index.bar)];
}

datetime SeriesDataModel::frameTime(const FrameIndex &index, bool atEnd) const
{
    Lock lock(m_mutex);
    return frameTimeLocked(index, atEnd);
}

datetime SeriesDataModel::frameTimeLocked(const FrameIndex &index, bool atEnd) const
{
    if (m_chunks.empty())
        return {};
    const int k = index.bar + (atEnd ? 1 : 0);
    if (m_timeFrame.kind == Year)
        return datetime(QDate(m_chunks.front().start.getDate().year() + k, 1, 1));
    if (m_timeFrame.kind == Month)
        return addMonths(m_chunks.front().start, k);
    return barStartLocked({index.chunk, k});
}

int SeriesDataModel::chunkCount() const
{
    Lock lock(m_mutex);
    return int(m_chunks.size());
}

int SeriesDataModel::chunkSize(int chunk) const
{
    Lock lock(m_mutex);
    return chunk >= 0 && chunk < int(m_chunks.size()) ? int(m_chunks[size_t(chunk)].bars.size())
                                                      : 0;
}

datetime SeriesDataModel::chunkStart(int chunk) const
{
    Lock lock(m_mutex);
    return chunk >= 0 && chunk < int(m_chunks.size()) ? m_chunks[size_t(chunk)].start
                                                      : datetime();
}

datetime SeriesDataModel::chunkEnd(int chunk) const
{
    Lock lock(m_mutex);
    return chunk >= 0 && chunk < int(m_chunks.size()) ? m_chunks[size_t(chunk)].end
                                                      : datetime();
}

int SeriesDataModel::totalBarCount() const
{
    Lock lock(m_mutex);
    return m_chunks.empty() ? 0 : m_offsets.back() + int(m_chunks.back().bars.size());
}

int SeriesDataModel::linearIndexLocked(const FrameIndex &index) const
{
    if (index.chunk < 0 || index.chunk >= int(m_chunks.size()))
        return -1;
    return m_offsets[size_t(index.chunk)] + index.bar;
}

int SeriesDataModel::linearIndex(const FrameIndex &index) const
{
    Lock lock(m_mutex);
    return linearIndexLocked(index);
}

FrameIndex SeriesDataModel::frameIndexOfLocked(int n) const
{
    if (n < 0 || m_chunks.empty())
        return {};
    const auto it = std::upper_bound(m_offsets.begin(), m_offsets.end(), n);
    const int c = int(it - m_offsets.begin()) - 1;
    const int bar = n - m_offsets[size_t(c)];
    if (bar >= int(m_chunks[size_t(c)].bars.size()))
        return {};
    return {c, bar};
}

FrameIndex SeriesDataModel::frameIndexOf(int n) const
{
    Lock lock(m_mutex);
    return frameIndexOfLocked(n);
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
    return frameIndexOfLocked(m_valid[size_t(k)]);
}

int SeriesDataModel::validPosition(int n) const
{
    Lock lock(m_mutex);
    settleValid();
    const auto it = std::lower_bound(m_valid.begin(), m_valid.end(), n);
    return it != m_valid.end() && *it == n ? int(it - m_valid.begin()) : -1;
}

int SeriesDataModel::distance(const FrameIndex &a, const FrameIndex &b) const
{
    Lock lock(m_mutex);
    return linearIndexLocked(b) - linearIndexLocked(a);
}

void SeriesDataModel::expand(const FrameIndex &index)
{
    Lock lock(m_mutex);
    if (m_chunks.empty())
        throw QStringLiteral("Can't expand empty SeriesDataModel");
    if (index.chunk < 0 || index.bar < 0)
        return;
    while (index.chunk >= int(m_chunks.size())) {
        const Chunk &last = m_chunks.back();
        Chunk chunk;
        chunk.start = last.end;
        chunk.end = last.end.addMSecs(last.start.msecsTo(last.end));
        chunk.bars.resize(size_t(index.bar) + 1);
        layOutBorders(chunk);
        m_chunks.push_back(std::move(chunk));
    }
    Chunk &chunk = m_chunks[size_t(index.chunk)];
    if (index.bar >= int(chunk.bars.size())) {
        chunk.bars.resize(size_t(index.bar) + 1);
        layOutBorders(chunk);
    }
    // Bars after the grown chunk move; the valid list follows their linear numbers.
    settleValid();
    const std::vector<int> oldOffsets = m_offsets;
    updateOffsets();
    for (int &n : m_valid) {
        const auto it = std::upper_bound(oldOffsets.begin(), oldOffsets.end(), n);
        const size_t c = size_t(it - oldOffsets.begin()) - 1;
        n = m_offsets[c] + (n - oldOffsets[c]);
    }
}

QList<datetime> SeriesDataModel::chunkBorders() const
{
    Lock lock(m_mutex);
    QList<datetime> borders;
    for (const Chunk &chunk : m_chunks) {
        // After equal values: a chunk that starts where the previous one ended goes behind
        // that end, so the list stays sorted.
        const auto it = std::upper_bound(borders.begin(), borders.end(), chunk.start);
        const qsizetype pos = it - borders.begin();
        borders.insert(pos, chunk.start);
        borders.insert(pos + 1, chunk.end);
    }
    return borders;
}

// --- slots --------------------------------------------------------------------------------

void SeriesDataModel::clearBars()
{
    m_lastIndex = {};
    m_valid.clear();
    m_newValid.clear();
    for (Chunk &chunk : m_chunks)
        std::fill(chunk.bars.begin(), chunk.bars.end(), TimeFrame());
}

FrameIndex SeriesDataModel::clearBarsLocked(const datetime &from, const datetime &to)
{
    if (!(from < to))
        return {};
    int lowest = -1;
    int highest = -1; // linear numbers of the cleared slots
    for (size_t c = 0; c < m_chunks.size(); ++c) {
        Chunk &chunk = m_chunks[c];
        if (!(from < chunk.end) || !(chunk.start < to))
            continue;
        const int size = int(chunk.bars.size());
        int first = 0;
        int end = size;
        if (m_timeFrame.kind == Interval && chunk.borders.empty()) {
            const qint64 step = qint64(m_timeFrame.value) * 1000;
            const qint64 head = chunk.start.msecsTo(from);
            const qint64 tail = chunk.start.msecsTo(to);
            first = head <= 0 ? 0 : int(qMin<qint64>(size, (head + step - 1) / step));
            end = int(qMin<qint64>(size, (tail + step - 1) / step));
        } else {
            // Calendar bars: the slots whose start lies in [from, to).
            while (first < size && frameTimeLocked({int(c), first}, false) < from)
                ++first;
            end = first;
            while (end < size && frameTimeLocked({int(c), end}, false) < to)
                ++end;
        }
        if (first >= end)
            continue;
        std::fill(chunk.bars.begin() + first, chunk.bars.begin() + end, TimeFrame());
        if (lowest < 0)
            lowest = m_offsets[c] + first;
        highest = m_offsets[c] + end - 1;
    }
    if (lowest < 0)
        return {};
    settleValid();
    const auto begin = std::lower_bound(m_valid.begin(), m_valid.end(), lowest);
    const auto end = std::upper_bound(begin, m_valid.end(), highest);
    m_valid.erase(begin, end);
    if (m_lastIndex.isValid() && linearIndexLocked(m_lastIndex) >= lowest)
        m_lastIndex = m_valid.empty() ? FrameIndex() : frameIndexOfLocked(m_valid.back());
    return frameIndexOfLocked(lowest);
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
        hasSessions = !m_sessions.isEmpty();
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
        if (m_sessions.isEmpty())
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
