#pragma once

#include "datetime.h"
#include "index.h"
#include "masterindex_column_pure.h"
#include "securityentry.h"
#include "seriesdataservice.h"
#include "serieskey.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <map>
#include <memory>

class DataFiller;
class SeriesDataModel;
class Table;

// Keeps every bar model filled: folds live trades of "all_deals" into today's one-second bars
// of each instrument in use and into its models, runs the fillers (today's bars, history,
// index refreshes) in a pool of its own, and turns the day over at midnight.
class SeriesDataManager : public QObject, public Index, public SeriesDataService
{
    Q_OBJECT
public:
    // The manager, created on first call (on the GUI thread) and kept until the plug-in
    // unloads; it serves the bar models from then on.
    static SeriesDataManager *instance();
    // Deletes the manager (the plug-in's shutdown; tests between cases).
    static void destroyInstance();
    // The service the bar models are filled by: the one installed (tests, tools), else the
    // manager.
    static SeriesDataService *service();

    ~SeriesDataManager() override;

    void registerModel(SeriesDataModel *model) override;
    void unregisterModel(SeriesDataModel *model) override;
    void fillModel(SeriesDataModel *model) override;
    void updateModel(SeriesDataModel *model) override;
    // Stops the fillers of the model, of every model when null, and waits for them.
    void cancelFillers(SeriesDataModel *model) override;
    bool isFilling(SeriesDataModel *model) const override;
    void registerSynchronizer(DayChangeFollower *synchronizer) override;
    int synchronizerCount() const { return int(m_synchronizers.size()); }

    datetime todayStart() const { return m_todayStart; }
    datetime tomorrowStart() const { return m_tomorrowStart; }
    QDate today() const { return m_todayStart.getDate(); }
    // Today's one-second bars of the instrument (empty when it has no entry).
    SecondBars secondBars(const SeriesKey &key) const;
    // The ids live trades of the instrument's entry are matched by.
    SeriesKey matchedKey(const SeriesKey &key) const;
    int entryCount() const { return int(m_entries.size()); }
    // True when the history service is to be asked: the host has the "hdxplugin" transport
    // and history is enabled in the plug-in's general settings.
    static bool historyUsed();
    QThreadPool *pool() { return &m_pool; }
    QTimer *refreshTimer() { return &m_timer; }

    // Index
    void process(const QList<Record> &records) override;
    void rebuild() override;

    // The day change to the given day: what atMidnight() does with today's date.
    void turnDay(const QDate &newToday);

Q_SIGNALS:
    void fillingFinished(SeriesDataModel *model);
    // The day has turned: every model is reset to the new day and not yet rebuilt. A chart
    // window's time axis lays itself out anew here, before the bars come back.
    void dayChanged(const QDate &today);

public Q_SLOTS:
    void onSecuritiesDataChanged();
    void atMidnight();
    void onTSyncDestroyed(QObject *synchronizer);

private:
    SeriesDataManager();
    void setToday(const QDate &date);
    SecurityEntry *entryOf(SeriesDataModel *model) const;
    // Reads the instrument's trades of today from the table into its second bars, replacing
    // them; the caller holds the table's lock, and the entry's data lock for writing.
    void loadTodaysTradesLocked(SecurityEntry *entry);
    // Makes a deal of a table record; false for a record to ignore.
    bool dealOf(const Record &record, const SecurityEntry *entry, Deal &deal) const;
    void rebuildLookup();
    // Stops the fillers of the entry (of one model or all), takes their runners out and
    // deletes them outside the data lock: a filler reading the second bars is stopped, not
    // awaited. True when a filler was still running.
    bool cancelEntry(SecurityEntry *entry, SeriesDataModel *model);
    void startFillers(SecurityEntry *entry, SeriesDataModel *model,
                      const QList<DataFiller *> &fillers);

    QPointer<Table> m_table;
    int m_stockColumn = -1;
    int m_boardColumn = -1;
    int m_secColumn = -1;
    int m_sessionColumn = -1;
    int m_momentColumn = -1;
    int m_priceColumn = -1;
    int m_openInterestColumn = -1;
    int m_valueColumn = -1;
    int m_quantityColumn = -1;
    int m_nosystemColumn = -1;
    datetime m_todayStart;
    datetime m_tomorrowStart;
    int m_dayLength = 86400;
    std::map<SeriesKey, std::unique_ptr<SecurityEntry>> m_entries;
    // Entries by the ids their trades carry: the live path looks a trade up here. Changed on
    // the GUI thread under the table's lock, read on the table thread under it.
    QHash<SeriesKey, QList<SecurityEntry *>> m_byMatched;
    MasterIndex_Column_Pure m_key;
    QThreadPool m_pool;
    QThreadPool m_todayPool;
    QTimer m_timer;
    QHash<SeriesDataModel *, QMetaObject::Connection> m_refreshes;
    std::vector<SecurityEntry *> m_touched; // entries of the current notification
    // The windows' time indices, by the object whose destruction removes them.
    QList<QPair<QObject *, DayChangeFollower *>> m_synchronizers;
};
