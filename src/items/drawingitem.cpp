#include "drawingitem.h"

#include "settings.h"

DrawingItem::DrawingItem(QGraphicsObject *parentChartItem, const QColor &color, int lineWidth)
    : GraphicsItem(parentChartItem)
    , m_drawingColor(color.isValid() ? color : defaultColor())
{
    setLineWidth(lineWidth >= 1 && lineWidth <= 10 ? lineWidth : 1);
    setFlag(ItemIsMovable);
    setFlag(ItemSendsGeometryChanges);
}

void DrawingItem::setDrawingColor(const QColor &color)
{
    if (!color.isValid() || color == m_drawingColor)
        return;
    m_drawingColor = color;
    update();
}

void DrawingItem::moveToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    const QPointF onScene = scenePos();
    setParentChartItem(scale);
    setPos(scale->mapFromScene(onScene));
}

void DrawingItem::rebindToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    const QPointF inParent = pos();
    setParentChartItem(scale);
    setPos(inParent);
}

void DrawingItem::saveState(Settings &settings) const
{
    GraphicsItem::saveState(settings);
    settings.setValue(QStringLiteral("visible"), isVisible());
    settings.setValue(QStringLiteral("type"), 2);
    settings.setValue(QStringLiteral("color"), m_drawingColor);
}

void DrawingItem::restoreState(Settings &settings)
{
    GraphicsItem::restoreState(settings);
    setVisible(settings.value(QStringLiteral("visible"), true).toBool());
    const QColor color = settings.value(QStringLiteral("color")).value<QColor>();
    if (color.isValid())
        m_drawingColor = color;
}
