#pragma once

#include "hostdata_global.h"
#include "record.h"

#include <QList>
#include <QString>

class Table;

// A key over some columns of a table: compares records by those columns, in order, and turns
// a key into text and back ("v1,v2,v3").
class HOST_EXPORT MasterIndex_Column_Pure
{
public:
    MasterIndex_Column_Pure() = default;
    MasterIndex_Column_Pure(const Table *table, const QList<int> &columns);

    const Table *table() const { return m_table; }
    QList<int> columns() const { return m_columns; }

    // -1, 0 or 1 comparing the key columns of a and b; with prefix > 0 only the first prefix
    // columns count.
    int compare(const Record &a, const Record &b, int prefix = -1) const;
    QString toText(const Record &record) const;
    // Fills the key columns of record from text made by toText; false when the text has the
    // wrong number of parts or a part does not convert (the record is then unchanged).
    bool fromText(const QString &text, Record &record) const;

private:
    const Table *m_table = nullptr;
    QList<int> m_columns;
};
