#include "fibonacciitems.h"

#include "drawinggeometry.h"
#include "settings.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <cmath>

using namespace DrawingGeometry;

// --- the common base ------------------------------------------------------------------------

FibonacciDrawingItem::FibonacciDrawingItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                                           const QLineF &sceneLine, const QColor &color,
                                           int lineWidth)
    : LineDrawingItem(scale, synchronizer, sceneLine, color, lineWidth)
{
}

QList<double> FibonacciDrawingItem::retracements()
{
    return {0.0, 0.236, 0.382, 0.5, 0.618, 0.764, 1.0};
}

QString FibonacciDrawingItem::ratioText(double ratio)
{
    static const QLocale locale = QLocale::system();
    return locale.toString(ratio * 100, 'f', 1) + QLatin1Char('%');
}

void FibonacciDrawingItem::rebuildLevels()
{
    geometryChanging();
    m_levels.clear();
    const QList<double> list = ratios();
    for (double ratio : list)
        m_levels.append({ratio, {}, renderLabel(ratioText(ratio), drawingColor()), {}, {}});
    updateLevelPrices();
}

void FibonacciDrawingItem::setLevelPrice(Level &level, double price)
{
    if (m_decimals < 0)
        m_decimals = scaleDecimals(this);
    const QString text = priceText(price, m_decimals);
    if (text == level.priceText && !level.priceLabel.isNull())
        return;
    geometryChanging();
    level.priceText = text;
    level.priceLabel = renderLabel(text, drawingColor());
    const QSize upper = level.ratioLabel.size();
    const QSize lower = level.priceLabel.size();
    const int width = std::max(upper.width(), lower.width());
    level.labels = QPixmap(width, upper.height() + lower.height());
    level.labels.fill(Qt::transparent);
    QPainter painter(&level.labels);
    const bool centred = centredLabels();
    painter.drawPixmap(centred ? (width - upper.width()) / 2 : 0, 0, level.ratioLabel);
    painter.drawPixmap(centred ? (width - lower.width()) / 2 : 0, upper.height(), level.priceLabel);
}

int FibonacciDrawingItem::verticalMargin() const
{
    const int font = QFontMetrics(QApplication::font()).height();
    return std::max((lineWidth() + 1) / 2, font < 8 ? 7 : font);
}

int FibonacciDrawingItem::labelsWidth() const
{
    int widest = 0;
    for (const Level &level : m_levels)
        widest = std::max(widest, level.labels.width());
    return widest;
}

bool FibonacciDrawingItem::hitsBase(const QPointF &point) const
{
    const double p = pixelWidth();
    const double q = pixelHeight();
    return pixelDistanceToLine(point, line(), p, q) <= 3
           && widenedBox(line(), 3 * p, 3 * q).contains(point);
}

void FibonacciDrawingItem::restoreState(Settings &settings)
{
    LineDrawingItem::restoreState(settings);
    rebuildLevels();
}

QList<QRectF> FibonacciDrawingItem::paintedLabels(const QTransform &world,
                                                  const QRectF &exposed) const
{
    QList<QRectF> rects = labelPlaces(world, exposed);
    // The levels lie in order along y, so a pair clear of the last one painted is clear of
    // all painted before it.
    QRectF last;
    for (QRectF &rect : rects) {
        if (rect.isNull())
            continue;
        if (!last.isNull() && rect.intersects(last))
            rect = QRectF();
        else
            last = rect;
    }
    return rects;
}

void FibonacciDrawingItem::paintLabelPairs(QPainter *painter, const QTransform &world,
                                           const QRectF &exposed) const
{
    const QList<QRectF> rects = paintedLabels(world, exposed);
    // The painter keeps the world transform's translation.
    const QPointF shift(world.dx(), world.dy());
    for (qsizetype i = 0; i < rects.size() && i < m_levels.size(); ++i) {
        if (!rects[i].isNull())
            painter->drawPixmap(rects[i].topLeft() - shift, m_levels[i].labels);
    }
}

// The device rectangle of a label pair at an item point under the world transform's scales,
// offset in pixels; null when it does not land on a finite point.
static QRectF labelRect(const QTransform &world, const QPointF &itemPoint, const QPointF &offset,
                        const QPixmap &labels)
{
    const QPointF at(itemPoint.x() * world.m11() + offset.x(),
                     itemPoint.y() * world.m22() + offset.y());
    if (!std::isfinite(at.x()) || !std::isfinite(at.y()) || labels.isNull())
        return {};
    return {at + QPointF(world.dx(), world.dy()), QSizeF(labels.size())};
}

void FibonacciDrawingItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    if (!parentChartItem())
        return;
    const QRectF clip = sceneRectInItem();
    painter->save();
    painter->setClipRect(clip, Qt::IntersectClip);
    QPen base(Qt::gray, 0, Qt::DashLine);
    base.setCosmetic(true);
    painter->setPen(base);
    paintBase(painter);
    painter->setPen(drawingPen());
    paintLevels(painter, option);
    const QTransform world = painter->worldTransform();
    painter->setWorldTransform(labelTransform(world));
    paintLabels(painter, world, option);
    painter->restore();
    paintSelectionMarkers(painter, {line().p1(), line().p2()}, clip);
}

// --- levels ---------------------------------------------------------------------------------

FibonacciLinesItem::FibonacciLinesItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                                       const QLineF &sceneLine, const QColor &color, int lineWidth)
    : FibonacciDrawingItem(scale, synchronizer, sceneLine, color, lineWidth)
{
    rebuildLevels();
}

QList<double> FibonacciLinesItem::ratios() const
{
    return retracements();
}

void FibonacciLinesItem::setExtendRight(bool extend)
{
    if (extend == m_extendRight)
        return;
    geometryChanging();
    m_extendRight = extend;
    redraw();
}

double FibonacciLinesItem::levelY(double ratio) const
{
    return line().y1() - ratio * (line().y1() - line().y2());
}

QPair<double, double> FibonacciLinesItem::extent(const QRectF &exposed) const
{
    const double left = std::min(line().x1(), line().x2());
    double right = std::max(line().x1(), line().x2());
    if (m_extendRight) {
        const QRectF area = exposed.isNull() ? sceneRectInItem() : exposed;
        if (!area.isNull())
            right = std::max(right, area.right() + 1);
    }
    return {left, right};
}

void FibonacciLinesItem::updateLevelPrices()
{
    for (Level &level : m_levels)
        setLevelPrice(level, -mapToParent(QPointF(0, levelY(level.ratio))).y());
}

QRectF FibonacciLinesItem::extent() const
{
    const double p = pixelWidth();
    const double q = pixelHeight();
    const double m = markerMargin() * p;
    const double v = verticalMargin() * q;
    const QLineF l = line();
    double right = std::max(l.x1(), l.x2());
    if (m_extendRight) {
        const QRectF scene = sceneRectInItem();
        if (!scene.isNull())
            right = std::max(right, scene.right());
    }
    const double left = std::min(l.x1(), l.x2()) - m;
    const double top = std::min(l.y1(), l.y2()) - v;
    // The labels start at most at the lines' right end and may reach past it.
    const double beyond = std::max(m, labelsWidth() * p);
    return cutToScene(QRectF(left, top, right + beyond - left, std::max(l.y1(), l.y2()) + v - top));
}

void FibonacciLinesItem::paintBase(QPainter *painter) const
{
    painter->drawLine(line());
}

void FibonacciLinesItem::paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *option) const
{
    const QPair<double, double> x = extent(option ? option->exposedRect : QRectF());
    for (const Level &level : m_levels)
        fillHorizontalLine(painter, x.first, x.second, levelY(level.ratio));
}

void FibonacciLinesItem::paintLabels(QPainter *painter, const QTransform &world,
                                     const QStyleOptionGraphicsItem *option) const
{
    paintLabelPairs(painter, world, option ? option->exposedRect : QRectF());
}

QList<QRectF> FibonacciLinesItem::labelPlaces(const QTransform &world, const QRectF &exposed) const
{
    const QPair<double, double> x = extent(exposed);
    const double firstVisible = mapFromScene(QPointF(visibleIndexRange(this).first, 0)).x();
    // Scrolled past the lines, the labels stay at their right end, inside the drawing's extent.
    const double at = std::min(std::max(firstVisible + 1, x.first), x.second);
    QList<QRectF> rects;
    rects.reserve(m_levels.size());
    for (const Level &level : m_levels) {
        // The ratio label's bottom and the price label's top on the level line.
        rects.append(labelRect(world, QPointF(at, levelY(level.ratio)),
                               QPointF(0, -level.ratioLabel.height()), level.labels));
    }
    return rects;
}

bool FibonacciLinesItem::hits(const QPointF &point) const
{
    if (hitsBase(point))
        return true;
    const double q = pixelHeight();
    const double t = hitTolerance();
    for (const Level &level : m_levels) {
        if (std::abs(point.y() - levelY(level.ratio)) / q <= t)
            return true;
    }
    return false;
}

