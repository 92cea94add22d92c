#include "instrumentselectordialog.h"

#include "favsecmodelproxyrecent.h"
#include "securitiesmodel.h"

#include "ui_instrumentselectordialog.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>

#include <algorithm>

InstrumentSelectorDialog::InstrumentSelectorDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::InstrumentSelectorDialog>())
    , m_model(new SecuritiesModel(this))
    , m_proxy(new QSortFilterProxyModel(this))
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("ОК"));
    m_ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterRole(SecuritiesModel::SearchTextRole);
    m_proxy->setFilterKeyColumn(SecuritiesModel::CodeColumn);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);

    QTableView *view = m_ui->tableView;
    view->setModel(m_proxy);
    view->horizontalHeader()->setSectionResizeMode(
        SecuritiesModel::NameColumn, QHeaderView::Stretch);
    view->resizeColumnToContents(SecuritiesModel::CodeColumn);
    view->resizeColumnToContents(SecuritiesModel::BoardColumn);
    view->resizeColumnToContents(SecuritiesModel::StockColumn);
    {
        // Opens wide enough for every name; the name column stretches over what is left.
        const QAbstractItemView *cells = view;
        int needed = 2 * view->frameWidth() + view->verticalScrollBar()->sizeHint().width();
        for (int column = 0; column < m_proxy->columnCount(); ++column) {
            needed += column == SecuritiesModel::NameColumn
                          ? std::max(cells->sizeHintForColumn(column),
                                     view->horizontalHeader()->sectionSizeHint(column))
                          : view->columnWidth(column);
        }
        const int minimum = view->minimumWidth();
        view->setMinimumWidth(needed);
        resize(std::max(width(), sizeHint().width()), height());
        view->setMinimumWidth(minimum);
    }
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &InstrumentSelectorDialog::updateOkButton);
    connect(
        m_proxy, &QAbstractItemModel::modelReset, this, &InstrumentSelectorDialog::updateOkButton);

    // Up and down in the filter move through the list, so typing and picking need no mouse.
    m_ui->filterEdit->installEventFilter(this);
    selectRow(0);
}

InstrumentSelectorDialog::~InstrumentSelectorDialog() = default;

void InstrumentSelectorDialog::setShowChartOnly(bool chartOnly)
{
    const QString current = currentText();
    m_model->setChartOnly(chartOnly);
    setCurrentTextId(current);
}

void InstrumentSelectorDialog::setCurrentTextId(const QString &textId)
{
    const int sourceRow = m_model->rowOf(textId);
    const QModelIndex index
        = sourceRow < 0 ? QModelIndex() : m_proxy->mapFromSource(m_model->index(sourceRow, 0));
    selectRow(index.isValid() ? index.row() : 0);
}

QString InstrumentSelectorDialog::currentText() const
{
    const QModelIndexList rows = m_ui->tableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return {};
    return rows.first().data(SecuritiesModel::KeyRole).toString();
}

void InstrumentSelectorDialog::selectRow(int proxyRow)
{
    QTableView *view = m_ui->tableView;
    const QModelIndex index = m_proxy->index(proxyRow, 0);
    if (!index.isValid()) {
        view->selectionModel()->clear();
    } else {
        view->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(index);
    }
    updateOkButton();
}

void InstrumentSelectorDialog::updateOkButton()
{
    m_ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(m_ui->tableView->selectionModel()->hasSelection());
}

void InstrumentSelectorDialog::on_filterEdit_textChanged(const QString &text)
{
    m_proxy->setFilterFixedString(text.trimmed());
    selectRow(0);
}

void InstrumentSelectorDialog::on_tableView_doubleClicked(const QModelIndex &index)
{
    if (index.isValid())
        accept();
}

bool InstrumentSelectorDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->filterEdit && event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        switch (keyEvent->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QCoreApplication::sendEvent(m_ui->tableView, event);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QMenu *InstrumentSelectorDialog::addInstrumentSelectorToMenu(QMenu *menu,
    const QString &currentTextId, QObject *context,
    const std::function<void(const QString &textId)> &onChosen)
{
    QMenu *subMenu = menu->addMenu(tr("Инструмент"));
    // Without a context the choices live as long as the menu.
    QObject *receiver = context ? context : subMenu;
    auto *group = new QActionGroup(subMenu);
    group->setExclusive(true);

    FavSecModelProxyRecent model;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        const QString key = index.data(FavSecModelProxyRecent::KeyRole).toString();
        QAction *action = subMenu->addAction(index.data(Qt::DecorationRole).value<QIcon>(),
            index.data(FavSecModelProxyRecent::MenuTextRole).toString());
        action->setToolTip(index.data(Qt::ToolTipRole).toString());
        action->setData(key);
        action->setCheckable(true);
        action->setChecked(key == currentTextId);
        group->addAction(action);
        connect(action, &QAction::triggered, receiver, [onChosen, key] { onChosen(key); });
    }
    if (!subMenu->isEmpty())
        subMenu->addSeparator();

    QAction *choose = subMenu->addAction(tr("Выбрать..."));
    connect(choose, &QAction::triggered, receiver, [receiver, currentTextId, onChosen] {
        // The dialog runs its own event loop: the context may be gone when it returns.
        QPointer<QObject> guard(receiver);
        QWidget *parent
            = receiver->isWidgetType() ? static_cast<QWidget *>(receiver)->window() : nullptr;
        // On the heap: a parent window closed meanwhile deletes the dialog with it.
        QPointer<InstrumentSelectorDialog> dialog = new InstrumentSelectorDialog(parent);
        dialog->setShowChartOnly(true);
        dialog->setCurrentTextId(currentTextId);
        const int result = dialog->exec();
        if (!dialog)
            return;
        const QString chosen = dialog->currentText();
        delete dialog;
        if (result == QDialog::Accepted && guard && !chosen.isEmpty())
            onChosen(chosen);
    });
    return subMenu;
}
