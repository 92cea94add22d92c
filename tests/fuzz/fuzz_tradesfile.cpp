// Feeds arbitrary bytes to the trades file reader of "ta-tool export". Whatever the bytes, it
// must never crash or trip a sanitizer; it either refuses the file with a message naming the
// line, or every record it returns is a trade with a positive price and no negative quantity.

#include "datetime.h"
#include "decimal.h"
#include "referencedata.h"
#include "table.h"
#include "tradesfile.h"

#include <QBuffer>
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

Table *deals = nullptr;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    deals = ReferenceData::createDealsTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QList<Record> records;
    QString error;
    const bool ok = readTrades(buffer, QStringLiteral("fuzz.csv"), deals, SeriesKey{2, 2, 2001},
                               &records, &error);
    if (!ok) {
        if (!records.isEmpty() || !error.startsWith(QLatin1String("fuzz.csv")))
            std::abort();
        return 0;
    }
    for (const Record &r : std::as_const(records)) {
        if (!(decimal() < r.data(QStringLiteral("price")).toDecimal())
            || r.data(QStringLiteral("quantity")).toInteger64() < 0
            || r.data(QStringLiteral("moment")).toDatetime().isNull())
            std::abort();
    }
    return 0;
}
