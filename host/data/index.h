#pragma once

#include "hostdata_global.h"
#include "record.h"

#include <QList>

class Table;

// Base of the objects a table notifies of its changes. Every notification arrives on the
// writer's thread with the table's lock held.
class HOST_EXPORT Index
{
public:
    Index() = default;
    virtual ~Index();
    Index(const Index &) = delete;
    Index &operator=(const Index &) = delete;

    // The table the index is attached to, null when detached.
    Table *table() const { return m_table; }

    virtual void beginUpdate() {}
    // Before new records enter the table.
    virtual void preprocess(const QList<Record> &records) { Q_UNUSED(records) }
    // After new records entered the table; records are the new ones.
    virtual void process(const QList<Record> &records) { Q_UNUSED(records) }
    // A record of the table changed in the columns first..last.
    virtual void update(const Record &record, int firstColumn, int lastColumn)
    {
        Q_UNUSED(record) Q_UNUSED(firstColumn) Q_UNUSED(lastColumn)
    }
    virtual void endUpdate() {}
    // The table's content was replaced.
    virtual void rebuild() {}
    virtual void dependentBeginUpdate() {}
    virtual void dependentEndUpdate() {}

private:
    friend class Table;
    Table *m_table = nullptr;
};
