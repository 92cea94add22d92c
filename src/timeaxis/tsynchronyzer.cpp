#include "tsynchronyzer.h"

#include "datetime.h"
#include "seriesdatamodel.h"
#include "timeseriesitem.h"

#include <QDate>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

TSynchronyzer::TSynchronyzer(QObject *parent)
    : QObject(parent)
{
}

void TSynchronyzer::addScene(QGraphicsScene *scene)
{
    if (!scene || m_scenes.contains(scene))
        return;
    m_scenes.append(scene);
    connect(scene, &QObject::destroyed, this, &TSynchronyzer::removeScene);
}

void TSynchronyzer::addSeries(TimeSeriesItem *series)
{
    if (!series || m_series.contains(series))
        return;
    m_series.append(series);
    // The object is remembered now: once it is being destroyed the series can no longer be
    // asked for it.
    QObject *object = series->itemObject();
    m_objects.append(object);
    if (object)
        connect(object, &QObject::destroyed, this, &TSynchronyzer::removeItem);
    // The spans now include the new series' periods, on the next turn of the event loop.
    scheduleUpdate();
}

void TSynchronyzer::requestUpdate()
{
    scheduleUpdate();
}

void TSynchronyzer::removeSeries(TimeSeriesItem *series)
{
    const qsizetype i = m_series.indexOf(series);
    if (i < 0)
        return;
    if (m_objects.at(i))
        disconnect(m_objects.at(i), &QObject::destroyed, this, &TSynchronyzer::removeItem);
    m_series.removeAt(i);
    m_objects.removeAt(i);
    scheduleUpdate();
}

void TSynchronyzer::setRightMargin(int bars)
{
    bars = qMax(0, bars);
    if (bars == m_rightMargin)
        return;
    m_rightMargin = bars;
    updateSceneRectAndItemsPos();
}

void TSynchronyzer::growRightEdge(double edge)
{
    if (edge > m_rightEdge) {
        m_rightEdge = edge;
        for (QGraphicsScene *scene : std::as_const(m_scenes)) {
            QRectF rect = scene->sceneRect();
            rect.setWidth(sceneWidth());
            scene->setSceneRect(rect);
        }
    }
    Q_EMIT sceneWidthChanged();
}

QList<int> TSynchronyzer::spanIndices() const
{
    QList<int> indices;
    for (const Span &s : m_spans)
        indices << s.first << s.last;
    return indices;
}

QList<qint64> TSynchronyzer::spans() const
{
    QList<qint64> times;
    for (const Span &s : m_spans)
        times << s.start << s.end;
    return times;
}

// --- index and time -----------------------------------------------------------------------

int TSynchronyzer::spanEndingAtOrAfter(qint64 msecs) const
{
    const auto it = std::lower_bound(m_spans.begin(), m_spans.end(), msecs,
                                     [](const Span &s, qint64 t) { return s.end < t; });
    return it == m_spans.end() ? -1 : int(it - m_spans.begin());
}

const TSynchronyzer::Span &TSynchronyzer::spanHolding(qint64 &msecs) const
{
    int k = spanEndingAtOrAfter(msecs);
    if (k < 0) {
        k = int(m_spans.size()) - 1;
        msecs = m_spans[size_t(k)].end;
    }
    return m_spans[size_t(k)];
}

int TSynchronyzer::spanLastAbove(int index) const
{
    const auto it = std::upper_bound(m_spans.begin(), m_spans.end(), index,
                                     [](int i, const Span &s) { return i < s.last; });
    return it == m_spans.end() ? -1 : int(it - m_spans.begin());
}

int TSynchronyzer::baseDays() const
{
    if (m_baseFrame.kind != Interval || m_baseFrame.value <= 0 || m_baseFrame.value % 86400 != 0)
        return 0;
    return m_baseFrame.value / 86400;
}

datetime TSynchronyzer::unitStart(qint64 spanStart, int units) const
{
    const int days = baseDays();
    if (days > 0) {
        const QDate first = datetime::fromMSecsSinceEpoch(spanStart).getDate();
        return datetime(first.addDays(qint64(units) * days));
    }
    return datetime::fromMSecsSinceEpoch(spanStart + qint64(units) * m_baseFrame.value * 1000);
}

