#include "record.h"

#include "rowdata_p.h"
#include "table.h"

#include <QDebug>

Record::Record() = default;

Record::Record(const Table *table)
{
    if (table)
        m_row = QExplicitlySharedDataPointer<RowData>(new RowData(table->schema()));
}

Record::Record(const Record &other) = default;
Record &Record::operator=(const Record &other) = default;
Record::~Record() = default;

const Table *Record::table() const
{
    return m_row ? m_row->schema->table : nullptr;
}

int Record::columnCount() const
{
    return m_row ? int(m_row->cells.size()) : 0;
}

Field Record::data(int column) const
{
    return Field(m_row, column);
}

Field Record::data(const QString &name) const
{
    const int column = m_row ? m_row->schema->byName.value(name, -1) : -1;
    if (column < 0 && m_row)
        qWarning() << "Record::data: no column" << name;
    return Field(m_row, column);
}

Record Record::clone() const
{
    Record copy;
    if (m_row)
        copy.m_row = QExplicitlySharedDataPointer<RowData>(new RowData(*m_row));
    return copy;
}
