#pragma once

#include <QString>

// What one indicator's scripts may take, kept under "TechAnalysis/Scripts": the milliseconds
// of a pass over every bar and of a pass after a trade, and the megabytes of memory. Values
// missing, malformed or out of range read as the defaults. Every store bumps a generation, so
// that open indicators pick changed values up at their next pass without reading the settings
// file on every trade.
namespace ScriptLimits {

enum Kind { RebuildTime, UpdateTime, Memory };

struct Range
{
    const char *key;
    int low;
    int high;
    int fallback;
};

Range range(Kind kind);
int stored(Kind kind);
// Writes the value (clamped to its range) and bumps the generation.
void store(Kind kind, int value);
int generation();

} // namespace ScriptLimits
