#include "parentscaleitem.h"

#include "chartitem.h"
#include "settings.h"

#include <QGraphicsScene>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cmath>

ParentScaleItem::ParentScaleItem(QGraphicsItem *parent)
    : QGraphicsObject(parent)
{
    setFlag(ItemSendsGeometryChanges);
    setFlag(ItemHasNoContents);
}

void ParentScaleItem::setScreenRange(int left, int right)
{
    m_leftScreen = left;
    m_rightScreen = right;
}

void ParentScaleItem::setAutoScale(int mode)
{
    if (mode < Fixed || mode > Screen || mode == m_autoScale)
        return;
    m_autoScale = mode;
    refit();
    Q_EMIT scaleModeChanged();
    Q_EMIT labelsUpdated();
}

void ParentScaleItem::setGridColor(const QColor &color)
{
    if (color.isValid())
        m_gridColor = color;
}

void ParentScaleItem::enableGrid(bool enable)
{
    m_gridEnabled = enable;
}

QList<ChartItem *> ParentScaleItem::chartItems() const
{
    QList<ChartItem *> items;
    for (QGraphicsItem *child : childItems()) {
        // The type answers for an item fully built only, as a cast would.
        if (child->type() == ChartItem::Type)
            items.append(static_cast<ChartItem *>(child));
    }
    return items;
}

QString ParentScaleItem::label() const
{
    QStringList visible, all;
    for (const ChartItem *item : chartItems()) {
        all.append(item->displayName());
        if (item->isVisibleTo(this))
            visible.append(item->displayName());
    }
    return (visible.isEmpty() ? all : visible).join(QStringLiteral("; "));
}

bool ParentScaleItem::hasVisibleChartItem() const
{
    const QList<ChartItem *> items = chartItems();
    // Visible to the scale: a hidden scale still knows which of its items are shown.
    return std::any_of(items.begin(), items.end(),
                       [this](const ChartItem *item) { return item->isVisibleTo(this); });
}

int ParentScaleItem::decimals() const
{
    int most = 0;
    for (const ChartItem *item : chartItems())
        most = std::max(most, item->decimals());
    return most;
}

double ParentScaleItem::sceneHeight() const
{
    return scene() ? scene()->sceneRect().height() : 0.0;
}

// --- range and fitting ----------------------------------------------------------------------

bool ParentScaleItem::updateRange()
{
    bool any = false;
    double low = 0, high = 0;
    const QList<ChartItem *> items = chartItems();
    for (const ChartItem *item : items) {
        if (!item->isVisibleTo(this) || item->isRangeEmpty() || !item->takesPartInScale())
            continue;
        low = any ? std::min(low, item->low()) : item->low();
        high = any ? std::max(high, item->high()) : item->high();
        any = true;
    }
    if (!any) {
        for (const ChartItem *item : items) {
            if (item->isVisibleTo(this) && !item->isRangeEmpty()) {
                low = item->low();
                high = item->high();
                any = true;
                break;
            }
        }
    }
    // Nothing to take: the previous range stays rather than collapsing.
    if (!any)
        return false;
    const bool changed = !m_hasRange || low != m_low || high != m_high;
    m_low = low;
    m_high = high;
    m_hasRange = true;
    return changed;
}

void ParentScaleItem::setVerticalFactor(double m)
{
    QTransform t = transform();
    t.setMatrix(t.m11(), t.m12(), t.m13(), t.m21(), m, t.m23(), t.m31(), t.m32(), t.m33());
    setTransform(t);
}

void ParentScaleItem::fitRange(double low, double high)
{
    const double height = sceneHeight();
    // A scene without height, or a range that is no number, places nothing.
    if (!(height > 0) || !std::isfinite(low) || !std::isfinite(high))
        return;
    // The status lines take the top; labels that cover more than half of the height leave
    // the lower half to the prices all the same.
    const double labels = std::clamp(m_topMargin, 0.0, height / 2);
    const double free = height - labels;
    double m;
    double posY;
    if (high != low) {
        m_flat = false;
        m = (free - 0.1 * height) / (high - low);
        posY = high * m + labels + 0.05 * height;
    } else {
        // One price: it sits in the middle of the height below the labels.
        m_flat = true;
        m_flatValue = high;
        const double a = std::abs(high);
        m = a == 0 ? 1.0 : free / (2 * a);
        posY = high > 0 ? height : high < 0 ? labels : labels + free / 2;
    }
    if (!std::isfinite(m) || !(m > 0) || !std::isfinite(posY))
        return;
    setVerticalFactor(m);
    setPos(0, posY);
}

