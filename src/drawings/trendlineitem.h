#pragma once

#include "linedrawingitem.h"

// A straight line through two anchored points, optionally prolonged to the scene's left or
// right edge.
class TrendLineItem : public LineDrawingItem
{
    Q_OBJECT
public:
    TrendLineItem(QGraphicsObject *scale, TSynchronyzer *synchronizer, const QLineF &sceneLine,
                  const QColor &color, int lineWidth);

    int kind() const override { return TrendLine; }

    bool extendLeft() const { return m_extendLeft; }
    bool extendRight() const { return m_extendRight; }
    void setExtensions(bool left, bool right);
    // The segment with its extensions: the left end (smaller x) moved to the scene's left
    // edge, the right end to its right edge, along the line. A vertical segment stays as it is.
    QLineF extendedLine() const;

    QRectF extent() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // Then "extendLeft", "extendRight".
    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;
    void applyProperties(Settings &settings) override;

protected:
    bool hits(const QPointF &point) const override;
    bool reachesSceneEdges() const override { return m_extendLeft || m_extendRight; }

private:
    bool m_extendLeft = false;
    bool m_extendRight = false;
};
