#pragma once

#include "graphicsitem.h"

#include <QList>
#include <QPair>
#include <QSet>

// A price mark on a vertical axis: the item's last price in its colours.
struct PriceMark
{
    double price = 0;
    QColor color;
    QColor frameColor; // invalid: no frame
};

// A graphics item that takes part in a vertical scale: a price range, a display name, a
// number of decimals, a parent scale it reports to, and "На передний план".
class ChartItem : public GraphicsItem
{
    Q_OBJECT
public:
    // The graphics item type of every chart item: scales tell their chart items from their
    // drawings by it without a cast per child.
    enum { Type = UserType + 1 };

    explicit ChartItem(QGraphicsObject *parentChartItem = nullptr);

    int type() const override { return Type; }

    QAction *bringToFrontAction() const { return m_bringToFrontAction; }

    double low() const { return m_low; }
    double high() const { return m_high; }
    bool isRangeEmpty() const { return m_rangeEmpty; }
    QString displayName() const { return m_displayName; }
    // An empty name is ignored.
    void setDisplayName(const QString &name);
    // Showing an item whose parent is hidden shows the parent first.
    void setItemVisible(bool visible);

    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;
    void fillContextMenu(QMenu *menu) override;
    // Reports rangeChanged(), dataChangedInSceneRange() and visibilityChanged() to the slots
    // childRangeChanged(), childDataChanged(int,int) and childVisibleChanged() of the parent
    // (those it has), instead of a previous parent's.
    void setParentChartItem(QGraphicsObject *item) override;

    // The lowest low and highest high of the item's data between the two x; (0, 0) when
    // nothing lies there.
    virtual QPair<double, double> priceRangeBetween(int xFrom, int xTo) const;
    virtual QString parametersText() const;
    virtual int decimals() const;
    virtual QList<PriceMark> priceMarks() const;
    virtual QColor color() const;
    virtual QSet<int> dayBoundaries() const;
    // The day boundaries from `from` up to `to` (both included), in ascending order.
    virtual QList<int> dayBoundariesBetween(int from, int to) const;
    virtual QString infoTextAt(const QPointF &scenePoint) const;
    virtual bool takesPartInScale() const;
    virtual QString statusText() const;

    QRectF boundingRect() const override { return {}; }
    void paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) override {}

Q_SIGNALS:
    void rangeChanged();
    void dataChangedInSceneRange(int left, int right);
    void precisionChanged();
    void nameChanged();
    // The text of parametersText() changed for another reason than the name.
    void parametersTextChanged();
    void colorChanged();
    void closePriceChanged();
    void bringToFront();
    void askChangeProperties();
    void statusChanged();

public Q_SLOTS:
    void onPropertyAction() override;

protected:
    void resetRange();
    double m_low = 0;
    double m_high = 0;
    bool m_rangeEmpty = true;
    QString m_displayName;

private:
    QAction *m_bringToFrontAction;
};
