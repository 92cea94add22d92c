#include "graphicsitemsdatamodel.h"

#include "drawingitem.h"
#include "multiview.h"
#include "parentscaleitem.h"
#include "scriptstudyitem.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "seriesitem.h"
#include "subchartwidget.h"
#include "timeframevalue.h"

namespace {

// What an item's check box shows. A drawing is hidden with its scale while its series is
// hidden: its box shows whether the drawing itself is to be shown.
bool isChecked(const GraphicsItem *item)
{
    if (const auto *drawing = qobject_cast<const DrawingItem *>(item))
        return drawing->isShownByItself();
    return item->isVisible();
}

} // namespace

GraphicsItemsDataModel::GraphicsItemsDataModel(MultiView *view, const QStringList &headers,
                                               int visibilityColumn, QObject *parent)
    : QAbstractItemModel(parent)
    , m_visibilityColumn(visibilityColumn)
    , m_view(view)
    , m_headers(headers)
{
    if (view) {
        // Items come and go with these: a new item, a deleted one, a moved one.
        connect(view, &MultiView::currItemChanged, this, &GraphicsItemsDataModel::sync);
        connect(view, &MultiView::drawingAdded, this, &GraphicsItemsDataModel::sync);
        connect(view, &MultiView::itemAdded, this, &GraphicsItemsDataModel::sync);
    }
}

GraphicsItemsDataModel::~GraphicsItemsDataModel() = default;

void GraphicsItemsDataModel::append(GraphicsItem *item)
{
    beginInsertRows({}, int(m_items.size()), int(m_items.size()));
    m_items.append(item);
    connect(item, &QObject::destroyed, this, &GraphicsItemsDataModel::itemRemoved,
            Qt::UniqueConnection);
    endInsertRows();
}

void GraphicsItemsDataModel::sync()
{
    const QList<GraphicsItem *> now = m_view ? listed() : QList<GraphicsItem *>();
    for (int row = int(m_items.size()) - 1; row >= 0; --row) {
        if (!m_items.at(row) || !now.contains(m_items.at(row).data())) {
            beginRemoveRows({}, row, row);
            if (m_items.at(row))
                disconnect(m_items.at(row), nullptr, this, nullptr);
            m_items.removeAt(row);
            endRemoveRows();
        }
    }
    for (GraphicsItem *item : now) {
        if (rowOf(item) < 0)
            append(item);
    }
}

void GraphicsItemsDataModel::itemRemoved(QObject *obj)
{
    for (int row = 0; row < m_items.size(); ++row) {
        // The guard is already cleared while the item is being destroyed.
        if (!m_items.at(row) || m_items.at(row).data() == obj) {
            beginRemoveRows({}, row, row);
            m_items.removeAt(row);
            endRemoveRows();
            --row;
        }
    }
}

GraphicsItem *GraphicsItemsDataModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row).data() : nullptr;
}

int GraphicsItemsDataModel::rowOf(const GraphicsItem *item) const
{
    for (int row = 0; row < m_items.size(); ++row) {
        if (item && m_items.at(row).data() == item)
            return row;
    }
    return -1;
}

QList<GraphicsItem *> GraphicsItemsDataModel::items() const
{
    QList<GraphicsItem *> list;
    for (const QPointer<GraphicsItem> &item : m_items) {
        if (item)
            list.append(item.data());
    }
    return list;
}

QModelIndex GraphicsItemsDataModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex GraphicsItemsDataModel::parent(const QModelIndex &) const
{
    return {};
}

int GraphicsItemsDataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int GraphicsItemsDataModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant GraphicsItemsDataModel::headerData(int section, Qt::Orientation orientation,
                                            int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < m_headers.size())
        return m_headers.at(section);
    return {};
}

Qt::Alignment GraphicsItemsDataModel::alignment(int column) const
{
    if (m_centred.contains(column))
        return Qt::AlignHCenter | Qt::AlignVCenter;
    if (m_left.contains(column))
        return Qt::AlignLeft | Qt::AlignVCenter;
    return {};
}

