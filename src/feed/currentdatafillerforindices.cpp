#include "currentdatafillerforindices.h"

#include "talogging.h"
#include "dealbatch.h"
#include "networkdatamanager.h"
#include "securityentry.h"

#include <QDebug>
#include <QThread>

CurrentDataFillerForIndices::~CurrentDataFillerForIndices()
{
    qCDebug(lcDataManager).nospace() << "CurrentDataFillerForIndices #" << number() << " finished in thread "
                       << QThread::currentThread();
}

void CurrentDataFillerForIndices::fill()
{
    if (!m_entry->indexBoard)
        return;
    const QDate from = m_a.getDate();
    const QDate to = m_b.getDate();
    qCDebug(lcDataManager).nospace().noquote() << "Querying HDX server for exchange index for data from "
                                 << from.toString(Qt::ISODate) << " to "
                                 << to.toString(Qt::ISODate);
    DealBatch batch(m_model, 4, false);
    batch.reserve(batch.capacity());
    // The refreshed period replaces what the model holds of it instead of adding to it.
    batch.replaceRange(m_a, m_b);
    {
        const std::unique_ptr<NetworkDataManager> client = makeClient(&batch);
        download(client.get(), from, to);
    }
    if (!canRun())
        batch.discard();
}
