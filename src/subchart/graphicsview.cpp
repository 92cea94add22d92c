#include "graphicsview.h"

#include "chartitem.h"
#include "chartitemmimedata.h"
#include "drawingitem.h"
#include "flowlayout.h"
#include "parentscaleitem.h"
#include "subchartowner.h"
#include "subchartwidget.h"
#include "refusal.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QGraphicsScene>
#include <QMimeData>
#include <QRubberBand>
#include <QScrollBar>

#include <algorithm>

GraphicsView::GraphicsView(SubChartOwner *owner, SubChartWidget *subChart, QGraphicsScene *scene)
    : QGraphicsView(scene, subChart)
    , m_owner(owner)
    , m_subChart(subChart)
    , m_statusLines(new FlowLayout(this, 2))
    , m_rubberBand(new QRubberBand(QRubberBand::Rectangle, this))
{
    setFrameShape(QFrame::NoFrame);
    // A scene narrower than the view hugs its right edge.
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setResizeAnchor(NoAnchor);
    setTransformationAnchor(NoAnchor);
    setAcceptDrops(true);
    setMinimumSize(10, 10);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rubberBand->hide();
    updateCursor();
}

DrawingItem *GraphicsView::drawingInProgress() const
{
    // A drawing whose scale went (and took it along) or that left the scene is no longer one.
    if (!m_drawing || m_drawing->scene() != scene() || !m_drawing->parentChartItem())
        return nullptr;
    return m_drawing.data();
}

void GraphicsView::cancelDrawing()
{
    if (m_drawing)
        m_drawing->deleteLater();
    m_drawing = nullptr;
}

void GraphicsView::updateCursor()
{
    viewport()->setCursor(m_owner->drawingTool() >= 0 ? Qt::CrossCursor : Qt::ArrowCursor);
}

void GraphicsView::invalidateStatusLinesLayout()
{
    m_statusLines->invalidate();
    viewport()->update();
}

bool GraphicsView::event(QEvent *event)
{
    const bool handled = QGraphicsView::event(event);
    // The status lines' layout sees these events first and has placed the labels by now.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize)
        updateStatusLinesHeight();
    return handled;
}

void GraphicsView::updateStatusLinesHeight()
{
    int bottom = 0;
    for (int i = 0; i < m_statusLines->count(); ++i) {
        const QLayoutItem *item = m_statusLines->itemAt(i);
        if (!item->isEmpty())
            bottom = std::max(bottom, item->geometry().bottom() + 1);
    }
    const int height = std::max(0, bottom - viewport()->y());
    if (height == m_statusLinesHeight)
        return;
    m_statusLinesHeight = height;
    Q_EMIT statusLinesHeightChanged(height);
}

void GraphicsView::finishDrawing(DrawingItem *item)
{
    m_drawing = nullptr;
    Q_EMIT drawingAdded();
    item->setCursor(Qt::PointingHandCursor);
    if (m_subChart)
        m_subChart->setUpItem(item);
}

// --- mouse ----------------------------------------------------------------------------------

void GraphicsView::mousePressEvent(QMouseEvent *event)
{
    m_owner->clearItemsSelection();
    QGraphicsView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || !m_subChart)
        return;
    const QPoint point = event->position().toPoint();
    m_pressed = false;
    if (m_owner->isSelectAreaMode()) {
        m_rubberOrigin = point;
        m_rubberBand->setGeometry(QRect(point, QSize()));
        m_rubberBand->show();
        return;
    }
    const int tool = m_owner->drawingTool();
    if (tool < 0) {
        m_pressPos = point;
        m_pressed = true;
        return;
    }
    if (DrawingItem *drawing = drawingInProgress()) {
        finishDrawing(drawing);
        return;
    }
    if (m_drawing) // its scale or area went: forget it
        cancelDrawing();
    const QPointF scenePoint = mapToScene(point);
    ParentScaleItem *scale = m_subChart->scaleAt(scenePoint);
    if (!scale)
        return;
    DrawingItem *item = m_subChart->createDrawing(tool, scale, scenePoint);
    if (!item)
        return;
    if (item->kind() == DrawingItem::HorLine || !item->isLineDrawing())
        finishDrawing(item);
    else
        m_drawing = item;
}

