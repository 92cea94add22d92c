#pragma once

#include "datetime.h"
#include "decimal.h"
#include "serieskey.h"
#include "timeframevalue.h"
#include "xdecimal.h"

#include <QDate>

// One trade as it is folded into bars.
struct Deal
{
    datetime time;
    decimal price;
    qint64 quantity = 0;
    xdecimal value;
    quint32 openInterest = 0;
};

// The identity of a bar model's layout when a filler starts; deals prepared for another
// layout are refused.
struct ModelKey
{
    SeriesKey key;
    TimeFrameValue timeFrame;
    bool toCurrDate = true;
    QDate dateFrom;
    QDate dateTo;

    bool operator==(const ModelKey &other) const
    {
        return key == other.key && timeFrame == other.timeFrame
               && toCurrDate == other.toCurrDate && dateFrom == other.dateFrom
               && dateTo == other.dateTo;
    }
    bool operator!=(const ModelKey &other) const { return !(*this == other); }
};
