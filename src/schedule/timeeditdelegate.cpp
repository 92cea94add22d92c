#include "timeeditdelegate.h"

#include <QTimeEdit>

TimeEditDelegate::TimeEditDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QWidget *TimeEditDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    Q_UNUSED(option)
    Q_UNUSED(index)
    auto *editor = new QTimeEdit(parent);
    editor->setDisplayFormat(QStringLiteral("hh:mm"));
    editor->setFrame(false);
    return editor;
}

void TimeEditDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QTimeEdit *>(editor)->setTime(index.data(Qt::UserRole).toTime());
}

void TimeEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                    const QModelIndex &index) const
{
    auto *timeEdit = static_cast<QTimeEdit *>(editor);
    timeEdit->interpretText();
    model->setData(index, timeEdit->time(), Qt::EditRole);
}

void TimeEditDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}

QSize TimeEditDelegate::sizeHint(const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    // Wide enough for the editor's spin buttons.
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return size.expandedTo(QSize(option.fontMetrics.horizontalAdvance(QStringLiteral("00:00"))
                                     + 40,
                                 option.fontMetrics.height() + 8));
}
