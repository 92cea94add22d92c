#pragma once

#include "hostdata_global.h"

#include <QStyledItemDelegate>

// Shows a bool cell as a centred check box and toggles it on a left click in the cell or on
// Space, without an editor. An editable cell gets its new value as a bool with Qt::EditRole; a
// user-checkable cell shows its check state (in place of the view's own indicator) and gets the
// new one with Qt::CheckStateRole.
class HOST_EXPORT CheckBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit CheckBoxDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
        const QModelIndex &index) override;

private:
    static QRect checkRect(const QStyleOptionViewItem &option);
};
