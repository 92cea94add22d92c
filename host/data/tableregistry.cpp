#include "tableregistry.h"

#include "table.h"

TableRegistry *TableRegistry::instance()
{
    static TableRegistry registry;
    return &registry;
}

TableRegistry::~TableRegistry()
{
    clear();
}

void TableRegistry::addTable(Table *table)
{
    if (!table)
        return;
    Table *old = nullptr;
    {
        QMutexLocker locker(&m_mutex);
        old = m_tables.value(table->name());
        m_tables.insert(table->name(), table);
    }
    if (old != table)
        delete old;
}

Table *TableRegistry::table(const QString &name) const
{
    QMutexLocker locker(&m_mutex);
    return m_tables.value(name);
}

QStringList TableRegistry::names() const
{
    QMutexLocker locker(&m_mutex);
    QStringList result = m_tables.keys();
    result.sort();
    return result;
}

void TableRegistry::clear()
{
    QHash<QString, Table *> tables;
    {
        QMutexLocker locker(&m_mutex);
        tables.swap(m_tables);
    }
    qDeleteAll(tables);
}
