#include "seriesview.h"

#include "seriesitem.h"
#include "settings.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>

PaintGeometry PaintGeometry::of(const QPainter *painter, const QStyleOptionGraphicsItem *option)
{
    PaintGeometry g;
    const QTransform &t = painter->worldTransform();
    g.pixelWidth = std::abs(t.m11()) > 0 ? 1.0 / std::abs(t.m11()) : 1.0;
    g.pixelHeight = std::abs(t.m22()) > 0 ? 1.0 / std::abs(t.m22()) : 1.0;
    QRectF exposed = option && !option->exposedRect.isNull() ? option->exposedRect
                                                             : QRectF(option ? option->rect : QRect());
    // What reaches the device at all: a scene rendered into an image exposes whole items.
    bool invertible = false;
    const QTransform back = t.inverted(&invertible);
    if (invertible && painter->device()) {
        const QPaintDevice *device = painter->device();
        exposed = exposed.intersected(back.mapRect(QRectF(0, 0, device->width(), device->height())));
    }
    if (painter->hasClipping())
        exposed = exposed.intersected(painter->clipBoundingRect());
    g.left = exposed.left();
    g.right = exposed.right();
    return g;
}

SeriesView::~SeriesView() = default;

namespace {

QPen seriesPen(const QColor &color, int width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    pen.setCosmetic(true);
    return pen;
}

QPen outlinePen(const QColor &color)
{
    QPen pen(color, 0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    pen.setCosmetic(true);
    return pen;
}

// Calls visit(index, x, bar) for every valid bar from start on, until the bars end or one
// lies beyond right (its x minus reach). With overshoot the first valid bar beyond right is
// visited too: a line's segment that leaves the exposed part has its right end there.
template <typename Visit>
void walkVisible(const SeriesItem *item, FrameIndex index, double right, double reach,
                 Visit visit, bool overshoot = false)
{
    const auto &bars = item->bars();
    const FrameIndex last = item->lastIndex();
    if (!index.isValid() || !last.isValid())
        return;
    for (int c = index.chunk; c < int(bars.size()) && c <= last.chunk; ++c) {
        const std::vector<SeriesItem::Bar> &chunk = bars[size_t(c)];
        const int end = c == last.chunk ? std::min(int(chunk.size()), last.bar + 1)
                                        : int(chunk.size());
        // Bars of a fixed length stand at a fixed stride from their chunk's first index.
        const int u = item->unitsPerBarCached();
        const double origin = u > 0 ? item->xOf({c, 0}) : 0;
        for (int b = c == index.chunk ? index.bar : 0; b < end; ++b) {
            const double x = u > 0 ? origin + double(b) * u : item->xOf({c, b});
            const bool beyond = x - reach > right;
            if (beyond && !overshoot)
                return;
            const SeriesItem::Bar &bar = chunk[size_t(b)];
            if (bar.isValid()) {
                visit(FrameIndex(c, b), x, bar);
                if (beyond)
                    return;
            }
        }
    }
}

// Several bars per pixel column: painting each would draw most pixels many times over. The
// bars of one column are taken from the last painted to the first, and each paints only the
// rows no later bar has covered, which is what painting them one after the other leaves.
class ColumnPainter
{
public:
    explicit ColumnPainter(const QTransform &t)
        : m_sx(t.m11())
        , m_dx(t.dx())
        , m_sy(t.m22())
        , m_dy(t.dy())
    {
    }
    // Rows of an item y range in device pixels (halves round up).
    std::pair<int, int> rows(double y1, double y2) const
    {
        const int a = floorOf(m_sy * y1 + m_dy + 0.5);
        const int b = floorOf(m_sy * y2 + m_dy + 0.5);
        return {std::min(a, b), std::max(a, b)};
    }
    int column(double x) const { return floorOf(m_sx * x + m_dx); }

    // Starts a column; the segments of its bars follow, the last painted bar first.
    void beginColumn(int column)
    {
        m_column = column;
        m_covered.clear();
    }
    // Paints the rows of [top, bottom] not yet covered in the column in colour slot k.
    void add(int top, int bottom, int k)
    {
        if (m_covered.size() == 1) {
            // The usual case: what is covered is one run of rows.
            auto &[a, b] = m_covered[0];
            if (bottom >= a - 1 && top <= b + 1) {
                if (top < a)
                    m_lines[k].append(segment(top, a - 1));
                if (bottom > b)
                    m_lines[k].append(segment(b + 1, bottom));
                a = std::min(a, top);
                b = std::max(b, bottom);
                return;
            }
        } else if (m_covered.isEmpty()) {
            m_lines[k].append(segment(top, bottom));
            m_covered.append({top, bottom});
            return;
        }
        int from = top;
        // m_covered: disjoint sorted intervals.
        for (const auto &[a, b] : m_covered) {
            if (b < from)
                continue;
            if (a > bottom)
                break;
            if (a > from)
                m_lines[k].append(segment(from, a - 1));
            from = std::max(from, b + 1);
            if (from > bottom)
                break;
        }
        if (from <= bottom)
            m_lines[k].append(segment(from, bottom));
        cover(top, bottom);
    }
    // Slot k in colors[k], widths[k] pixels wide.
    void draw(QPainter *painter, const QColor *colors, const int *widths, int count) const
    {
        painter->save();
        painter->resetTransform();
        painter->setRenderHint(QPainter::Antialiasing, false);
        for (int k = 0; k < count; ++k) {
            if (m_lines[k].isEmpty())
                continue;
            painter->setPen(seriesPen(colors[k], widths[k]));
            painter->drawLines(m_lines[k].constData(), int(m_lines[k].size()));
        }
        painter->restore();
    }

private:
    // Painting asks this for every bar: no call into the maths library.
    static int floorOf(double v)
    {
        const int i = int(v);
        return v < i ? i - 1 : i;
    }
    // Rows top..bottom of the column: an integer line leaves out its last point.
    QLine segment(int top, int bottom) const { return QLine(m_column, top, m_column, bottom + 1); }
    void cover(int top, int bottom)
    {
        auto it = m_covered.begin();
        while (it != m_covered.end() && it->second + 1 < top)
            ++it;
        int a = top;
        int b = bottom;
        auto first = it;
        while (it != m_covered.end() && it->first <= b + 1) {
            a = std::min(a, it->first);
            b = std::max(b, it->second);
            ++it;
        }
        it = m_covered.erase(first, it);
        m_covered.insert(it, {a, b});
    }

    double m_sx, m_dx, m_sy, m_dy;
    int m_column = 0;
    QVarLengthArray<std::pair<int, int>, 8> m_covered;
    QList<QLine> m_lines[4];
};

// The bars of the exposed part from the right edge back to start, each handed to
// paintBar(index, x, bar) after the column painter has been told when a new pixel column
// begins: bars that share a column arrive from the last painted to the first. Only for bars
// of a fixed length.
template <typename PaintBar>
void walkBackwards(const SeriesItem *item, FrameIndex start, const PaintGeometry &g,
                   ColumnPainter &columns, PaintBar paintBar)
{
    const auto &bars = item->bars();
    const FrameIndex last = item->lastIndex();
    const int u = item->unitsPerBarCached();
    if (!start.isValid() || !last.isValid() || u <= 0)
        return;
    int column = std::numeric_limits<int>::min();
    for (int c = std::min(last.chunk, int(bars.size()) - 1); c >= start.chunk; --c) {
        const std::vector<SeriesItem::Bar> &chunk = bars[size_t(c)];
        const double origin = item->xOf({c, 0});
        int end = c == last.chunk ? std::min(int(chunk.size()), last.bar + 1) : int(chunk.size());
        // Nothing right of the exposed part.
        const double reach = (g.right - origin) / u;
        if (reach < 0)
            continue;
        end = std::min(end, int(std::floor(reach)) + 1);
        const int first = c == start.chunk ? start.bar : 0;
        for (int b = end - 1; b >= first; --b) {
            const SeriesItem::Bar &bar = chunk[size_t(b)];
            if (!bar.isValid())
                continue;
            const double x = origin + double(b) * u;
            const int at = columns.column(x);
            if (at != column) {
                column = at;
                columns.beginColumn(at);
            }
            paintBar(FrameIndex(c, b), x, bar);
        }
    }
}

} // namespace

int SeriesView::markerStep(const SeriesItem *item, double pixelWidth)
{
    if (!item->isSelected())
        return 0;
    const int u = std::abs(item->unitsPerBarCached());
    if (u == 0 || pixelWidth <= 0)
        return 1;
    return std::max(1, int(std::ceil(50 * pixelWidth / u)));
}

void SeriesView::readColor(Settings &settings, const char *key, QColor &color)
{
    const QString name = QString::fromLatin1(key);
    if (!settings.contains(name))
        return;
    const QVariant value = settings.value(name);
    QColor read = value.metaType().id() == QMetaType::QColor ? value.value<QColor>()
                                                              : QColor(value.toString());
    if (read.isValid())
        color = read;
}

FrameIndex SeriesView::firstVisibleIndex(double x, const SeriesItem *item) const
{
    return item->paintStart(x, 1);
}

FrameIndex SeriesView::barNear(const QPointF &point, const SeriesItem *item, double h, double p)
{
    FrameIndex index = item->frameIndexAt(point.x());
    if (!index.isValid())
        return {};
    if (item->xOf(index) - point.x() > h + p) {
        if (index.bar == 0)
            return {};
        index.bar -= 1;
        if (point.x() - item->xOf(index) > std::max(p, h))
            return {};
    }
    return index;
}

bool nearSegment(const QPointF &point, const QPointF &a, const QPointF &b, double tolerance)
{
    const QPointF d = b - a;
    const double length = std::hypot(d.x(), d.y());
    if (length == 0)
        return false;
    const double distance = std::abs(d.y() * (point.x() - a.x()) - d.x() * (point.y() - a.y()))
                            / length;
    if (distance > tolerance)
        return false;
    const QRectF box = QRectF(a, b).normalized().adjusted(-tolerance, -tolerance, tolerance,
                                                          tolerance);
    return box.contains(point);
}

// --- candles ------------------------------------------------------------------------------

void CandleSeriesView::drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                  const SeriesItem *item, QList<QPointF> &markers) const
{
    const PaintGeometry g = PaintGeometry::of(painter, option);
    const double h = item->barHalfWidth();
    const int width = item->lineWidth();
    const QColor upWick = wickSelfColor ? wickColor : upBoundColor;
    const QColor downWick = wickSelfColor ? wickColor : downBoundColor;
    const double u = item->unitsPerBarCached();
    const int step = markerStep(item, g.pixelWidth);
    if (u > 0 && u / g.pixelWidth < 1.0) {
        // Colour slots: 0 rising outline, 1 falling outline, 2 rising wick, 3 falling wick.
        ColumnPainter columns(painter->worldTransform());
        walkBackwards(item, SeriesView::firstVisibleIndex(g.left, item), g, columns,
                      [&](const FrameIndex &index, double x, const SeriesItem::Bar &bar) {
                          if (step > 0 && index.bar % step == 0)
                              markers.append(QPointF(x, -bar.close));
                          const bool rising = bar.open <= bar.close;
                          const auto [top, bottom] = columns.rows(-std::max(bar.open, bar.close),
                                                                  -std::min(bar.open, bar.close));
                          columns.add(top, bottom, rising ? 0 : 1);
                          const auto [high, low] = columns.rows(-bar.high, -bar.low);
                          columns.add(high, low, rising ? 2 : 3);
                      });
        const QColor colors[4] = {upBoundColor, downBoundColor, upWick, downWick};
        // The body's outline is one pixel wide, as when every bar is painted.
        const int widths[4] = {1, 1, width, width};
        columns.draw(painter, colors, widths, 4);
        return;
    }
    QList<QLineF> wicks[2];
    QList<QRectF> bodies[2];
    walkVisible(item, firstVisibleIndex(g.left, item), g.right, h,
                [&](const FrameIndex &index, double x, const SeriesItem::Bar &bar) {
                    const bool rising = bar.open <= bar.close;
                    const int k = rising ? 0 : 1;
                    const double top = std::max(bar.open, bar.close);
                    const double bottom = std::min(bar.open, bar.close);
                    wicks[k].append(QLineF(x, -bar.low, x, -bar.high));
                    if (std::abs(top - bottom) >= 1e-07)
                        bodies[k].append(QRectF(QPointF(x - h, -top), QPointF(x + h, -bottom)));
                    else
                        wicks[k].append(QLineF(x - h, -top, x + h, -bottom));
                    if (step > 0 && index.bar % step == 0)
                        markers.append(QPointF(x, -bar.close));
                });
    const QColor wickColors[2] = {upWick, downWick};
    const QColor fills[2] = {upColor, downColor};
    const QColor outlines[2] = {upBoundColor, downBoundColor};
    for (int k = 0; k < 2; ++k) {
        painter->setPen(seriesPen(wickColors[k], width));
        painter->drawLines(wicks[k]);
    }
    for (int k = 0; k < 2; ++k) {
        painter->setPen(outlinePen(outlines[k]));
        painter->setBrush(fills[k]);
        painter->drawRects(bodies[k]);
    }
}

