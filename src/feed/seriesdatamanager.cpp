#include "seriesdatamanager.h"

#include "chartdefaults.h"
#include "settingsvalues.h"
#include "talogging.h"
#include "datetime.h"
#include "appsettings.h"
#include "boarddirectory.h"
#include "currentdatafillerforindices.h"
#include "dealbatch.h"
#include "historicaldatafiller.h"
#include "icore.h"
#include "indexsort.h"
#include "iplugin.h"
#include "itransport.h"
#include "runnablemanager.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "table.h"
#include "tableregistry.h"
#include "todaydatafiller.h"
#include "visualevent.h"

#include "processwide.h"
#include "taconstants.h"
#include "tasharedobjects.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QDebug>
#include <QThread>

namespace {

ProcessWide<SeriesDataManager> *wide = nullptr;

} // namespace

SeriesDataManager *SeriesDataManager::instance()
{
    static ProcessWide<SeriesDataManager> object([] {
        auto *m = new SeriesDataManager;
        SeriesDataService::setInstance(m);
        return m;
    });
    static const bool registered = [] {
        wide = &object;
        TASharedObjects::add("SeriesDataManager", [] { SeriesDataManager::destroyInstance(); });
        return true;
    }();
    Q_UNUSED(registered)
    return object.instance();
}

void SeriesDataManager::destroyInstance()
{
    if (!wide || !wide->existing())
        return;
    SeriesDataService::setInstance(nullptr);
    wide->destroy();
}

SeriesDataManager::SeriesDataManager()
{
    // Fillers report to the GUI thread with these types.
    qRegisterMetaType<FrameIndex>("FrameIndex");
    qRegisterMetaType<SeriesDataModel *>("SeriesDataModel*");
    m_table = TableRegistry::instance()->table(QStringLiteral("all_deals"));
    if (m_table) {
        m_stockColumn = m_table->columnIndex(QStringLiteral("stock_id"));
        m_boardColumn = m_table->columnIndex(QStringLiteral("board_id"));
        m_secColumn = m_table->columnIndex(QStringLiteral("sec_id"));
        m_sessionColumn = m_table->columnIndex(QStringLiteral("sess_id"));
        m_momentColumn = m_table->columnIndex(QStringLiteral("moment"));
        m_priceColumn = m_table->columnIndex(QStringLiteral("price"));
        m_openInterestColumn = m_table->columnIndex(QStringLiteral("open_interest"));
        m_valueColumn = m_table->columnIndex(QStringLiteral("value"));
        m_quantityColumn = m_table->columnIndex(QStringLiteral("quantity"));
        m_nosystemColumn = m_table->columnIndex(QStringLiteral("nosystem"));
        if (m_stockColumn < 0 || m_boardColumn < 0 || m_secColumn < 0 || m_momentColumn < 0
            || m_priceColumn < 0 || m_quantityColumn < 0) {
            qCWarning(lcDataManager) << "SeriesDataManager: the all_deals table lacks trade columns";
            m_table = nullptr;
        }
    } else {
        qCWarning(lcDataManager) << "SeriesDataManager: no all_deals table, live trades are not shown";
    }
    if (m_table)
        m_key = MasterIndex_Column_Pure(m_table, {m_stockColumn, m_boardColumn, m_secColumn});
    setToday(datetime::today());

    const int ideal = QThread::idealThreadCount();
    m_pool.setMaxThreadCount(ideal < 2 ? ideal : ideal / 2);
    m_todayPool.setMaxThreadCount(1);
    m_timer.start(60000);

    connect(ICore::instance(), &ICore::aNewDay, this, &SeriesDataManager::atMidnight,
            Qt::DirectConnection);
    connect(SecurityDirectory::i(), &DirectoryBase::dataChanged, this,
            &SeriesDataManager::onSecuritiesDataChanged, Qt::QueuedConnection);
    if (m_table)
        m_table->addIndex(this);
}

SeriesDataManager::~SeriesDataManager()
{
    if (m_table)
        m_table->removeIndex(this);
    cancelFillers(nullptr);
    m_pool.waitForDone();
    m_todayPool.waitForDone();
}

void SeriesDataManager::setToday(const QDate &date)
{
    m_todayStart = datetime(date);
    // The next local midnight: a day of a daylight-saving change is an hour longer or shorter.
    m_tomorrowStart = datetime(date.addDays(1));
    m_dayLength = int(m_todayStart.msecsTo(m_tomorrowStart) / 1000);
}

