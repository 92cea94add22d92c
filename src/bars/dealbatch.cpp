#include "dealbatch.h"

#include "seriesdatamodel.h"

DealBatch::DealBatch(SeriesDataModel *model, int divisor, bool wholeRange)
    : m_model(model)
    , m_key(model->modelKey())
    , m_capacity(1000)
    , m_wholeRange(wholeRange)
{
    if (divisor > 0 && m_capacity % divisor != 0)
        m_capacity += divisor - m_capacity % divisor;
}

void DealBatch::reserve(int count)
{
    m_deals.reserve(size_t(qBound(0, count, m_capacity)));
}

DealBatch::~DealBatch()
{
    flush();
    if (m_wholeRange && m_handedOver)
        m_model->signalWholeRange();
}

void DealBatch::append(const Deal &deal)
{
    m_deals.push_back(deal);
    // Every hand-over empties the batch, so it reaches a multiple of the capacity exactly
    // when it is full.
    if (m_deals.size() >= size_t(m_capacity))
        flush();
}

void DealBatch::flush()
{
    if (m_deals.empty())
        return;
    if (m_model->addDeals(m_key, *this))
        m_handedOver = true;
    m_deals.clear();
}
