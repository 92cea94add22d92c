#include "graphicsitem.h"

#include "confirmationdialog.h"
#include "settings.h"

#include <QAction>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QMenu>
#include <QPainter>
#include <QPointer>

#include <cmath>

GraphicsItem::GraphicsItem(QGraphicsObject *parentChartItem)
    : QGraphicsObject(parentChartItem)
    , m_parentChartItem(parentChartItem)
    , m_propertiesAction(new QAction(QStringLiteral("Свойства"), this))
    , m_deleteAction(new QAction(QStringLiteral("Удалить"), this))
    , m_hideAction(new QAction(QStringLiteral("Скрыть"), this))
{
    QFont bold = m_propertiesAction->font();
    bold.setBold(true);
    m_propertiesAction->setFont(bold);
    connect(m_propertiesAction, &QAction::triggered, this, &GraphicsItem::onPropertyAction);
    connect(m_deleteAction, &QAction::triggered, this, &GraphicsItem::onDeleteItemAction);
    connect(m_hideAction, &QAction::triggered, this, &GraphicsItem::hideItem);
    setAcceptedMouseButtons(Qt::LeftButton | Qt::RightButton);
    setFlags(ItemIsSelectable | ItemUsesExtendedStyleOption);
}

GraphicsItem::~GraphicsItem() = default;

void GraphicsItem::setItemColor(const QColor &color)
{
    if (!color.isValid() || color == m_color)
        return;
    m_color = color;
    redraw();
}

void GraphicsItem::setLineWidth(int width)
{
    if (width < 1 || width > 10 || width == m_lineWidth)
        return;
    prepareGeometryChange();
    m_lineWidth = width;
    redraw();
}

void GraphicsItem::initLineWidth(int width)
{
    if (width >= 1 && width <= 10)
        m_lineWidth = width;
}

int GraphicsItem::readLineWidth(Settings &settings, int current)
{
    if (!settings.contains(QStringLiteral("lineWidth")))
        return current;
    bool ok = false;
    const int width = settings.value(QStringLiteral("lineWidth")).toInt(&ok);
    if (!ok || width < 1 || width > 10)
        throw QStringLiteral("lineWidth");
    return width;
}

void GraphicsItem::saveState(Settings &settings) const
{
    settings.setValue(QStringLiteral("lineWidth"), m_lineWidth);
}

void GraphicsItem::restoreState(Settings &settings)
{
    setLineWidth(readLineWidth(settings, m_lineWidth));
}

void GraphicsItem::fillContextMenu(QMenu *menu)
{
    if (scene() && !isSelected()) {
        scene()->clearSelection();
        setSelected(true);
    }
    menu->addAction(m_deleteAction);
    menu->addAction(m_propertiesAction);
    menu->addAction(m_hideAction);
}

void GraphicsItem::applyProperties(Settings &settings)
{
    if (settings.contains(QStringLiteral("lineWidth")))
        setLineWidth(settings.value(QStringLiteral("lineWidth")).toInt());
}

QString GraphicsItem::deleteQuestion() const
{
    return QStringLiteral("Вы действительно хотите удалить объект?");
}

void GraphicsItem::deleteItem()
{
    deleteLater();
}

void GraphicsItem::setParentChartItem(QGraphicsObject *item)
{
    m_parentChartItem = item;
    setParentItem(item);
}

void GraphicsItem::parentScaleChanged()
{
    prepareGeometryChange();
    redraw();
}

double GraphicsItem::pixelWidth() const
{
    const QGraphicsScene *s = scene();
    if (!s || s->views().isEmpty())
        return 1.0;
    const double scale = std::abs(s->views().first()->transform().m11());
    return scale > 0 ? 1.0 / scale : 1.0;
}

double GraphicsItem::pixelHeight() const
{
    const double m = std::abs(sceneTransform().m22());
    return m > 0 ? 1.0 / m : 1.0;
}

void GraphicsItem::paintSelectionMarkers(QPainter *painter, const QList<QPointF> &markers,
                                         const QRectF &clip) const
{
    if (!isSelected() || markers.isEmpty())
        return;
    painter->save();
    painter->setClipRect(clip);
    const QTransform &t = painter->worldTransform();
    const double p = std::abs(t.m11()) > 0 ? 1.0 / std::abs(t.m11()) : 1.0;
    const double q = std::abs(t.m22()) > 0 ? 1.0 / std::abs(t.m22()) : 1.0;
    for (const QPointF &m : markers)
        painter->fillRect(QRectF(m.x() - 3.5 * p, m.y() - 3.5 * q, 7 * p, 7 * q), itemColor());
    painter->restore();
}

QWidget *GraphicsItem::viewWidget() const
{
    const QGraphicsScene *s = scene();
    return s && !s->views().isEmpty() ? s->views().first() : nullptr;
}

void GraphicsItem::onDeleteItemAction()
{
    // The question runs its own event loop, during which the item or its view may go (a
    // restore, a reset of live data): neither is touched after the answer unless still there.
    QPointer<GraphicsItem> self(this);
    QPointer<ConfirmationDialog> dialog(new ConfirmationDialog(viewWidget()));
    dialog->setWindowTitle(QStringLiteral("Внимание"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowOpacity(1.0);
    dialog->setText(deleteQuestion());
    dialog->setSettingsKey(QStringLiteral("TechAnalysis/Confirmations/askDelItem"));
    const int answer = dialog->exec();
    delete dialog.data();
    if (answer == 1 && self)
        deleteItem();
}

void GraphicsItem::hideItem()
{
    hide();
}

void GraphicsItem::onPropertyAction() {}

QVariant GraphicsItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    switch (change) {
    case ItemSelectedChange:
        if (value.toBool())
            Q_EMIT beforeSelection();
        break;
    case ItemSelectedHasChanged:
        Q_EMIT selectionChanged();
        break;
    case ItemVisibleHasChanged:
        if (!value.toBool() && isSelected())
            setSelected(false);
        Q_EMIT visibilityChanged(value.toBool());
        break;
    default:
        break;
    }
    return QGraphicsObject::itemChange(change, value);
}

void GraphicsItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
    m_propertiesAction->trigger();
}
