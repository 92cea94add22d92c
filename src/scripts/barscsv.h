#pragma once

#include "candle.h"

#include <QByteArray>
#include <QString>

#include <vector>

class DealBatch;

// Bars as text, one per line: "time,open,high,low,close,volume[,value[,oi]]" with the time
// as "yyyy-MM-dd HH:mm:ss" in the local time of the exchange (the form bar exports write). A
// first line that starts with "time" is a header; empty lines are skipped.
namespace BarsCsv {

// A bar read from text: a candle whose begin is the bar's time (its end is not known) and
// that is valid.
using Bar = Candle;

// The bars of the text, or none and "line N: ..." for the first line that is not a bar (a
// missing field, a number that does not parse, a high below the low, a negative volume).
std::vector<Bar> parse(const QByteArray &text, QString *error);

// Four deals per bar, as bars from the history service are folded: the open at the bar's
// time, the low and the high half a second later, the close with the volume, turnover and
// open interest at the end of that second.
void appendDeals(DealBatch &batch, const Bar &bar);

} // namespace BarsCsv
