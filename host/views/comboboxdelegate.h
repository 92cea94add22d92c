#pragma once

#include "hostdata_global.h"

#include <QStringList>
#include <QStyledItemDelegate>

// Edits a cell with a combo box over a fixed list of texts. The model receives the chosen
// text. A model that holds an item number (an int) is also read: the number selects the item
// and is shown as its text, but a write still stores the text.
class HOST_EXPORT ComboBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ComboBoxDelegate(const QStringList &items, QObject *parent = nullptr);

    QStringList items() const { return m_items; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QString displayText(const QVariant &value, const QLocale &locale) const override;

private:
    QStringList m_items;
};
