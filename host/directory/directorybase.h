#pragma once

#include "../data/hostdata_global.h"

#include <QMutex>
#include <QObject>
#include <QPointer>

class Table;

// Common part of the directories: the host table they read, found by name, and dataChanged()
// whenever that table changes (emitted on the thread that changed it).
class HOST_EXPORT DirectoryBase : public QObject
{
    Q_OBJECT
public:
    Table *table() const;
    QString tableName() const { return m_tableName; }

Q_SIGNALS:
    void dataChanged();

protected:
    explicit DirectoryBase(const QString &tableName);

private:
    QString m_tableName;
    mutable QMutex m_mutex;
    mutable QPointer<Table> m_bound;
};
