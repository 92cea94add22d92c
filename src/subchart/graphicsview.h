#pragma once

#include "drawingitem.h"
#include "subchartwidget.h"

#include <QGraphicsView>
#include <QPointer>

class ChartItem;
class QMimeData;
class FlowLayout;
class QRubberBand;
class SubChartOwner;

// The view of one sub-chart. The mouse selects, draws with the window's drawing tool, spans
// the rubber band of the time zoom and drags chart items to other areas; instruments dropped
// from the host's tables become series. Wheel and keys go on to the chart area.
class GraphicsView : public QGraphicsView
{
    Q_OBJECT
public:
    GraphicsView(SubChartOwner *owner, SubChartWidget *subChart, QGraphicsScene *scene);

    SubChartWidget *subChart() const { return m_subChart.data(); }
    FlowLayout *statusLineLayout() const { return m_statusLines; }
    // How far down the viewport the status lines reach, as last laid out (0 without any).
    int statusLinesHeight() const { return m_statusLinesHeight; }
    QRubberBand *rubberBand() const { return m_rubberBand; }
    // The drawing begun by a click and not finished yet, if it still exists.
    DrawingItem *drawingInProgress() const;
    // Drops an unfinished drawing (the tool was switched off).
    void cancelDrawing();
    // The cross cursor while a drawing tool is set.
    void updateCursor();
    // Drags a chart item out of this view; the sub-chart it leaves tidies up after a move.
    void startDrag(ChartItem *item);

Q_SIGNALS:
    void increaseSelectedArea(const QRect &area);
    void drawingAdded();
    // The status lines were laid out anew into another height (more or fewer rows).
    void statusLinesHeightChanged(int height);

public Q_SLOTS:
    void invalidateStatusLinesLayout();

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The drop action this view takes for the data: copy for an instrument, move for a chart
    // item of this window from another view, none otherwise.
    Qt::DropAction acceptedAction(const QMimeData *data) const;
    // Accepts with that action, or refuses.
    void answerDrag(QDragMoveEvent *event) const;
    void finishDrawing(DrawingItem *item);
    void updateStatusLinesHeight();

    SubChartOwner *m_owner;
    QPointer<SubChartWidget> m_subChart;
    QPoint m_rubberOrigin;
    QPointer<DrawingItem> m_drawing;
    QPoint m_pressPos;
    bool m_pressed = false;
    FlowLayout *m_statusLines;
    int m_statusLinesHeight = 0;
    QRubberBand *m_rubberBand;
};
