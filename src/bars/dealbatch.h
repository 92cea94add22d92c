#pragma once

#include "datetime.h"
#include "deal.h"

#include <vector>

class SeriesDataModel;

// Deals on their way from a filler to a model, handed over every 1000 deals and when the batch
// is destroyed. A batch remembers the model's layout when it was made: after a re-layout the
// model refuses it.
class DealBatch
{
public:
    // Capacity 1000, rounded up to a multiple of divisor (fillers add deals in fours).
    // wholeRange: when any hand-over succeeded, the model signals its whole range at the end.
    DealBatch(SeriesDataModel *model, int divisor, bool wholeRange);
    ~DealBatch();
    DealBatch(const DealBatch &) = delete;
    DealBatch &operator=(const DealBatch &) = delete;

    // Room for that many deals (at most the capacity); batches grow as needed otherwise.
    void reserve(int count);
    void append(const Deal &deal);
    // Hands the pending deals over now.
    void flush();
    // Drops the pending deals (a stopped filler).
    void discard() { m_deals.clear(); }
    // The deals replace whatever the model holds in [from, to): the first hand-over clears
    // those bars before folding, so a refresh never counts a period twice and the old bars
    // stay until new ones have arrived.
    void replaceRange(const datetime &from, const datetime &to)
    {
        m_replaceFrom = from;
        m_replaceTo = to;
    }
    // Null when the batch adds to the model's bars.
    datetime replaceFrom() const { return m_handedOver ? datetime() : m_replaceFrom; }
    datetime replaceTo() const { return m_replaceTo; }

    int capacity() const { return m_capacity; }
    int size() const { return int(m_deals.size()); }
    bool handedOver() const { return m_handedOver; }
    const ModelKey &key() const { return m_key; }
    const std::vector<Deal> &deals() const { return m_deals; }

private:
    SeriesDataModel *m_model;
    ModelKey m_key;
    std::vector<Deal> m_deals;
    int m_capacity;
    bool m_wholeRange;
    bool m_handedOver = false;
    datetime m_replaceFrom;
    datetime m_replaceTo;
};
