#include "barlayout.h"

#include "calendardirectory.h"
#include "table.h"

#include <algorithm>

namespace {

datetime atMinute(const QDate &date, int minuteOfDay)
{
    return datetime(date, QTime(minuteOfDay / 60, minuteOfDay % 60));
}

datetime addMonths(const datetime &t, int months)
{
    return datetime(t.getDateTime().addMonths(months));
}

} // namespace

// --- trading periods ----------------------------------------------------------------------

void BarLayout::unite(QList<datetime> &periods, const datetime &start, const datetime &end)
{
    if (!(start < end))
        return;
    auto first = std::lower_bound(periods.begin(), periods.end(), start);
    qsizetype i = first - periods.begin();
    datetime newStart = start;
    if (i % 2 == 1) {
        // Inside a pair, or touching its end: the united pair starts where that one did.
        --i;
        newStart = periods.at(i);
    }
    qsizetype j = std::lower_bound(periods.begin() + i, periods.end(), end) - periods.begin();
    datetime newEnd = end;
    if (j % 2 == 1) {
        newEnd = periods.at(j);
        ++j;
    } else if (j < periods.size() && periods.at(j) == end) {
        // Touching the next pair's start: take that pair in.
        newEnd = periods.at(j + 1);
        j += 2;
    }
    periods.remove(i, j - i);
    periods.insert(i, newEnd);
    periods.insert(i, newStart);
}

void BarLayout::subtract(QList<datetime> &periods, const datetime &start, const datetime &end)
{
    if (!(start < end))
        return;
    const qsizetype i = std::lower_bound(periods.begin(), periods.end(), start) - periods.begin();
    const qsizetype j = std::upper_bound(periods.begin(), periods.end(), end) - periods.begin();
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
    periods.remove(i, j - i);
    for (qsizetype k = 0; k < kept.size(); ++k)
        periods.insert(i + k, kept.at(k));
    // A cut that ends exactly where a pair started leaves an empty pair [e, e): drop it.
    for (qsizetype k = 0; k + 1 < periods.size(); k += 2) {
        if (!(periods.at(k) < periods.at(k + 1))) {
            periods.remove(k, 2);
            k -= 2;
        }
    }
}

QList<datetime> BarLayout::tradingPeriods(const SessionList &schedule, const QDate &from,
                                          const QDate &to)
{
    QList<datetime> periods;
    if (!from.isValid() || !to.isValid() || to < from)
        return periods;
    QList<Session> byDay[8];
    for (const Session &s : schedule)
        byDay[s.open / Session::MinutesPerDay + 1].append(s);

    for (QDate d = from; d <= to; d = d.addDays(1)) {
        for (const Session &s : byDay[d.dayOfWeek()]) {
            const datetime start = atMinute(d, s.open % Session::MinutesPerDay);
            const int endOfWeek = s.end() % Session::MinutesPerWeek;
            const int endDay = endOfWeek / Session::MinutesPerDay + 1;
            const int endMinute = endOfWeek % Session::MinutesPerDay;
            datetime end;
            if (endDay == d.dayOfWeek())
                end = atMinute(d, endMinute);
            else if (d.addDays(1) > to)
                end = datetime(d.addDays(1)); // the range ends at midnight
            else
                end = atMinute(d.addDays(1), endMinute);
            unite(periods, start, end);
        }
    }
    // Morning tails on the first day of sessions that opened the day before.
    for (const Session &s : schedule) {
        const int endOfWeek = s.end() % Session::MinutesPerWeek;
        const int endDay = endOfWeek / Session::MinutesPerDay + 1;
        const int openDay = s.open / Session::MinutesPerDay + 1;
        const int endMinute = endOfWeek % Session::MinutesPerDay;
        if (endDay == from.dayOfWeek() && openDay != endDay && endMinute != 0)
            unite(periods, datetime(from), atMinute(from, endMinute));
    }
    // The trading calendar: holidays close whole days, working weekend days open them.
    CalendarDirectory *calendar = CalendarDirectory::i();
    TableLocker locker(calendar->table());
    for (const Record &r : calendar->range(datetime(from), datetime(to))) {
        const datetime day = calendar->date(r);
        const datetime next(day.getDate().addDays(1));
        if (calendar->isTradingDay(r))
            unite(periods, day.addMSecs(1), next);
        else
            subtract(periods, day, next);
    }
    return periods;
}

// --- chunks -------------------------------------------------------------------------------

void BarLayout::clear()
{
    m_periods.clear();
    m_chunks.clear();
    updateOffsets();
}