bool SeriesDataManager::historyUsed()
{
    bool transport = false;
    for (QObject *plugin : ICore::instance()->plugins()) {
        const IPlugin *p = qobject_cast<IPlugin *>(plugin);
        if (p && qobject_cast<ITransport *>(plugin)
            && p->name() == QLatin1String(TA::Constants::HistoryTransportName)) {
            transport = true;
            break;
        }
    }
    if (!transport)
        return false;
    AppSettings settings(QString::fromLatin1(TA::Constants::GeneralSettingsGroup));
    return SettingsValues::boolOr(settings.value(QString::fromLatin1(TA::Constants::HistoryEnabledKey)),
                                  ChartDefaults::HistoryEnabled);
}

SecurityEntry *SeriesDataManager::entryOf(SeriesDataModel *model) const
{
    if (!model)
        return nullptr;
    const auto it = m_entries.find(model->seriesKey());
    if (it == m_entries.end() || !it->second->models.contains(model))
        return nullptr;
    return it->second.get();
}

SecondBars SeriesDataManager::secondBars(const SeriesKey &key) const
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return {};
    std::shared_lock lock(it->second->dataLock);
    return it->second->seconds;
}

SeriesKey SeriesDataManager::matchedKey(const SeriesKey &key) const
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return {};
    TableLocker locker(m_table);
    return it->second->matched;
}

// --- live trades --------------------------------------------------------------------------

bool SeriesDataManager::dealOf(const Record &record, const SecurityEntry *entry,
                               Deal &deal) const
{
    deal.time = record.data(m_momentColumn).toDatetime();
    if (deal.time < m_todayStart || !(deal.time < m_tomorrowStart))
        return false;
    // Trades outside the exchange's order book do not make prices.
    if (m_nosystemColumn >= 0 && record.data(m_nosystemColumn).toInteger() != 0)
        return false;
    deal.price = record.data(m_priceColumn).toDecimal();
    deal.openInterest = m_openInterestColumn >= 0
                            ? quint32(record.data(m_openInterestColumn).toInteger())
                            : 0;
    deal.quantity = record.data(m_quantityColumn).toInteger64();
    if (entry->volumeInPieces)
        deal.quantity *= entry->lotSize;
    deal.value = m_valueColumn >= 0 ? record.data(m_valueColumn).toXDecimal() : xdecimal();
    return true;
}

void SeriesDataManager::process(const QList<Record> &records)
{
    if (m_byMatched.isEmpty())
        return;
    for (const Record &record : records) {
        const SeriesKey key{record.data(m_stockColumn).toInteger(),
                            record.data(m_boardColumn).toInteger(),
                            record.data(m_secColumn).toInteger64()};
        const auto it = m_byMatched.constFind(key);
        if (it == m_byMatched.cend())
            continue;
        for (SecurityEntry *entry : it.value()) {
            Deal deal;
            if (!dealOf(record, entry, deal))
                continue;
            if (entry->pending.empty())
                m_touched.push_back(entry);
            entry->pending.push_back(deal);
        }
    }
    for (SecurityEntry *entry : m_touched) {
        // The fold into the second bars and the hand-over to the models happen under one
        // write lock: a today filler reads the bars either before (and the trades come live)
        // or after (and it replays them), never both.
        std::unique_lock lock(entry->dataLock);
        for (Deal &deal : entry->pending)
            entry->foldSecond(m_todayStart, deal);
        for (SeriesDataModel *model : std::as_const(entry->models)) {
            const auto runner = entry->runners.find(model);
            if (runner == entry->runners.end() || !runner->second.live)
                continue;
            DealBatch batch(model, 1, false);
            batch.reserve(int(entry->pending.size()));
            for (const Deal &deal : entry->pending)
                batch.append(deal);
        }
        entry->pending.clear();
    }
    m_touched.clear();
}

void SeriesDataManager::rebuild()
{
    // The table's content was replaced: today's bars are read again, and every chart is built
    // anew from them (on the GUI thread; a chart deleted meanwhile is skipped).
    for (auto &[key, entry] : m_entries) {
        {
            std::unique_lock lock(entry->dataLock);
            entry->dropLive();
            loadTodaysTradesLocked(entry.get());
        }
        for (SeriesDataModel *model : std::as_const(entry->models))
            QMetaObject::invokeMethod(model, &SeriesDataModel::rebuild, Qt::QueuedConnection);
    }
}

