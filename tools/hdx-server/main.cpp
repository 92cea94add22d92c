#include "hdxserver.h"
#include "referencedata.h"
#include "syntheticmarket.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

// The history service for the demo and the tests: the three requests of the history protocol
// over HTTP on loopback, with synthetic candles and switches that inject faults.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hdx-server"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("History service on loopback"));
    parser.addHelpOption();
    auto option = [&parser](const char *name, const char *help, const char *value = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help));
        if (value)
            o.setValueName(QString::fromLatin1(value));
        parser.addOption(o);
        return o;
    };
    const auto port = option("port", "Port to listen on (0 picks one and prints it).", "port");
    const auto reference = option("reference", "Reference data file (JSON).", "file");
    const auto pageSize = option("page-size", "Candles per page (default 500).", "n");
    const auto replay = option("replay", "Serve recorded replies from a folder.", "dir");
    const auto delay = option("delay", "Wait so many ms before answering.", "ms");
    const auto stall = option("stall-after", "Send so many bytes, then stall.", "bytes");
    const auto drop = option("drop", "Close connections without an answer.");
    const auto status = option("status", "Answer with this HTTP status.", "code");
    const auto truncate = option("truncate-gzip", "Send half of gzip bodies.");
    const auto malformed = option("malformed-json", "Send broken JSON.");
    const auto missing = option("missing-column", "Leave this column out.", "name");
    const auto wrongType = option("wrong-type", "Declare this column a string.", "name");
    const auto chunkDelay = option("chunk-delay", "Send bodies in pieces, pausing so many ms.",
                                   "ms");
    const auto chunkSize = option("chunk-size", "Size of those pieces (default 1024).", "bytes");
    const auto faultCount = option("faults", "Only the first N requests get the faults.", "n");
    const auto shortRow = option("short-row", "Send the last row of a candle page one field short.");
    const auto ignoreStart = option("ignore-start", "Answer every candle page with the first.");
    parser.process(app);

    QString error;
    const QString referencePath = parser.isSet(reference) ? parser.value(reference)
                                                          : ReferenceData::defaultPath();
    if (!ReferenceData::load(referencePath, &error)) {
        std::fprintf(stderr, "hdx-server: %s\n", qPrintable(error));
        return 2;
    }
    bool ok = true;
    const uint portNumber = parser.value(port).isEmpty() ? 0 : parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535) {
        std::fprintf(stderr, "hdx-server: invalid port \"%s\"\n", qPrintable(parser.value(port)));
        return 2;
    }
    HdxServer::Faults faults;
    faults.delayMs = parser.value(delay).toInt();
    faults.stallAfter = parser.isSet(stall) ? parser.value(stall).toLongLong() : -1;
    faults.drop = parser.isSet(drop);
    faults.status = parser.value(status).toInt();
    faults.truncateGzip = parser.isSet(truncate);
    faults.malformedJson = parser.isSet(malformed);
    faults.missingColumn = parser.value(missing);
    faults.wrongTypeColumn = parser.value(wrongType);
    faults.chunkDelayMs = parser.value(chunkDelay).toInt();
    faults.chunkSize = parser.isSet(chunkSize) ? qMax(1, parser.value(chunkSize).toInt()) : 1024;
    faults.count = parser.value(faultCount).toInt();
    faults.shortRow = parser.isSet(shortRow);
    faults.ignoreStart = parser.isSet(ignoreStart);

    SyntheticMarket market;
    HdxServer server(&market, faults,
                     parser.isSet(pageSize) ? parser.value(pageSize).toInt() : 500,
                     parser.value(replay));
    if (!server.listen(quint16(portNumber))) {
        std::fprintf(stderr, "hdx-server: cannot listen on port %u\n", portNumber);
        return 1;
    }
    std::printf("%u\n", server.port());
    std::fflush(stdout);
    return app.exec();
}
