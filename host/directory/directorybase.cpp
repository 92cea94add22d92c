#include "directorybase.h"

#include "../data/table.h"
#include "../data/tableregistry.h"

DirectoryBase::DirectoryBase(const QString &tableName)
    : m_tableName(tableName)
{
}

Table *DirectoryBase::table() const
{
    Table *current = TableRegistry::instance()->table(m_tableName);
    QMutexLocker locker(&m_mutex);
    if (current != m_bound) {
        // The host replaced the table (a reload of the reference data): follow the new one.
        if (m_bound)
            QObject::disconnect(m_bound, &Table::changed, this, &DirectoryBase::dataChanged);
        m_bound = current;
        if (current)
            QObject::connect(current, &Table::changed, this, &DirectoryBase::dataChanged,
                             Qt::DirectConnection);
    }
    return current;
}
