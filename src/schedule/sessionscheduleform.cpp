#include "sessionscheduleform.h"

#include "boarddirectory.h"
#include "dialogsize.h"
#include "schedulestore.h"
#include "sessioneditform.h"
#include "sessionscheduledatamodel.h"
#include "stockdirectory.h"
#include "timeeditdelegate.h"
#include "ui_sessionscheduleform.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QStandardItemModel>
#include <QStyle>

namespace {

constexpr int StockRole = Qt::UserRole + 1;
constexpr int BoardRole = Qt::UserRole + 2;

// The mark of an item whose schedule was changed and not yet applied.
QIcon pencilIcon()
{
    static const QIcon icon = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(8, 8);
        p.rotate(45);
        p.setPen(QPen(QColor(0x2b, 0x34, 0x40), 1));
        p.setBrush(QColor(0xf5, 0x7c, 0x00));
        p.drawRect(QRectF(-2, -7, 4, 10));
        QPainterPath tip;
        tip.moveTo(-2, 3);
        tip.lineTo(2, 3);
        tip.lineTo(0, 7);
        tip.closeSubpath();
        p.setBrush(QColor(0xf2, 0xd8, 0xb0));
        p.drawPath(tip);
        return QIcon(pixmap);
    }();
    return icon;
}

} // namespace

SessionScheduleForm::SessionScheduleForm(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::SessionScheduleForm>())
    , m_tree(new QStandardItemModel(this))
    , m_schedule(new SessionScheduleDataModel(this))
{
    m_ui->setupUi(this);
    m_tree->setHorizontalHeaderLabels({tr("Площадка/режим")});
    m_ui->stockBoardView->setModel(m_tree);
    m_ui->scheduleView->setModel(m_schedule);
    auto *delegate = new TimeEditDelegate(this);
    m_ui->scheduleView->setItemDelegateForColumn(SessionScheduleDataModel::OpenTime, delegate);
    m_ui->scheduleView->setItemDelegateForColumn(SessionScheduleDataModel::CloseTime, delegate);
    m_ui->scheduleView->verticalHeader()->hide();
    m_ui->scheduleView->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_ui->scheduleView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ui->scheduleView->horizontalHeader()->setStretchLastSection(true);
    m_ui->splitter->setStretchFactor(1, 1);
    m_ui->splitter->setSizes({260, 540});
    connect(m_ui->stockBoardView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SessionScheduleForm::stockBoardSelectionChanged);
    connect(m_ui->scheduleView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SessionScheduleForm::checkSelection);
    connect(m_schedule, &SessionScheduleDataModel::scheduleChanged, this,
            &SessionScheduleForm::currScheduleChanged);
    connect(m_schedule, &QAbstractItemModel::modelReset, this, &SessionScheduleForm::checkSelection);
    checkSelection();
}

SessionScheduleForm::~SessionScheduleForm() = default;

void SessionScheduleForm::load(Settings &settings)
{
    fill(settings, StockDirectory::i()->ids(), -1);
}

void SessionScheduleForm::loadFor(Settings &settings, int stockId, int boardId)
{
    fill(settings, {stockId}, boardId);
    select(stockId, boardId);
}

void SessionScheduleForm::readEntry(Settings &settings, Entry &entry)
{
    const QString group = ScheduleStore::groupName(entry.stockCode, entry.boardCode);
    if (!settings.childGroups().contains(group))
        return;
    settings.beginGroup(group);
    try {
        entry.stored = loadSchedule(settings);
        entry.storedOwn = true;
        entry.own = true;
        entry.current = entry.stored;
    } catch (const QString &message) {
        // Keep the group as it is; the item shows why it cannot be used.
        entry.loadError = group + QStringLiteral(": ") + message;
        entry.raw = MapSettings(settings);
    }
    settings.endGroup();
}

