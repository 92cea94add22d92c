#include "drawinglayer.h"

#include "drawingitem.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <cstring>

DrawingLayer::DrawingLayer(QGraphicsScene *scene)
    : QObject(scene)
    , m_scene(scene)
{
    // A wider scene reaches rays and levels further.
    connect(scene, &QGraphicsScene::sceneRectChanged, this, qOverload<>(&DrawingLayer::invalidate));
}

DrawingLayer *DrawingLayer::of(const QGraphicsScene *scene)
{
    return scene ? scene->findChild<DrawingLayer *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void DrawingLayer::invalidate()
{
    m_valid = false;
    m_scene->update();
}

void DrawingLayer::invalidate(const QGraphicsScene *scene)
{
    if (DrawingLayer *layer = of(scene))
        layer->invalidate();
}

QList<DrawingItem *> DrawingLayer::visibleDrawings() const
{
    QList<DrawingItem *> drawings;
    for (QGraphicsItem *item : m_scene->items(Qt::AscendingOrder)) {
        auto *drawing = qgraphicsitem_cast<DrawingItem *>(item);
        if (drawing && drawing->isVisible())
            drawings.append(drawing);
    }
    return drawings;
}

void DrawingLayer::paintDrawings(QPainter *painter, const QList<DrawingItem *> &drawings,
                                 const QTransform &world, const QRectF &area)
{
    for (DrawingItem *drawing : drawings) {
        const QTransform toDevice = drawing->sceneTransform() * world;
        // What of the drawing lies in the area, in its own coordinates, as a view passes it.
        QStyleOptionGraphicsItem option;
        option.state = drawing->isSelected() ? QStyle::State_Selected : QStyle::State_None;
        option.exposedRect = drawing->boundingRect();
        if (toDevice.isInvertible())
            option.exposedRect &= toDevice.inverted().mapRect(area);
        if (option.exposedRect.isEmpty())
            continue;
        option.rect = option.exposedRect.toAlignedRect();
        painter->save();
        painter->setWorldTransform(toDevice);
        drawing->paint(painter, &option, nullptr);
        painter->restore();
    }
}

void DrawingLayer::paint(QPainter *painter, const QRectF &exposed)
{
    const QTransform world = painter->worldTransform();
    QPaintDevice *device = painter->device();
    if (!device || device->devType() != QInternal::Widget) {
        painter->save();
        paintDrawings(painter, visibleDrawings(), world, world.mapRect(exposed));
        painter->restore();
        return;
    }
    const qreal ratio = device->devicePixelRatio();
    const QSize size(device->width(), device->height());
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (!m_valid || world != m_world || m_size != pixels || m_ratio != ratio) {
        m_world = world;
        m_size = pixels;
        m_ratio = ratio;
        m_valid = true;
        ++m_repaints;
        const QList<DrawingItem *> drawings = visibleDrawings();
        if (drawings.isEmpty()) {
            // A pane without drawings (the most of them) keeps no picture.
            m_picture = QImage();
            m_drawn.clear();
            m_columns = 0;
            return;
        }
        if (m_picture.size() != pixels) {
            m_picture = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            m_picture.fill(Qt::transparent);
            m_columns = (pixels.width() + Tile - 1) / Tile;
            m_drawn.fill(false, m_columns * ((pixels.height() + Tile - 1) / Tile));
        } else {
            clearDrawnTiles();
        }
        m_picture.setDevicePixelRatio(ratio);
        QPainter layer(&m_picture);
        layer.setRenderHints(painter->renderHints());
        layer.setFont(painter->font());
        paintDrawings(&layer, drawings, world, QRectF(QPointF(0, 0), QSizeF(size)));
        layer.end();
        findDrawnTiles();
    }
    const QRect target = world.mapRect(exposed).toAlignedRect() & QRect(QPoint(0, 0), size);
    if (target.isEmpty())
        return;
    painter->save();
    painter->resetTransform();
    copyDrawnTiles(painter, QRect((QPointF(target.topLeft()) * ratio).toPoint(),
                                  (QSizeF(target.size()) * ratio).toSize())
                                & m_picture.rect());
    painter->restore();
}

void DrawingLayer::clearDrawnTiles()
{
    const int width = m_picture.width();
    const int height = m_picture.height();
    for (int tileRow = 0; tileRow * Tile < height; ++tileRow) {
        bool *row = m_drawn.data() + tileRow * m_columns;
        for (int column = 0; column < m_columns; ++column) {
            if (!row[column])
                continue;
            int end = column;
            while (end + 1 < m_columns && row[end + 1])
                row[end++] = false;
            row[end] = false;
            const int left = column * Tile;
            const int right = std::min(width, (end + 1) * Tile);
            for (int y = tileRow * Tile; y < std::min(height, (tileRow + 1) * Tile); ++y)
                std::memset(m_picture.scanLine(y) + left * 4, 0, size_t(right - left) * 4);
            column = end;
        }
    }
}

void DrawingLayer::findDrawnTiles()
{
    const int width = m_picture.width();
    const int height = m_picture.height();
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(m_picture.constScanLine(y));
        bool *row = m_drawn.data() + (y / Tile) * m_columns;
        for (int column = 0; column < m_columns; ++column) {
            if (row[column])
                continue;
            // No early exit: the whole tile's row is or-ed at once.
            quint32 any = 0;
            const int end = std::min(width, (column + 1) * Tile);
            for (int x = column * Tile; x < end; ++x)
                any |= line[x];
            row[column] = any != 0;
        }
    }
}

void DrawingLayer::copyDrawnTiles(QPainter *painter, const QRect &pixels) const
{
    if (pixels.isEmpty() || m_columns == 0)
        return;
    const qreal ratio = m_picture.devicePixelRatio();
    const int firstColumn = pixels.left() / Tile;
    const int lastColumn = pixels.right() / Tile;
    for (int tileRow = pixels.top() / Tile; tileRow <= pixels.bottom() / Tile; ++tileRow) {
        const bool *row = m_drawn.constData() + tileRow * m_columns;
        // Runs of drawn tiles, each copied at once.
        for (int column = firstColumn; column <= lastColumn; ++column) {
            if (!row[column])
                continue;
            int end = column;
            while (end < lastColumn && row[end + 1])
                ++end;
            const QRect source = QRect(column * Tile, tileRow * Tile, (end - column + 1) * Tile, Tile)
                                 & pixels;
            if (ratio == 1)
                painter->drawImage(source.topLeft(), m_picture, source);
            else
                painter->drawImage(QRectF(QPointF(source.topLeft()) / ratio, QSizeF(source.size()) / ratio),
                                   m_picture, QRectF(source));
            column = end;
        }
    }
}
