#pragma once

#include <QColor>
#include <QGraphicsObject>
#include <QPointer>

class QAction;
class QMenu;
class QPainter;
class QWidget;
class Settings;

// Everything drawn in a sub-chart: a colour, a line width, the context menu entries
// "Удалить", "Свойства" and "Скрыть", selection and visibility signals and the confirmed
// delete. Item coordinates: x in time units of the window's synchroniser, y = minus the price.
class GraphicsItem : public QGraphicsObject
{
    Q_OBJECT
public:
    // The parent is the item this one hangs under: for chart items their vertical scale.
    explicit GraphicsItem(QGraphicsObject *parentChartItem = nullptr);
    ~GraphicsItem() override;

    QGraphicsObject *parentChartItem() const { return m_parentChartItem; }
    QAction *propertiesAction() const { return m_propertiesAction; }
    QAction *deleteAction() const { return m_deleteAction; }
    QAction *hideAction() const { return m_hideAction; }

    QColor itemColor() const { return m_color; }
    void setItemColor(const QColor &color);
    int lineWidth() const { return m_lineWidth; }
    // Widths outside 1..10 are refused.
    void setLineWidth(int width);

    virtual void saveState(Settings &settings) const;
    // Throws the name of the first key whose value is refused; nothing is applied then.
    virtual void restoreState(Settings &settings);
    // Selects the item and adds its actions.
    virtual void fillContextMenu(QMenu *menu);
    virtual void applyProperties(Settings &settings);
    virtual QString deleteQuestion() const;
    virtual void deleteItem();
    virtual void setParentChartItem(QGraphicsObject *item);
    // The parent scale's transform changed: sizes kept in pixels change in item units.
    virtual void parentScaleChanged();

    // Scene units of one pixel: horizontally through the first view's scale, vertically
    // through this item's scene transform (the parent scale's vertical factor).
    double pixelWidth() const;
    double pixelHeight() const;
    // The widget a dialog of this item opens over: the first view of its scene.
    QWidget *viewWidget() const;

Q_SIGNALS:
    void selectionChanged();
    void beforeSelection();
    void visibilityChanged(bool visible);

public Q_SLOTS:
    void onDeleteItemAction();
    void hideItem();
    virtual void onPropertyAction();

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    // The item looks different: it is painted again.
    virtual void redraw() { update(); }
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    // The width an item starts with, before it has a geometry (constructors): no geometry
    // change is announced. Widths outside 1..10 are refused.
    void initLineWidth(int width);
    // Reads "lineWidth" as the stored value says, throwing "lineWidth" when it is refused.
    static int readLineWidth(Settings &settings, int current);
    // The selection markers: 7-pixel squares at the points (item coordinates), in the
    // selection colour, clipped to the rectangle; only while selected.
    void paintSelectionMarkers(QPainter *painter, const QList<QPointF> &markers,
                               const QRectF &clip) const;

    QPointer<QGraphicsObject> m_parentChartItem;

private:
    QAction *m_propertiesAction;
    QAction *m_deleteAction;
    QAction *m_hideAction;
    QColor m_color{0xff, 0xff, 0xff};
    int m_lineWidth = 1;
};
