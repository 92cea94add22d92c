#include "datafiller.h"

#include "networkdatamanager.h"
#include "securityentry.h"
#include "seriesdatamodel.h"

#include <QThread>

#include <atomic>
#include <chrono>

namespace {
std::atomic<int> fillerCount{0};
}

DataFiller::DataFiller(SecurityEntry *entry, SeriesDataModel *model, const datetime &a,
                       const datetime &b)
    : m_entry(entry)
    , m_model(model)
    , m_a(a)
    , m_b(b)
    , m_number(++fillerCount)
{
    setAutoDelete(true);
}

void DataFiller::run()
{
    // The manager let go of the filler's thread affinity before starting it: the filler lives
    // in this pool thread while it runs, and is deleted here.
    if (!thread())
        moveToThread(QThread::currentThread());
    fill();
    Q_EMIT filled(m_model);
}

void DataFiller::stop()
{
    Runnable::stop();
    Q_EMIT stopThread();
}

std::unique_ptr<NetworkDataManager> DataFiller::makeClient(DealBatch *batch)
{
    auto client = std::make_unique<NetworkDataManager>(m_model->seriesKey(), m_model, batch);
    // The client lives in this pool thread and runs its own event loop there: the stop,
    // emitted on the GUI thread, reaches it as a queued call.
    connect(this, &DataFiller::stopThread, client.get(), &NetworkDataManager::stopImmediately);
    return client;
}

bool DataFiller::download(NetworkDataManager *client, const QDate &from, const QDate &to)
{
    std::unique_lock lock(m_entry->historyLock, std::defer_lock);
    while (!lock.try_lock_for(std::chrono::milliseconds(50))) {
        if (!canRun())
            return false;
    }
    // A stop emitted before the client was connected is seen here.
    if (!canRun())
        return false;
    return client->load(from, to);
}
