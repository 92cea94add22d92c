#pragma once

#include "record.h"
#include "serieskey.h"

#include <QList>
#include <QString>

class QIODevice;
class Table;

// Reads a CSV file of trades with the header "moment,price,quantity,value,open_interest,
// nosystem" (moments as local "yyyy-MM-dd HH:mm:ss.zzz"; value, open interest and flag may be
// empty) into records of the deals table with the given instrument ids. False with
// "<path>:<line>: <what>" in *error at the first bad line; nothing is kept then.
bool readTrades(QIODevice &file, const QString &path, Table *deals, const SeriesKey &ids,
                QList<Record> *records, QString *error);