void SeriesDataManager::loadTodaysTradesLocked(SecurityEntry *entry)
{
    entry->seconds = {};
    if (!m_table)
        return;
    const IndexSort *all = m_table->masterIndex();
    const int count = all->count();
    for (int i = 0; i < count; ++i) {
        const Record record = all->at(i);
        if (m_key.compare(record, entry->keyRecord) != 0)
            continue;
        Deal deal;
        if (dealOf(record, entry, deal))
            entry->foldSecond(m_todayStart, deal);
    }
}

void SeriesDataManager::rebuildLookup()
{
    // Entries whose charts are all closed keep following the trades: a chart opened again
    // later today finds its second bars complete, and the day change stores the whole day.
    m_byMatched.clear();
    for (auto &[key, entry] : m_entries)
        m_byMatched[entry->matched].append(entry.get());
}

// --- registration -------------------------------------------------------------------------

SeriesDataService *SeriesDataManager::service()
{
    if (SeriesDataService *s = SeriesDataService::instance())
        return s;
    return instance();
}

void SeriesDataManager::registerSynchronizer(DayChangeFollower *synchronizer)
{
    QObject *object = synchronizer ? synchronizer->followerObject() : nullptr;
    if (!object)
        return;
    for (const auto &registered : std::as_const(m_synchronizers)) {
        if (registered.first == object)
            return;
    }
    m_synchronizers.append({object, synchronizer});
    connect(object, &QObject::destroyed, this, &SeriesDataManager::onTSyncDestroyed);
}

void SeriesDataManager::onTSyncDestroyed(QObject *synchronizer)
{
    m_synchronizers.removeIf([synchronizer](const auto &registered) {
        return registered.first == synchronizer;
    });
}

void SeriesDataManager::registerModel(SeriesDataModel *model)
{
    if (!model)
        return;
    const SeriesKey key = model->seriesKey();
    TableLocker locker(m_table);
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        auto entry = std::make_unique<SecurityEntry>();
        entry->key = key;
        entry->matched = key;
        // A security of a proxy board trades on its real board: its trades are matched there
        // from the start.
        if (BoardDirectory::i()->isProxyById(key.stock_id, key.board_id)) {
            const Record real = SecurityDirectory::i()->realRecordById(key.stock_id,
                                                                      key.board_id, key.sec_id);
            if (!real.isNull())
                entry->matched = {real.data(QStringLiteral("stock_id")).toInteger(),
                                  real.data(QStringLiteral("board_id")).toInteger(),
                                  real.data(QStringLiteral("sec_id")).toInteger64()};
        }
        if (m_table) {
            entry->keyRecord = Record(m_table);
            entry->keyRecord.data(m_stockColumn) = entry->matched.stock_id;
            entry->keyRecord.data(m_boardColumn) = entry->matched.board_id;
            entry->keyRecord.data(m_secColumn) = entry->matched.sec_id;
        }
        entry->lotSize = SecurityDirectory::i()->lotsizeById(key.stock_id, key.board_id,
                                                             key.sec_id);
        entry->volumeInPieces = key.stock_id == 2 || key.stock_id == 3;
        entry->indexBoard = BoardDirectory::i()->isIndexById(key.stock_id, key.board_id);
        entry->dayLength = m_dayLength;
        it = m_entries.emplace(key, std::move(entry)).first;
        std::unique_lock lock(it->second->dataLock);
        loadTodaysTradesLocked(it->second.get());
    }
    SecurityEntry *entry = it->second.get();
    if (!entry->models.contains(model))
        entry->models.append(model);
    rebuildLookup();
    if (entry->indexBoard && !m_refreshes.contains(model)) {
        m_refreshes.insert(model, connect(&m_timer, &QTimer::timeout, model, [this, model] {
                               if (!isFilling(model))
                                   model->update();
                           }));
    }
}

void SeriesDataManager::unregisterModel(SeriesDataModel *model)
{
    SecurityEntry *entry = entryOf(model);
    if (!entry)
        return;
    cancelFillers(model);
    {
        TableLocker locker(m_table);
        entry->models.removeAll(model);
        {
            std::unique_lock lock(entry->dataLock);
            entry->runners.erase(model);
        }
        rebuildLookup();
    }
    if (const auto c = m_refreshes.find(model); c != m_refreshes.end()) {
        disconnect(c.value());
        m_refreshes.erase(c);
    }
}

// --- fillers ------------------------------------------------------------------------------