int TSynchronyzer::indexOf(const datetime &time) const
{
    if (time.isNull() || m_spans.empty())
        return 0;
    if (m_baseFrame.kind != Interval) {
        const QDate first = datetime::fromMSecsSinceEpoch(m_spans.front().start).getDate();
        const QDate date = time.getDate();
        if (m_baseFrame.kind == Year)
            return date.year() - first.year();
        return (date.year() - first.year()) * 12 - first.month() + date.month();
    }
    qint64 t = time.toMSecsSinceEpoch();
    const Span &span = spanHolding(t);
    if (t <= span.start)
        return span.first;
    if (const int days = baseDays(); days > 0) {
        // Counted in calendar days: the first slot border at or after the moment.
        const QDate first = datetime::fromMSecsSinceEpoch(span.start).getDate();
        int units = int(first.daysTo(datetime::fromMSecsSinceEpoch(t).getDate()) / days);
        if (unitStart(span.start, units).toMSecsSinceEpoch() < t)
            ++units;
        return qMin(span.first + units, span.last);
    }
    const qint64 seconds = (t - span.start) / 1000;
    const qint64 base = qMax(1, m_baseFrame.value);
    return span.first + int((seconds + base - 1) / base);
}

double TSynchronyzer::unitsTo(const datetime &time) const
{
    if (m_spans.empty())
        return 0;
    if (m_baseFrame.kind != Interval)
        return indexOf(time);
    qint64 t = time.toMSecsSinceEpoch();
    const Span &span = spanHolding(t);
    double count = span.first;
    if (span.start < t)
        count += std::ceil(double(t - span.start) / 1000.0 / qMax(1, m_baseFrame.value));
    return count;
}

datetime TSynchronyzer::timeAt(int index) const
{
    if (m_spans.empty() || index > m_rightMargin + m_rightEdge)
        return {};
    if (m_baseFrame.kind != Interval) {
        const QDate first = datetime::fromMSecsSinceEpoch(m_spans.front().start).getDate();
        return datetime(m_baseFrame.kind == Year ? first.addYears(index)
                                                 : first.addMonths(index));
    }
    const int k = spanLastAbove(index);
    if (k < 0)
        return {};
    const Span &span = m_spans[size_t(k)];
    return unitStart(span.start, index - span.first);
}

datetime TSynchronyzer::momentAt(int index) const
{
    const datetime time = timeAt(index);
    if (time.isNull() && !m_spans.empty() && m_baseFrame.kind == Interval
        && index == m_spans.back().last)
        return datetime::fromMSecsSinceEpoch(m_spans.back().end);
    return time;
}

datetime TSynchronyzer::clampedTime(const datetime &time) const
{
    if (m_spans.empty())
        return {};
    const qint64 first = m_spans.front().start;
    const qint64 last = m_spans.back().end - 1000;
    if (time.isNull())
        return datetime::fromMSecsSinceEpoch(first);
    return datetime::fromMSecsSinceEpoch(qBound(first, time.toMSecsSinceEpoch(), qMax(first, last)));
}

datetime TSynchronyzer::clampedTimeAt(int index) const
{
    if (m_spans.empty())
        return {};
    if (index < 0)
        return datetime::fromMSecsSinceEpoch(m_spans.front().start);
    const datetime time = timeAt(index);
    if (time.isNull())
        return clampedTime(datetime::fromMSecsSinceEpoch(m_spans.back().end));
    return clampedTime(time);
}

// --- marks --------------------------------------------------------------------------------

