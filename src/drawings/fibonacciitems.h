#pragma once

#include "drawinggeometry.h"
#include "linedrawingitem.h"

#include <QList>
#include <QPixmap>

#include <optional>

class QStyleOptionGraphicsItem;

// The Fibonacci drawings: two anchored points, as a trend line, and levels at fixed ratios
// between them, each with a ratio label and (levels and arcs) a price label. Labels are
// rendered once into pixmaps in the drawing colour; a price label again only when its text
// changes.
class FibonacciDrawingItem : public LineDrawingItem
{
    Q_OBJECT
public:
    struct Level
    {
        double ratio = 0;
        QString priceText;
        QPixmap ratioLabel;
        QPixmap priceLabel;
        // Both labels in one pixmap, the ratio above the price, as levels and arcs draw them:
        // one blit a level instead of two.
        QPixmap labels;
    };

    FibonacciDrawingItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                         const QLineF &sceneLine, const QColor &color, int lineWidth);

    const QList<Level> &levels() const { return m_levels; }
    // The ratios of levels and arcs: 0, 23.6, 38.2, 50, 61.8, 76.4 and 100 %.
    static QList<double> retracements();
    // The ratio in percent, one decimal, system locale, then "%".
    static QString ratioText(double ratio);

    // The levels of the kind's ratios with their ratio labels, then their prices.
    virtual void rebuildLevels();
    // The device rectangles of the levels' label pairs as painted under the painter's world
    // transform `world`, one a level in level order: a null rectangle for a pair left out
    // because it would overlap the pair painted before it, so that close levels never print
    // their labels over each other. Empty for a kind without price labels.
    QList<QRectF> paintedLabels(const QTransform &world, const QRectF &exposed = {}) const;
    // Each level's price from the points; its label is rendered again when its text changed.
    virtual void updateLevelPrices() = 0;

    // The base in a gray dashed line, the levels in the drawing pen, the labels unscaled, the
    // selection markers at the two points.
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    // Restores the base keys, then creates the levels again.
    void restoreState(Settings &settings) override;

public Q_SLOTS:
    void scalePrecisionChanged() override
    {
        m_decimals = scaleDecimals(this);
        updateLevelPrices();
    }

protected:
    virtual QList<double> ratios() const = 0;
    virtual void paintBase(QPainter *painter) const = 0;
    virtual void paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *option) const = 0;
    // The painter is unscaled; item points are multiplied by the world transform's scales.
    virtual void paintLabels(QPainter *painter, const QTransform &world,
                             const QStyleOptionGraphicsItem *option) const = 0;

    // Where each level's label pair would go (device rectangles, level order, null where it
    // cannot be placed), before any is left out.
    virtual QList<QRectF> labelPlaces(const QTransform &, const QRectF &) const { return {}; }
    // Draws the label pairs of paintedLabels(); the painter is unscaled.
    void paintLabelPairs(QPainter *painter, const QTransform &world, const QRectF &exposed) const;

    void pointsChanged() override { updateLevelPrices(); }
    void drawingColorChanged() override { rebuildLevels(); }
    // The level's price: its text, and its label when the text changed.
    void setLevelPrice(Level &level, double price);
    // Whether the two labels of a level are centred on each other (else left-aligned).
    virtual bool centredLabels() const { return false; }
    // The vertical margin in pixels: max(half the line width rounded up, the font height, or
    // 7 when the font height is below 8).
    int verticalMargin() const;
    // The widest pair of labels, in pixels.
    int labelsWidth() const;
    // The base test: within 3 pixels of the straight line through the points and of their box.
    bool hitsBase(const QPointF &point) const;

    QList<Level> m_levels;
    int m_decimals = -1; // the scale's, looked up when it says they changed
};

