#pragma once

#include "graphicsitem.h"

#include <QPen>
#include <QPixmap>

#include <functional>

class MapSettings;

// A drawing on a sub-chart, hung under one vertical scale so that its y follows the scale's
// prices. It has its own drawing colour; the item colour is left for the selection markers.
// The five drawing tools derive from it; the sub-chart creates, gestures and restores them
// through this interface only.
class DrawingItem : public GraphicsItem
{
    Q_OBJECT
public:
    // The drawing kinds, as stored under "drawing".
    enum Kind { TrendLine = 0, HorLine = 1, FibonacciLines = 2, FibonacciArcs = 3, FibonacciFan = 4 };
    static constexpr int KindCount = 5;
    // The graphics item type of every drawing.
    enum { Type = UserType + 2 };
    int type() const override { return Type; }

    // An invalid colour gives the default drawing colour; a width outside 1..10 gives 1.
    DrawingItem(QGraphicsObject *parentChartItem, const QColor &color, int lineWidth);
    ~DrawingItem() override;

    static QColor defaultColor() { return {0x06, 0xc5, 0xff}; }
    QColor drawingColor() const { return m_drawingColor; }
    // An invalid colour is ignored.
    void setDrawingColor(const QColor &color);

    virtual int kind() const = 0;
    // The kind's name and delete question; empty for a number outside 0..4.
    static QString typeNameOf(int kind);
    static QString deleteQuestionOf(int kind);
    virtual QString typeName() const { return typeNameOf(kind()); }
    // The kind's question, else the general one.
    QString deleteQuestion() const override;
    // Whether the drawing is made of two points; while it is being drawn, the second one
    // follows the pointer.
    virtual bool isLineDrawing() const { return false; }
    // Whether the drawing itself is shown: it is hidden with its scale when its series is,
    // and shows again with it unless it was hidden on its own.
    bool isShownByItself() const { return isVisibleTo(parentItem()); }
    virtual void setSceneP2(const QPointF &) {}
    // Reparents under another scale keeping the position on screen.
    virtual void moveToScale(QGraphicsObject *scale);
    // Reparents under another scale keeping the prices.
    virtual void rebindToScale(QGraphicsObject *scale);
    // The property dialog of a drawing over a parent widget: true, with the settings to apply,
    // when the user confirmed it. The dialogs' subsystem provides it; without one
    // showPropertyDialog() does nothing.
    using PropertyEditor = std::function<bool(DrawingItem *item, QWidget *parent, MapSettings &result)>;
    static void setPropertyEditor(const PropertyEditor &editor);
    static bool hasPropertyEditor();
    // Runs the property dialog and applies what it returns, unless the drawing was deleted
    // meanwhile. A value the drawing refuses is reported in the log, never thrown.
    virtual void showPropertyDialog(QWidget *parent);

    // "lineWidth", "visible", "type" (always 2), "color".
    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;
    // "lineWidth" and "color" (when valid).
    void applyProperties(Settings &settings) override;
    // Also follows the new scale's number of decimals.
    void setParentChartItem(QGraphicsObject *item) override;

    // The extent computed by extent(), kept until the geometry changes or what it depends on
    // outside the item does: the scene rectangle, the item's scene transform, the view's
    // horizontal scale or the line width. A frame and a look-up under the cursor ask for it of
    // every drawing, often more than once.
    QRectF boundingRect() const final;

public Q_SLOTS:
    // The property dialog over the sub-chart's view.
    void onPropertyAction() override;
    // The scale's items or their number of decimals changed: price labels follow.
    virtual void scalePrecisionChanged() {}

protected:
    // In a scene with a drawing layer the layer paints the drawing: every change of how it
    // looks (these, geometryChanging() and redraw()) has the layer paint it anew.
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    void redraw() override;
    // The extent of the drawing in item coordinates, cut to the scene.
    virtual QRectF extent() const = 0;
    // Announces a change of the extent, before making it.
    void geometryChanging();
    // The drawing colour changed: labels drawn in it are rendered again.
    virtual void drawingColorChanged() {}
    // The scene rectangle in item coordinates: no part of a drawing lies outside it. Empty
    // outside a scene or under a scale that cannot be inverted.
    QRectF sceneRectInItem() const;
    // The drawing colour, the line width, solid, flat cap, bevel join, cosmetic.
    QPen drawingPen() const;
    // The margin around a drawing's points, in pixels: max(7, half the line width rounded up).
    int markerMargin() const;
    // How far from a line a point still hits it, in pixels: max(3, line width / 2).
    double hitTolerance() const;
    // The text in the application font and the colour, on a transparent pixmap exactly as
    // large as the text.
    static QPixmap renderLabel(const QString &text, const QColor &color);
    // The painter's transform with both scales replaced by 1 (its translation kept), so that
    // labels are drawn unscaled at item points multiplied by the former scales.
    static QTransform labelTransform(const QTransform &world);
    // A horizontal line of the drawing pen from x1 to x2 at y, filled as a band of the line
    // width in pixels: the same pixels as the pen's line, without stroking them one by one.
    void fillHorizontalLine(QPainter *painter, double x1, double x2, double y) const;
    // A stored number: it must convert and be finite, else the key is thrown.
    static double readFinite(const Settings &settings, const QString &key);
    // A pixmap painted unscaled at a device point of the item's former transform, offset in
    // pixels.
    static void drawLabel(QPainter *painter, const QTransform &world, const QPointF &itemPoint,
                          const QPointF &offset, const QPixmap &label);

private:
    struct ExtentKey
    {
        QRectF sceneRect;
        QTransform sceneTransform;
        double pixelWidth = 0;
        int lineWidth = 0;
        bool operator==(const ExtentKey &other) const
        {
            return sceneRect == other.sceneRect && sceneTransform == other.sceneTransform
                   && pixelWidth == other.pixelWidth && lineWidth == other.lineWidth;
        }
    };
    ExtentKey extentKey() const;
    void watchScale();
    // Leaves the painting to the scene's drawing layer, if it has one.
    void followLayer();

    QColor m_drawingColor;
    mutable QRectF m_extent;
    mutable ExtentKey m_extentKey;
    mutable bool m_extentValid = false;
};
