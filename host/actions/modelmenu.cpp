#include "modelmenu.h"

#include <QAbstractItemModel>

ModelMenu::ModelMenu(QWidget *parent)
    : QMenu(parent)
{
    connect(this, &QMenu::aboutToShow, this, &ModelMenu::populate);
}

void ModelMenu::setModel(QAbstractItemModel *model)
{
    m_model = model;
}

bool ModelMenu::prePopulated()
{
    return false;
}

void ModelMenu::postPopulated() {}

void ModelMenu::populate()
{
    clear();
    if (!prePopulated() && m_model) {
        const int rows = m_model->rowCount();
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = m_model->index(row, 0);
            QAction *action = addAction(m_model->data(index, Qt::DecorationRole).value<QIcon>(),
                                        m_model->data(index, m_textRole).toString());
            action->setToolTip(m_model->data(index, Qt::ToolTipRole).toString());
            const QPersistentModelIndex persistent(index);
            connect(action, &QAction::triggered, this, [this, persistent] {
                if (persistent.isValid())
                    Q_EMIT activated(persistent);
            });
        }
        if (rows == 0)
            addAction(tr("(пусто)"))->setEnabled(false);
    }
    postPopulated();
}
