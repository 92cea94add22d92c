#include "shortcutsdialog.h"

#include "actionmanager.h"
#include "command.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

ShortcutsDialog::ShortcutsDialog(QWidget *parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget(this))
    , m_edit(new QKeySequenceEdit(this))
{
    setWindowTitle(tr("Сочетания клавиш"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels({tr("Команда"), tr("Название"), tr("Сочетание")});
    m_tree->setRootIsDecorated(false);
    m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tree, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Сочетание:"), this));
    row->addWidget(m_edit, 1);
    auto *assign = new QPushButton(tr("Назначить"), this);
    auto *reset = new QPushButton(tr("По умолчанию"), this);
    row->addWidget(assign);
    row->addWidget(reset);
    layout->addLayout(row);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Close, this);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(assign, &QPushButton::clicked, this, &ShortcutsDialog::assign);
    connect(reset, &QPushButton::clicked, this, &ShortcutsDialog::reset);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &ShortcutsDialog::currentChanged);
    fill();
    resize(720, 520);
}

void ShortcutsDialog::fill()
{
    const QByteArray current = m_tree->currentItem()
                                   ? m_tree->currentItem()->data(0, Qt::UserRole).toByteArray()
                                   : QByteArray();
    m_tree->clear();
    for (Command *c : ActionManager::instance()->commands()) {
        auto *item = new QTreeWidgetItem(m_tree, {QString::fromLatin1(c->id()),
                                                  QString(c->text()).remove(u'&'),
                                                  c->shortcut().toString(
                                                      QKeySequence::NativeText)});
        item->setData(0, Qt::UserRole, c->id());
        if (c->id() == current)
            m_tree->setCurrentItem(item);
    }
}

void ShortcutsDialog::currentChanged(QTreeWidgetItem *item)
{
    Command *c = item ? ActionManager::instance()->command(
                     item->data(0, Qt::UserRole).toByteArray())
                      : nullptr;
    m_edit->setKeySequence(c ? c->shortcut() : QKeySequence());
}

void ShortcutsDialog::assign()
{
    QTreeWidgetItem *item = m_tree->currentItem();
    if (!item)
        return;
    if (Command *c = ActionManager::instance()->command(item->data(0, Qt::UserRole).toByteArray()))
        c->setShortcut(m_edit->keySequence());
    fill();
}

void ShortcutsDialog::reset()
{
    QTreeWidgetItem *item = m_tree->currentItem();
    if (!item)
        return;
    if (Command *c = ActionManager::instance()->command(item->data(0, Qt::UserRole).toByteArray()))
        c->resetShortcut();
    fill();
}
