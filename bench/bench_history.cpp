// Downloading candles from the project's history service on loopback into a one-minute model,
// end to end, and parsing a reply page against plain JSON parsing of the same bytes. Figures
// only: nothing here passes or fails.

#include "appsettings.h"
#include "benchhelpers.h"
#include "dealbatch.h"
#include "mapsettings.h"
#include "networkdatamanager.h"
#include "referencedata.h"
#include "responseparser.h"
#include "seriesdatamodel.h"
#include "session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const SeriesKey Shares{2, 2, 2001};

QDate lastWeekday()
{
    QDate d = datetime::today().addDays(-1);
    while (d.dayOfWeek() > 5)
        d = d.addDays(-1);
    return d;
}

double load(const QDate &from, const QDate &till, bool gzip, int *candles, int *bars)
{
    AppSettings(QStringLiteral("Transports/hdxplugin/Parameters"))
        .setValue(QStringLiteral("requestGzip"), gzip);
    SeriesDataModel model(Shares);
    Bench::restore(model, TimeFrameValue(60), from, till);
    model.build();
    QElapsedTimer clock;
    clock.start();
    {
        DealBatch batch(&model, 4, true);
        NetworkDataManager client(Shares, &model, &batch);
        client.load(from, till);
        *candles = client.candleCount();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    *bars = model.validBarCount();
    return seconds;
}

QByteArray fetch(const QString &url)
{
    QNetworkAccessManager network;
    QNetworkReply *reply = network.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    AppSettings::setFileName(dir.filePath(QStringLiteral("bench.ini")));
    qputenv("TA_DATA_DIR", dir.filePath(QStringLiteral("data")).toUtf8());
    QString error;
    if (!ReferenceData::load(ReferenceData::defaultPath(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    // The shares' sessions of the reference data: 10:00-13:00 and 13:05-18:45.
    Bench::storeSchedule(Bench::weekdays({{600, 180}, {785, 340}}));
    QProcess server;
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                 {QStringLiteral("--port"), QStringLiteral("0")});
    if (!server.waitForStarted() || !server.waitForReadyRead(20000)) {
        std::fprintf(stderr, "hdx-server did not start\n");
        return 2;
    }
    const int port = server.readLine().trimmed().toInt();
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    AppSettings(QStringLiteral("Transports/hdxplugin/Parameters"))
        .setValue(QStringLiteral("url"), base);
    AppSettings(QStringLiteral("Transports/hdxplugin/Parameters"))
        .setValue(QStringLiteral("requestTimeout"), 30000);

    // About 100 000 one-minute candles: 520 a trading day.
    const QDate till = lastWeekday();
    QDate from = till;
    for (int days = 0; days < 193; from = from.addDays(-1)) {
        if (from.dayOfWeek() <= 5)
            ++days;
    }
    from = from.addDays(1);
    std::printf("%-34s %10s %10s %12s %10s\n", "end to end", "seconds", "candles", "candles/s",
                "bars");
    for (bool gzip : {false, true}) {
        int candles = 0, bars = 0;
        load(from, till, gzip, &candles, &bars); // the server builds its candles once
        const double seconds = load(from, till, gzip, &candles, &bars);
        std::printf("%-34s %10.2f %10d %12.0f %10d\n",
                    gzip ? "100k candles, gzip" : "100k candles, plain", seconds, candles,
                    candles / seconds, bars);
    }

    // One page of 500 candles: the reply parsed and read, against JSON parsing alone.
    const QByteArray page = fetch(
        base
        + QStringLiteral("/hdx/engines/stock/markets/shares/boards/EQMN/securities/ARKT/"
                         "candles.json?from=%1&till=%2&interval=1&hdx.reverse=true&start=0")
              .arg(from.toString(Qt::ISODate), till.toString(Qt::ISODate)));
    const int rounds = 400;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i) {
        QJsonDocument document = QJsonDocument::fromJson(page);
        if (document.isNull())
            return 1;
    }
    const double plain = clock.nsecsElapsed() / 1e9;
    clock.restart();
    qint64 volume = 0;
    for (int i = 0; i < rounds; ++i) {
        QJsonObject root;
        ResponseParser::parseDocument(page, &root, &error);
        ResponseParser parser(root, QStringLiteral("candles"), ResponseParser::candleColumns());
        if (!parser.init())
            return 1;
        // As the history client reads a page: the columns' positions once, then every row.
        int at[8];
        const char *names[8] = {"open", "close", "high", "low", "value", "volume", "begin", "end"};
        for (int k = 0; k < 8; ++k)
            at[k] = parser.position(QString::fromLatin1(names[k]));
        do {
            parser.decimalAt(at[0]);
            parser.decimalAt(at[1]);
            parser.decimalAt(at[2]);
            parser.decimalAt(at[3]);
            parser.xdecimalAt(at[4]);
            volume += qint64(parser.doubleAt(at[5]));
            parser.datetimeAt(at[6]);
            parser.datetimeAt(at[7]);
        } while (parser.nextRow());
    }
    const double parsed = clock.nsecsElapsed() / 1e9;
    std::printf("\n%-34s %10s %12s %10s\n", "one page (500 candles)", "ms", "QJsonDocument",
                "ratio");
    std::printf("%-34s %10.3f %12.3f %10.2f   (%lld)\n", "parse and read every field",
                parsed / rounds * 1000, plain / rounds * 1000, parsed / plain,
                static_cast<long long>(volume % 7));
    server.kill();
    server.waitForFinished();
    return 0;
}