QVariant GraphicsItemsDataModel::data(const QModelIndex &index, int role) const
{
    GraphicsItem *item = index.isValid() ? itemAt(index.row()) : nullptr;
    if (!item)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == m_visibilityColumn ? QVariant(QString()) : cellText(item, column);
    case Qt::EditRole:
        if (column == m_visibilityColumn)
            return isChecked(item);
        {
            const QVariant edit = cellEdit(item, column);
            return edit.isValid() ? edit : cellText(item, column);
        }
    case Qt::CheckStateRole:
        if (column == m_visibilityColumn)
            return isChecked(item) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole: {
        const Qt::Alignment align = alignment(column);
        return align ? QVariant(int(align)) : QVariant();
    }
    default:
        return {};
    }
}

Qt::ItemFlags GraphicsItemsDataModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | extraFlags(index.column());
    if (index.column() == m_visibilityColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool GraphicsItemsDataModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    GraphicsItem *item = index.isValid() ? itemAt(index.row()) : nullptr;
    if (!item)
        return false;
    if (index.column() == m_visibilityColumn
        && (role == Qt::CheckStateRole || role == Qt::EditRole)) {
        // A check state from a view, a bool from the check-box delegate.
        const bool visible = role == Qt::CheckStateRole
                                 ? value.toInt() == Qt::Checked
                                 : value.toBool();
        if (auto *chart = qobject_cast<ChartItem *>(item))
            chart->setItemVisible(visible);
        else
            item->setVisible(visible);
        // The placement of every row may change: a scale may now show other names.
        allChanged();
        return true;
    }
    if (role == Qt::EditRole && setCell(item, index.column(), value)) {
        rowChanged(index.row());
        return true;
    }
    return false;
}

bool GraphicsItemsDataModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > m_items.size())
        return false;
    QList<QPointer<GraphicsItem>> removed;
    beginRemoveRows({}, row, row + count - 1);
    for (int i = 0; i < count; ++i) {
        QPointer<GraphicsItem> item = m_items.takeAt(row);
        if (item)
            disconnect(item, nullptr, this, nullptr);
        removed.append(item);
    }
    endRemoveRows();
    for (const QPointer<GraphicsItem> &item : removed) {
        if (item)
            item->deleteItem();
    }
    return true;
}