void SessionScheduleForm::fill(Settings &settings, const QList<int> &stocks, int onlyBoard)
{
    m_entries.clear();
    m_items.clear();
    m_tree->removeRows(0, m_tree->rowCount());
    m_shown = {-1, -1};
    for (int stock : stocks) {
        Entry stockEntry;
        stockEntry.stock = stock;
        stockEntry.stockCode = StockDirectory::i()->codeById(stock);
        if (stockEntry.stockCode.isEmpty())
            continue;
        readEntry(settings, stockEntry);
        auto *stockItem = new QStandardItem(QStringLiteral("%1 — %2").arg(
            stockEntry.stockCode, StockDirectory::i()->nameById(stock)));
        stockItem->setData(stock, StockRole);
        stockItem->setData(0, BoardRole);
        m_tree->appendRow(stockItem);
        m_items.insert({stock, 0}, stockItem);
        m_entries.insert({stock, 0}, stockEntry);
        for (int board : BoardDirectory::i()->ids(stock)) {
            if (onlyBoard >= 0 && board != onlyBoard)
                continue;
            Entry boardEntry;
            boardEntry.stock = stock;
            boardEntry.board = board;
            boardEntry.stockCode = stockEntry.stockCode;
            boardEntry.boardCode = BoardDirectory::i()->codeById(stock, board);
            readEntry(settings, boardEntry);
            auto *boardItem = new QStandardItem(QStringLiteral("%1 — %2").arg(
                boardEntry.boardCode, BoardDirectory::i()->nameById(stock, board)));
            boardItem->setData(stock, StockRole);
            boardItem->setData(board, BoardRole);
            stockItem->appendRow(boardItem);
            m_items.insert({stock, board}, boardItem);
            m_entries.insert({stock, board}, boardEntry);
        }
    }
    m_ui->stockBoardView->expandAll();
    checkForDifference();
    if (m_tree->rowCount() > 0)
        m_ui->stockBoardView->setCurrentIndex(m_tree->index(0, 0));
    // Every board's name and every column of the sessions shown whole: the splitter and the
    // dialog do not squeeze the views below their columns' width.
    m_ui->stockBoardView->setMinimumWidth(DialogSize::widthForColumns(m_ui->stockBoardView));
    m_ui->scheduleView->setMinimumWidth(DialogSize::widthForColumns(m_ui->scheduleView));
}

void SessionScheduleForm::apply(Settings &settings) const
{
    const QStringList groups = settings.childGroups();
    for (const QString &group : groups) {
        if (ScheduleStore::isScheduleGroup(group))
            settings.remove(group);
    }
    for (const Entry &e : m_entries) {
        const QString group = ScheduleStore::groupName(e.stockCode, e.boardCode);
        if (e.own) {
            SettingsGroup scope(settings, group);
            saveSchedule(e.current, settings);
        } else if (!e.loadError.isEmpty() && !e.touched) {
            SettingsGroup scope(settings, group);
            settings.copyFrom(e.raw);
        }
    }
}

void SessionScheduleForm::applyShown(Settings &settings) const
{
    for (const Entry &e : m_entries) {
        const QString group = ScheduleStore::groupName(e.stockCode, e.boardCode);
        if (e.own) {
            settings.remove(group);
            SettingsGroup scope(settings, group);
            saveSchedule(e.current, settings);
        } else if (e.loadError.isEmpty() || e.touched) {
            settings.remove(group);
        }
    }
}

SessionList SessionScheduleForm::scheduleOf(int stockId, int boardId) const
{
    const auto it = m_entries.constFind({stockId, boardId});
    if (it != m_entries.cend() && it->own)
        return it->current;
    if (boardId != 0)
        return scheduleOf(stockId, 0);
    return defaultSchedule();
}

bool SessionScheduleForm::hasOwnSchedule(int stockId, int boardId) const
{
    return m_entries.value({stockId, boardId}).own;
}

bool SessionScheduleForm::isModified(int stockId, int boardId) const
{
    const Entry e = m_entries.value({stockId, boardId});
    if (e.own != e.storedOwn)
        return true;
    if (e.own && e.current != e.stored)
        return true;
    return !e.loadError.isEmpty() && e.touched;
}

bool SessionScheduleForm::isModified() const
{
    for (const Entry &e : m_entries) {
        if (isModified(e.stock, e.board))
            return true;
    }
    return false;
}

bool SessionScheduleForm::select(int stockId, int boardId)
{
    QStandardItem *item = m_items.value({stockId, boardId});
    if (!item)
        return false;
    m_ui->stockBoardView->setCurrentIndex(item->index());
    return true;
}

SessionScheduleForm::Key SessionScheduleForm::keyOf(const QModelIndex &index) const
{
    if (!index.isValid())
        return {-1, -1};
    return {index.data(StockRole).toInt(), index.data(BoardRole).toInt()};
}

SessionScheduleForm::Key SessionScheduleForm::currentKey() const
{
    return keyOf(m_ui->stockBoardView->currentIndex());
}

void SessionScheduleForm::stockBoardSelectionChanged()
{
    showSchedule(m_ui->stockBoardView->currentIndex());
}