bool CandleSeriesView::hitTest(const QPointF &point, const SeriesItem *item,
                               FrameIndex *out) const
{
    const double p = item->pixelWidth();
    const double h = item->barHalfWidth();
    const FrameIndex index = barNear(point, item, h, p);
    if (!index.isValid())
        return false;
    const SeriesItem::Bar bar = item->barAt(index);
    if (!bar.isValid())
        return false;
    bool hit;
    if (bar.high == bar.low)
        hit = std::abs(point.y() + bar.low) < item->pixelHeight();
    else
        hit = -bar.high < point.y() && point.y() < -bar.low;
    if (hit && out)
        *out = index;
    return hit;
}

void CandleSeriesView::saveState(Settings &settings) const
{
    settings.setValue(QStringLiteral("wickSelfColor"), wickSelfColor);
    settings.setValue(QStringLiteral("wickColor"), wickColor);
    settings.setValue(QStringLiteral("upColor"), upColor);
    settings.setValue(QStringLiteral("upBoundColor"), upBoundColor);
    settings.setValue(QStringLiteral("downColor"), downColor);
    settings.setValue(QStringLiteral("downBoundColor"), downBoundColor);
}

void CandleSeriesView::applyProperties(Settings &settings)
{
    if (settings.contains(QStringLiteral("wickSelfColor")))
        wickSelfColor = settings.value(QStringLiteral("wickSelfColor")).toBool();
    readColor(settings, "wickColor", wickColor);
    readColor(settings, "upColor", upColor);
    readColor(settings, "upBoundColor", upBoundColor);
    readColor(settings, "downColor", downColor);
    readColor(settings, "downBoundColor", downBoundColor);
}

