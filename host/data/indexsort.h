#pragma once

#include "hostdata_global.h"
#include "index.h"
#include "masterindex_column_pure.h"

#include <QList>

// A list of records that can be read by position.
class HOST_EXPORT IndexList
{
public:
    virtual ~IndexList();
    int count() const { return int(m_records.size()); }
    bool isEmpty() const { return m_records.isEmpty(); }
    Record at(int i) const { return m_records.at(i); }
    const QList<Record> &records() const { return m_records; }

protected:
    QList<Record> m_records;
};

// Records kept sorted by a key. Attached to a table it follows the table's appends and
// updates; accepts() decides which records it holds.
class HOST_EXPORT IndexSort : public Index, public IndexList
{
public:
    explicit IndexSort(const MasterIndex_Column_Pure &key);

    const MasterIndex_Column_Pure &key() const { return m_key; }

    // Which records of the table the index holds; all by default.
    virtual bool accepts(const Record &record) const;

    // Inserts after the records with an equal key.
    void add(const Record &record);
    // Takes every accepted record of the attached table and sorts.
    void build();
    // First record whose key equals the key record, or a null record.
    Record find(const Record &key, int prefix = -1) const;
    // Position of the first record whose key is not less than the key record (count() when
    // none).
    int search(const Record &key, int prefix = -1) const;
    // Position of the first / last record with an equal key, or -1.
    int searchFull(const Record &key, int prefix = -1) const;
    int searchLast(const Record &key, int prefix = -1) const;
    // Position of that very record, or -1.
    int indexOf(const Record &record) const;
    void move(int from, int to);
    // Puts a record whose key changed back in order; false when the index does not hold it.
    bool resort(const Record &record);
    void remove(const Record &record);
    void clear() { m_records.clear(); }

    void process(const QList<Record> &records) override;
    void update(const Record &record, int firstColumn, int lastColumn) override;
    void rebuild() override;

private:
    int upperBound(const Record &record) const;
    bool keyTouches(int firstColumn, int lastColumn) const;

    MasterIndex_Column_Pure m_key;
};
