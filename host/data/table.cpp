#include "table.h"

#include "indexsort.h"
#include "rowdata_p.h"

#include <QDebug>

Table::Table(const QString &name, const QList<Column> &columns, const QStringList &keyColumns,
             QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    auto schema = std::make_shared<TableSchema>();
    schema->table = this;
    for (const Column &c : columns) {
        TableSchema::Column sc{c.name, c.type};
        if (c.type == FieldType::String)
            sc.stringSlot = schema->stringCount++;
        schema->byName.insert(c.name, int(schema->columns.size()));
        schema->columns.append(sc);
    }
    m_schema = schema;
    for (const QString &key : keyColumns) {
        const int column = columnIndex(key);
        if (column < 0)
            qWarning() << "Table::Table:" << name << "has no key column" << key;
        else
            m_keyColumns.append(column);
    }
    m_master = std::make_unique<IndexSort>(MasterIndex_Column_Pure(this, m_keyColumns));
}

Table::~Table()
{
    TableLocker locker(this);
    for (Index *index : std::as_const(m_indexes))
        index->m_table = nullptr;
}

int Table::columnCount() const
{
    return int(m_schema->columns.size());
}

int Table::columnIndex(const QString &name) const
{
    return m_schema->byName.value(name, -1);
}

QString Table::columnName(int column) const
{
    return column >= 0 && column < columnCount() ? m_schema->columns.at(column).name : QString();
}

FieldType Table::columnType(int column) const
{
    return column >= 0 && column < columnCount() ? m_schema->columns.at(column).type
                                                  : FieldType::String;
}

int Table::recordCount() const
{
    TableLocker locker(this);
    return m_master->count();
}

void Table::addIndex(Index *index)
{
    if (!index)
        return;
    TableLocker locker(this);
    if (m_indexes.contains(index))
        return;
    if (index->m_table && index->m_table != this)
        index->m_table->removeIndex(index);
    index->m_table = this;
    m_indexes.append(index);
}

void Table::removeIndex(Index *index)
{
    TableLocker locker(this);
    if (m_indexes.removeOne(index))
        index->m_table = nullptr;
}

void Table::addDependent(Table *table)
{
    TableLocker locker(this);
    if (table && table != this && !m_dependents.contains(table))
        m_dependents.append(table);
}

void Table::beginDependents()
{
    for (Table *dependent : std::as_const(m_dependents)) {
        TableLocker locker(dependent);
        for (Index *index : std::as_const(dependent->m_indexes))
            index->dependentBeginUpdate();
    }
}

void Table::endDependents()
{
    for (Table *dependent : std::as_const(m_dependents)) {
        TableLocker locker(dependent);
        for (Index *index : std::as_const(dependent->m_indexes))
            index->dependentEndUpdate();
    }
}

void Table::append(const QList<Record> &records)
{
    QList<Record> accepted;
    accepted.reserve(records.size());
    for (const Record &record : records) {
        if (record.isNull() || record.table() != this) {
            qWarning() << "Table::append:" << m_name << "refuses a record of another table";
            continue;
        }
        accepted.append(record);
    }
    if (accepted.isEmpty())
        return;
    {
        TableLocker locker(this);
        beginDependents();
        // Copy: an index may detach itself while it is notified.
        const QList<Index *> indexes = m_indexes;
        for (Index *index : indexes)
            index->beginUpdate();
        for (Index *index : indexes)
            index->preprocess(accepted);
        m_master->process(accepted);
        for (Index *index : indexes)
            index->process(accepted);
        for (Index *index : indexes)
            index->endUpdate();
        endDependents();
    }
    Q_EMIT changed();
}

bool Table::update(const Record &record, const QList<QPair<int, QVariant>> &values,
                   QString *error)
{
    if (record.isNull() || record.table() != this)
        return false;
    {
        TableLocker locker(this);
        // Convert everything first so that a bad value leaves the record untouched.
        QList<QPair<int, QVariant>> converted;
        int first = columnCount();
        int last = -1;
        for (const auto &[column, value] : values) {
            if (column < 0 || column >= columnCount()) {
                if (error)
                    *error = QStringLiteral("%1: no column %2").arg(m_name).arg(column);
                return false;
            }
            QVariant v;
            if (value.isValid() && !value.isNull()) {
                v = variant_convert(value, columnType(column));
                if (!v.isValid()) {
                    if (error)
                        *error = QStringLiteral("%1.%2: \"%3\" is not a valid %4")
                                     .arg(m_name, columnName(column), value.toString(),
                                          fieldTypeName(columnType(column)));
                    return false;
                }
            }
            converted.append({column, v});
            first = qMin(first, column);
            last = qMax(last, column);
        }
        if (converted.isEmpty())
            return true;
        beginDependents();
        const QList<Index *> indexes = m_indexes;
        for (Index *index : indexes)
            index->beginUpdate();
        for (const auto &[column, value] : std::as_const(converted))
            record.data(column).setValue(value);
        m_master->update(record, first, last);
        for (Index *index : indexes)
            index->update(record, first, last);
        for (Index *index : indexes)
            index->endUpdate();
        endDependents();
    }
    Q_EMIT changed();
    return true;
}

void Table::reset(const QList<Record> &records)
{
    {
        TableLocker locker(this);
        beginDependents();
        m_master->clear();
        QList<Record> accepted;
        for (const Record &record : records) {
            if (!record.isNull() && record.table() == this)
                accepted.append(record);
        }
        m_master->process(accepted);
        const QList<Index *> indexes = m_indexes;
        for (Index *index : indexes)
            index->rebuild();
        endDependents();
    }
    Q_EMIT changed();
}

TableLocker::TableLocker(const Table *table)
    : m_table(table)
{
    if (m_table)
        m_table->mutex()->lock();
}

TableLocker::~TableLocker()
{
    if (m_table)
        m_table->mutex()->unlock();
}
