#pragma once

#include "datetime.h"
#include "decimal.h"
#include "xdecimal.h"

#include <QByteArray>
#include <QString>

#include <vector>

class DealBatch;

// Bars as text, one per line: "time,open,high,low,close,volume[,value[,oi]]" with the time
// as "yyyy-MM-dd HH:mm:ss" in the local time of the exchange (the form bar exports write). A
// first line that starts with "time" is a header; empty lines are skipped.
namespace BarsCsv {

struct Bar
{
    datetime time;
    decimal open;
    decimal high;
    decimal low;
    decimal close;
    qint64 volume = 0;
    xdecimal value;
    quint32 openInterest = 0;
};

// The bars of the text, or none and "line N: ..." for the first line that is not a bar (a
// missing field, a number that does not parse, a high below the low, a negative volume).
std::vector<Bar> parse(const QByteArray &text, QString *error);

// Four deals per bar, as bars from the history service are folded: the open at the bar's
// time, the low and the high half a second later, the close with the volume, turnover and
// open interest at the end of that second.
void appendDeals(DealBatch &batch, const Bar &bar);

} // namespace BarsCsv