void ParentScaleItem::fitWholeSeries()
{
    if (m_hasRange)
        fitRange(m_low, m_high);
}

void ParentScaleItem::fitScreen()
{
    if (!hasVisibleChartItem() || !(sceneHeight() > 0))
        return;
    const QList<ChartItem *> items = chartItems();
    bool any = false;
    double low = m_high, high = m_low;
    auto take = [&](const ChartItem *item) {
        const QPair<double, double> range = item->priceRangeBetween(m_leftScreen, m_rightScreen);
        // (0, 0): nothing of the item lies on screen.
        if (range.first == 0 && range.second == 0)
            return;
        low = any ? std::min(low, range.first) : range.first;
        high = any ? std::max(high, range.second) : range.second;
        any = true;
    };
    bool qualifying = false;
    for (const ChartItem *item : items) {
        if (item->isVisibleTo(this) && !item->isRangeEmpty() && item->takesPartInScale()) {
            qualifying = true;
            take(item);
        }
    }
    if (!qualifying) {
        for (const ChartItem *item : items) {
            if (item->isVisibleTo(this) && !item->isRangeEmpty()) {
                take(item);
                break;
            }
        }
    }
    // Nothing on screen: the scale keeps what it shows.
    if (any && low <= high)
        fitRange(low, high);
}

void ParentScaleItem::refit()
{
    if (!hasVisibleChartItem())
        return;
    updateRange();
    if (m_autoScale == WholeSeries)
        fitWholeSeries();
    else if (m_autoScale == Screen)
        fitScreen();
    Q_EMIT labelsUpdated();
}

void ParentScaleItem::shiftBy(bool up)
{
    const double step = sceneHeight() / 10;
    if (!(step > 0))
        return;
    m_autoScale = Fixed;
    setPos(pos().x(), pos().y() + (up ? -step : step));
    Q_EMIT labelsUpdated();
}

void ParentScaleItem::zoomBy(double f)
{
    if (!(f > 0) || !std::isfinite(f))
        return;
    m_autoScale = Fixed;
    const double m = verticalFactor();
    if (!(m != 0))
        return;
    const double middle = sceneHeight() / 2;
    const double itemY = (middle - pos().y()) / m;
    setVerticalFactor(m * f);
    setPos(pos().x(), middle - m * f * itemY);
    Q_EMIT labelsUpdated();
}

void ParentScaleItem::setTopMargin(double height)
{
    if (!std::isfinite(height) || height < 0 || height == m_topMargin)
        return;
    m_topMargin = height;
    if (m_autoScale != Fixed)
        refit();
}

void ParentScaleItem::heightChanged(double ratio)
{
    if (m_autoScale != Fixed) {
        refit();
        return;
    }
    if (!(ratio > 0) || !std::isfinite(ratio) || !(verticalFactor() != 0))
        return;
    setVerticalFactor(verticalFactor() * ratio);
    setPos(pos().x(), pos().y() * ratio);
    Q_EMIT labelsUpdated();
}

// --- children -------------------------------------------------------------------------------

void ParentScaleItem::childRangeChanged()
{
    refit();
}

void ParentScaleItem::childDataChanged(int left, int right)
{
    if (m_autoScale != Screen)
        return;
    const bool inside = (left >= m_leftScreen && left <= m_rightScreen)
                        || (right >= m_leftScreen && right <= m_rightScreen);
    if (inside)
        refit();
}

void ParentScaleItem::childVisibleChanged()
{
    if (hasVisibleChartItem()) {
        show();
        refit();
    } else {
        hide();
    }
}

