#pragma once

#include "field.h"
#include "hostdata_global.h"
#include "record.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <mutex>

class Index;
class IndexSort;
class TableSchema;

// A table of records with typed columns, a lock and attached indexes. Readers hold a
// TableLocker while they read records or walk an index; the writing operations below take the
// lock themselves and notify every attached index under it, on the writer's thread.
class HOST_EXPORT Table : public QObject
{
    Q_OBJECT
public:
    struct Column
    {
        QString name;
        FieldType type;
    };

    // keyColumns name the columns the master index is sorted by.
    Table(const QString &name, const QList<Column> &columns, const QStringList &keyColumns,
          QObject *parent = nullptr);
    ~Table() override;

    QString name() const { return m_name; }
    int columnCount() const;
    // -1 when the table has no such column.
    int columnIndex(const QString &name) const;
    QString columnName(int column) const;
    FieldType columnType(int column) const;
    QList<int> keyColumns() const { return m_keyColumns; }

    // All records, sorted by the key columns (records with equal keys in insertion order).
    IndexSort *masterIndex() const { return m_master.get(); }
    int recordCount() const;

    void addIndex(Index *index);
    void removeIndex(Index *index);
    // Indexes of a dependent table hear dependentBeginUpdate/EndUpdate around this table's
    // changes.
    void addDependent(Table *table);

    // Appends records made with Record(this): preprocess, master index, then process() of
    // every attached index with the new records, all under the lock.
    void append(const QList<Record> &records);
    void append(const Record &record) { append(QList<Record>{record}); }
    // Writes values into a record of this table and reports the changed column range to the
    // attached indexes. Returns false (nothing written) when a value does not convert.
    bool update(const Record &record, const QList<QPair<int, QVariant>> &values,
                QString *error = nullptr);
    // Replaces the whole content; attached indexes are rebuilt.
    void reset(const QList<Record> &records);

    // A standard recursive mutex, so that thread checkers see the table's locking.
    std::recursive_mutex *mutex() const { return &m_mutex; }
    std::shared_ptr<const TableSchema> schema() const { return m_schema; }

Q_SIGNALS:
    // Emitted on the writer's thread after a change, with the lock released.
    void changed();

private:
    void beginDependents();
    void endDependents();

    QString m_name;
    std::shared_ptr<const TableSchema> m_schema;
    QList<int> m_keyColumns;
    std::unique_ptr<IndexSort> m_master;
    QList<Index *> m_indexes;
    QList<Table *> m_dependents;
    mutable std::recursive_mutex m_mutex;
};

// Holds a table's lock for its lifetime. A null table is allowed and locks nothing.
class HOST_EXPORT TableLocker
{
public:
    explicit TableLocker(const Table *table);
    ~TableLocker();
    TableLocker(const TableLocker &) = delete;
    TableLocker &operator=(const TableLocker &) = delete;

private:
    const Table *m_table;
};
