#pragma once

#include "drawinggeometry.h"
#include "drawingitem.h"

// A horizontal line at one price across the visible part of the sub-chart, with the price as
// a label at its left end. It moves vertically only.
class HorLineItem : public DrawingItem
{
    Q_OBJECT
public:
    // At the point's y in the scale's frame.
    HorLineItem(QGraphicsObject *scale, const QPointF &scenePoint, const QColor &color, int lineWidth);

    int kind() const override { return HorLine; }

    // The price in the scale's frame: minus the item's y.
    double price() const { return -pos().y(); }
    QString labelText() const { return m_labelText; }
    QPixmap priceLabel() const { return m_label; }
    // The x range drawn: from the first visible index - 1 (not below 0) to the last + 1.
    QPair<double, double> drawnRange() const;

    void moveToScale(QGraphicsObject *scale) override;
    void rebindToScale(QGraphicsObject *scale) override;

    // Then "drawing", "pos" (the item's y).
    void saveState(Settings &settings) const override;
    // Throws "lineWidth" or "pos" (not a finite number); nothing is applied then.
    void restoreState(Settings &settings) override;
    // While visible: "parentScale", then "price".
    void applyProperties(Settings &settings) override;

    QRectF extent() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    bool collidesWithPath(const QPainterPath &path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;
    bool contains(const QPointF &point) const override;

public Q_SLOTS:
    void scalePrecisionChanged() override
    {
        m_labelDecimals = scaleDecimals(this);
        renderPriceLabel();
    }

protected:
    void drawingColorChanged() override { renderPriceLabel(); }
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    void renderPriceLabel();
    bool hits(const QPointF &point) const;

    double m_rememberedY = 0; // the y kept while changing scale
    QPixmap m_label;
    QString m_labelText;
    QColor m_labelColor;
    int m_labelDecimals = -1;
};
