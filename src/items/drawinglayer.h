#pragma once

#include <QImage>
#include <QObject>
#include <QTransform>
#include <QVector>

class DrawingItem;
class QGraphicsScene;
class QPainter;

// The drawings of a scene painted as one picture above its chart items and kept between
// frames. A repaint that changes neither a drawing nor the view's transform or size (the
// crosshair moving, a trade on the last bar, a window over the chart going away) copies the
// picture instead of stroking every drawing again; a drawing that changes, comes or goes, a
// scale that moves its prices and a new scene width make the next frame paint them anew.
// Drawings in a scene with a layer paint nothing themselves.
class DrawingLayer : public QObject
{
    Q_OBJECT
public:
    // Owned by the scene.
    explicit DrawingLayer(QGraphicsScene *scene);

    // The scene's layer, if it has one.
    static DrawingLayer *of(const QGraphicsScene *scene);
    // A drawing of the scene looks different now: the picture is painted anew on the next
    // frame, and the whole scene is repainted (the drawing may have left any part of it).
    void invalidate();
    static void invalidate(const QGraphicsScene *scene);

    // Paints the visible drawings, in stacking order, into the exposed scene rectangle; the
    // painter's world transform maps the scene to its device. On a view's viewport the picture
    // is kept; other devices (pictures of the scene) are painted directly.
    void paint(QPainter *painter, const QRectF &exposed);
    // How often the kept picture was painted anew.
    int repaints() const { return m_repaints; }

private:
    // The scene's shown drawings, in stacking order.
    QList<DrawingItem *> visibleDrawings() const;
    static void paintDrawings(QPainter *painter, const QList<DrawingItem *> &drawings,
                              const QTransform &world, const QRectF &area);
    // Makes the drawn tiles of the picture transparent again.
    void clearDrawnTiles();
    // Which tiles of the picture hold any drawn pixel.
    void findDrawnTiles();
    // Copies the drawn tiles within a rectangle of the picture's pixels onto the painter.
    void copyDrawnTiles(QPainter *painter, const QRect &pixels) const;

    // Square tiles, in pixels: copying only those drawn on spares most of a pane with
    // few drawings, and the bare background between the lines of many.
    static constexpr int Tile = 32;

    QGraphicsScene *m_scene;
    QImage m_picture;
    QTransform m_world;
    QSize m_size;
    qreal m_ratio = 1;
    QVector<bool> m_drawn;
    int m_columns = 0;
    bool m_valid = false;
    int m_repaints = 0;
};