void BarLayout::updateOffsets()
{
    m_offsets.resize(m_chunks.size());
    int total = 0;
    for (size_t c = 0; c < m_chunks.size(); ++c) {
        m_offsets[c] = total;
        total += m_chunks[c].size;
    }
    m_lastChunk = 0;
}

void BarLayout::addChunk(const datetime &start, const datetime &end, qint64 size)
{
    Chunk chunk;
    chunk.start = start;
    chunk.end = end;
    chunk.size = int(qMax<qint64>(0, size));
    layOutBorders(chunk);
    m_chunks.push_back(std::move(chunk));
}

namespace {

// Calls add(start, end, count) for every chunk the frame lays out over the periods of the days
// [from, to], in time order, the slots counted in 64 bits.
template <typename Add>
void planChunks(const TimeFrameValue &frame, const QDate &from, const QDate &to,
                const QList<datetime> &periods, Add add)
{
    if (periods.isEmpty())
        return;
    const datetime first(from);
    if (frame.kind == Year) {
        const datetime start = alignToFrame(frame, first);
        const int n = to.year() - from.year() + 1;
        add(start, addMonths(start, 12 * n), qint64(n));
    } else if (frame.kind == Month) {
        const datetime start = alignToFrame(frame, first);
        const int m = (to.year() - from.year()) * 12 - from.month() + to.month();
        add(start, addMonths(start, m + 1), qint64(m + 1));
    } else if (frame.value == 604800) {
        const QDate monday = from.addDays(1 - from.dayOfWeek());
        const qint64 n = (monday.daysTo(to) + 1 + 6) / 7;
        add(datetime(monday), datetime(monday.addDays(7 * n)), n);
    } else if (frame.value == 86400) {
        add(first, datetime(to.addDays(1)), from.daysTo(to) + 1);
    } else if (frame.value > 0) {
        const qint64 step = qint64(frame.value) * 1000;
        auto endFor = [step](const datetime &s, const datetime &pairEnd) {
            const qint64 seconds = s.msecsTo(pairEnd) / 1000;
            const qint64 steps = (seconds * 1000 + step - 1) / step;
            return s.addMSecs(steps * step);
        };
        const qsizetype pairs = periods.size() / 2;
        qsizetype i = 0;
        while (i < pairs) {
            const datetime s = alignToFrame(frame, periods.at(2 * i));
            datetime e = endFor(s, periods.at(2 * i + 1));
            qsizetype j = i + 1;
            while (j < pairs && periods.at(2 * j) < e) {
                e = std::max(e, endFor(s, periods.at(2 * j + 1)));
                ++j;
            }
            add(s, e, s.msecsTo(e) / 1000 / frame.value);
            i = j;
        }
    }
}

} // namespace

qint64 BarLayout::slotCount(const TimeFrameValue &frame, const QDate &from, const QDate &to,
                            const QList<datetime> &periods)
{
    qint64 total = 0;
    planChunks(frame, from, to, periods,
               [&total](const datetime &, const datetime &, qint64 count) {
                   total += qMax<qint64>(0, count);
               });
    return total;
}

void BarLayout::layOut(const TimeFrameValue &frame, const QDate &from, const QDate &to,
                       const QList<datetime> &periods)
{
    m_frame = frame;
    m_periods = periods;
    m_chunks.clear();
    planChunks(frame, from, to, periods,
               [this](const datetime &start, const datetime &end, qint64 count) {
                   addChunk(start, end, count);
               });
    updateOffsets();
}

int BarLayout::calendarDays() const
{
    if (m_frame.kind != Interval)
        return 0;
    if (m_frame.value == 86400)
        return 1;
    if (m_frame.value == 604800)
        return 7;
    return 0;
}

void BarLayout::layOutBorders(Chunk &chunk) const
{
    const int days = calendarDays();
    if (days == 0)
        return;
    const QDate first = chunk.start.getDate();
    const size_t count = size_t(chunk.size) + 1;
    chunk.borders.resize(count);
    for (size_t k = 0; k < count; ++k)
        chunk.borders[k] = datetime(first.addDays(qint64(k) * days)).toMSecsSinceEpoch();
    chunk.end = datetime::fromMSecsSinceEpoch(chunk.borders.back());
}

int BarLayout::chunkSize(int chunk) const
{
    return chunk >= 0 && chunk < int(m_chunks.size()) ? m_chunks[size_t(chunk)].size : 0;
}

datetime BarLayout::chunkStart(int chunk) const
{
    return chunk >= 0 && chunk < int(m_chunks.size()) ? m_chunks[size_t(chunk)].start
                                                      : datetime();
}

