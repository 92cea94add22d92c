// Arbitrary bytes as a history service reply: parsed as JSON, then read as each of the blocks
// the history client asks for, every getter on every row. Must never crash; format problems
// are thrown as QString and caught here like the client does.
#include "responseparser.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

using Column = ResponseParser::Column;

const QList<QPair<QString, QList<Column>>> &blocks()
{
    static const QList<QPair<QString, QList<Column>>> list{
        {QStringLiteral("securities"), ResponseParser::namesColumns()},
        {QStringLiteral("borders"), ResponseParser::bordersColumns()},
        {QStringLiteral("candles"), ResponseParser::candleColumns()},
    };
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject root;
    QString error;
    if (!ResponseParser::parseDocument(QByteArray(reinterpret_cast<const char *>(data),
                                                  qsizetype(size)),
                                       &root, &error))
        return 0;
    ResponseParser::hasBlock(root, QStringLiteral("candles.cursor"));
    for (const auto &[name, columns] : blocks()) {
        ResponseParser parser(root, name, columns);
        try {
            if (!parser.init())
                continue;
            do {
                for (const Column &c : columns) {
                    bool ok = false;
                    parser.toString(c.name, &ok);
                    parser.toInt(c.name, &ok);
                    parser.toInt64(c.name, &ok);
                    parser.toDouble(c.name, &ok);
                    parser.toDecimal(c.name, &ok);
                    parser.toXDecimal(c.name, &ok);
                    parser.toDate(c.name, &ok);
                    parser.toTime(c.name, &ok);
                    parser.toDatetime(c.name, &ok);
                }
            } while (parser.nextRow());
        } catch (const QString &) {
            // The client turns these into a retry or a failure.
        }
    }
    return 0;
}
