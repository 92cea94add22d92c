#pragma once

#include "graphicsitem.h"

// A drawing on a sub-chart, hung under one vertical scale so that its y follows the scale's
// prices. It has its own drawing colour; the item colour is left for the selection markers.
// The five drawing tools derive from it; the sub-chart creates, gestures and restores them
// through this interface only.
class DrawingItem : public GraphicsItem
{
    Q_OBJECT
public:
    // The drawing kinds, as stored under "drawing".
    enum Kind { TrendLine = 0, HorLine = 1, FibonacciLines = 2, FibonacciArcs = 3, FibonacciFan = 4 };
    static constexpr int KindCount = 5;

    // An invalid colour gives the default drawing colour; a width outside 1..10 gives 1.
    DrawingItem(QGraphicsObject *parentChartItem, const QColor &color, int lineWidth);

    static QColor defaultColor() { return {0x06, 0xc5, 0xff}; }
    QColor drawingColor() const { return m_drawingColor; }
    void setDrawingColor(const QColor &color);

    virtual int kind() const = 0;
    virtual QString typeName() const = 0;
    // Whether the drawing is made of two points; while it is being drawn, the second one
    // follows the pointer.
    virtual bool isLineDrawing() const { return false; }
    virtual void setSceneP2(const QPointF &) {}
    // Reparents under another scale keeping the position on screen.
    virtual void moveToScale(QGraphicsObject *scale);
    // Reparents under another scale keeping the prices.
    virtual void rebindToScale(QGraphicsObject *scale);
    virtual void showPropertyDialog(QWidget *) {}

    // "lineWidth", "visible", "type" (always 2), "color".
    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;

private:
    QColor m_drawingColor;
};
