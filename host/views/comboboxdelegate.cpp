#include "comboboxdelegate.h"

#include <QComboBox>

namespace {

bool holdsInteger(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

} // namespace

ComboBoxDelegate::ComboBoxDelegate(const QStringList &items, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_items(items)
{
}

QWidget *ComboBoxDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(option)
    Q_UNUSED(index)
    auto *combo = new QComboBox(parent);
    combo->addItems(m_items);
    // A choice from the list is final: commit it without waiting for the focus to leave.
    connect(combo, &QComboBox::activated, this, [this, combo] {
        auto *self = const_cast<ComboBoxDelegate *>(this);
        emit self->commitData(combo);
        emit self->closeEditor(combo);
    });
    return combo;
}

void ComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *combo = qobject_cast<QComboBox *>(editor);
    if (!combo)
        return QStyledItemDelegate::setEditorData(editor, index);
    const QVariant value = index.data(Qt::EditRole);
    if (holdsInteger(value)) {
        const int number = value.toInt();
        combo->setCurrentIndex(number >= 0 && number < combo->count() ? number : -1);
        return;
    }
    combo->setCurrentIndex(combo->findText(value.toString()));
}

void ComboBoxDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *combo = qobject_cast<QComboBox *>(editor);
    if (!combo)
        return QStyledItemDelegate::setModelData(editor, model, index);
    if (combo->currentIndex() < 0)
        return;
    model->setData(index, combo->currentText(), Qt::EditRole);
}

void ComboBoxDelegate::updateEditorGeometry(
    QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}

QString ComboBoxDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    if (holdsInteger(value)) {
        const int number = value.toInt();
        if (number >= 0 && number < m_items.size())
            return m_items.at(number);
    }
    return QStyledItemDelegate::displayText(value, locale);
}