void FibonacciLinesItem::saveState(Settings &settings) const
{
    FibonacciDrawingItem::saveState(settings);
    settings.setValue(QStringLiteral("extendRight"), m_extendRight);
}

void FibonacciLinesItem::restoreState(Settings &settings)
{
    FibonacciDrawingItem::restoreState(settings);
    setExtendRight(settings.value(QStringLiteral("extendRight"), m_extendRight).toBool());
}

void FibonacciLinesItem::applyProperties(Settings &settings)
{
    FibonacciDrawingItem::applyProperties(settings);
    setExtendRight(settings.value(QStringLiteral("extendRight"), m_extendRight).toBool());
}

// --- arcs -----------------------------------------------------------------------------------

FibonacciArcsItem::FibonacciArcsItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                                     const QLineF &sceneLine, const QColor &color, int lineWidth)
    : FibonacciDrawingItem(scale, synchronizer, sceneLine, color, lineWidth)
{
    rebuildLevels();
}

QList<double> FibonacciArcsItem::ratios() const
{
    return retracements();
}

double FibonacciArcsItem::radius() const
{
    const QLineF l = line();
    const double r = std::hypot((l.x2() - l.x1()) / pixelWidth(), (l.y2() - l.y1()) / pixelHeight());
    return std::isfinite(r) ? r : 0.0;
}

int FibonacciArcsItem::opening() const
{
    return line().y2() < line().y1() ? 1 : -1;
}

void FibonacciArcsItem::updateLevelPrices()
{
    const double reach = opening() * radius() * pixelHeight();
    for (Level &level : m_levels) {
        const double y = line().y1() - level.ratio * reach;
        setLevelPrice(level, -mapToParent(QPointF(0, y)).y());
    }
}

QRectF FibonacciArcsItem::extent() const
{
    const double p = pixelWidth();
    const double q = pixelHeight();
    const double r = radius();
    const int m = markerMargin();
    const int v = verticalMargin();
    const QPointF c = line().p1();
    const double top = c.y() - (opening() > 0 ? r : 0.0) * q - v * q;
    // Labels centred on x1 may be wider than small arcs.
    const double half = std::max(r + m, labelsWidth() / 2.0);
    return cutToScene(QRectF(c.x() - half * p, top, 2 * half * p, 2 * (v + r) * q));
}

void FibonacciArcsItem::paintBase(QPainter *painter) const
{
    painter->drawLine(line());
}

void FibonacciArcsItem::paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *) const
{
    const double r = radius();
    if (!(r > 0))
        return;
    const double p = pixelWidth();
    const double q = pixelHeight();
    const QPointF c = line().p1();
    const int span = opening() * 2880;
    for (const Level &level : m_levels) {
        const double a = level.ratio * r;
        if (!(a > 0))
            continue;
        painter->drawArc(QRectF(c.x() - a * p, c.y() - a * q, 2 * a * p, 2 * a * q), 0, span);
    }
}

void FibonacciArcsItem::paintLabels(QPainter *painter, const QTransform &world,
                                    const QStyleOptionGraphicsItem *option) const
{
    paintLabelPairs(painter, world, option ? option->exposedRect : QRectF());
}

QList<QRectF> FibonacciArcsItem::labelPlaces(const QTransform &world, const QRectF &) const
{
    const double r = radius();
    if (!(r > 0))
        return {};
    const double reach = opening() * r * pixelHeight();
    const QPointF c = line().p1();
    QList<QRectF> rects;
    rects.reserve(m_levels.size());
    for (const Level &level : m_levels) {
        const QPointF top(c.x(), c.y() - level.ratio * reach);
        // Centred on x1: the ratio label above the arc's top, the price label below it.
        rects.append(labelRect(world, top,
                               QPointF(-level.labels.width() / 2.0, -level.ratioLabel.height()),
                               level.labels));
    }
    return rects;
}

bool FibonacciArcsItem::hits(const QPointF &point) const
{
    if (hitsBase(point))
        return true;
    const QPointF c = line().p1();
    const double distance = std::hypot((point.x() - c.x()) / pixelWidth(),
                                       (point.y() - c.y()) / pixelHeight());
    const double r = radius();
    const double t = hitTolerance();
    for (const Level &level : m_levels) {
        if (std::abs(distance - level.ratio * r) <= t)
            return true;
    }
    return false;
}

// --- fan ------------------------------------------------------------------------------------

FibonacciFanItem::FibonacciFanItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                                   const QLineF &sceneLine, const QColor &color, int lineWidth)
    : FibonacciDrawingItem(scale, synchronizer, sceneLine, color, lineWidth)
{
    rebuildLevels();
}