bool SeriesDataManager::cancelEntry(SecurityEntry *entry, SeriesDataModel *model)
{
    // Stopped first, under the shared lock: a today filler replaying the second bars holds it
    // too and ends its loop at once instead of being awaited by the exclusive lock below.
    {
        std::shared_lock lock(entry->dataLock);
        for (auto &[m, runner] : entry->runners) {
            if ((!model || m == model) && runner.manager)
                runner.manager->stopAll();
        }
    }
    QList<RunnableManager *> managers;
    bool running = false;
    {
        std::unique_lock lock(entry->dataLock);
        for (auto &[m, runner] : entry->runners) {
            if (model && m != model)
                continue;
            ++runner.generation;
            runner.live = false;
            runner.cutShort = runner.manager && runner.manager->isRunning();
            running = running || runner.cutShort;
            if (runner.manager)
                managers.append(runner.manager);
            runner.manager = nullptr;
        }
    }
    // Deleting waits until the stopped fillers have returned.
    for (RunnableManager *manager : std::as_const(managers))
        delete manager;
    return running;
}

void SeriesDataManager::cancelFillers(SeriesDataModel *model)
{
    if (model) {
        if (SecurityEntry *entry = entryOf(model))
            cancelEntry(entry, model);
        return;
    }
    for (auto &[key, entry] : m_entries)
        cancelEntry(entry.get(), nullptr);
}

bool SeriesDataManager::isFilling(SeriesDataModel *model) const
{
    const SecurityEntry *entry = entryOf(model);
    if (!entry)
        return false;
    std::shared_lock lock(entry->dataLock);
    const auto it = entry->runners.find(model);
    return it != entry->runners.end() && it->second.manager && it->second.manager->isRunning();
}

void SeriesDataManager::startFillers(SecurityEntry *entry, SeriesDataModel *model,
                                     const QList<DataFiller *> &fillers)
{
    auto *manager = new RunnableManager;
    int generation;
    {
        std::unique_lock lock(entry->dataLock);
        SecurityEntry::Runner &runner = entry->runners[model];
        runner.manager = manager;
        generation = runner.generation;
    }
    for (DataFiller *filler : fillers) {
        filler->setGeneration(generation);
        // Signal to signal by meta-method: the connection keeps no shared slot object, whose
        // reference count the filler's thread (deleting the filler) and the GUI thread
        // (delivering the queued call) would otherwise both touch.
        connect(filler, QMetaMethod::fromSignal(&DataFiller::filled), this,
                QMetaMethod::fromSignal(&SeriesDataManager::fillingFinished));
        // The pool thread takes the filler over when it runs it.
        filler->moveToThread(nullptr);
        // Today's bars replay in a pool of their own: a new chart shows them, and the live
        // trades that follow, while downloads hold the other pool's threads.
        QThreadPool *pool = qobject_cast<TodayDataFiller *>(filler) ? &m_todayPool : &m_pool;
        manager->startRunnable(filler, pool, 0);
    }
}

void SeriesDataManager::fillModel(SeriesDataModel *model)
{
    SecurityEntry *entry = entryOf(model);
    if (!entry)
        return;
    cancelEntry(entry, model);
    const QDate today = m_todayStart.getDate();
    QList<DataFiller *> fillers;
    // Index boards have no trades: their history covers today too.
    const bool reachesToday = !(model->dateTo() < today);
    if (historyUsed() && (model->dateFrom() < today || (entry->indexBoard && reachesToday))) {
        auto *filler = new HistoricalDataFiller(entry, model, m_todayStart,
                                                datetime(today.addDays(-1)));
        qCDebug(lcDataManager).nospace() << "FillerHistoricalData #" << filler->number()
                           << " created in thread " << QThread::currentThread();
        fillers.append(filler);
    }
    if (!entry->indexBoard && reachesToday) {
        auto *filler = new TodayDataFiller(entry, model, m_todayStart, m_todayStart);
        qCDebug(lcDataManager).nospace() << "TodayDataFiller #" << filler->number() << " created in thread "
                           << QThread::currentThread();
        fillers.append(filler);
    }
    if (!fillers.isEmpty())
        startFillers(entry, model, fillers);
}

