#include "horlineitem.h"

#include "drawinggeometry.h"
#include "parentscaleitem.h"
#include "settings.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

HorLineItem::HorLineItem(QGraphicsObject *scale, const QPointF &scenePoint, const QColor &color,
                         int lineWidth)
    : DrawingItem(scale, color, lineWidth)
{
    const double y = scale ? scale->mapFromScene(scenePoint).y() : 0.0;
    setPos(0, std::isfinite(y) ? y : 0.0);
    renderPriceLabel();
}

void HorLineItem::renderPriceLabel()
{
    if (m_labelDecimals < 0)
        m_labelDecimals = scaleDecimals(this);
    const QString text = priceText(price(), m_labelDecimals);
    if (text == m_labelText && !m_label.isNull() && m_labelColor == drawingColor())
        return;
    QPixmap label = renderLabel(text, drawingColor());
    if (label.height() != m_label.height())
        geometryChanging();
    m_labelText = text;
    m_labelColor = drawingColor();
    m_label = label;
    redraw();
}

QPair<double, double> HorLineItem::drawnRange() const
{
    const QPair<double, double> visible = visibleIndexRange(this);
    const double first = std::max(0.0, visible.first - 1);
    const double last = std::max(first, visible.second + 1);
    return {mapFromScene(QPointF(first, 0)).x(), mapFromScene(QPointF(last, 0)).x()};
}

void HorLineItem::moveToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    geometryChanging();
    DrawingItem::moveToScale(scale);
    renderPriceLabel();
}

void HorLineItem::rebindToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    m_rememberedY = pos().y();
    geometryChanging();
    DrawingItem::rebindToScale(scale);
    setPos(0, m_rememberedY);
    renderPriceLabel();
}

void HorLineItem::saveState(Settings &settings) const
{
    DrawingItem::saveState(settings);
    settings.setValue(QStringLiteral("drawing"), int(HorLine));
    settings.setValue(QStringLiteral("pos"), pos().y());
}

void HorLineItem::restoreState(Settings &settings)
{
    readLineWidth(settings, lineWidth());
    const double y = readFinite(settings, QStringLiteral("pos"));
    DrawingItem::restoreState(settings);
    setPos(0, y);
    renderPriceLabel();
}

void HorLineItem::applyProperties(Settings &settings)
{
    DrawingItem::applyProperties(settings);
    if (!isVisible())
        return;
    if (ParentScaleItem *scale = chosenScale(settings, this))
        moveToScale(scale);
    if (settings.contains(QStringLiteral("price"))) {
        bool ok = false;
        const double p = settings.value(QStringLiteral("price")).toDouble(&ok);
        if (ok && std::isfinite(p))
            setPos(0, -p);
    }
}

QRectF HorLineItem::extent() const
{
    const QRectF scene = sceneRectInItem();
    const double q = pixelHeight();
    const int half = (lineWidth() + 1) / 2;
    const double above = std::max({half, m_label.height(), 7}) * q;
    const double below = std::max(7, half) * q;
    if (scene.isNull()) {
        const QPair<double, double> range = drawnRange();
        return {range.first, -above, range.second - range.first, above + below};
    }
    const QRectF rect(scene.left(), -above, scene.width(), above + below);
    const QRectF cut = rect.intersected(scene);
    return cut.isValid() ? cut : QRectF();
}

void HorLineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (!parentChartItem())
        return;
    const QRectF clip = sceneRectInItem();
    const QPair<double, double> range = drawnRange();
    painter->save();
    painter->setClipRect(clip, Qt::IntersectClip);
    fillHorizontalLine(painter, range.first, range.second, 0);
    const QTransform world = painter->worldTransform();
    painter->setWorldTransform(labelTransform(world));
    drawLabel(painter, world, QPointF(range.first + 2, 0), QPointF(0, -m_label.height()), m_label);
    painter->restore();
    // Integer quarters of the drawn length.
    const int length = int(range.second - range.first);
    paintSelectionMarkers(painter,
                          {QPointF(range.first + length / 4, 0), QPointF(range.first + length / 2, 0),
                           QPointF(range.first + 3 * length / 4, 0)},
                          clip);
}

bool HorLineItem::hits(const QPointF &point) const
{
    return std::abs(point.y()) / pixelHeight() <= hitTolerance();
}

bool HorLineItem::collidesWithPath(const QPainterPath &path, Qt::ItemSelectionMode) const
{
    if (path.isEmpty())
        return false;
    const QRectF area = path.boundingRect();
    return DrawingGeometry::meets(area, boundingRect()) && hits(area.topLeft());
}

bool HorLineItem::contains(const QPointF &point) const
{
    return DrawingGeometry::meets(QRectF(point, QSizeF(0, 0)), boundingRect()) && hits(point);
}

QVariant HorLineItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionChange) {
        // Vertical moves only; a position that is not a number is refused.
        const QPointF to = value.toPointF();
        if (!std::isfinite(to.y()))
            return pos();
        if (to.x() != 0)
            return DrawingItem::itemChange(change, QPointF(0, to.y()));
    } else if (change == ItemPositionHasChanged) {
        renderPriceLabel();
    }
    return DrawingItem::itemChange(change, value);
}
