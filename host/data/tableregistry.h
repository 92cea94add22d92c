#pragma once

#include "hostdata_global.h"

#include <QHash>
#include <QMutex>
#include <QString>

class Table;

// The host's tables by name, alive until the process ends or the registry is cleared.
class HOST_EXPORT TableRegistry
{
public:
    static TableRegistry *instance();

    // Takes ownership; a table of the same name is replaced (and deleted).
    void addTable(Table *table);
    Table *table(const QString &name) const;
    QStringList names() const;
    // Deletes every table (tests and shutdown).
    void clear();

private:
    TableRegistry() = default;
    ~TableRegistry();
    mutable QMutex m_mutex;
    QHash<QString, Table *> m_tables;
};