QVariant ParentScaleItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    switch (change) {
    case ItemChildAddedChange:
        // The child is still being set up: it is looked at on the next turn, if still ours.
        QMetaObject::invokeMethod(this, "childAdded", Qt::QueuedConnection,
                                  Q_ARG(QVariant, value));
        break;
    case ItemChildRemovedChange: {
        // A child being deleted is past its QObject part already (its pointer is null here and
        // its connections gone); one moved to another scale is disconnected.
        const auto *child = value.value<QGraphicsItem *>();
        m_forwarded.removeIf([this, child](const QPointer<QGraphicsObject> &object) {
            if (object.isNull())
                return true;
            if (static_cast<const QGraphicsItem *>(object.data()) != child)
                return false;
            disconnect(object.data(), nullptr, this, nullptr);
            return true;
        });
        QTimer::singleShot(0, this, &ParentScaleItem::childRemoved);
        break;
    }
    case ItemTransformHasChanged:
        // Chart items and drawings alike keep sizes in pixels and re-derive them.
        for (QGraphicsItem *child : childItems()) {
            if (auto *item = qobject_cast<GraphicsItem *>(child->toGraphicsObject()))
                item->parentScaleChanged();
        }
        break;
    default:
        break;
    }
    return QGraphicsObject::itemChange(change, value);
}

void ParentScaleItem::childAdded(const QVariant &value)
{
    auto *child = value.value<QGraphicsItem *>();
    // Deleted or moved elsewhere before this turn: nothing to do with it.
    if (!child || !childItems().contains(child))
        return;
    if (QGraphicsObject *object = child->toGraphicsObject()) {
        if (object->metaObject()->indexOfSignal("selectionChanged()") >= 0) {
            connect(object, SIGNAL(selectionChanged()), this, SIGNAL(selectionChanged()),
                    Qt::UniqueConnection);
            m_forwarded.append(object);
        }
        // Drawings label prices with the scale's decimals.
        if (child->type() == ChartItem::Type)
            connect(static_cast<ChartItem *>(child), &ChartItem::precisionChanged, this,
                    &ParentScaleItem::precisionChanged, Qt::UniqueConnection);
    }
    show();
    if (hasVisibleChartItem())
        refit();
    Q_EMIT childItemsAdded();
}

void ParentScaleItem::childRemoved()
{
    if (chartItems().isEmpty()) {
        deleteLater();
        return;
    }
    refit();
    if (!hasVisibleChartItem())
        hide();
    Q_EMIT childItemsRemoved();
}

// --- state ----------------------------------------------------------------------------------

void ParentScaleItem::saveState(Settings &settings) const
{
    settings.setValue(QStringLiteral("gridEnabled"), m_gridEnabled);
    settings.setValue(QStringLiteral("gridColor"), m_gridColor);
    settings.setValue(QStringLiteral("autoScale"), m_autoScale);
    settings.setValue(QStringLiteral("posY"), pos().y());
    settings.setValue(QStringLiteral("scale"), verticalFactor());
}

void ParentScaleItem::restoreState(Settings &settings)
{
    bool ok = true;
    int mode = settings.value(QStringLiteral("autoScale"), int(Screen)).toInt(&ok);
    // A mode that does not exist fits the screen, as a scale without a stored mode does:
    // the area comes back, only its scaling is reset.
    if (!ok || mode < Fixed || mode > Screen)
        mode = Screen;
    m_leftScreen = settings.value(QStringLiteral("leftScreen"), 0).toInt();
    m_rightScreen = settings.value(QStringLiteral("rightScreen"), 0).toInt();
    m_gridEnabled = settings.value(QStringLiteral("gridEnabled"), true).toBool();
    const QVariant color = settings.value(QStringLiteral("gridColor"));
    const QColor read = color.metaType().id() == QMetaType::QColor ? color.value<QColor>()
                                                                    : QColor(color.toString());
    m_gridColor = read.isValid() ? read : QColor(0x35, 0x35, 0x35);
    m_autoScale = mode;
    if (mode == Fixed) {
        const double posY = settings.value(QStringLiteral("posY"), 0.0).toDouble();
        const double factor = settings.value(QStringLiteral("scale"), 1.0).toDouble();
        if (std::isfinite(posY))
            setPos(0, posY);
        if (std::isfinite(factor) && factor > 0)
            setVerticalFactor(factor);
    }
}