void SeriesDataManager::updateModel(SeriesDataModel *model)
{
    SecurityEntry *entry = entryOf(model);
    if (!entry)
        return;
    cancelEntry(entry, model);
    bool cutShort = false;
    {
        std::unique_lock lock(entry->dataLock);
        auto runner = entry->runners.find(model);
        if (runner != entry->runners.end()) {
            cutShort = runner->second.cutShort;
            runner->second.cutShort = false;
        }
    }
    // A chart laid out anew (its range moved) holds nothing to refresh, and one whose filling
    // was cut short holds only part: both are filled whole again.
    if (model->validBarCount() == 0) {
        fillModel(model);
        return;
    }
    if (cutShort) {
        model->rebuild();
        return;
    }
    if (!entry->indexBoard) {
        // Live trades keep the chart current; those that came while its fillers were being
        // cancelled are only in the second bars, so the chart is built again from them.
        model->rebuild();
        return;
    }
    if (!historyUsed())
        return;
    const datetime from = alignToFrame(model->timeFrame(), m_todayStart);
    auto *filler = new CurrentDataFillerForIndices(entry, model, from, m_tomorrowStart);
    qCDebug(lcDataManager).nospace().noquote()
        << "CurrentDataFillerForIndices #" << filler->number() << " for period "
        << from.getDateTime().toString(Qt::ISODate) << "-"
        << m_tomorrowStart.getDateTime().toString(Qt::ISODate) << " created in thread "
        << QThread::currentThread();
    startFillers(entry, model, {filler});
}

// --- day change, directory -----------------------------------------------------

void SeriesDataManager::atMidnight()
{
    turnDay(datetime::today());
}

void SeriesDataManager::turnDay(const QDate &newToday)
{
    qCDebug(lcDataManager).noquote() << "Midnight" << datetime::now().getDateTime().toString(Qt::ISODate);
    cancelFillers(nullptr);
    const QDate oldToday = m_todayStart.getDate();
    QList<QPair<SeriesKey, SecondBars>> ended;
    {
        TableLocker locker(m_table);
        for (auto &[key, entry] : m_entries) {
            std::unique_lock lock(entry->dataLock);
            SecondBars seconds = std::move(entry->seconds);
            entry->seconds = {};
            if (!entry->indexBoard)
                ended.append({key, std::move(seconds)});
        }
        setToday(newToday);
        for (auto &[key, entry] : m_entries) {
            std::unique_lock lock(entry->dataLock);
            entry->dayLength = m_dayLength;
            loadTodaysTradesLocked(entry.get());
        }
    }
    // Files are written outside the table's lock: live trades of the new day go on meanwhile.
    for (const auto &[key, seconds] : std::as_const(ended))
        HistoricalDataManager::storeSecondFile(key, oldToday, seconds);

    QList<SeriesDataModel *> models;
    for (auto &[key, entry] : m_entries)
        models += entry->models;
    for (SeriesDataModel *model : std::as_const(models)) {
        try {
            model->reset();
        } catch (const QString &error) {
            // No user started the day change: the text goes to the terminal's events and to
            // the model, whose series shows it in the status line.
            qCWarning(lcDataManager).noquote() << error;
            VisualEvent().showEvent(error);
            model->noteRebuildFailure(error);
        }
    }
    // Every window lays its time index out for the new day before the bars come back, so
    // that they come in at their new places.
    for (const auto &registered : std::as_const(m_synchronizers))
        registered.second->followDayChange();
    emit dayChanged(newToday);
    for (SeriesDataModel *model : std::as_const(models))
        model->build();
}

void SeriesDataManager::onSecuritiesDataChanged()
{
    for (auto &[key, entry] : m_entries) {
        if (!BoardDirectory::i()->isProxyById(key.stock_id, key.board_id))
            continue;
        const Record real = SecurityDirectory::i()->realRecordById(key.stock_id, key.board_id,
                                                                  key.sec_id);
        if (real.isNull())
            continue;
        const SeriesKey matched{real.data(QStringLiteral("stock_id")).toInteger(),
                                real.data(QStringLiteral("board_id")).toInteger(),
                                real.data(QStringLiteral("sec_id")).toInteger64()};
        if (matched == entry->matched)
            continue;
        for (SeriesDataModel *model : std::as_const(entry->models))
            cancelEntry(entry.get(), model);
        {
            TableLocker locker(m_table);
            entry->matched = matched;
            if (m_table) {
                entry->keyRecord.data(m_stockColumn) = matched.stock_id;
                entry->keyRecord.data(m_boardColumn) = matched.board_id;
                entry->keyRecord.data(m_secColumn) = matched.sec_id;
            }
            {
                std::unique_lock lock(entry->dataLock);
                loadTodaysTradesLocked(entry.get());
            }
            rebuildLookup();
        }
        // The charts show the real board's trades from now on.
        const QList<SeriesDataModel *> models = entry->models;
        for (SeriesDataModel *model : models)
            model->rebuild();
    }
}