QList<double> FibonacciFanItem::ratios() const
{
    return {0.382, 0.5, 0.618};
}

void FibonacciFanItem::rebuildLevels()
{
    if (m_levels.size() != ratios().size()) {
        FibonacciDrawingItem::rebuildLevels();
        return;
    }
    geometryChanging();
    for (Level &level : m_levels)
        level.ratioLabel = renderLabel(ratioText(level.ratio), drawingColor());
}

QLineF FibonacciFanItem::rayThrough(const QPointF &point) const
{
    const QRectF scene = sceneRectInItem();
    if (scene.isNull())
        return {line().p1(), point};
    return ray(line().p1(), point, scene.left(), scene.right());
}

QPointF FibonacciFanItem::fanPoint(double ratio) const
{
    const QLineF l = line();
    return {l.x2(), l.y1() + ratio * (l.y2() - l.y1())};
}

std::optional<QPointF> FibonacciFanItem::labelPoint(double ratio) const
{
    const QLineF l = line();
    const QPointF through = fanPoint(ratio);
    if (through == l.p1())
        return std::nullopt;
    // A vertical segment is not prolonged: its label sits at its end.
    if (l.x1() == l.x2())
        return through;
    QRectF visible = sceneRectInItem();
    const QPair<double, double> indices = visibleIndexRange(this);
    const double left = mapFromScene(QPointF(indices.first + 1, 0)).x();
    const double right = mapFromScene(QPointF(indices.second - 1, 0)).x();
    if (right > left) {
        visible.setLeft(std::max(visible.left(), left));
        visible.setRight(std::min(visible.right(), right));
    }
    return exitPoint(l.p1(), through, visible);
}

QRectF FibonacciFanItem::extent() const
{
    const double p = pixelWidth();
    const double q = pixelHeight();
    QList<QLineF> rays{rayThrough(line().p2())};
    int labelWidth = 0;
    int labelHeight = 0;
    for (const Level &level : m_levels) {
        rays.append(rayThrough(fanPoint(level.ratio)));
        labelWidth = std::max(labelWidth, level.ratioLabel.width());
        labelHeight = std::max(labelHeight, level.ratioLabel.height());
    }
    double left = rays.front().x1();
    double right = left;
    double top = rays.front().y1();
    double bottom = top;
    for (const QLineF &r : std::as_const(rays)) {
        left = std::min({left, r.x1(), r.x2()});
        right = std::max({right, r.x1(), r.x2()});
        top = std::min({top, r.y1(), r.y2()});
        bottom = std::max({bottom, r.y1(), r.y2()});
    }
    const double dx = (markerMargin() + labelWidth) * p;
    const double dy = (markerMargin() + labelHeight) * q;
    return cutToScene(QRectF(left - dx, top - dy, right - left + 2 * dx, bottom - top + 2 * dy));
}

void FibonacciFanItem::paintBase(QPainter *painter) const
{
    painter->drawLine(rayThrough(line().p2()));
}

void FibonacciFanItem::paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *) const
{
    for (const Level &level : m_levels)
        painter->drawLine(rayThrough(fanPoint(level.ratio)));
}

void FibonacciFanItem::paintLabels(QPainter *painter, const QTransform &world,
                                   const QStyleOptionGraphicsItem *) const
{
    const QLineF l = line();
    for (const Level &level : m_levels) {
        const std::optional<QPointF> at = labelPoint(level.ratio);
        if (!at)
            continue;
        // Shifted so that the label stays inside on the rays' side.
        const QPointF offset(l.x1() < l.x2() ? -level.ratioLabel.width() : 0,
                             l.y1() < l.y2() ? -level.ratioLabel.height() : 0);
        drawLabel(painter, world, *at, offset, level.ratioLabel);
    }
}

bool FibonacciFanItem::onRay(const QPointF &point, const QLineF &ray, double tolerance) const
{
    const double p = pixelWidth();
    const double q = pixelHeight();
    const QRectF box = widenedBox(ray, tolerance * p, tolerance * q);
    if (point.x() < box.left() || point.x() > box.right())
        return false;
    if (ray.x1() == ray.x2() && (point.y() < box.top() || point.y() > box.bottom()))
        return false;
    return pixelDistanceToLine(point, ray, p, q) <= tolerance;
}

bool FibonacciFanItem::hits(const QPointF &point) const
{
    if (onRay(point, rayThrough(line().p2()), 3))
        return true;
    const double t = hitTolerance();
    for (const Level &level : m_levels) {
        if (onRay(point, rayThrough(fanPoint(level.ratio)), t))
            return true;
    }
    return false;
}