void GraphicsView::mouseMoveEvent(QMouseEvent *event)
{
    QGraphicsView::mouseMoveEvent(event);
    const QPoint point = event->position().toPoint();
    if (DrawingItem *drawing = drawingInProgress()) {
        if (drawing->isLineDrawing())
            drawing->setSceneP2(mapToScene(point));
    }
    if (event->buttons() & Qt::LeftButton) {
        if (m_owner->isSelectAreaMode() && m_rubberBand->isVisible()) {
            m_rubberBand->setGeometry(QRect::span(m_rubberOrigin, point));
        } else if (m_pressed && m_owner->drawingTool() < 0
                   && (point - m_pressPos).manhattanLength() > QApplication::startDragDistance()) {
            m_pressed = false;
            for (QGraphicsItem *under : items(m_pressPos)) {
                // A drawing on top is moved by itself, not dragged out with what lies below.
                if (qobject_cast<DrawingItem *>(under->toGraphicsObject()))
                    break;
                if (auto *chart = qobject_cast<ChartItem *>(under->toGraphicsObject())) {
                    startDrag(chart);
                    break;
                }
            }
        }
    }
    m_owner->redrawProjections();
}

void GraphicsView::mouseReleaseEvent(QMouseEvent *event)
{
    QGraphicsView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    if (m_owner->isSelectAreaMode() && m_rubberBand->isVisible()) {
        const QRect area = m_rubberBand->geometry();
        m_rubberBand->hide();
        if (area.width() > 0 && area.height() > 0)
            Q_EMIT increaseSelectedArea(area);
    }
}

// --- dragging items out ---------------------------------------------------------------------

void GraphicsView::startDrag(ChartItem *item)
{
    if (!item || item->scene() != scene())
        return;
    item->setSelected(true);
    QPointer<SubChartWidget> source = m_subChart;
    auto *data = new ChartItemMimeData(item, this, m_owner->windowId());
    auto *drag = new ChartItemDrag(this, data);
    const Qt::DropAction action = drag->exec(Qt::MoveAction);
    if (action != Qt::MoveAction || !source)
        return;
    source->afterItemMovedOut();
}

// --- drops ----------------------------------------------------------------------------------

Qt::DropAction GraphicsView::acceptedAction(const QMimeData *data) const
{
    if (!m_subChart)
        return Qt::IgnoreAction;
    return ChartItemMimeData::acceptedAction(data, m_owner->windowId(), this);
}

void GraphicsView::answerDrag(QDragMoveEvent *event) const
{
    const Qt::DropAction action = acceptedAction(event->mimeData());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void GraphicsView::dragEnterEvent(QDragEnterEvent *event)
{
    answerDrag(event);
}

void GraphicsView::dragMoveEvent(QDragMoveEvent *event)
{
    answerDrag(event);
}

void GraphicsView::dragLeaveEvent(QDragLeaveEvent *event)
{
    event->accept();
}

void GraphicsView::dropEvent(QDropEvent *event)
{
    const Qt::DropAction action = acceptedAction(event->mimeData());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    if (action == Qt::CopyAction) {
        const DroppedSecurity security = DroppedSecurity::parse(event->mimeData());
        try {
            m_subChart->addSeries(security.key);
        } catch (const QString &text) {
            showRefusal(this, text);
        }
    } else {
        const auto *itemData = qobject_cast<const ChartItemMimeData *>(event->mimeData());
        ChartItem *item = itemData->item();
        auto *oldScale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
        const SubChartWidget *from = SubChartWidget::of(item);
        const int axisPos = from && oldScale ? from->axisPosition(oldScale) : 0;
        try {
            m_owner->moveItemToSubChart(item, m_subChart, axisPos);
        } catch (const QString &text) {
            showRefusal(this, text);
        }
    }
    event->setDropAction(action);
    event->accept();
    setFocus();
}

// --- focus, hover, wheel and keys -----------------------------------------------------------

void GraphicsView::focusInEvent(QFocusEvent *event)
{
    QGraphicsView::focusInEvent(event);
    m_owner->redrawProjections();
}

void GraphicsView::focusOutEvent(QFocusEvent *event)
{
    QGraphicsView::focusOutEvent(event);
    m_owner->hideProjections();
}

void GraphicsView::enterEvent(QEnterEvent *event)
{
    QGraphicsView::enterEvent(event);
    if (hasFocus())
        m_owner->redrawProjections();
}

void GraphicsView::leaveEvent(QEvent *event)
{
    QGraphicsView::leaveEvent(event);
    m_owner->hideProjections();
}

void GraphicsView::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

void GraphicsView::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
}
