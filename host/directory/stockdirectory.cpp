#include "stockdirectory.h"

#include "../data/indexsort.h"
#include "../data/table.h"

StockDirectory::StockDirectory()
    : DirectoryBase(QStringLiteral("stocks"))
{
}

StockDirectory *StockDirectory::i()
{
    // Deliberately never deleted: directories outlive every user, including static ones.
    static StockDirectory *const instance = new StockDirectory;
    return instance;
}

namespace {

Record findStock(Table *t, int stockId)
{
    Record key(t);
    key.data(QStringLiteral("stock_id")) = stockId;
    return t->masterIndex()->find(key);
}

} // namespace

QString StockDirectory::codeById(int stockId) const
{
    Table *t = table();
    TableLocker locker(t);
    return t ? findStock(t, stockId).data(QStringLiteral("stock_code")).toString() : QString();
}

QString StockDirectory::nameById(int stockId) const
{
    Table *t = table();
    TableLocker locker(t);
    return t ? findStock(t, stockId).data(QStringLiteral("stock_name")).toString() : QString();
}

QList<int> StockDirectory::ids() const
{
    QList<int> result;
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return result;
    const int column = t->columnIndex(QStringLiteral("stock_id"));
    for (const Record &r : t->masterIndex()->records())
        result.append(r.data(column).toInteger());
    return result;
}
