#include "itemsmanager.h"
#include "ui_itemsmanager.h"

#include "checkboxdelegate.h"
#include "comboboxdelegate.h"
#include "confirmationdialog.h"
#include "dialogsize.h"
#include "graphicsitemsdatamodel.h"
#include "graphicsitem.h"
#include "multiview.h"
#include "timeframevalue.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

ItemsManager::ItemsManager(MultiView *view, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ItemsManager>())
    , m_view(view)
    , m_series(new SeriesItemsDataModel(view, this))
    , m_studies(new StudyItemsDataModel(view, this))
    , m_drawings(new DrawingItemsDataModel(view, this))
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowModality(Qt::WindowModal);
    setWindowOpacity(1.0);
    setUpView(m_ui->seriesView, m_series);
    setUpView(m_ui->studiesView, m_studies);
    setUpView(m_ui->drawingsView, m_drawings);

    QStringList frames;
    for (const TimeFrameValue &frame : standardTimeFrames())
        frames.append(frame.toString());
    m_ui->seriesView->setItemDelegateForColumn(SeriesItemsDataModel::TimeFrame,
                                               new ComboBoxDelegate(frames, m_ui->seriesView));
    openTimeFrameEditors();
    connect(m_series, &QAbstractItemModel::rowsInserted, this, &ItemsManager::openTimeFrameEditors);
    // The user's size when there is one; the first time, room for every column.
    DialogSize::restore(this, sizeGroup(), {m_ui->seriesView, m_ui->studiesView, m_ui->drawingsView});
    m_ui->seriesView->setFocus();

    connect(m_ui->seriesView, &QTreeView::doubleClicked, this, &ItemsManager::onSeriesDoubleClicked);
    for (QTreeView *other : {m_ui->studiesView, m_ui->drawingsView}) {
        connect(other, &QTreeView::doubleClicked, this, [this, other](const QModelIndex &index) {
            auto *model = static_cast<GraphicsItemsDataModel *>(other->model());
            // A double click on the check box is for the box.
            if (index.column() != model->visibilityColumn())
                showProperties(model, index.row());
        });
    }
    connect(m_ui->tabWidget, &QTabWidget::currentChanged, this, &ItemsManager::selectionChanged);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &ItemsManager::accept);
    selectionChanged();
}

ItemsManager::~ItemsManager() = default;

void ItemsManager::setUpView(QTreeView *view, GraphicsItemsDataModel *model)
{
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // One centred check box per row, toggled by a click in the cell or by Space on the row.
    view->setItemDelegateForColumn(model->visibilityColumn(), new CheckBoxDelegate(view));
    view->installEventFilter(this);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ItemsManager::selectionChanged);
    // A row that goes (deleted on the chart) may leave the buttons naming nothing.
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ItemsManager::selectionChanged);
}

bool ItemsManager::eventFilter(QObject *watched, QEvent *event)
{
    // Space (or Select) on a row shows or hides its item, whichever cell of the row is current.
    auto *view = qobject_cast<QTreeView *>(watched);
    if (view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = view->currentIndex();
        if ((key == Qt::Key_Space || key == Qt::Key_Select) && current.isValid()) {
            auto *model = static_cast<GraphicsItemsDataModel *>(view->model());
            const QModelIndex box = current.siblingAtColumn(model->visibilityColumn());
            const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            model->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ItemsManager::openTimeFrameEditors()
{
    for (int row = 0; row < m_series->rowCount(); ++row) {
        const QModelIndex index = m_series->index(row, SeriesItemsDataModel::TimeFrame);
        if (!m_ui->seriesView->isPersistentEditorOpen(index))
            m_ui->seriesView->openPersistentEditor(index);
    }
}

QTreeView *ItemsManager::currentView() const
{
    switch (m_ui->tabWidget->currentIndex()) {
    case StudiesTab:
        return m_ui->studiesView;
    case DrawingsTab:
        return m_ui->drawingsView;
    default:
        return m_ui->seriesView;
    }
}

GraphicsItemsDataModel *ItemsManager::currentModel() const
{
    return static_cast<GraphicsItemsDataModel *>(currentView()->model());
}

void ItemsManager::selectionChanged()
{
    const int tab = m_ui->tabWidget->currentIndex();
    const bool selected = currentView()->selectionModel()->hasSelection();
    m_ui->propertiesButton->setEnabled(selected);
    m_ui->delButton->setEnabled(selected && (tab != SeriesTab || m_series->rowCount() > 1));
    m_ui->addButton->setVisible(tab != DrawingsTab);
}

void ItemsManager::showProperties(GraphicsItemsDataModel *model, int row)
{
    QPointer<GraphicsItem> item = model->itemAt(row);
    if (!item || !m_view)
        return;
    QPointer<ItemsManager> self(this);
    m_view->changeItemProperties(item);
    if (!self)
        return;
    // Every row: a placement chosen in the dialog may move other items' areas.
    m_series->allChanged();
    m_studies->allChanged();
    m_drawings->allChanged();
}

void ItemsManager::on_propertiesButton_clicked()
{
    const QModelIndexList rows = currentView()->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        showProperties(currentModel(), rows.first().row());
}

void ItemsManager::onSeriesDoubleClicked(QModelIndex index)
{
    // A double click on the time-frame editor is for the editor, on the check box for the box.
    if (!index.isValid() || index.column() == SeriesItemsDataModel::TimeFrame
        || index.column() == SeriesItemsDataModel::Visibility)
        return;
    showProperties(m_series, index.row());
}

void ItemsManager::on_delButton_clicked()
{
    if (!m_ui->delButton->isEnabled())
        return;
    QTreeView *view = currentView();
    GraphicsItemsDataModel *model = currentModel();
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const int row = rows.first().row();
    QPointer<GraphicsItem> item = model->itemAt(row);
    if (!item)
        return;
    QPointer<ItemsManager> self(this);
    QPointer<ConfirmationDialog> dialog(new ConfirmationDialog(this));
    dialog->setWindowTitle(QStringLiteral("Внимание"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setText(item->deleteQuestion());
    dialog->setSettingsKey(confirmationKey());
    const int answer = dialog->exec();
    if (!self)
        return;
    delete dialog.data();
    // The item may have gone while the question was open.
    const int now = model->rowOf(item);
    if (answer == 0 || now < 0)
        return;
    model->removeRow(now);
    if (model->rowCount() > 0)
        selectRow(view, std::min(now, model->rowCount() - 1));
    selectionChanged();
}

void ItemsManager::selectRow(QTreeView *view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect
                                              | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void ItemsManager::on_addButton_clicked()
{
    if (!m_view)
        return;
    QPointer<ItemsManager> self(this);
    if (m_ui->tabWidget->currentIndex() == StudiesTab) {
        const QList<ChartItem *> added = m_view->addStudy(this);
        if (!self)
            return;
        m_studies->sync();
        if (!added.isEmpty() && m_studies->rowCount() > 0)
            selectRow(m_ui->studiesView, m_studies->rowCount() - 1);
    } else if (m_ui->tabWidget->currentIndex() == SeriesTab) {
        SeriesItem *series = m_view->addUnknownItem(this);
        if (!self)
            return;
        m_series->sync();
        if (series)
            m_series->allChanged();
    }
    selectionChanged();
}

void ItemsManager::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && m_ui->delButton->isEnabled()) {
        on_delButton_clicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ItemsManager::done(int result)
{
    DialogSize::remember(this, sizeGroup());
    QDialog::done(result);
}
