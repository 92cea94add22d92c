#pragma once

#include "datetime.h"
#include "decimal.h"
#include "xdecimal.h"

// One bar ("frame") of a bar model. Fields are ordered so that a bar takes 96 bytes.
struct TimeFrame
{
    datetime firstTime; // time of the earliest deal
    datetime lastTime;  // time of the latest deal
    qint64 volume = 0;
    decimal low;
    decimal high;
    decimal open;
    decimal close;
    xdecimal value;
    quint32 openInterest = 0;
    bool valid = false; // the slot holds at least one deal
};

static_assert(sizeof(TimeFrame) <= 96, "a bar slot takes at most 96 bytes");
