#include "chartitem.h"

#include <algorithm>
#include <cmath>

#include "settings.h"

#include <QAction>
#include <QMenu>
#include <QPainter>

ChartItem::ChartItem(QGraphicsObject *parentChartItem)
    : GraphicsItem(nullptr)
    , m_bringToFrontAction(new QAction(QStringLiteral("На передний план"), this))
{
    connect(m_bringToFrontAction, &QAction::triggered, this, &ChartItem::bringToFront);
    setAcceptHoverEvents(true);
    if (parentChartItem)
        setParentChartItem(parentChartItem);
}

void ChartItem::setDisplayName(const QString &name)
{
    if (name.isEmpty())
        return;
    m_displayName = name;
    Q_EMIT nameChanged();
}

void ChartItem::setItemVisible(bool visible)
{
    if (visible && parentItem() && !parentItem()->isVisible())
        parentItem()->show();
    setVisible(visible);
}

void ChartItem::resetRange()
{
    m_rangeEmpty = true;
    m_low = 0;
    m_high = 0;
}

void ChartItem::saveState(Settings &settings) const
{
    GraphicsItem::saveState(settings);
    settings.setValue(QStringLiteral("visible"), isVisible());
    if (!m_displayName.isEmpty())
        settings.setValue(QStringLiteral("displayName"), m_displayName);
    settings.setValue(QStringLiteral("frontItem"), zValue() == 1.0);
}

void ChartItem::restoreState(Settings &settings)
{
    GraphicsItem::restoreState(settings);
    setItemVisible(settings.value(QStringLiteral("visible"), true).toBool());
    setDisplayName(settings.value(QStringLiteral("displayName")).toString());
    if (settings.value(QStringLiteral("frontItem"), false).toBool()) {
        setZValue(1.0);
        if (parentItem())
            parentItem()->setZValue(1.0);
    }
}

void ChartItem::fillContextMenu(QMenu *menu)
{
    GraphicsItem::fillContextMenu(menu);
    menu->addAction(m_bringToFrontAction);
}

void ChartItem::setParentChartItem(QGraphicsObject *item)
{
    struct Link
    {
        const char *signal;
        const char *slot;
    };
    static const Link links[] = {
        {SIGNAL(rangeChanged()), SLOT(childRangeChanged())},
        {SIGNAL(dataChangedInSceneRange(int,int)), SLOT(childDataChanged(int,int))},
        {SIGNAL(visibilityChanged(bool)), SLOT(childVisibleChanged())},
    };
    auto hasSlot = [](const QObject *object, const char *slot) {
        // SLOT() puts a code digit before the signature.
        return object->metaObject()->indexOfSlot(
                   QMetaObject::normalizedSignature(slot + 1).constData())
               >= 0;
    };
    if (QGraphicsObject *old = m_parentChartItem.data()) {
        for (const Link &link : links) {
            if (hasSlot(old, link.slot))
                disconnect(this, link.signal, old, link.slot);
        }
    }
    GraphicsItem::setParentChartItem(item);
    if (!item)
        return;
    for (const Link &link : links) {
        if (hasSlot(item, link.slot))
            connect(this, link.signal, item, link.slot);
    }
}

QPair<double, double> ChartItem::priceRangeBetween(int, int) const
{
    return {0, 0};
}

QString ChartItem::parametersText() const
{
    return {};
}

int ChartItem::decimals() const
{
    return 0;
}

QList<PriceMark> ChartItem::priceMarks() const
{
    return {};
}

QColor ChartItem::color() const
{
    return itemColor();
}

QSet<int> ChartItem::dayBoundaries() const
{
    return {};
}

QList<int> ChartItem::dayBoundariesBetween(int from, int to) const
{
    QList<int> list;
    for (int index : dayBoundaries()) {
        if (index >= from && index <= to)
            list.append(index);
    }
    std::sort(list.begin(), list.end());
    return list;
}

QString ChartItem::infoTextAt(const QPointF &) const
{
    return {};
}

bool ChartItem::takesPartInScale() const
{
    return true;
}

QString ChartItem::statusText() const
{
    return {};
}

void ChartItem::onPropertyAction()
{
    Q_EMIT askChangeProperties();
}
