#pragma once

#include "datafiller.h"

// Replays today's one-second bars of the instrument into the model as four deals a second,
// which reproduces each second's prices, volume and value in bars of any frame. A = B = today
// start.
class TodayDataFiller : public DataFiller
{
    Q_OBJECT
public:
    using DataFiller::DataFiller;

protected:
    void fill() override;
};