QColor CandleSeriesView::markColor(int direction) const
{
    return direction >= 0 ? upColor : downColor;
}

QColor CandleSeriesView::markFrameColor(int direction) const
{
    return direction >= 0 ? upBoundColor : downBoundColor;
}

// --- bars ---------------------------------------------------------------------------------

void BarSeriesView::drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                               const SeriesItem *item, QList<QPointF> &markers) const
{
    const PaintGeometry g = PaintGeometry::of(painter, option);
    const double h = item->barHalfWidth();
    const int width = item->lineWidth();
    const double u = item->unitsPerBarCached();
    const int step = markerStep(item, g.pixelWidth);
    if (u > 0 && u / g.pixelWidth < 1.0) {
        // Colour slots: 0 close tick, 1 open tick, 2 high-low line.
        ColumnPainter columns(painter->worldTransform());
        walkBackwards(item, SeriesView::firstVisibleIndex(g.left, item), g, columns,
                      [&](const FrameIndex &index, double x, const SeriesItem::Bar &bar) {
                          if (step > 0 && index.bar % step == 0)
                              markers.append(QPointF(x, -bar.close));
                          const auto close = columns.rows(-bar.close, -bar.close);
                          columns.add(close.first, close.second, 0);
                          const auto open = columns.rows(-bar.open, -bar.open);
                          columns.add(open.first, open.second, 1);
                          const auto [high, low] = columns.rows(-bar.high, -bar.low);
                          columns.add(high, low, 2);
                      });
        const QColor colors[3] = {outColor, inColor, minmaxColor};
        const int widths[3] = {width, width, width};
        columns.draw(painter, colors, widths, 3);
        return;
    }
    QList<QLineF> ranges, opens, closes;
    walkVisible(item, firstVisibleIndex(g.left, item), g.right, h,
                [&](const FrameIndex &index, double x, const SeriesItem::Bar &bar) {
                    ranges.append(QLineF(x, -bar.low, x, -bar.high));
                    opens.append(QLineF(x, -bar.open, x - h, -bar.open));
                    closes.append(QLineF(x, -bar.close, x + h, -bar.close));
                    if (step > 0 && index.bar % step == 0)
                        markers.append(QPointF(x, -bar.close));
                });
    painter->setPen(seriesPen(minmaxColor, width));
    painter->drawLines(ranges);
    painter->setPen(seriesPen(inColor, width));
    painter->drawLines(opens);
    painter->setPen(seriesPen(outColor, width));
    painter->drawLines(closes);
}

