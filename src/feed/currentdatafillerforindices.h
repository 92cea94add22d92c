#pragma once

#include "datafiller.h"

// Refreshes an index chart from the history service: the period from A (today start aligned
// to the model's frame) to B (tomorrow start) replaces the model's bars of that period.
class CurrentDataFillerForIndices : public DataFiller
{
    Q_OBJECT
public:
    using DataFiller::DataFiller;
    ~CurrentDataFillerForIndices() override;

protected:
    void fill() override;
};
