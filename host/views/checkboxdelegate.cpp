#include "checkboxdelegate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

CheckBoxDelegate::CheckBoxDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

namespace {

QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

// A bool cell written with the edit role, or a user-checkable cell with a check state.
bool isChangeable(const QModelIndex &index)
{
    return index.flags() & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
}

// The model's check state where it gives one (a user-checkable cell), otherwise the bool.
bool isChecked(const QModelIndex &index)
{
    const QVariant state = index.data(Qt::CheckStateRole);
    if (state.isValid())
        return state.toInt() == Qt::Checked;
    return index.data(Qt::EditRole).toBool();
}

} // namespace

QRect CheckBoxDelegate::checkRect(const QStyleOptionViewItem &option)
{
    QStyle *style = styleOf(option);
    const QSize size(style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget),
        style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget));
    return QStyle::alignedRect(option.direction, Qt::AlignCenter, size, option.rect);
}

void CheckBoxDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The cell's background and selection as usual, but no "true"/"false" text and not the
    // view's own check indicator for a checkable cell: the one box is the centred one below.
    QStyleOptionViewItem itemOption = option;
    initStyleOption(&itemOption, index);
    itemOption.text.clear();
    itemOption.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasCheckIndicator);
    QStyle *style = styleOf(option);
    style->drawControl(QStyle::CE_ItemViewItem, &itemOption, painter, option.widget);

    QStyleOptionButton box;
    box.rect = checkRect(option);
    box.state = option.state & QStyle::State_Enabled;
    if (!isChangeable(index))
        box.state &= ~QStyle::State_Enabled;
    box.state |= isChecked(index) ? QStyle::State_On : QStyle::State_Off;
    box.palette = option.palette;
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
}

QSize CheckBoxDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    QStyle *style = styleOf(option);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, option.widget);
    return QSize(style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget),
               style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget))
        + QSize(2 * margin + 2, 2 * margin + 2);
}

QWidget *CheckBoxDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The cell toggles in place; an editor would only get in the way.
    Q_UNUSED(parent)
    Q_UNUSED(option)
    Q_UNUSED(index)
    return nullptr;
}

bool CheckBoxDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
    const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (!isChangeable(index) || !(index.flags() & Qt::ItemIsEnabled)
        || !(option.state & QStyle::State_Enabled))
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return false;
    case QEvent::MouseButtonDblClick:
        // The release that follows toggles; the double click itself must not open an editor.
        return true;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint()))
            return false;
        break;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Space && key->key() != Qt::Key_Select)
            return false;
        break;
    }
    default:
        return false;
    }
    const bool checked = isChecked(index);
    if ((index.flags() & Qt::ItemIsUserCheckable) && index.data(Qt::CheckStateRole).isValid())
        return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    return model->setData(index, !checked, Qt::EditRole);
}
