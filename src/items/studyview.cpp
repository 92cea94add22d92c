#include "studyview.h"

#include "seriesitem.h"
#include "seriesview.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Calls visit(index, x, value) for every valid value from start up to last, until one lies
// beyond right or visit answers false.
template <typename Visit>
void walkValues(const StudyValues &values, const SeriesItem *series, FrameIndex index,
                const FrameIndex &last, double right, Visit visit)
{
    if (!index.isValid() || !last.isValid())
        return;
    for (int c = index.chunk; c < int(values.size()) && c <= last.chunk; ++c) {
        const std::vector<SeriesValue> &chunk = values[size_t(c)];
        const int end = c == last.chunk ? std::min(int(chunk.size()), last.bar + 1)
                                        : int(chunk.size());
        for (int b = c == index.chunk ? std::max(0, index.bar) : 0; b < end; ++b) {
            const double x = series->xOf({c, b});
            if (x > right)
                return;
            if (chunk[size_t(b)].valid && !visit(FrameIndex(c, b), x, chunk[size_t(b)].value))
                return;
        }
    }
}

FrameIndex previousValidValue(const StudyValues &values, FrameIndex index)
{
    for (int steps = 0; steps < 100000; ++steps) {
        if (--index.bar < 0) {
            if (--index.chunk < 0 || size_t(index.chunk) >= values.size())
                return {};
            index.bar = int(values[size_t(index.chunk)].size());
            continue;
        }
        if (StudyView::valueAt(values, index).valid)
            return index;
    }
    return {};
}

FrameIndex nextValidValueInChunk(const StudyValues &values, FrameIndex index)
{
    if (index.chunk < 0 || size_t(index.chunk) >= values.size())
        return {};
    const std::vector<SeriesValue> &chunk = values[size_t(index.chunk)];
    for (int b = std::max(0, index.bar); b < int(chunk.size()); ++b) {
        if (chunk[size_t(b)].valid)
            return {index.chunk, b};
    }
    return {};
}

} // namespace

StudyView::~StudyView() = default;

SeriesValue StudyView::valueAt(const StudyValues &values, const FrameIndex &index)
{
    if (index.chunk < 0 || index.bar < 0 || size_t(index.chunk) >= values.size()
        || size_t(index.bar) >= values[size_t(index.chunk)].size())
        return {};
    return values[size_t(index.chunk)][size_t(index.bar)];
}

QRectF StudyView::boundingRect(double width, double low, double high) const
{
    return QRectF(0, -high, width, high - low);
}

FrameIndex StudyView::firstVisibleIndex(double x, const StudyValues &, const SeriesItem *series) const
{
    // Like bars: the bar before the one at x, so that its body is not cut.
    return series->paintStart(x, 1);
}

bool StudyView::hitTest(const QPointF &point, const StudyValues &values, const SeriesItem *series,
                        const QPointF &pixelSize, int lineWidth, FrameIndex *out) const
{
    // Points: within three pixels (or half the pen) of a value.
    const FrameIndex at = series->frameIndexAt(point.x());
    const double tolerance = std::max(3.0, lineWidth / 2.0);
    for (FrameIndex index : {at, FrameIndex(at.chunk, at.bar - 1)}) {
        const SeriesValue v = valueAt(values, index);
        if (!v.valid)
            continue;
        if (std::abs(point.x() - series->xOf(index)) <= tolerance * pixelSize.x()
            && std::abs(point.y() + v.value) <= tolerance * pixelSize.y()) {
            if (out)
                *out = index;
            return true;
        }
    }
    return false;
}

// --- line -----------------------------------------------------------------------------------

QRectF LineStudyView::boundingRect(double width, double low, double high) const
{
    return QRectF(0, -high, width, std::max(1.0, high - low));
}

FrameIndex LineStudyView::firstVisibleIndex(double x, const StudyValues &values,
                                            const SeriesItem *series) const
{
    FrameIndex index = series->paintStart(x, 0);
    if (index.isValid() && !valueAt(values, index).valid) {
        const FrameIndex previous = previousValidValue(values, index);
        index = previous.isValid() ? previous : FrameIndex(0, 0);
    }
    return index;
}

