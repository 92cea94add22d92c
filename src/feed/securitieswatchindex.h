#pragma once

#include "index.h"
#include "record.h"
#include "serieskey.h"

#include <QList>
#include <QObject>
#include <QPointer>

// Watches one security's record in the host's "securities" table: when the table updates
// that record in a watched column, changed() is emitted once (on the writer's thread; connect
// it queued).
class SecuritiesWatchIndex : public QObject, public Index
{
    Q_OBJECT
public:
    SecuritiesWatchIndex(QObject *owner, const SeriesKey &key);
    ~SecuritiesWatchIndex() override;

    SeriesKey key() const;
    // Watches another security from now on (call restart() to look its record up).
    void setKey(const SeriesKey &key);
    // Looks the security's record up again.
    void restart();
    // The watched record, null when the security is unknown.
    Record record() const;
    void addColumn(int column);
    QList<int> columns() const;

    void update(const Record &record, int firstColumn, int lastColumn) override;
    void rebuild() override;

Q_SIGNALS:
    void changed();

private:
    QPointer<Table> m_securities; // cleared if the table is replaced
    SeriesKey m_key;
    Record m_record;
    QList<int> m_columns;
};
