#include "masterindex_column_pure.h"

#include "table.h"

MasterIndex_Column_Pure::MasterIndex_Column_Pure(const Table *table, const QList<int> &columns)
    : m_table(table)
    , m_columns(columns)
{
}

int MasterIndex_Column_Pure::compare(const Record &a, const Record &b, int prefix) const
{
    const qsizetype n = prefix > 0 ? qMin<qsizetype>(prefix, m_columns.size()) : m_columns.size();
    for (qsizetype i = 0; i < n; ++i) {
        const int column = m_columns.at(i);
        const int c = a.data(column).compare(b.data(column));
        if (c != 0)
            return c;
    }
    return 0;
}

QString MasterIndex_Column_Pure::toText(const Record &record) const
{
    QStringList parts;
    parts.reserve(m_columns.size());
    for (int column : m_columns)
        parts.append(record.data(column).toString());
    return parts.join(u',');
}

bool MasterIndex_Column_Pure::fromText(const QString &text, Record &record) const
{
    const QStringList parts = text.split(u',');
    if (parts.size() != m_columns.size() || record.isNull())
        return false;
    Record scratch = record.clone();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts.at(i).isEmpty() || !scratch.data(m_columns.at(i)).setValue(parts.at(i)))
            return false;
    }
    for (int column : m_columns)
        record.data(column).setValue(scratch.data(column).toVariant());
    return true;
}
