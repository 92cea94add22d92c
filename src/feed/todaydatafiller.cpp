#include "todaydatafiller.h"

#include "dealbatch.h"
#include "securityentry.h"

void TodayDataFiller::fill()
{
    std::shared_lock lock(m_entry->dataLock);
    if (!canRun())
        return;
    // From here on live trades go to the model directly: those folded into the second bars
    // so far are replayed below.
    const auto runner = m_entry->runners.find(m_model);
    if (runner != m_entry->runners.end() && runner->second.generation == m_generation)
        runner->second.live = true;

    DealBatch batch(m_model, 4, false);
    batch.reserve(batch.capacity());
    const std::vector<TimeFrame> &bars = m_entry->seconds.bars;
    const int last = qMin(m_entry->seconds.lastSecond, int(bars.size()) - 1);
    for (int s = 0; s <= last && canRun(); ++s) {
        const TimeFrame &bar = bars[size_t(s)];
        if (!bar.valid)
            continue;
        const datetime t = m_a.addMSecs(qint64(s) * 1000);
        Deal d;
        d.time = t;
        d.price = bar.open;
        batch.append(d);
        d.time = t.addMSecs(500);
        d.price = bar.low;
        batch.append(d);
        d.price = bar.high;
        batch.append(d);
        d.time = t.addMSecs(999);
        d.price = bar.close;
        d.quantity = bar.volume;
        d.value = bar.value;
        d.openInterest = bar.openInterest;
        batch.append(d);
    }
    if (!canRun())
        batch.discard();
}