// Horizontal lines at y1 - r (y1 - y2): r = 0 at p1, r = 1 at p2, optionally reaching the
// scene's right edge.
class FibonacciLinesItem : public FibonacciDrawingItem
{
    Q_OBJECT
public:
    FibonacciLinesItem(QGraphicsObject *scale, TSynchronyzer *synchronizer, const QLineF &sceneLine,
                       const QColor &color, int lineWidth);

    int kind() const override { return FibonacciLines; }

    bool extendRight() const { return m_extendRight; }
    void setExtendRight(bool extend);
    double levelY(double ratio) const;
    // The x range of the level lines for an exposed rectangle.
    QPair<double, double> extent(const QRectF &exposed) const;

    void updateLevelPrices() override;
    QRectF extent() const override;

    // Then "extendRight".
    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;
    void applyProperties(Settings &settings) override;

protected:
    QList<double> ratios() const override;
    void paintBase(QPainter *painter) const override;
    void paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *option) const override;
    void paintLabels(QPainter *painter, const QTransform &world,
                     const QStyleOptionGraphicsItem *option) const override;
    QList<QRectF> labelPlaces(const QTransform &world, const QRectF &exposed) const override;
    bool hits(const QPointF &point) const override;
    bool reachesSceneEdges() const override { return m_extendRight; }

private:
    bool m_extendRight = true;
};

// Half circles around p1 (circles on screen) of radius r R, R the distance from p1 to p2 in
// pixels, open towards p2.
class FibonacciArcsItem : public FibonacciDrawingItem
{
    Q_OBJECT
public:
    FibonacciArcsItem(QGraphicsObject *scale, TSynchronyzer *synchronizer, const QLineF &sceneLine,
                      const QColor &color, int lineWidth);

    int kind() const override { return FibonacciArcs; }

    // R: the distance from p1 to p2 in pixels.
    double radius() const;
    // +1 when p2 lies above p1, else -1.
    int opening() const;

    void updateLevelPrices() override;
    QRectF extent() const override;

protected:
    QList<double> ratios() const override;
    void paintBase(QPainter *painter) const override;
    void paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *option) const override;
    void paintLabels(QPainter *painter, const QTransform &world,
                     const QStyleOptionGraphicsItem *option) const override;
    QList<QRectF> labelPlaces(const QTransform &world, const QRectF &exposed) const override;
    bool hits(const QPointF &point) const override;
    bool pricesFollowX() const override { return true; }
    bool centredLabels() const override { return true; }
};

// Rays from p1 through (x2, y1 + r (y2 - y1)), prolonged to the scene's edge on p2's side;
// with x1 = x2 they are vertical segments.
class FibonacciFanItem : public FibonacciDrawingItem
{
    Q_OBJECT
public:
    FibonacciFanItem(QGraphicsObject *scale, TSynchronyzer *synchronizer, const QLineF &sceneLine,
                     const QColor &color, int lineWidth);

    int kind() const override { return FibonacciFan; }

    // The ray from p1 through the point, to the scene's edge.
    QLineF rayThrough(const QPointF &point) const;
    QPointF fanPoint(double ratio) const;
    // Where the level's ratio label goes (its corner on the ray), if anywhere.
    std::optional<QPointF> labelPoint(double ratio) const;

    // The three levels stay; only their labels are rendered again.
    void rebuildLevels() override;
    void updateLevelPrices() override {}
    QRectF extent() const override;

protected:
    QList<double> ratios() const override;
    void paintBase(QPainter *painter) const override;
    void paintLevels(QPainter *painter, const QStyleOptionGraphicsItem *option) const override;
    void paintLabels(QPainter *painter, const QTransform &world,
                     const QStyleOptionGraphicsItem *option) const override;
    bool hits(const QPointF &point) const override;
    bool reachesSceneEdges() const override { return true; }

private:
    // Whether the point lies within `tolerance` pixels of the ray's line and within its
    // x range widened by as much (its y range too when the ray is vertical).
    bool onRay(const QPointF &point, const QLineF &ray, double tolerance) const;
};
