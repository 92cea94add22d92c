#include "historicaldatafiller.h"

#include "talogging.h"
#include "dealbatch.h"
#include "historicaldatamanager.h"
#include "networkdatamanager.h"
#include "securityentry.h"
#include "seriesdatamodel.h"

#include <QDebug>
#include <QThread>

namespace {
constexpr qint64 WindowGap = 2592000000; // 30 days
}

HistoricalDataFiller::HistoricalDataFiller(SecurityEntry *entry, SeriesDataModel *model,
                                           const datetime &a, const datetime &b)
    : DataFiller(entry, model, a, b)
{
}

HistoricalDataFiller::~HistoricalDataFiller()
{
    qCDebug(lcDataManager).nospace() << "FillerHistoricalData #" << number() << " finished in thread "
                       << QThread::currentThread();
}

QList<QPair<datetime, datetime>> HistoricalDataFiller::requestWindows(
    const QList<datetime> &sessions)
{
    QList<QPair<datetime, datetime>> windows;
    for (qsizetype i = 0; i + 1 < sessions.size(); i += 2) {
        const datetime start = sessions.at(i);
        const datetime end = sessions.at(i + 1);
        if (windows.isEmpty() || windows.last().second.msecsTo(start) >= WindowGap)
            windows.append({start, end});
        else if (windows.last().second < end)
            windows.last().second = end;
    }
    return windows;
}

void HistoricalDataFiller::fill()
{
    const TimeFrameValue timeFrame = m_model->timeFrame();
    const bool indexBoard = m_entry->indexBoard;
    const QDate lastDay = indexBoard ? m_a.getDate() : m_b.getDate();
    if (timeFrame.kind == Interval && timeFrame.value < 60) {
        // Below one minute the history service has nothing: the days come from the one-second
        // cache files written at each day change.
        const QDate to = qMin(m_model->dateTo(), lastDay);
        HistoricalDataManager::readCacheFiles(m_model, m_model->dateFrom(), to,
                                              [this] { return canRun(); });
        return;
    }

    const QList<QPair<datetime, datetime>> windows = requestWindows(m_model->sessionIntervals());
    DealBatch batch(m_model, 4, true);
    batch.reserve(batch.capacity());
    {
        const std::unique_ptr<NetworkDataManager> client = makeClient(&batch);
        for (qsizetype k = windows.size() - 1; k >= 0 && canRun(); --k) {
            const QDate from = windows.at(k).first.getDate();
            const QDate to = windows.at(k).second.getDate();
            const QDate clipped = qMin(to, lastDay);
            qCDebug(lcDataManager).nospace().noquote()
                << "Querying HDX server at step " << k << " for data from "
                << from.toString(Qt::ISODate) << " to " << to.toString(Qt::ISODate) << "("
                << clipped.toString(Qt::ISODate) << ")";
            // A window of today's sessions only has nothing to load from history.
            if (clipped < from)
                continue;
            download(client.get(), from, clipped);
        }
    }
    if (!canRun())
        batch.discard();
}