void LineStudyView::drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                              const StudyValues &values, const SeriesItem *series,
                              const FrameIndex &last, int markerStep,
                              QList<QPointF> &markers) const
{
    const PaintGeometry g = PaintGeometry::of(painter, option);
    QList<QPointF> points;
    // The segment that reaches past the right edge is drawn; none after it.
    walkValues(values, series, firstVisibleIndex(g.left, values, series), last,
               std::numeric_limits<double>::infinity(),
               [&](const FrameIndex &index, double x, double v) {
                   points.append({x, -v});
                   if (markerStep > 0 && index.bar % markerStep == 0)
                       markers.append({x, -v});
                   return x <= g.right;
               });
    if (points.size() < 2)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->drawPolyline(points.constData(), int(points.size()));
}

bool LineStudyView::hitTest(const QPointF &point, const StudyValues &values,
                            const SeriesItem *series, const QPointF &pixelSize, int lineWidth,
                            FrameIndex *out) const
{
    const FrameIndex at = series->frameIndexAt(point.x());
    if (!at.isValid())
        return false;
    const FrameIndex right = nextValidValueInChunk(values, at);
    const FrameIndex left = previousValidValue(values, at);
    if (!right.isValid() || !left.isValid())
        return false;
    const double p = pixelSize.x();
    const double q = pixelSize.y();
    const QPointF a(series->xOf(left), -valueAt(values, left).value);
    const QPointF b(series->xOf(right), -valueAt(values, right).value);
    if (a == b) {
        const bool hit = std::abs(point.y() - a.y()) <= 3 * q && std::abs(point.x() - a.x()) <= 3 * p;
        if (hit && out)
            *out = left;
        return hit;
    }
    const double tolerance = std::max(3.0, lineWidth / 2.0);
    auto pixels = [p, q](const QPointF &v) { return QPointF(v.x() / p, v.y() / q); };
    if (!nearSegment(pixels(point), pixels(a), pixels(b), tolerance))
        return false;
    if (out)
        *out = std::abs(point.x() - a.x()) <= std::abs(b.x() - point.x()) ? left : right;
    return true;
}

// --- histogram ------------------------------------------------------------------------------

QRectF HistogramStudyView::boundingRect(double width, double low, double high) const
{
    if (high > 0)
        return QRectF(0, -high, width, std::max(high - low, high));
    return QRectF(0, 0, width, std::abs(low));
}

void HistogramStudyView::drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                   const StudyValues &values, const SeriesItem *series,
                                   const FrameIndex &last, int markerStep,
                                   QList<QPointF> &markers) const
{
    const PaintGeometry g = PaintGeometry::of(painter, option);
    QList<QLineF> lines;
    walkValues(values, series, firstVisibleIndex(g.left, values, series), last, g.right,
               [&](const FrameIndex &index, double x, double v) {
                   lines.append(QLineF(x, 0, x, -v));
                   if (markerStep > 0 && index.bar % markerStep == 0)
                       markers.append({x, -v});
                   return true;
               });
    painter->drawLines(lines);
}

bool HistogramStudyView::hitTest(const QPointF &point, const StudyValues &values,
                                 const SeriesItem *series, const QPointF &pixelSize,
                                 int lineWidth, FrameIndex *out) const
{
    // Anywhere along a bar from zero to its value, within half the pen and a pixel.
    const FrameIndex at = series->frameIndexAt(point.x());
    const double reach = std::max(pixelSize.x(), lineWidth / 2.0 * pixelSize.x());
    for (FrameIndex index : {at, FrameIndex(at.chunk, at.bar - 1)}) {
        const SeriesValue v = valueAt(values, index);
        if (!v.valid || std::abs(point.x() - series->xOf(index)) > reach)
            continue;
        const double top = std::min(0.0, -v.value) - pixelSize.y();
        const double bottom = std::max(0.0, -v.value) + pixelSize.y();
        if (point.y() >= top && point.y() <= bottom) {
            if (out)
                *out = index;
            return true;
        }
    }
    return false;
}

// --- points ---------------------------------------------------------------------------------

void PointsStudyView::drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                const StudyValues &values, const SeriesItem *series,
                                const FrameIndex &last, int markerStep,
                                QList<QPointF> &markers) const
{
    const PaintGeometry g = PaintGeometry::of(painter, option);
    QList<QPointF> points;
    walkValues(values, series, firstVisibleIndex(g.left, values, series), last, g.right,
               [&](const FrameIndex &index, double x, double v) {
                   points.append({x, -v});
                   if (markerStep > 0 && index.bar % markerStep == 0)
                       markers.append({x, -v});
                   return true;
               });
    painter->drawPoints(points.constData(), int(points.size()));
}
