#include "graphicsscene.h"

#include "chartitem.h"
#include "drawinglayer.h"
#include "multivertaxiswidget.h"
#include "tsynchronyzer.h"

#include <QApplication>
#include <QGraphicsView>
#include <QPainter>

#include <cmath>

GraphicsScene::GraphicsScene(TSynchronyzer *synchronizer, QObject *parent)
    : QGraphicsScene(parent)
    , m_synchronizer(synchronizer)
    , m_drawings(new DrawingLayer(this))
{
    setItemIndexMethod(NoIndex);
    setBackgroundColor(Qt::black);
}

GraphicsScene::~GraphicsScene()
{
    // The items go after this: the drawings among them find no layer to tell.
    delete m_drawings;
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
    const QList<QGraphicsView *> list = views();
    // Only what a view shows needs repainting.
    QRectF scene = sceneRect();
    if (!list.isEmpty())
        scene &= list.front()->mapToScene(list.front()->viewport()->rect()).boundingRect();
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
    // The lines are one or two pixels wide whatever the zoom: they are filled as pixel
    // rectangles in device space, which the raster engine does far faster than stroking.
    const QTransform world = painter->worldTransform();
    if (world.type() > QTransform::TxScale) {
        paintLinesStroked(painter, rect, left, right, height);
        return;
    }
    painter->save();
    painter->setWorldTransform(QTransform());
    const auto deviceX = [&world](double x) { return int(std::floor(world.m11() * x + world.dx())); };
    const auto deviceY = [&world](double y) { return int(std::floor(world.m22() * y + world.dy())); };
    const int x0 = deviceX(left);
    const int x1 = deviceX(right);
    const int y0 = deviceY(0);
    const int y1 = deviceY(height);
    const int top = deviceY(rect.top()) - 1;
    const int bottom = deviceY(rect.bottom()) + 1;

    if (m_showGrid) {
        for (MultiVertAxisWidget *row : {m_rightRow.data(), m_leftRow.data()}) {
            if (!row)
                continue;
            for (const MultiVertAxisWidget::GridLines &grid : row->gridLines()) {
                for (int y : grid.rows) {
                    const int dy = deviceY(y);
                    if (dy >= top && dy <= bottom)
                        painter->fillRect(QRect(x0, dy, x1 - x0 + 1, 1), grid.color);
                }
            }
        }
        if (m_synchronizer) {
            const int step = m_synchronizer->markStep(QApplication::font(), world.m11());
            for (int index : m_synchronizer->timeMarkIndices(int(left), int(right), step)) {
                if (index >= left && index <= right)
                    painter->fillRect(QRect(deviceX(index), y0, 1, y1 - y0), m_gridColor);
            }
        }
    }

    // Day boundaries: dashed (3 on, 3 off), two pixels wide, in the colour of each visible item.
    for (QGraphicsItem *top : items(Qt::AscendingOrder)) {
        auto *chart = qobject_cast<ChartItem *>(top->toGraphicsObject());
        if (!chart || !chart->isVisible())
            continue;
        const QList<int> boundaries = chart->dayBoundariesBetween(int(left), int(right));
        if (boundaries.isEmpty())
            continue;
        const QColor color = chart->color();
        for (int index : boundaries) {
            const int x = deviceX(index);
            for (int y = y0; y < y1; y += 6)
                painter->fillRect(QRect(x - 1, y, 2, std::min(3, y1 - y)), color);
        }
    }

    if (m_projectionMode != 5) {
        if (hasVertical(m_projectionMode) && m_projectionX >= left && m_projectionX <= right)
            painter->fillRect(QRect(deviceX(m_projectionX), y0, 1, y1 - y0), m_projectionColor);
        if (hasHorizontal(m_projectionMode) && m_projectionY > 0 && m_projectionY < height) {
            const int dx0 = deviceX(rect.left());
            painter->fillRect(QRect(dx0, deviceY(m_projectionY), deviceX(rect.right()) - dx0 + 1, 1),
                              m_projectionColor);
        }
    }
    painter->restore();
}

void GraphicsScene::drawForeground(QPainter *painter, const QRectF &rect)
{
    m_drawings->paint(painter, rect);
}

void GraphicsScene::paintLinesStroked(QPainter *painter, const QRectF &rect, double left,
                                      double right, double height)
{
    // A rotated or sheared painter (printing, odd exports): the same lines, stroked.
    painter->save();
    QPen pen(m_gridColor, 0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    if (m_showGrid) {
        for (MultiVertAxisWidget *row : {m_rightRow.data(), m_leftRow.data()}) {
            if (!row)
                continue;
            for (const MultiVertAxisWidget::GridLines &grid : row->gridLines()) {
                pen.setColor(grid.color);
                painter->setPen(pen);
                for (int y : grid.rows)
                    painter->drawLine(QPointF(left, y), QPointF(right, y));
            }
        }
    }
    QPen dashes(Qt::white, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::BevelJoin);
    dashes.setCosmetic(true);
    dashes.setDashPattern({3, 3});
    for (QGraphicsItem *top : items(Qt::AscendingOrder)) {
        auto *chart = qobject_cast<ChartItem *>(top->toGraphicsObject());
        if (!chart || !chart->isVisible())
            continue;
        dashes.setColor(chart->color());
        painter->setPen(dashes);
        for (int index : chart->dayBoundariesBetween(int(left), int(right)))
            painter->drawLine(QPointF(index, 0), QPointF(index, height));
    }
    if (m_projectionMode != 5) {
        painter->setPen(QPen(m_projectionColor, 0));
        if (hasVertical(m_projectionMode))
            painter->drawLine(QPointF(m_projectionX, 0), QPointF(m_projectionX, height));
        if (hasHorizontal(m_projectionMode))
            painter->drawLine(QPointF(rect.left(), m_projectionY), QPointF(rect.right(), m_projectionY));
    }
    painter->restore();
}
