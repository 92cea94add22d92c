#include "graphicsscene.h"

#include "chartitem.h"
#include "multivertaxiswidget.h"
#include "tsynchronyzer.h"

#include <QApplication>
#include <QGraphicsView>
#include <QPainter>

#include <cmath>

GraphicsScene::GraphicsScene(TSynchronyzer *synchronizer, QObject *parent)
    : QGraphicsScene(parent)
    , m_synchronizer(synchronizer)
{
    setItemIndexMethod(NoIndex);
    setBackgroundColor(Qt::black);
}

void GraphicsScene::setAxisRows(MultiVertAxisWidget *right, MultiVertAxisWidget *left)
{
    m_rightRow = right;
    m_leftRow = left;
}

void GraphicsScene::setGridColor(const QColor &color)
{
    if (color.isValid())
        m_gridColor = color;
    update();
}

void GraphicsScene::setGridShown(bool show)
{
    m_showGrid = show;
    update();
}

QColor GraphicsScene::projectionColorFor(const QColor &background)
{
    const QColor hsv = background.toHsv();
    const int hue = hsv.hsvHue();
    if (hue >= 221 && hue < 270 && (hsv.hsvSaturation() > 150 || hsv.value() < 150))
        return Qt::white;
    return hsv.value() < 151 ? QColor(Qt::white) : QColor(Qt::black);
}

void GraphicsScene::setBackgroundColor(const QColor &color)
{
    setBackgroundBrush(color);
    m_projectionColor = projectionColorFor(color);
}

void GraphicsScene::clearSelection()
{
    const QList<QGraphicsItem *> selected = selectedItems();
    if (selected.isEmpty())
        return;
    blockSignals(true);
    for (QGraphicsItem *item : selected)
        item->setSelected(false);
    blockSignals(false);
    Q_EMIT selectionChanged();
}

// --- projections ----------------------------------------------------------------------------

void GraphicsScene::invalidateProjection(int mode, int x, int y)
{
    const QRectF scene = sceneRect();
    const QList<QGraphicsView *> list = views();
    const double unitsPerPixel =
        list.isEmpty() || list.front()->transform().m11() <= 0 ? 1.0
                                                               : 1.0 / list.front()->transform().m11();
    if (hasVertical(mode)) {
        const QRectF band(x - 2 * unitsPerPixel, scene.top(), 4 * unitsPerPixel, scene.height());
        m_lastProjectionArea += band.width() / unitsPerPixel * band.height();
        invalidate(band, BackgroundLayer);
    }
    if (hasHorizontal(mode)) {
        const QRectF band(scene.left(), y - 2, scene.width(), 4);
        m_lastProjectionArea += band.width() / unitsPerPixel * band.height();
        invalidate(band, BackgroundLayer);
    }
}

void GraphicsScene::setProjection(int mode, int x, int y)
{
    if (mode == m_projectionMode && x == m_projectionX && y == m_projectionY)
        return;
    m_lastProjectionArea = 0;
    invalidateProjection(m_projectionMode, m_projectionX, m_projectionY);
    m_projectionMode = mode;
    m_projectionX = x;
    m_projectionY = y;
    invalidateProjection(mode, x, y);
}

void GraphicsScene::hideProjection()
{
    setProjection(5, m_projectionX, m_projectionY);
}

// --- background -----------------------------------------------------------------------------

void GraphicsScene::drawBackground(QPainter *painter, const QRectF &rect)
{
    QGraphicsScene::drawBackground(painter, rect);
    const double width = sceneRect().width();
    const double height = sceneRect().height();
    const double left = std::max(0.0, std::floor(rect.left()));
    const double right = std::min(std::ceil(rect.right()), width);
    if (!(right >= left) || height <= 0)
        return;
    painter->save();

    if (m_showGrid) {
        QPen pen(m_gridColor, 0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
        for (MultiVertAxisWidget *row : {m_rightRow.data(), m_leftRow.data()}) {
            if (!row)
                continue;
            for (const MultiVertAxisWidget::GridLines &grid : row->gridLines()) {
                pen.setColor(grid.color);
                painter->setPen(pen);
                for (int y : grid.rows) {
                    if (y >= rect.top() - 1 && y <= rect.bottom() + 1)
                        painter->drawLine(QPointF(left, y), QPointF(right, y));
                }
            }
        }
        if (m_synchronizer) {
            pen.setColor(m_gridColor);
            painter->setPen(pen);
            const double pixelsPerUnit = painter->worldTransform().m11();
            const int step = m_synchronizer->markStep(QApplication::font(), pixelsPerUnit);
            for (int index : m_synchronizer->timeMarkIndices(int(left), int(right), step)) {
                if (index >= left && index <= right)
                    painter->drawLine(QPointF(index, 0), QPointF(index, height));
            }
        }
    }

    // Day boundaries: dashed, in the colour of each visible item.
    QPen dashes(Qt::white, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::BevelJoin);
    dashes.setCosmetic(true);
    dashes.setDashPattern({3, 3});
    for (QGraphicsItem *top : items(Qt::AscendingOrder)) {
        auto *chart = qobject_cast<ChartItem *>(top->toGraphicsObject());
        if (!chart || !chart->isVisible())
            continue;
        const QList<int> boundaries = chart->dayBoundariesBetween(int(left), int(right));
        if (boundaries.isEmpty())
            continue;
        dashes.setColor(chart->color());
        painter->setPen(dashes);
        for (int index : boundaries)
            painter->drawLine(QPointF(index, 0), QPointF(index, height));
    }

    if (m_projectionMode != 5) {
        QPen pen(m_projectionColor, 0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
        painter->setPen(pen);
        if (hasVertical(m_projectionMode) && m_projectionX >= left && m_projectionX <= right)
            painter->drawLine(QPointF(m_projectionX, 0), QPointF(m_projectionX, height));
        if (hasHorizontal(m_projectionMode) && m_projectionY > 0 && m_projectionY < height)
            painter->drawLine(QPointF(rect.left(), m_projectionY),
                              QPointF(rect.right(), m_projectionY));
    }
    painter->restore();
}
