#pragma once

#include "hostdata_global.h"

#include <QStyledItemDelegate>

// Shows a bool cell as a centred check box and toggles it on a left click in the cell or on
// Space, without an editor. The new value is written with Qt::EditRole.
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
