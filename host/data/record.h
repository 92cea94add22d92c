#pragma once

#include "field.h"
#include "hostdata_global.h"

#include <QExplicitlySharedDataPointer>
#include <QList>

class Table;
class TableSchema;

// A handle to one row. Copies share the row: a record kept by an index or a caller sees the
// table's later updates of that row. A record made with Record(table) is a new, detached row
// of the table's layout, typically used as a search key or filled before Table::append.
class HOST_EXPORT Record
{
public:
    Record();
    explicit Record(const Table *table);
    Record(const Record &other);
    Record &operator=(const Record &other);
    ~Record();

    bool isNull() const { return !m_row; }
    const Table *table() const;
    int columnCount() const;

    Field data(int column) const;
    // An unknown name is reported with qWarning and reads as a null field of column -1.
    Field data(const QString &name) const;

    // Same row (identity, not value equality).
    bool operator==(const Record &other) const { return m_row == other.m_row; }
    bool operator!=(const Record &other) const { return m_row != other.m_row; }

    // A detached copy of the values.
    Record clone() const;

private:
    friend class Field;
    friend class Table;
    QExplicitlySharedDataPointer<RowData> m_row;
};