datetime BarLayout::chunkEnd(int chunk) const
{
    return chunk >= 0 && chunk < int(m_chunks.size()) ? m_chunks[size_t(chunk)].end : datetime();
}

int BarLayout::totalBarCount() const
{
    return m_chunks.empty() ? 0 : m_offsets.back() + m_chunks.back().size;
}

// --- conversions --------------------------------------------------------------------------

datetime BarLayout::barStart(const FrameIndex &index) const
{
    if (index.chunk < 0 || index.chunk >= int(m_chunks.size()) || index.bar < 0)
        return {};
    const Chunk &chunk = m_chunks[size_t(index.chunk)];
    if (!chunk.borders.empty()) {
        if (size_t(index.bar) < chunk.borders.size())
            return datetime::fromMSecsSinceEpoch(chunk.borders[size_t(index.bar)]);
        return datetime(chunk.start.getDate().addDays(qint64(index.bar) * calendarDays()));
    }
    return chunk.start.addMSecs(qint64(index.bar) * m_frame.value * 1000);
}

FrameIndex BarLayout::indexAt(const datetime &t) const
{
    if (m_chunks.empty() || t.isNull())
        return {};
    const Chunk &first = m_chunks.front();
    if (m_frame.kind == Year || m_frame.kind == Month) {
        const QDate start = first.start.getDate();
        const QDate date = t.getDate();
        int bar = date.year() - start.year();
        if (m_frame.kind == Month)
            bar = bar * 12 - start.month() + date.month();
        // Outside the laid-out range there is no slot to write into.
        if (bar < 0 || bar >= first.size)
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
    qint64 bar = (ms - chunk.start.toMSecsSinceEpoch()) / 1000 / m_frame.value;
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
    if (bar < 0 || bar >= chunk.size)
        return {};
    return {c, int(bar)};
}

datetime BarLayout::frameTime(const FrameIndex &index, bool atEnd) const
{
    if (m_chunks.empty())
        return {};
    const int k = index.bar + (atEnd ? 1 : 0);
    if (m_frame.kind == Year)
        return datetime(QDate(m_chunks.front().start.getDate().year() + k, 1, 1));
    if (m_frame.kind == Month)
        return addMonths(m_chunks.front().start, k);
    return barStart({index.chunk, k});
}

int BarLayout::linearIndex(const FrameIndex &index) const
{
    if (index.chunk < 0 || index.chunk >= int(m_chunks.size()))
        return -1;
    return m_offsets[size_t(index.chunk)] + index.bar;
}

FrameIndex BarLayout::indexOf(int n) const
{
    if (n < 0 || m_chunks.empty())
        return {};
    const auto it = std::upper_bound(m_offsets.begin(), m_offsets.end(), n);
    const int c = int(it - m_offsets.begin()) - 1;
    const int bar = n - m_offsets[size_t(c)];
    if (bar >= m_chunks[size_t(c)].size)
        return {};
    return {c, bar};
}

std::pair<int, int> BarLayout::slotsStartingIn(int c, const datetime &from,
                                               const datetime &to) const
{
    const Chunk &chunk = m_chunks[size_t(c)];
    const int size = chunk.size;
    if (m_frame.kind == Interval && chunk.borders.empty()) {
        const qint64 step = qint64(m_frame.value) * 1000;
        const qint64 head = chunk.start.msecsTo(from);
        const qint64 tail = chunk.start.msecsTo(to);
        const int first = head <= 0 ? 0 : int(qMin<qint64>(size, (head + step - 1) / step));
        return {first, int(qMin<qint64>(size, (tail + step - 1) / step))};
    }
    // Calendar bars: the slots whose start lies in [from, to).
    int first = 0;
    while (first < size && frameTime({c, first}, false) < from)
        ++first;
    int end = first;
    while (end < size && frameTime({c, end}, false) < to)
        ++end;
    return {first, end};
}

void BarLayout::expand(const FrameIndex &index)
{
    if (m_chunks.empty())
        throw QStringLiteral("Can't expand empty SeriesDataModel");
    if (index.chunk < 0 || index.bar < 0)
        return;
    while (index.chunk >= int(m_chunks.size())) {
        const Chunk &last = m_chunks.back();
        addChunk(last.end, last.end.addMSecs(last.start.msecsTo(last.end)), index.bar + 1);
    }
    Chunk &chunk = m_chunks[size_t(index.chunk)];
    if (index.bar >= chunk.size) {
        chunk.size = index.bar + 1;
        layOutBorders(chunk);
    }
    updateOffsets();
}

QList<datetime> BarLayout::chunkBorders() const
{
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
