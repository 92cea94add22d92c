#include "favoritesdialog.h"

#include "boarddirectory.h"
#include "favoritesecurities.h"
#include "instrumentselectordialog.h"
#include "securitydirectory.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

FavoritesDialog::FavoritesDialog(QWidget *parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
{
    setWindowTitle(tr("Избранные инструменты"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    auto *buttons = new QVBoxLayout;
    auto *add = new QPushButton(tr("Добавить..."), this);
    auto *remove = new QPushButton(tr("Удалить"), this);
    auto *up = new QPushButton(tr("Выше"), this);
    auto *down = new QPushButton(tr("Ниже"), this);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Vertical, this);
    for (QPushButton *b : {add, remove, up, down})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(box);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, &FavoritesDialog::addInstrument);
    connect(remove, &QPushButton::clicked, this, &FavoritesDialog::removeSelected);
    connect(up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (const QString &key : FavoriteSecurities::instance()->favorites()) {
        auto *item = new QListWidgetItem(describe(key), m_list);
        item->setData(Qt::UserRole, key);
    }
    resize(520, 360);
}

QString FavoritesDialog::describe(const QString &key) const
{
    const QStringList p = key.split(u',');
    if (p.size() != 3)
        return key;
    const int stock = p.at(0).toInt();
    const int board = p.at(1).toInt();
    const qint64 sec = p.at(2).toLongLong();
    return QStringLiteral("%1 — %2 (%3)")
        .arg(SecurityDirectory::i()->codeById(stock, board, sec),
             SecurityDirectory::i()->nameById(stock, board, sec),
             BoardDirectory::i()->nameById(stock, board));
}

void FavoritesDialog::addInstrument()
{
    InstrumentSelectorDialog selector(this);
    selector.setShowChartOnly(true);
    if (selector.exec() != QDialog::Accepted || selector.currentText().isEmpty())
        return;
    const QString key = selector.currentText();
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->data(Qt::UserRole).toString() == key)
            return;
    }
    auto *item = new QListWidgetItem(describe(key), m_list);
    item->setData(Qt::UserRole, key);
    store();
}

void FavoritesDialog::removeSelected()
{
    delete m_list->currentItem();
    store();
}

void FavoritesDialog::moveSelected(int delta)
{
    const int row = m_list->currentRow();
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= m_list->count())
        return;
    QListWidgetItem *item = m_list->takeItem(row);
    m_list->insertItem(target, item);
    m_list->setCurrentRow(target);
    store();
}

void FavoritesDialog::store()
{
    QStringList keys;
    for (int i = 0; i < m_list->count(); ++i)
        keys.append(m_list->item(i)->data(Qt::UserRole).toString());
    FavoriteSecurities::instance()->setFavorites(keys);
}
