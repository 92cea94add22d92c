#pragma once

#include "timeframevalue.h"

#include <QString>

// The candle intervals the history service offers, and the one used for a time frame: the
// last whose length does not exceed the frame's, else the shortest.
struct HdxInterval
{
    int code;
    qint64 seconds;
    const char *shortName;
    const char *name;

    static const HdxInterval &forTimeFrame(const TimeFrameValue &timeFrame);
};
