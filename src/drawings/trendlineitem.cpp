#include "trendlineitem.h"

#include "drawinggeometry.h"
#include "settings.h"

#include <QPainter>

TrendLineItem::TrendLineItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                             const QLineF &sceneLine, const QColor &color, int lineWidth)
    : LineDrawingItem(scale, synchronizer, sceneLine, color, lineWidth)
{
}

void TrendLineItem::setExtensions(bool left, bool right)
{
    if (left == m_extendLeft && right == m_extendRight)
        return;
    geometryChanging();
    m_extendLeft = left;
    m_extendRight = right;
    redraw();
}

QLineF TrendLineItem::extendedLine() const
{
    const QLineF segment = line();
    if (segment.x1() == segment.x2() || !(m_extendLeft || m_extendRight))
        return segment;
    const QRectF scene = sceneRectInItem();
    if (scene.isNull())
        return segment;
    QPointF left = segment.x1() < segment.x2() ? segment.p1() : segment.p2();
    QPointF right = segment.x1() < segment.x2() ? segment.p2() : segment.p1();
    if (m_extendLeft && scene.left() < left.x())
        left = QPointF(scene.left(), DrawingGeometry::yAt(segment, scene.left()));
    if (m_extendRight && scene.right() > right.x())
        right = QPointF(scene.right(), DrawingGeometry::yAt(segment, scene.right()));
    return segment.x1() < segment.x2() ? QLineF(left, right) : QLineF(right, left);
}

QRectF TrendLineItem::extent() const
{
    const int m = markerMargin();
    return cutToScene(DrawingGeometry::widenedBox(extendedLine(), m * pixelWidth(), m * pixelHeight()));
}

void TrendLineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (!parentChartItem())
        return;
    const QRectF clip = sceneRectInItem();
    painter->save();
    painter->setClipRect(clip, Qt::IntersectClip);
    painter->setPen(drawingPen());
    painter->drawLine(extendedLine());
    painter->restore();
    paintSelectionMarkers(painter, {line().p1(), line().p2()}, clip);
}

bool TrendLineItem::hits(const QPointF &point) const
{
    const QLineF extended = extendedLine();
    const double t = hitTolerance();
    const double p = pixelWidth();
    const double q = pixelHeight();
    return DrawingGeometry::pixelDistanceToLine(point, extended, p, q) <= t
           && DrawingGeometry::widenedBox(extended, t * p, t * q).contains(point);
}

void TrendLineItem::saveState(Settings &settings) const
{
    LineDrawingItem::saveState(settings);
    settings.setValue(QStringLiteral("extendLeft"), m_extendLeft);
    settings.setValue(QStringLiteral("extendRight"), m_extendRight);
}

void TrendLineItem::restoreState(Settings &settings)
{
    LineDrawingItem::restoreState(settings);
    setExtensions(settings.value(QStringLiteral("extendLeft"), false).toBool(),
                  settings.value(QStringLiteral("extendRight"), false).toBool());
}

void TrendLineItem::applyProperties(Settings &settings)
{
    LineDrawingItem::applyProperties(settings);
    setExtensions(settings.value(QStringLiteral("extendLeft"), m_extendLeft).toBool(),
                  settings.value(QStringLiteral("extendRight"), m_extendRight).toBool());
}
