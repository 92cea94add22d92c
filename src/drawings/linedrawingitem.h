#pragma once

#include "datetime.h"
#include "drawingitem.h"
#include "tsynchronyzer.h"

#include <QLineF>
#include <QPointer>

// A drawing of two points, each anchored to a moment through the window's time synchroniser
// and to a price through its scale: the points stay on their moments when the time frame, the
// zoom or the series change. The end points are dragged one by one, the drawing as a whole.
//
// The anchored moments are what is stored. A moment outside the shown period (a shorter
// history, a coarser frame) places its point at the nearest shown moment without being
// replaced by it, until the user moves that point.
class LineDrawingItem : public DrawingItem
{
    Q_OBJECT
public:
    // The line in scene coordinates; the item connects to the synchroniser's changes.
    LineDrawingItem(QGraphicsObject *scale, TSynchronyzer *synchronizer, const QLineF &sceneLine,
                    const QColor &color, int lineWidth);

    bool isLineDrawing() const override { return true; }
    // p1 and p2 in item coordinates (y = minus the price in the scale's frame).
    QLineF line() const { return m_line; }
    datetime time1() const { return m_time1; }
    datetime time2() const { return m_time2; }
    TSynchronyzer *synchronizer() const { return m_synchronizer.data(); }
    bool isDraggingP1() const { return m_draggingP1; }
    bool isDraggingP2() const { return m_draggingP2; }

    // Scene coordinates; the moments follow the points that moved.
    void setSceneLine(const QLineF &line);
    void setSceneP1(const QPointF &point);
    void setSceneP2(const QPointF &point) override;

    void moveToScale(QGraphicsObject *scale) override;
    void rebindToScale(QGraphicsObject *scale) override;

    // Then "time1", "time2", "y1", "y2" (the points' y in the scale's frame), "drawing".
    void saveState(Settings &settings) const override;
    // Throws "lineWidth", "time" (either moment missing or invalid), "y1" or "y2" (not a
    // finite number); nothing is applied then.
    void restoreState(Settings &settings) override;
    // While visible: "parentScale", "time1"/"time2" (both taken when either differs),
    // "price1"/"price2" (both points take those prices, x kept).
    void applyProperties(Settings &settings) override;
    void parentScaleChanged() override;

    bool collidesWithPath(const QPainterPath &path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;
    bool contains(const QPointF &point) const override;

public Q_SLOTS:
    // The points' x from their moments; y stays.
    void updatePosByTime();
    // The scene's width or the zoom changed: pixel sizes and the points' x are derived again.
    virtual void sceneWidthChanged();

protected:
    // The points changed (moved, re-placed, or their scale changed).
    virtual void pointsChanged() {}
    // Whether what pointsChanged() derives depends on the points' x as well as their y.
    virtual bool pricesFollowX() const { return false; }
    // Whether the drawing's extent depends on the scene's width (prolonged lines).
    virtual bool reachesSceneEdges() const { return false; }
    // Whether a point (item coordinates) lies on the drawing.
    virtual bool hits(const QPointF &point) const = 0;
    // The rectangle a drawing of this extent may cover: cut to the scene.
    QRectF cutToScene(const QRectF &rect) const;

    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    // Replaces the line (item coordinates) without touching the moments.
    void setLine(const QLineF &line);
    // The moments of the chosen points from their scene x.
    void timesFromPoints(bool first, bool second);
    // The item x of a moment: its time index, kept inside the scene.
    double anchorX(const datetime &time) const;
    // Moved as a whole to the pointer at `scenePos`: whole time units sideways from where
    // the press found the points, and the press's position plus the pointer's way up or down.
    void dragWhole(const QPointF &scenePos);

    QLineF m_line;
    QLineF m_parentLine; // the points as the previous parent saw them, while changing scale
    datetime m_time1;
    datetime m_time2;
    QPointer<TSynchronyzer> m_synchronizer;
    double m_pixelWidth = 0; // the view's horizontal scale the drawing was last laid out for
    bool m_draggingP1 = false;
    bool m_draggingP2 = false;
    // A drag of the whole drawing: measured from the press, not from move to move, so that
    // the drawing stays under the pointer while the moves are smaller than a time unit.
    bool m_draggingWhole = false;
    QPointF m_pressScenePos;
    double m_pressPosY = 0;
    double m_pressIndex1 = 0;
    double m_pressIndex2 = 0;
};
