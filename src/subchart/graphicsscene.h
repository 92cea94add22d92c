#pragma once

#include "tsynchronyzer.h"

#include <QColor>
#include <QGraphicsScene>
#include <QPointer>

class DrawingLayer;
class MultiVertAxisWidget;

// The scene of one sub-chart. Its background carries the horizontal grid of the axes, the
// vertical lines at the time marks, the day boundaries of the visible items and the
// projection (crosshair) lines; its foreground the drawings, above every chart item.
class GraphicsScene : public QGraphicsScene
{
    Q_OBJECT
public:
    GraphicsScene(TSynchronyzer *synchronizer, QObject *parent = nullptr);
    ~GraphicsScene() override;

    TSynchronyzer *synchronizer() const { return m_synchronizer.data(); }
    // The rows whose axes give the horizontal grid: the right row's grids first.
    void setAxisRows(MultiVertAxisWidget *right, MultiVertAxisWidget *left);

    QColor gridColor() const { return m_gridColor; }
    void setGridColor(const QColor &color);
    bool isGridShown() const { return m_showGrid; }
    void setGridShown(bool show);
    // White on dark and on strongly saturated blue backgrounds, black on the others.
    static QColor projectionColorFor(const QColor &background);
    QColor projectionColor() const { return m_projectionColor; }
    void setBackgroundColor(const QColor &color);

    int projectionMode() const { return m_projectionMode; }
    int projectionX() const { return m_projectionX; }
    int projectionY() const { return m_projectionY; }
    // Moves the projection lines: x a time index, y a scene row. Only the bands of the old and
    // the new lines are repainted.
    void setProjection(int mode, int x, int y);
    void hideProjection();

    // The background of a scene rectangle, as a view paints it (for benchmarks and pictures).
    void paintBackground(QPainter *painter, const QRectF &rect) { drawBackground(painter, rect); }

    // The scene area repainted by the last projection move, in pixels.
    double lastProjectionArea() const { return m_lastProjectionArea; }

public Q_SLOTS:
    // Deselects every item; selectionChanged() when any was selected.
    void clearSelection();

protected:
    void drawBackground(QPainter *painter, const QRectF &rect) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    static bool hasVertical(int mode) { return mode == 0 || mode == 1 || mode == 4; }
    static bool hasHorizontal(int mode) { return mode == 0 || mode == 1 || mode == 3; }
    void invalidateProjection(int mode, int x, int y);
    void paintLinesStroked(QPainter *painter, const QRectF &rect, double left, double right,
                           double height);

    QPointer<TSynchronyzer> m_synchronizer;
    DrawingLayer *m_drawings;
    QPointer<MultiVertAxisWidget> m_rightRow;
    QPointer<MultiVertAxisWidget> m_leftRow;
    QColor m_gridColor{0x35, 0x35, 0x35};
    QColor m_projectionColor{Qt::white};
    bool m_showGrid = true;
    int m_projectionMode = 5;
    int m_projectionX = 0;
    int m_projectionY = 0;
    double m_lastProjectionArea = 0;
};
