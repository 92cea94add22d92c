#pragma once

#include "datetime.h"
#include "decimal.h"
#include "xdecimal.h"

// One candle of the history service.
struct Candle
{
    datetime begin;
    datetime end;
    decimal open;
    decimal high;
    decimal low;
    decimal close;
    qint64 volume = 0;
    xdecimal value;
    quint32 openInterest = 0;
    bool valid = false;
};
