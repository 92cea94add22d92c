#include "indexsort.h"

#include "table.h"

#include <algorithm>

IndexList::~IndexList() = default;

Index::~Index()
{
    if (m_table)
        m_table->removeIndex(this);
}

IndexSort::IndexSort(const MasterIndex_Column_Pure &key)
    : m_key(key)
{
}

bool IndexSort::accepts(const Record &record) const
{
    Q_UNUSED(record)
    return true;
}

int IndexSort::upperBound(const Record &record) const
{
    // Records mostly arrive in key order: try the end first.
    if (m_records.isEmpty() || m_key.compare(m_records.constLast(), record) <= 0)
        return count();
    const auto it = std::upper_bound(m_records.cbegin(), m_records.cend(), record,
                                     [this](const Record &value, const Record &element) {
                                         return m_key.compare(value, element) < 0;
                                     });
    return int(it - m_records.cbegin());
}

void IndexSort::add(const Record &record)
{
    m_records.insert(upperBound(record), record);
}

void IndexSort::build()
{
    if (Table *t = table(); t && t->masterIndex() != this) {
        m_records.clear();
        for (const Record &record : t->masterIndex()->records()) {
            if (accepts(record))
                m_records.append(record);
        }
    }
    std::stable_sort(m_records.begin(), m_records.end(),
                     [this](const Record &a, const Record &b) { return m_key.compare(a, b) < 0; });
}

int IndexSort::search(const Record &key, int prefix) const
{
    const auto it = std::lower_bound(m_records.cbegin(), m_records.cend(), key,
                                     [this, prefix](const Record &element, const Record &value) {
                                         return m_key.compare(element, value, prefix) < 0;
                                     });
    return int(it - m_records.cbegin());
}

int IndexSort::searchFull(const Record &key, int prefix) const
{
    const int pos = search(key, prefix);
    if (pos < count() && m_key.compare(m_records.at(pos), key, prefix) == 0)
        return pos;
    return -1;
}

int IndexSort::searchLast(const Record &key, int prefix) const
{
    const auto it = std::upper_bound(m_records.cbegin(), m_records.cend(), key,
                                     [this, prefix](const Record &value, const Record &element) {
                                         return m_key.compare(value, element, prefix) < 0;
                                     });
    const int pos = int(it - m_records.cbegin()) - 1;
    if (pos >= 0 && m_key.compare(m_records.at(pos), key, prefix) == 0)
        return pos;
    return -1;
}

Record IndexSort::find(const Record &key, int prefix) const
{
    const int pos = searchFull(key, prefix);
    return pos >= 0 ? m_records.at(pos) : Record();
}

int IndexSort::indexOf(const Record &record) const
{
    // Look among the records with the same key first, then everywhere (the key may have been
    // changed without a resort).
    const int first = searchFull(record);
    if (first >= 0) {
        for (int i = first; i < count() && m_key.compare(m_records.at(i), record) == 0; ++i) {
            if (m_records.at(i) == record)
                return i;
        }
    }
    return int(m_records.indexOf(record));
}

void IndexSort::move(int from, int to)
{
    if (from < 0 || from >= count() || to < 0 || to >= count())
        return;
    m_records.move(from, to);
}

bool IndexSort::resort(const Record &record)
{
    const qsizetype pos = m_records.indexOf(record);
    if (pos < 0)
        return false;
    m_records.removeAt(pos);
    add(record);
    return true;
}

void IndexSort::remove(const Record &record)
{
    const int pos = indexOf(record);
    if (pos >= 0)
        m_records.removeAt(pos);
}

void IndexSort::process(const QList<Record> &records)
{
    for (const Record &record : records) {
        if (accepts(record))
            add(record);
    }
}

bool IndexSort::keyTouches(int firstColumn, int lastColumn) const
{
    for (int column : m_key.columns()) {
        if (column >= firstColumn && column <= lastColumn)
            return true;
    }
    return false;
}

void IndexSort::update(const Record &record, int firstColumn, int lastColumn)
{
    const int pos = indexOf(record);
    const bool held = pos >= 0;
    const bool wanted = accepts(record);
    if (held && !wanted)
        m_records.removeAt(pos);
    else if (!held && wanted)
        add(record);
    else if (held && keyTouches(firstColumn, lastColumn))
        resort(record);
}

void IndexSort::rebuild()
{
    build();
}
