#pragma once

#include "hostdata_global.h"

#include <QMenu>
#include <QPersistentModelIndex>
#include <QPointer>

class QAbstractItemModel;

// A menu listing the rows of an item model, rebuilt each time it opens. Subclasses can take
// over or extend the filling through the two hooks.
class HOST_EXPORT ModelMenu : public QMenu
{
    Q_OBJECT
public:
    explicit ModelMenu(QWidget *parent = nullptr);

    virtual void setModel(QAbstractItemModel *model);
    // Before the rows are listed; true means the menu is already filled and the rows are not
    // listed.
    virtual bool prePopulated();
    // After the rows were listed.
    virtual void postPopulated();

    QAbstractItemModel *model() const { return m_model; }
    void setTextRole(int role) { m_textRole = role; }
    int textRole() const { return m_textRole; }

    // Rebuilds the menu now (it also happens whenever the menu is about to show).
    void populate();

Q_SIGNALS:
    void activated(const QModelIndex &index);

private:
    QPointer<QAbstractItemModel> m_model;
    int m_textRole = Qt::DisplayRole;
};