bool BarSeriesView::hitTest(const QPointF &point, const SeriesItem *item, FrameIndex *out) const
{
    // The same rule as candles: the bar's high-low extent.
    return CandleSeriesView().hitTest(point, item, out);
}

void BarSeriesView::saveState(Settings &settings) const
{
    settings.setValue(QStringLiteral("minmaxColor"), minmaxColor);
    settings.setValue(QStringLiteral("inColor"), inColor);
    settings.setValue(QStringLiteral("outColor"), outColor);
}

void BarSeriesView::applyProperties(Settings &settings)
{
    readColor(settings, "minmaxColor", minmaxColor);
    readColor(settings, "inColor", inColor);
    readColor(settings, "outColor", outColor);
}

// --- line ---------------------------------------------------------------------------------

FrameIndex LineSeriesView::firstVisibleIndex(double x, const SeriesItem *item) const
{
    FrameIndex index = item->paintStart(x, 0);
    // Back to the nearest valid bar, so that the first segment has its left end.
    if (index.isValid() && !item->barAt(index).isValid()) {
        const FrameIndex previous = item->previousValid(index);
        index = previous.isValid() ? previous : FrameIndex(0, 0);
    }
    return index;
}

void LineSeriesView::drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                const SeriesItem *item, QList<QPointF> &markers) const
{
    const PaintGeometry g = PaintGeometry::of(painter, option);
    const int step = markerStep(item, g.pixelWidth);
    const double u = std::abs(item->unitsPerBarCached());
    const bool dense = u / g.pixelWidth < 1.0;
    QList<QPointF> points;
    // Several closes per pixel column: the column's first, lowest, highest and last close
    // draw the same polyline.
    int column = 0;
    double first = 0, lowest = 0, highest = 0, lastY = 0, columnX = 0;
    bool open = false;
    auto flush = [&] {
        if (!open)
            return;
        points.append({columnX, first});
        if (lowest != first && lowest != lastY)
            points.append({columnX, lowest});
        if (highest != first && highest != lastY && highest != lowest)
            points.append({columnX, highest});
        if (lastY != first)
            points.append({columnX, lastY});
        open = false;
    };
    const double xScale = 1.0 / g.pixelWidth;
    walkVisible(item, firstVisibleIndex(g.left, item), g.right, 0,
                [&](const FrameIndex &index, double x, const SeriesItem::Bar &bar) {
                    const double y = -bar.close;
                    if (step > 0 && index.bar % step == 0)
                        markers.append(QPointF(x, y));
                    if (!dense) {
                        points.append({x, y});
                        return;
                    }
                    const int c = int(std::floor(x * xScale));
                    if (!open || c != column) {
                        flush();
                        column = c;
                        columnX = x;
                        first = lowest = highest = y;
                        open = true;
                    }
                    lowest = std::min(lowest, y);
                    highest = std::max(highest, y);
                    lastY = y;
                },
                true);
    flush();
    if (points.size() < 2)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(seriesPen(lineColor, item->lineWidth()));
    painter->drawPolyline(points.constData(), int(points.size()));
}