void SessionScheduleForm::showSchedule(const QModelIndex &index, bool editable)
{
    m_shown = keyOf(index);
    m_editable = editable && m_entries.contains(m_shown);
    m_updating = true;
    m_schedule->setSessions(scheduleOf(m_shown.first, m_shown.second));
    m_updating = false;
    updateTitle();
    checkSelection();
}

void SessionScheduleForm::updateTitle()
{
    const Entry e = m_entries.value(m_shown);
    QString title;
    if (!m_entries.contains(m_shown))
        title.clear();
    else if (e.board == 0)
        title = e.own ? tr("Расписание площадки %1").arg(e.stockCode)
                      : tr("Расписание площадки %1 (по умолчанию)").arg(e.stockCode);
    else
        title = e.own ? tr("Собственное расписание режима %1").arg(e.boardCode)
                      : tr("Режим %1 следует расписанию площадки %2").arg(e.boardCode, e.stockCode);
    if (!e.loadError.isEmpty() && !e.touched)
        title += u'\n' + tr("Сохранённое расписание не читается: %1").arg(e.loadError);
    m_ui->scheduleTitle->setText(title);
}

void SessionScheduleForm::updateSelectedSchedule()
{
    showSchedule(m_ui->stockBoardView->currentIndex(), m_editable);
}

void SessionScheduleForm::checkSelection()
{
    const bool rowSelected = m_ui->scheduleView->selectionModel()->hasSelection();
    m_ui->addButton->setEnabled(m_editable);
    m_ui->editButton->setEnabled(m_editable && rowSelected);
    m_ui->delButton->setEnabled(m_editable && rowSelected);
    const Key key = currentKey();
    m_ui->applyToBoards->setEnabled(m_editable && key.first >= 0);
    m_ui->resetBoard->setEnabled(m_editable && key.second > 0
                                 && m_entries.value(key).own);
}

void SessionScheduleForm::editRow(int row)
{
    if (!m_editable || row < 0)
        return;
    SessionEditForm dialog(m_schedule, row, this);
    if (dialog.exec() == QDialog::Accepted)
        m_schedule->replaceSession(row, dialog.fields());
}

void SessionScheduleForm::on_addButton_clicked()
{
    if (!m_editable)
        return;
    SessionEditForm dialog(m_schedule, -1, this);
    if (dialog.exec() == QDialog::Accepted)
        m_schedule->addSession(dialog.fields());
}

void SessionScheduleForm::on_delButton_clicked()
{
    const QModelIndexList rows = m_ui->scheduleView->selectionModel()->selectedRows();
    if (m_editable && !rows.isEmpty())
        m_schedule->removeRows(rows.first().row(), 1);
}

void SessionScheduleForm::on_editButton_clicked()
{
    const QModelIndexList rows = m_ui->scheduleView->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        editRow(rows.first().row());
}

void SessionScheduleForm::on_scheduleView_activated(const QModelIndex &index)
{
    editRow(index.row());
}

void SessionScheduleForm::on_applyToBoards_clicked()
{
    const Key key = currentKey();
    if (key.first < 0)
        return;
    const SessionList shown = m_schedule->sessions();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->stock == key.first && it->board != 0) {
            it->own = true;
            it->current = shown;
            it->touched = true;
        }
    }
    checkForDifference();
    updateSelectedSchedule();
    Q_EMIT changed();
}

void SessionScheduleForm::on_resetBoard_clicked()
{
    const Key key = currentKey();
    auto it = m_entries.find(key);
    if (it == m_entries.end() || it->board == 0)
        return;
    it->own = false;
    it->current.clear();
    it->touched = true;
    checkForDifference();
    updateSelectedSchedule();
    Q_EMIT changed();
}

void SessionScheduleForm::checkForDifference()
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        QStandardItem *item = m_items.value(it.key());
        if (!item)
            continue;
        if (isModified(it->stock, it->board)) {
            item->setIcon(pencilIcon());
            item->setToolTip(tr("Расписание изменено"));
        } else if (!it->loadError.isEmpty()) {
            item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
            item->setToolTip(it->loadError);
        } else {
            item->setIcon(QIcon());
            item->setToolTip(QString());
        }
    }
}

void SessionScheduleForm::currScheduleChanged()
{
    if (m_updating)
        return;
    auto it = m_entries.find(m_shown);
    if (it == m_entries.end())
        return;
    // Editing an inherited schedule gives the board a schedule of its own.
    it->own = true;
    it->current = m_schedule->sessions();
    it->touched = true;
    checkForDifference();
    updateTitle();
    checkSelection();
    Q_EMIT changed();
}