QList<TSynchronyzer::Mark> TSynchronyzer::timeMarks(int from, int to, int step) const
{
    QList<Mark> marks;
    if (from == to || m_spans.empty())
        return marks;
    step = qMax(1, step);
    int k = spanLastAbove(from);
    if (k < 0)
        return marks;
    const Span *span = &m_spans[size_t(k)];
    int i = qMax(span->first,
                 span->first + int(std::floor(double(from - span->first) / step)) * step);
    if (!(i < m_rightMargin + m_rightEdge))
        return marks;
    // Fixed strides step by milliseconds; calendar units are asked for each mark.
    const bool seconds = m_baseFrame.kind == Interval && baseDays() == 0;
    const qint64 advance = qint64(step) * m_baseFrame.value * 1000;
    datetime time = timeAt(i);
    const int lastSpan = int(m_spans.size()) - 1;
    // A text needs a whole step: one closer to the last text is left out, its tick kept.
    int lastText = std::numeric_limits<int>::min();
    while (i < to) {
        if (span->last < i + step && k < lastSpan) {
            // The next step would pass the span's end: a tick without text (unless the span
            // ended before it), then the next span's marks from its own start.
            if (i <= span->last)
                marks.append({i, datetime()});
            span = &m_spans[size_t(++k)];
            i = span->first;
            time = datetime::fromMSecsSinceEpoch(span->start);
            if (time.isNull())
                break;
        }
        const bool crowded = lastText != std::numeric_limits<int>::min() && i - lastText < step;
        marks.append({i, crowded ? datetime() : time});
        if (!crowded)
            lastText = i;
        i += step;
        time = seconds ? time.addMSecs(advance) : timeAt(i);
    }
    return marks;
}

QList<int> TSynchronyzer::timeMarkIndices(int from, int to, int step) const
{
    QList<int> indices;
    for (const Mark &mark : timeMarks(from, to, step))
        indices.append(mark.first);
    return indices;
}

int TSynchronyzer::markStep(const QFont &font, double pixelsPerUnit) const
{
    QString sample;
    if (m_baseFrame.kind != Interval)
        sample = datetime::today().toString(QStringLiteral("dd.MM.yy"));
    else if (m_baseFrame.value < 60)
        sample = QStringLiteral("00:00:00");
    else if (m_baseFrame.value < 86400)
        sample = QStringLiteral("00:00");
    else
        sample = datetime::today().toString(QStringLiteral("dd.MM"));
    if (pixelsPerUnit <= 0)
        return 1;
    const double width = QFontMetricsF(font).horizontalAdvance(sample) * 1.2;
    return qMax(1, int(std::ceil(width / pixelsPerUnit)));
}

QString TSynchronyzer::markText(const datetime &time) const
{
    if (time.isNull())
        return {};
    const QDateTime t = time.getDateTime();
    if (m_baseFrame.kind != Interval)
        return t.toString(QStringLiteral("dd.MM.yy"));
    if (m_baseFrame.value < 60)
        return t.toString(QStringLiteral("HH:mm:ss"));
    if (m_baseFrame.value < 86400)
        return t.toString(QStringLiteral("HH:mm"));
    return t.toString(QStringLiteral("dd.MM"));
}

// --- recomputation ------------------------------------------------------------------------

void TSynchronyzer::rebuildSpans()
{
    std::vector<Span> periods;
    for (TimeSeriesItem *series : std::as_const(m_series)) {
        const SeriesDataModel *model = series->barModel();
        if (!model)
            continue;
        const int chunks = model->chunkCount();
        for (int c = 0; c < chunks; ++c) {
            const qint64 start = model->chunkStart(c).toMSecsSinceEpoch();
            const qint64 end = model->chunkEnd(c).toMSecsSinceEpoch();
            if (start < end)
                periods.push_back({start, end, 0, 0});
        }
    }
    std::sort(periods.begin(), periods.end(),
              [](const Span &a, const Span &b) { return a.start < b.start; });
    m_spans.clear();
    for (const Span &p : periods) {
        // Periods that overlap or touch make one span.
        if (!m_spans.empty() && p.start <= m_spans.back().end)
            m_spans.back().end = qMax(m_spans.back().end, p.end);
        else
            m_spans.push_back(p);
    }
}

