#include "calendardirectory.h"

#include "../data/indexsort.h"
#include "../data/table.h"

CalendarDirectory::CalendarDirectory()
    : DirectoryBase(QStringLiteral("calendar"))
{
}

CalendarDirectory *CalendarDirectory::i()
{
    static CalendarDirectory *const instance = new CalendarDirectory;
    return instance;
}

QList<Record> CalendarDirectory::range(const datetime &from, const datetime &to) const
{
    QList<Record> result;
    Table *t = table();
    TableLocker locker(t);
    if (!t || from.isNull() || to.isNull() || to < from)
        return result;
    Record key(t);
    key.data(QStringLiteral("date")).setValue(QVariant::fromValue(from));
    IndexSort *index = t->masterIndex();
    const int dateColumn = t->columnIndex(QStringLiteral("date"));
    for (int i = index->search(key); i < index->count(); ++i) {
        const Record r = index->at(i);
        if (r.data(dateColumn).toDatetime() > to)
            break;
        result.append(r);
    }
    return result;
}

datetime CalendarDirectory::date(const Record &record) const
{
    return record.data(QStringLiteral("date")).toDatetime();
}

bool CalendarDirectory::isTradingDay(const Record &record) const
{
    return record.data(QStringLiteral("is_trading")).toBool();
}