void GraphicsItemsDataModel::rowChanged(int row)
{
    if (row >= 0 && row < rowCount())
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void GraphicsItemsDataModel::allChanged()
{
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

QString GraphicsItemsDataModel::placementText(GraphicsItem *item) const
{
    if (!item->isVisible() || !m_view)
        return QStringLiteral("Скрыт");
    const int place = int(m_view->subCharts().indexOf(SubChartWidget::of(item)));
    return place < 0 ? QStringLiteral("Скрыт") : QStringLiteral("Область %1").arg(place + 1);
}

// --- series ---------------------------------------------------------------------------------

SeriesItemsDataModel::SeriesItemsDataModel(MultiView *view, QObject *parent)
    : GraphicsItemsDataModel(view,
                             {QStringLiteral("Имя"), QStringLiteral("Инструмент"),
                              QStringLiteral("Видимость"), QStringLiteral("Таймфрейм"),
                              QStringLiteral("Дней назад"), QStringLiteral("От даты"),
                              QStringLiteral("Расположение")},
                             Visibility, parent)
{
    m_centred = {Visibility, DaysBack, FromDate};
    m_left = {Name, Placement};
    sync();
}

QList<GraphicsItem *> SeriesItemsDataModel::listed() const
{
    QList<GraphicsItem *> list;
    for (SeriesItem *series : multiView()->seriesItems())
        list.append(series);
    return list;
}

QVariant SeriesItemsDataModel::cellText(GraphicsItem *item, int column) const
{
    auto *series = static_cast<SeriesItem *>(item);
    SeriesDataModel *model = series->model();
    switch (column) {
    case Name:
        return series->displayName();
    case Instrument: {
        const SeriesKey key = model->seriesKey();
        return SecurityDirectory::i()->nameById(key.stock_id, key.board_id, key.sec_id);
    }
    case TimeFrame:
        return model->timeFrame().toString();
    case DaysBack:
        return int(model->dateFrom().daysTo(model->dateTo())) + 1;
    case FromDate:
        return model->dateTo();
    case Placement:
        return placementText(item);
    default:
        return {};
    }
}

QVariant SeriesItemsDataModel::cellEdit(GraphicsItem *item, int column) const
{
    if (column != TimeFrame)
        return {};
    return int(standardTimeFrames().indexOf(static_cast<SeriesItem *>(item)->model()->timeFrame()));
}

bool SeriesItemsDataModel::setCell(GraphicsItem *item, int column, const QVariant &value)
{
    if (column != TimeFrame || !multiView())
        return false;
    TimeFrameValue frame;
    try {
        frame = TimeFrameValue::fromString(value.toString());
    } catch (const QString &) {
        return false;
    }
    // The tool bar's path: the scroll position is kept and the indicators follow once.
    return multiView()->setSeriesTimeFrame(static_cast<SeriesItem *>(item), frame);
}

Qt::ItemFlags SeriesItemsDataModel::extraFlags(int column) const
{
    return column == TimeFrame ? Qt::ItemIsEditable : Qt::ItemFlags();
}

// --- indicators -----------------------------------------------------------------------------

StudyItemsDataModel::StudyItemsDataModel(MultiView *view, QObject *parent)
    : GraphicsItemsDataModel(view,
                             {QStringLiteral("Имя"), QStringLiteral("Индикатор"),
                              QStringLiteral("Видимость"), QStringLiteral("Расположение"),
                              QStringLiteral("Серия")},
                             Visibility, parent)
{
    m_centred = {Visibility};
    m_left = {Name, Placement};
    sync();
}

QList<GraphicsItem *> StudyItemsDataModel::listed() const
{
    QList<GraphicsItem *> list;
    for (SubChartWidget *subChart : multiView()->subCharts()) {
        for (ChartItem *study : subChart->studies())
            list.append(study);
    }
    return list;
}

QVariant StudyItemsDataModel::cellText(GraphicsItem *item, int column) const
{
    auto *chart = static_cast<ChartItem *>(item);
    auto *study = qobject_cast<ScriptStudyItem *>(chart);
    switch (column) {
    case Name:
        return chart->displayName();
    case Study:
        return study ? study->fileName() : QString();
    case Placement:
        return placementText(item);
    case Series: {
        SeriesItem *series = study ? study->seriesItem() : nullptr;
        if (!series)
            return QString();
        return QStringLiteral("%1, %2").arg(series->displayName(),
                                            series->model()->timeFrame().toString());
    }
    default:
        return {};
    }
}

// --- drawings -------------------------------------------------------------------------------

DrawingItemsDataModel::DrawingItemsDataModel(MultiView *view, QObject *parent)
    : GraphicsItemsDataModel(view,
                             {QStringLiteral("Тип"), QStringLiteral("Видимость"),
                              QStringLiteral("Ось"), QStringLiteral("Расположение")},
                             Visibility, parent)
{
    m_centred = {Visibility};
    m_left = {Placement};
    sync();
}

QList<GraphicsItem *> DrawingItemsDataModel::listed() const
{
    QList<GraphicsItem *> list;
    for (SubChartWidget *subChart : multiView()->subCharts()) {
        for (DrawingItem *drawing : subChart->drawings())
            list.append(drawing);
    }
    return list;
}

QVariant DrawingItemsDataModel::cellText(GraphicsItem *item, int column) const
{
    auto *drawing = static_cast<DrawingItem *>(item);
    switch (column) {
    case Type:
        return drawing->typeName();
    case Axis: {
        auto *scale = qobject_cast<ParentScaleItem *>(drawing->parentChartItem());
        return scale ? scale->label() : QString();
    }
    case Placement:
        return placementText(item);
    default:
        return {};
    }
}