void TSynchronyzer::computeBaseFrame()
{
    QList<qint64> seconds;
    bool months = false;
    bool years = false;
    for (TimeSeriesItem *series : std::as_const(m_series)) {
        const SeriesDataModel *model = series->barModel();
        if (!model)
            continue;
        const TimeFrameValue tf = model->timeFrame();
        if (tf.kind == Month)
            months = true;
        else if (tf.kind == Year)
            years = true;
        else if (tf.value > 0)
            seconds.append(tf.value);
    }
    if (seconds.isEmpty() && !months && !years)
        return; // nothing shown: the base stays
    if (seconds.isEmpty()) {
        m_baseFrame = TimeFrameValue(0, months ? Month : Year);
        return;
    }
    // Calendar frames start at midnight: a day joins the divisor.
    if (months || years)
        seconds.append(86400);
    const qint64 divisor = std::accumulate(seconds.cbegin(), seconds.cend(), qint64(0),
                                           [](qint64 a, qint64 b) { return std::gcd(a, b); });
    m_baseFrame = TimeFrameValue(qint32(divisor), Interval);
}

void TSynchronyzer::computeSpanIndices()
{
    if (m_spans.empty())
        return;
    if (m_baseFrame.kind != Interval) {
        // One span over the whole range, counted in calendar units.
        const QDate first = datetime::fromMSecsSinceEpoch(m_spans.front().start).getDate();
        const QDate last = datetime::fromMSecsSinceEpoch(m_spans.back().end - 1).getDate();
        const int count = m_baseFrame.kind == Year
                              ? last.year() - first.year() + 1
                              : (last.year() - first.year()) * 12 + last.month() - first.month()
                                    + 1;
        const Span whole{m_spans.front().start, m_spans.back().end, 0, count};
        m_spans.assign(1, whole);
        return;
    }
    const qint64 base = qMax(1, m_baseFrame.value);
    const int days = baseDays();
    int first = 0;
    for (Span &s : m_spans) {
        s.first = first;
        if (days > 0) {
            const QDate from = datetime::fromMSecsSinceEpoch(s.start).getDate();
            const QDate to = datetime::fromMSecsSinceEpoch(s.end).getDate();
            s.last = first + int(from.daysTo(to) / days);
        } else {
            s.last = first + int((s.end - s.start) / 1000 / base);
        }
        first = s.last; // consecutive spans share their boundary index
    }
}

void TSynchronyzer::updateSceneRectAndItemsPos()
{
    double edge = 0;
    bool any = false;
    for (TimeSeriesItem *series : std::as_const(m_series)) {
        const datetime first = series->firstBarTime();
        if (first.isNull())
            continue;
        edge = any ? qMax(edge, indexOf(first) + series->barsWidth())
                   : indexOf(first) + series->barsWidth();
        any = true;
    }
    m_rightEdge = any ? edge : 1.0;
    for (QGraphicsScene *scene : std::as_const(m_scenes)) {
        QRectF rect = scene->sceneRect();
        rect.setWidth(sceneWidth());
        scene->setSceneRect(rect);
    }
    for (TimeSeriesItem *series : std::as_const(m_series)) {
        const datetime first = series->firstBarTime();
        if (!first.isNull())
            series->setIndexPosition(indexOf(first));
    }
    Q_EMIT sceneWidthChanged();
}

void TSynchronyzer::update()
{
    m_updateScheduled = false;
    ++m_updateCount;
    const TimeFrameValue before = m_baseFrame;
    rebuildSpans();
    computeBaseFrame();
    computeSpanIndices();
    for (TimeSeriesItem *series : std::as_const(m_series))
        series->rebuildSpans();
    updateSceneRectAndItemsPos();
    if (!(before == m_baseFrame) || before.value != m_baseFrame.value)
        Q_EMIT timeMarkingChanged();
}

void TSynchronyzer::removeScene(QObject *scene)
{
    // The scene is being destroyed: only its address is compared.
    m_scenes.removeIf([scene](QGraphicsScene *s) { return static_cast<QObject *>(s) == scene; });
    scheduleUpdate();
}

void TSynchronyzer::removeItem(QObject *item)
{
    for (qsizetype i = m_objects.size() - 1; i >= 0; --i) {
        if (m_objects.at(i) == item) {
            m_objects.removeAt(i);
            m_series.removeAt(i);
        }
    }
    scheduleUpdate();
}

void TSynchronyzer::scheduleUpdate()
{
    if (m_updateScheduled)
        return;
    m_updateScheduled = true;
    QTimer::singleShot(0, this, &TSynchronyzer::update);
}
