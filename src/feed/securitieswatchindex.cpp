#include "securitieswatchindex.h"

#include "securitydirectory.h"
#include "table.h"
#include "tableregistry.h"

// The key, record and columns are read on the table's writer thread under the table's lock,
// so every change of them here takes that lock too.

SecuritiesWatchIndex::SecuritiesWatchIndex(QObject *owner, const SeriesKey &key)
    : QObject(owner)
    , m_securities(TableRegistry::instance()->table(QStringLiteral("securities")))
    , m_key(key)
{
    restart();
    if (m_securities)
        m_securities->addIndex(this);
}

SecuritiesWatchIndex::~SecuritiesWatchIndex()
{
    if (m_securities && table() == m_securities)
        m_securities->removeIndex(this);
}

SeriesKey SecuritiesWatchIndex::key() const
{
    TableLocker locker(m_securities);
    return m_key;
}

void SecuritiesWatchIndex::setKey(const SeriesKey &key)
{
    TableLocker locker(m_securities);
    m_key = key;
}

void SecuritiesWatchIndex::restart()
{
    TableLocker locker(m_securities);
    m_record = SecurityDirectory::i()->recordById(m_key.stock_id, m_key.board_id, m_key.sec_id);
}

Record SecuritiesWatchIndex::record() const
{
    TableLocker locker(m_securities);
    return m_record;
}

void SecuritiesWatchIndex::addColumn(int column)
{
    TableLocker locker(m_securities);
    if (column >= 0 && !m_columns.contains(column))
        m_columns.append(column);
}

QList<int> SecuritiesWatchIndex::columns() const
{
    TableLocker locker(m_securities);
    return m_columns;
}

void SecuritiesWatchIndex::update(const Record &record, int firstColumn, int lastColumn)
{
    if (m_record.isNull() || record != m_record)
        return;
    for (int column : std::as_const(m_columns)) {
        if (column >= firstColumn && column <= lastColumn) {
            Q_EMIT changed();
            return;
        }
    }
}

void SecuritiesWatchIndex::rebuild()
{
    // The table's content was replaced: the kept record belongs to the old content.
    m_record = SecurityDirectory::i()->recordById(m_key.stock_id, m_key.board_id, m_key.sec_id);
}
