#pragma once

// One value of an indicator for one bar slot (an output line's cell, a script-made series'
// cell); an invalid cell holds no value.
struct SeriesValue
{
    double value = 0;
    bool valid = false;
};
