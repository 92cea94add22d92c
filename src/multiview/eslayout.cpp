#include "eslayout.h"

#include <QCoreApplication>
#include <QLayout>
#include <QWidget>

EqualSizingWidgetItems::EqualSizingWidgetItems(QObject *parent)
    : QObject(parent)
{
}

void EqualSizingWidgetItems::addWidget(QWidget *widget)
{
    if (!widget || widgets().contains(widget))
        return;
    m_widgets.append(widget);
    connect(widget, &QObject::destroyed, this, &EqualSizingWidgetItems::removeWidget);
}

QList<QWidget *> EqualSizingWidgetItems::widgets() const
{
    QList<QWidget *> list;
    for (const QPointer<QWidget> &widget : m_widgets) {
        if (widget)
            list.append(widget.data());
    }
    return list;
}

void EqualSizingWidgetItems::removeWidget(QObject *widget)
{
    m_widgets.removeIf([widget](const QPointer<QWidget> &member) {
        return !member || member.data() == widget;
    });
}

int EqualSizingWidgetItems::width() const
{
    int width = 0;
    for (QWidget *widget : widgets()) {
        widget->ensurePolished();
        width = qMax(width, widget->sizeHint().width());
    }
    return width;
}

// --- items ----------------------------------------------------------------------------------

ESWidgetItem::ESWidgetItem(QWidget *widget, EqualSizingWidgetItems *group)
    : QWidgetItem(widget)
    , m_group(group)
{
    if (group)
        group->addWidget(widget);
    // What a layout does for a widget it adds: it is laid out from now on, and shown unless
    // someone hid it on purpose.
    widget->setAttribute(Qt::WA_LaidOut);
    if (!(widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide)))
        widget->show();
}

QSize ESWidgetItem::sizeHint() const
{
    const QSize own = QWidgetItem::sizeHint();
    return {m_group ? m_group->width() : own.width(), own.height()};
}

QSize ESWidgetItem::minimumSize() const
{
    const QSize own = QWidgetItem::minimumSize();
    return {m_group ? m_group->width() : own.width(), own.height()};
}

ESSpacerItem::ESSpacerItem(EqualSizingWidgetItems *group)
    : QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum)
    , m_group(group)
{
}

QSize ESSpacerItem::sizeHint() const
{
    return {m_group ? m_group->width() : 0, 0};
}

QSize ESSpacerItem::minimumSize() const
{
    return sizeHint();
}

QSize ESSpacerItem::maximumSize() const
{
    return {sizeHint().width(), QLAYOUTSIZE_MAX};
}

// --- batches --------------------------------------------------------------------------------

ESLayoutManager::ESLayoutManager(QObject *parent)
    : QObject(parent)
{
}

void ESLayoutManager::addLayout(QLayout *layout)
{
    if (!layout || layouts().contains(layout))
        return;
    m_layouts.append(layout);
    connect(layout, &QObject::destroyed, this, &ESLayoutManager::removeLayout);
    // Layout requests go to the widget a layout manages.
    if (QWidget *widget = layout->parentWidget())
        widget->installEventFilter(this);
}

QList<QLayout *> ESLayoutManager::layouts() const
{
    QList<QLayout *> list;
    for (const QPointer<QLayout> &layout : m_layouts) {
        if (layout)
            list.append(layout.data());
    }
    return list;
}

void ESLayoutManager::removeLayout(QObject *layout)
{
    m_layouts.removeIf([layout](const QPointer<QLayout> &member) {
        return !member || member.data() == layout;
    });
    // A pane that goes may have held the widest axis: the others lay out again.
    const QList<QLayout *> rest = layouts();
    if (!rest.isEmpty())
        rest.front()->update();
}

bool ESLayoutManager::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::LayoutRequest)
        return false;
    QLayout *own = nullptr;
    for (QLayout *layout : layouts()) {
        if (layout->parentWidget() == watched) {
            own = layout;
            break;
        }
    }
    if (!own)
        return false;
    if (!m_pending) {
        m_pending = true;
        // Invalidated, not only updated: a layout's cached column widths must be recomputed
        // from the group's new width, or an unchanged pane keeps its old axis width.
        for (QLayout *layout : layouts()) {
            if (layout != own)
                layout->invalidate();
        }
        own->invalidate();
        QCoreApplication::postEvent(this, new QEvent(BatchEvent));
    }
    return true;
}

void ESLayoutManager::customEvent(QEvent *event)
{
    if (event->type() != BatchEvent)
        return QObject::customEvent(event);
    m_pending = false;
    ++m_batches;
    for (QLayout *layout : layouts())
        layout->activate();
}
