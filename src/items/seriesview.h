#pragma once

#include "frameindex.h"

#include <QColor>
#include <QList>
#include <QPointF>

class QPainter;
class QStyleOptionGraphicsItem;
class SeriesItem;
class Settings;

// How a renderer sees the painter: the exposed part in item coordinates and the size of one
// device pixel in item units.
struct PaintGeometry
{
    double left = 0;
    double right = 0;
    double pixelWidth = 1;  // p: item x units per pixel
    double pixelHeight = 1; // q: item y units per pixel

    static PaintGeometry of(const QPainter *painter, const QStyleOptionGraphicsItem *option);
};

// Paints a series item's bars in one way and finds the bar under a point. Renderers keep only
// their colours; they read the bars from the item they are handed.
class SeriesView
{
public:
    virtual ~SeriesView();

    virtual void drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                            const SeriesItem *item, QList<QPointF> &markers) const = 0;
    // The point in the item's coordinates.
    virtual bool hitTest(const QPointF &point, const SeriesItem *item,
                         FrameIndex *out) const = 0;
    virtual void saveState(Settings &settings) const = 0;
    void restoreState(Settings &settings) { applyProperties(settings); }
    virtual int viewType() const = 0;
    // Takes each colour key present whose value is a valid colour.
    virtual void applyProperties(Settings &settings) = 0;
    virtual QColor color() const = 0;
    virtual QColor markColor(int direction) const = 0;
    virtual QColor markFrameColor(int direction) const = 0;
    // Where painting from the x on starts.
    virtual FrameIndex firstVisibleIndex(double x, const SeriesItem *item) const;

    // Bars get a selection marker every this many bars: about every 50 pixels, 0 when the item
    // is not selected.
    static int markerStep(const SeriesItem *item, double pixelWidth);
    // The bar at the point by the rules of bars and candles: the previous one when the bar
    // at x lies more than h + p right of the point.
    static FrameIndex barNear(const QPointF &point, const SeriesItem *item, double h, double p);

protected:
    static void readColor(Settings &settings, const char *key, QColor &color);
};

class CandleSeriesView : public SeriesView
{
public:
    void drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                    const SeriesItem *item, QList<QPointF> &markers) const override;
    bool hitTest(const QPointF &point, const SeriesItem *item, FrameIndex *out) const override;
    void saveState(Settings &settings) const override;
    int viewType() const override { return 0; }
    void applyProperties(Settings &settings) override;
    QColor color() const override { return wickColor; }
    QColor markColor(int direction) const override;
    QColor markFrameColor(int direction) const override;

    bool wickSelfColor = false;
    QColor wickColor{0xdf, 0xdf, 0xdf};
    QColor upColor{0x00, 0xff, 0x00};
    QColor upBoundColor{0x00, 0xff, 0x00};
    QColor downColor{0xff, 0x00, 0x00};
    QColor downBoundColor{0xff, 0x00, 0x00};
};

class BarSeriesView : public SeriesView
{
public:
    void drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                    const SeriesItem *item, QList<QPointF> &markers) const override;
    bool hitTest(const QPointF &point, const SeriesItem *item, FrameIndex *out) const override;
    void saveState(Settings &settings) const override;
    int viewType() const override { return 1; }
    void applyProperties(Settings &settings) override;
    QColor color() const override { return minmaxColor; }
    QColor markColor(int) const override { return outColor; }
    QColor markFrameColor(int) const override { return {}; }

    QColor minmaxColor{0x00, 0x80, 0x00};
    QColor inColor{0x00, 0x80, 0x00};
    QColor outColor{0x00, 0x80, 0x00};
};

class LineSeriesView : public SeriesView
{
public:
    void drawSeries(QPainter *painter, const QStyleOptionGraphicsItem *option,
                    const SeriesItem *item, QList<QPointF> &markers) const override;
    bool hitTest(const QPointF &point, const SeriesItem *item, FrameIndex *out) const override;
    void saveState(Settings &settings) const override;
    int viewType() const override { return 2; }
    void applyProperties(Settings &settings) override;
    QColor color() const override { return lineColor; }
    QColor markColor(int) const override { return lineColor; }
    QColor markFrameColor(int) const override { return {}; }
    FrameIndex firstVisibleIndex(double x, const SeriesItem *item) const override;

    QColor lineColor{0x72, 0xe6, 0xa9};
};

// The distance of a point from the line through two others, and whether the point is near
// enough to the segment to hit it (the segment's box widened by the tolerance). Pixel units.
bool nearSegment(const QPointF &point, const QPointF &a, const QPointF &b, double tolerance);
