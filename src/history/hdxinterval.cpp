#include "hdxinterval.h"

namespace {

const HdxInterval Intervals[] = {
    {1, 60, "1м", "минута"},          {10, 600, "10м", "10 минут"},
    {60, 3600, "1ч", "час"},          {24, 86400, "1д", "день"},
    {7, 604800, "1н", "неделя"},      {31, 2678400, "1М", "месяц"},
    {4, 8035200, "1К", "квартал"},
};

} // namespace

const HdxInterval &HdxInterval::forTimeFrame(const TimeFrameValue &timeFrame)
{
    const qint64 seconds = timeFrame.seconds();
    const HdxInterval *chosen = &Intervals[0];
    for (const HdxInterval &interval : Intervals) {
        if (interval.seconds <= seconds)
            chosen = &interval;
    }
    return *chosen;
}
