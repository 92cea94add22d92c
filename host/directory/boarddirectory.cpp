#include "boarddirectory.h"

#include "../data/indexsort.h"
#include "../data/table.h"

BoardDirectory::BoardDirectory()
    : DirectoryBase(QStringLiteral("boards"))
{
}

BoardDirectory *BoardDirectory::i()
{
    static BoardDirectory *const instance = new BoardDirectory;
    return instance;
}

namespace {

Record findBoard(Table *t, int stockId, int boardId)
{
    Record key(t);
    key.data(QStringLiteral("stock_id")) = stockId;
    key.data(QStringLiteral("board_id")) = boardId;
    return t->masterIndex()->find(key);
}

} // namespace

QString BoardDirectory::text(int stockId, int boardId, const char *column) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return {};
    return findBoard(t, stockId, boardId).data(QLatin1String(column)).toString();
}

bool BoardDirectory::flag(int stockId, int boardId, const char *column) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return false;
    const Record r = findBoard(t, stockId, boardId);
    return !r.isNull() && r.data(QLatin1String(column)).toBool();
}

QString BoardDirectory::codeById(int stockId, int boardId) const
{
    return text(stockId, boardId, "board_code");
}

QString BoardDirectory::codeHdxById(int stockId, int boardId) const
{
    return text(stockId, boardId, "board_code_hdx");
}

QString BoardDirectory::nameById(int stockId, int boardId) const
{
    return text(stockId, boardId, "board_name");
}

QList<int> BoardDirectory::ids(int stockId) const
{
    QList<int> result;
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return result;
    Record key(t);
    key.data(QStringLiteral("stock_id")) = stockId;
    IndexSort *index = t->masterIndex();
    const int boardColumn = t->columnIndex(QStringLiteral("board_id"));
    const int first = index->searchFull(key, 1);
    if (first < 0)
        return result;
    const int last = index->searchLast(key, 1);
    for (int i = first; i <= last; ++i)
        result.append(index->at(i).data(boardColumn).toInteger());
    return result;
}

bool BoardDirectory::isChartById(int stockId, int boardId) const
{
    return flag(stockId, boardId, "is_chart");
}

bool BoardDirectory::isIndexById(int stockId, int boardId) const
{
    return flag(stockId, boardId, "is_index");
}

bool BoardDirectory::isProxyById(int stockId, int boardId) const
{
    return flag(stockId, boardId, "is_proxy");
}
