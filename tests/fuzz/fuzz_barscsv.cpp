// Feeds arbitrary bytes to the reader of bars as text (the headless indicator runner's input).
// Whatever the bytes, it must never crash or trip a sanitizer; it either refuses the text with
// a message naming the line and returns no bar, or every bar it returns is consistent: prices
// within low..high, no negative volume, a valid time.

#include "barscsv.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::vector<BarsCsv::Bar> bars = BarsCsv::parse(bytes, &error);
    if (!error.isEmpty()) {
        if (!bars.empty() || !error.startsWith(QLatin1String("line ")))
            std::abort();
        return 0;
    }
    for (const BarsCsv::Bar &bar : bars) {
        if (bar.begin.isNull() || bar.high < bar.low || bar.open < bar.low || bar.high < bar.close
            || bar.volume < 0)
            std::abort();
    }
    return 0;
}