bool LineSeriesView::hitTest(const QPointF &point, const SeriesItem *item, FrameIndex *out) const
{
    // Between two chunks no bar is at x: the segment there ends at the next chunk's first bar.
    // The search back crosses chunks, as the line does.
    FrameIndex at = item->frameIndexAt(point.x());
    if (!at.isValid())
        at = item->frameIndexAt(std::ceil(point.x()));
    if (!at.isValid())
        return false;
    // The valid bars on both sides of the point, within the chunk: the segment between them.
    const FrameIndex right = item->barAt(at).isValid() ? at : item->nextValid(at);
    if (!right.isValid() || right.chunk != at.chunk)
        return false;
    const FrameIndex left = item->previousValid(at);
    if (!left.isValid())
        return false;
    const double p = item->pixelWidth();
    const double q = item->pixelHeight();
    const QPointF a(item->xOf(left), -item->barAt(left).close);
    const QPointF b(item->xOf(right), -item->barAt(right).close);
    if (a == b) {
        const bool hit = std::abs(point.y() - a.y()) <= 3 * q && std::abs(point.x() - a.x()) <= 3 * p;
        if (hit && out)
            *out = left;
        return hit;
    }
    const double tolerance = std::max(3.0, item->lineWidth() / 2.0);
    auto pixels = [p, q](const QPointF &v) { return QPointF(v.x() / p, v.y() / q); };
    if (!nearSegment(pixels(point), pixels(a), pixels(b), tolerance))
        return false;
    if (out)
        *out = std::abs(point.x() - a.x()) <= std::abs(b.x() - point.x()) ? left : right;
    return true;
}

void LineSeriesView::saveState(Settings &settings) const
{
    settings.setValue(QStringLiteral("lineColor"), lineColor);
}

void LineSeriesView::applyProperties(Settings &settings)
{
    readColor(settings, "lineColor", lineColor);
}
