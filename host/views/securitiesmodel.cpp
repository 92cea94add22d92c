#include "securitiesmodel.h"

#include "boarddirectory.h"
#include "indexsort.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"

#include <QHash>

SecuritiesModel::SecuritiesModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    reload();
}

void SecuritiesModel::setChartOnly(bool chartOnly)
{
    if (chartOnly == m_chartOnly)
        return;
    m_chartOnly = chartOnly;
    reload();
}

void SecuritiesModel::reload()
{
    struct Raw
    {
        int stock;
        int board;
        Row row;
    };
    QList<Raw> raws;
    if (Table *table = SecurityDirectory::i()->table()) {
        TableLocker locker(table);
        const int stockColumn = table->columnIndex(QStringLiteral("stock_id"));
        const int boardColumn = table->columnIndex(QStringLiteral("board_id"));
        const int keyColumn = table->columnIndex(QStringLiteral("text_id"));
        const int codeColumn = table->columnIndex(QStringLiteral("sec_code"));
        const int nameColumn = table->columnIndex(QStringLiteral("sec_name"));
        const QList<Record> &records = table->masterIndex()->records();
        raws.reserve(records.size());
        for (const Record &r : records) {
            Raw raw { r.data(stockColumn).toInteger(), r.data(boardColumn).toInteger(), {} };
            raw.row.key = r.data(keyColumn).toString();
            raw.row.code = r.data(codeColumn).toString();
            raw.row.name = r.data(nameColumn).toString();
            raws.append(raw);
        }
    }

    // Board and stock names are looked up with the securities table unlocked: the
    // directories take their own tables' locks.
    BoardDirectory *boards = BoardDirectory::i();
    StockDirectory *stocks = StockDirectory::i();
    QHash<QPair<int, int>, QString> boardNames;
    QHash<QPair<int, int>, bool> boardCharts;
    QHash<int, QString> stockNames;
    QList<Row> rows;
    rows.reserve(raws.size());
    for (Raw &raw : raws) {
        const QPair<int, int> board(raw.stock, raw.board);
        if (!boardNames.contains(board)) {
            boardNames.insert(board, boards->nameById(raw.stock, raw.board));
            boardCharts.insert(board, boards->isChartById(raw.stock, raw.board));
        }
        if (m_chartOnly && !boardCharts.value(board))
            continue;
        if (!stockNames.contains(raw.stock))
            stockNames.insert(raw.stock, stocks->nameById(raw.stock));
        raw.row.boardName = boardNames.value(board);
        raw.row.stockName = stockNames.value(raw.stock);
        rows.append(raw.row);
    }

    beginResetModel();
    m_rows = rows;
    endResetModel();
}

int SecuritiesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SecuritiesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SecuritiesModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case CodeColumn:
            return row.code;
        case NameColumn:
            return row.name;
        case BoardColumn:
            return row.boardName;
        case StockColumn:
            return row.stockName;
        default:
            return {};
        }
    case KeyRole:
        return row.key;
    case SearchTextRole:
        // The separator keeps a filter from matching across the code and the name.
        return row.code + u'\n' + row.name;
    default:
        return {};
    }
}

QVariant SecuritiesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case CodeColumn:
        return tr("Код");
    case NameColumn:
        return tr("Название");
    case BoardColumn:
        return tr("Режим");
    case StockColumn:
        return tr("Рынок");
    default:
        return {};
    }
}

int SecuritiesModel::rowOf(const QString &key) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).key == key)
            return i;
    }
    return -1;
}
