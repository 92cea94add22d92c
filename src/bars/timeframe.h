#pragma once

#include "datetime.h"
#include "deal.h"
#include "decimal.h"
#include "xdecimal.h"

#include <limits>

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

// Folds one deal into a bar: the earliest deal gives the open, the latest the close and open
// interest (equal times keep the first open and give the close to the later deal), prices
// widen the range, quantities and values add up. True when the bar was empty before.
inline bool foldDeal(TimeFrame &bar, const Deal &deal)
{
    if (!bar.valid) {
        bar.low = bar.high = bar.open = bar.close = deal.price;
        bar.volume = deal.quantity;
        bar.value = deal.value;
        bar.openInterest = deal.openInterest;
        bar.firstTime = bar.lastTime = deal.time;
        bar.valid = true;
        return true;
    }
    if (deal.time < bar.firstTime) {
        bar.firstTime = deal.time;
        bar.open = deal.price;
    }
    if (bar.lastTime <= deal.time) {
        bar.lastTime = deal.time;
        bar.close = deal.price;
        bar.openInterest = deal.openInterest;
    }
    if (deal.price < bar.low)
        bar.low = deal.price;
    if (bar.high < deal.price)
        bar.high = deal.price;
    bar.value += deal.value;
    // Absurd volumes (a corrupt file, a bad reply) stop at the largest value instead of
    // wrapping round.
    if (__builtin_add_overflow(bar.volume, deal.quantity, &bar.volume))
        bar.volume = deal.quantity < 0 ? std::numeric_limits<qint64>::min()
                                       : std::numeric_limits<qint64>::max();
    return false;
}
