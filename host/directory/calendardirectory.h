#pragma once

#include "../data/datetime.h"
#include "../data/record.h"
#include "directorybase.h"

#include <QList>

// The exchange's trading calendar: the days that differ from an ordinary week, "date" (local
// midnight) and "is_trading" (a holiday on a weekday, or a working weekend day).
class HOST_EXPORT CalendarDirectory : public DirectoryBase
{
    Q_OBJECT
public:
    static CalendarDirectory *i();

    // Calendar records whose date lies in [from, to], ascending.
    QList<Record> range(const datetime &from, const datetime &to) const;
    datetime date(const Record &record) const;
    bool isTradingDay(const Record &record) const;

private:
    CalendarDirectory();
};
