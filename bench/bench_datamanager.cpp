// The data manager's hot paths: live trades through the index operation, the replay of a
// day's one-second bars into a chart, and "ta-tool export" from the history service and from
// the cache files. Figures and ratios against plain baselines measured in the same run; nothing
// here passes or fails.

#include "appsettings.h"
#include "benchhelpers.h"
#include "calendardirectory.h"
#include "historicaldatamanager.h"
#include "referencedata.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "table.h"
#include "tableregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

const SeriesKey Charted{2, 2, 2001};
const QList<int> Frames{1, 5, 10, 15, 30, 60, 300, 600, 900, 3600};

Table *deals()
{
    return TableRegistry::instance()->table(QStringLiteral("all_deals"));
}

// Every day of the week, the whole day: any moment of today has its slot.
SessionList wholeDays()
{
    SessionList sessions;
    for (int day = 0; day < 7; ++day)
        sessions.append({day * Session::MinutesPerDay, Session::MinutesPerDay});
    return sessions;
}

void waitFilled(SeriesDataModel &model)
{
    while (SeriesDataManager::instance()->isFilling(&model)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    QCoreApplication::processEvents();
}

QList<Record> makeTrades(int count, const std::function<SeriesKey(int)> &keyOf)
{
    const datetime start(datetime::today(), QTime(0, 0));
    QList<Record> trades;
    trades.reserve(count);
    QRandomGenerator random(5);
    for (int i = 0; i < count; ++i) {
        const SeriesKey key = keyOf(i);
        Record r(deals());
        r.data(QStringLiteral("deal_id")) = qint64(i + 1);
        r.data(QStringLiteral("stock_id")) = key.stock_id;
        r.data(QStringLiteral("board_id")) = key.board_id;
        r.data(QStringLiteral("sec_id")) = key.sec_id;
        r.data(QStringLiteral("moment"))
            .setValue(QVariant::fromValue(start.addMSecs(qint64(i) * 86000000LL / count)));
        const decimal price(18000 + qint64(random.bounded(200)), 2);
        const qint64 quantity = 1 + random.bounded(20);
        r.data(QStringLiteral("price")).setValue(QVariant::fromValue(price));
        r.data(QStringLiteral("quantity")) = quantity;
        r.data(QStringLiteral("value"))
            .setValue(QVariant::fromValue(xdecimal(price).multiplied(quantity * 10)));
        r.data(QStringLiteral("open_interest")) = 0;
        r.data(QStringLiteral("nosystem")) = 0;
        trades.append(r);
    }
    return trades;
}

// The least a live path must do: read the fields, find the instrument in a hash, fold into its
// one-second bars and into the bars of each of its charts.
double plainLivePath(const QList<Record> &trades, const QHash<SeriesKey, QList<int>> &charts)
{
    const Table *table = deals();
    const int stock = table->columnIndex(QStringLiteral("stock_id"));
    const int board = table->columnIndex(QStringLiteral("board_id"));
    const int sec = table->columnIndex(QStringLiteral("sec_id"));
    const int moment = table->columnIndex(QStringLiteral("moment"));
    const int price = table->columnIndex(QStringLiteral("price"));
    const int quantity = table->columnIndex(QStringLiteral("quantity"));
    const int value = table->columnIndex(QStringLiteral("value"));
    const datetime midnight(datetime::today());
    struct Instrument
    {
        std::vector<TimeFrame> seconds = std::vector<TimeFrame>(86400);
        QList<int> frames;
        std::vector<std::vector<TimeFrame>> bars;
    };
    QHash<SeriesKey, std::shared_ptr<Instrument>> instruments;
    for (auto it = charts.cbegin(); it != charts.cend(); ++it) {
        auto in = std::make_shared<Instrument>();
        in->frames = it.value();
        for (int frame : it.value())
            in->bars.emplace_back(size_t(86400 / frame + 1));
        instruments.insert(it.key(), in);
    }
    QElapsedTimer clock;
    clock.start();
    for (const Record &r : trades) {
        const SeriesKey key{r.data(stock).toInteger(), r.data(board).toInteger(),
                            r.data(sec).toInteger64()};
        const auto found = instruments.constFind(key);
        if (found == instruments.cend())
            continue;
        Instrument &in = *found.value();
        Deal d;
        d.time = r.data(moment).toDatetime();
        d.price = r.data(price).toDecimal();
        d.quantity = r.data(quantity).toInteger64() * 10;
        d.value = r.data(value).toXDecimal();
        const qint64 s = midnight.msecsTo(d.time) / 1000;
        foldDeal(in.seconds[size_t(s)], d);
        for (qsizetype c = 0; c < in.frames.size(); ++c)
            foldDeal(in.bars[size_t(c)][size_t(s / in.frames[c])], d);
    }
    return clock.nsecsElapsed() / 1e9;
}

double throughManager(const QList<Record> &trades)
{
    SeriesDataManager *manager = SeriesDataManager::instance();
    QElapsedTimer clock;
    clock.start();
    for (qsizetype i = 0; i < trades.size(); i += 1000) {
        TableLocker locker(deals());
        manager->process(trades.mid(i, 1000));
    }
    return clock.nsecsElapsed() / 1e9;
}

void benchLivePath()
{
    std::printf("Live path: 100 instruments registered, 10 charts of one of them (1 s to 1 h)\n");
    SeriesDataManager *manager = SeriesDataManager::instance();
    std::vector<std::unique_ptr<SeriesDataModel>> models;
    const QDate today = datetime::today();
    for (int frame : Frames) {
        models.push_back(std::make_unique<SeriesDataModel>(Charted));
        Bench::restore(*models.back(), TimeFrameValue(frame), today, today);
        manager->registerModel(models.back().get());
        models.back()->build();
    }
    for (int i = 0; i < 99; ++i) {
        models.push_back(std::make_unique<SeriesDataModel>(SeriesKey{1, 1, 9000 + i}));
        Bench::restore(*models.back(), TimeFrameValue(60), today, today);
        manager->registerModel(models.back().get());
        models.back()->build();
    }
    for (auto &m : models)
        waitFilled(*m);

    const int count = 2000000;
    QHash<SeriesKey, QList<int>> charts{{Charted, Frames}};
    for (int i = 0; i < 99; ++i)
        charts.insert(SeriesKey{1, 1, 9000 + i}, {60});
    const QList<Record> charted = makeTrades(count, [](int) { return Charted; });
    const double plain = plainLivePath(charted, charts);
    const double managed = throughManager(charted);
    std::printf("  every trade of the charted instrument (%d trades):\n", count);
    std::printf("    manager  %8.3f s  %6.2f M trades/s\n", managed, count / managed / 1e6);
    std::printf("    plain    %8.3f s  %6.2f M trades/s   ratio %.2f\n", plain,
                count / plain / 1e6, managed / plain);

    // Trades spread over the 100 instruments: the charted one takes every hundredth.
    for (auto &m : models)
        m->rebuild();
    for (auto &m : models)
        waitFilled(*m);
    const QList<Record> spread = makeTrades(count, [](int i) {
        return i % 100 == 0 ? Charted : SeriesKey{1, 1, 9000 + i % 100 - 1};
    });
    const double plainSpread = plainLivePath(spread, charts);
    const double managedSpread = throughManager(spread);
    std::printf("  trades spread over the 100 instruments (%d trades):\n", count);
    std::printf("    manager  %8.3f s  %6.2f M trades/s\n", managedSpread,
                count / managedSpread / 1e6);
    std::printf("    plain    %8.3f s  %6.2f M trades/s   ratio %.2f\n", plainSpread,
                count / plainSpread / 1e6, managedSpread / plainSpread);
    for (auto &m : models)
        manager->unregisterModel(m.get());
    SeriesDataManager::destroyInstance();
}

void benchTodayFiller()
{
    std::printf("Today filler: a full day of one-second bars into a one-minute chart\n");
    deals()->reset({});
    const SeriesKey key{2, 2, 2003};
    const QList<Record> trades = makeTrades(86400, [key](int) { return key; });
    deals()->append(trades);
    SeriesDataManager *manager = SeriesDataManager::instance();
    const QDate today = datetime::today();
    SeriesDataModel model(key);
    Bench::restore(model, TimeFrameValue(60), today, today);
    manager->registerModel(&model);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        model.clear();
        QElapsedTimer clock;
        clock.start();
        model.build();
        waitFilled(model);
        best = qMin(best, clock.nsecsElapsed() / 1e9);
    }
    const SecondBars seconds = manager->secondBars(key);
    int valid = 0;
    for (const TimeFrame &bar : seconds.bars)
        valid += bar.valid ? 1 : 0;

    // Baseline: the same four deals a second folded straight into 1440 minute bars.
    std::vector<TimeFrame> minutes(1440);
    QElapsedTimer clock;
    clock.start();
    const datetime midnight(today);
    for (int s = 0; s <= seconds.lastSecond; ++s) {
        const TimeFrame &bar = seconds.bars[size_t(s)];
        if (!bar.valid)
            continue;
        TimeFrame &m = minutes[size_t(s / 60)];
        const datetime t = midnight.addMSecs(qint64(s) * 1000);
        foldDeal(m, Deal{t, bar.open, 0, {}, 0});
        foldDeal(m, Deal{t.addMSecs(500), bar.low, 0, {}, 0});
        foldDeal(m, Deal{t.addMSecs(500), bar.high, 0, {}, 0});
        foldDeal(m, Deal{t.addMSecs(999), bar.close, bar.volume, bar.value, bar.openInterest});
    }
    const double plain = clock.nsecsElapsed() / 1e9;
    std::printf("  %d valid seconds -> %d minute bars\n", valid, model.validBarCount());
    std::printf("    filler   %8.2f ms (build to filled, best of 5)\n", best * 1e3);
    std::printf("    plain    %8.2f ms   ratio %.2f\n", plain * 1e3, best / plain);
    manager->unregisterModel(&model);
    SeriesDataManager::destroyInstance();
    deals()->reset({});
}

double runTool(const QStringList &arguments, int *lines)
{
    QProcess tool;
    QElapsedTimer clock;
    clock.start();
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ta-tool"),
               QStringList{QStringLiteral("export")} + arguments);
    tool.waitForFinished(600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    *lines = int(tool.readAllStandardOutput().count('\n')) - 1;
    if (tool.exitCode() != 0)
        std::printf("  ta-tool failed: %s\n", tool.readAllStandardError().constData());
    return seconds;
}

// The plain cost of the same transfer: the candle pages fetched without being read.
double fetchPages(const QString &base, const QDate &from, const QDate &till, qint64 *bytes)
{
    QNetworkAccessManager network;
    QElapsedTimer clock;
    clock.start();
    *bytes = 0;
    for (int start = 0;; start += 500) {
        const QString url = base
                            + QStringLiteral("/hdx/engines/stock/markets/shares/boards/EQMN/"
                                             "securities/ARKT/candles.json?from=%1&till=%2"
                                             "&interval=1&hdx.reverse=true&start=%3")
                                  .arg(from.toString(Qt::ISODate), till.toString(Qt::ISODate))
                                  .arg(start);
        QNetworkReply *reply = network.get(QNetworkRequest(QUrl(url)));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        *bytes += body.size();
        // An empty page ends the interval.
        if (body.contains("\"data\": []") || body.isEmpty() || start > 1000000)
            break;
    }
    return clock.nsecsElapsed() / 1e9;
}

void benchExport(const QString &directory)
{
    std::printf("ta-tool export\n");
    QProcess server;
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                 {QStringLiteral("--port"), QStringLiteral("0")});
    if (!server.waitForStarted() || !server.waitForReadyRead(20000)) {
        std::printf("  hdx-server did not start\n");
        return;
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1")
                            .arg(server.readLine().trimmed().toInt());
    QDate to = datetime::today().addDays(-1);
    const QDate from = to.addDays(-29);
    int lines = 0;
    // The first run warms the service's candles up; the second is measured.
    const QStringList history{QStringLiteral("--key"),      QStringLiteral("2,2,2001"),
                              QStringLiteral("--timeframe"), QStringLiteral("60"),
                              QStringLiteral("--days"),      QStringLiteral("30"),
                              QStringLiteral("--to"),        to.toString(Qt::ISODate),
                              QStringLiteral("--hdx-url"),   url,
                              QStringLiteral("--data-dir"),  directory + QStringLiteral("/h")};
    runTool(history, &lines);
    const double historySeconds = runTool(history, &lines);
    qint64 bytes = 0;
    const double pages = fetchPages(url, from, to, &bytes);
    std::printf("  30 days of one-minute history from hdx-server: %d bars\n", lines);
    std::printf("    ta-tool  %8.3f s\n", historySeconds);
    std::printf("    fetch    %8.3f s (the candle pages alone, %.1f MB)   ratio %.2f\n", pages,
                bytes / 1e6, historySeconds / pages);
    server.kill();
    server.waitForFinished();

    // Five full days of one-second bars in the cache files.
    const QString dataDir = directory + QStringLiteral("/c");
    const QByteArray previousDataDir = qgetenv("TA_DATA_DIR");
    qputenv("TA_DATA_DIR", dataDir.toUtf8());
    const QString cacheDirectory = HistoricalDataManager::instrumentDirectory(SeriesKey{2, 2, 2006});
    const SeriesKey key{2, 2, 2006};
    QRandomGenerator random(3);
    qint64 fileBytes = 0;
    for (int back = 1; back <= 5; ++back) {
        const QDate day = datetime::today().addDays(-back);
        SecondBars seconds;
        seconds.bars.resize(86400);
        for (int s = 0; s < 86400; ++s) {
            Deal d{datetime(day).addMSecs(qint64(s) * 1000), decimal(1548000 + random.bounded(50), 2),
                   1 + random.bounded(9), {}, 0};
            d.value = xdecimal(d.price).multiplied(d.quantity);
            foldDeal(seconds.bars[size_t(s)], d);
        }
        seconds.lastSecond = 86399;
        HistoricalDataManager::storeSecondFile(key, day, seconds);
        fileBytes += QFileInfo(HistoricalDataManager::dayFilePath(
                                   HistoricalDataManager::instrumentDirectory(key), day,
                                   QStringLiteral("1")))
                         .size();
    }
    qputenv("TA_DATA_DIR", previousDataDir);
    const QStringList cache{QStringLiteral("--key"),      QStringLiteral("2,2,2006"),
                            QStringLiteral("--timeframe"), QStringLiteral("1"),
                            QStringLiteral("--days"),      QStringLiteral("5"),
                            QStringLiteral("--to"),        to.toString(Qt::ISODate),
                            QStringLiteral("--hdx-url"),   QStringLiteral("http://127.0.0.1:1"),
                            QStringLiteral("--reference"), directory + QStringLiteral("/everyday.json"),
                            QStringLiteral("--data-dir"),  dataDir};
    const double cacheSeconds = runTool(cache, &lines);
    // Baseline: the same files read line by line and split, nothing more.
    QElapsedTimer clock;
    clock.start();
    qint64 fields = 0;
    for (const QFileInfo &info :
         QDir(cacheDirectory).entryInfoList({QStringLiteral("*_1")})) {
        QFile file(info.filePath());
        file.open(QIODevice::ReadOnly);
        while (!file.atEnd())
            fields += file.readLine().split(';').size();
    }
    const double plain = clock.nsecsElapsed() / 1e9;
    std::printf("  5 days of one-second bars from the cache files (%.1f MB): %d bars\n",
                fileBytes / 1e6, lines);
    std::printf("    ta-tool  %8.3f s\n", cacheSeconds);
    std::printf("    read     %8.3f s (readLine + split, %lld fields)   ratio %.2f\n", plain,
                fields, cacheSeconds / plain);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    AppSettings::setFileName(dir.filePath(QStringLiteral("bench.ini")));
    qputenv("TA_DATA_DIR", dir.filePath(QStringLiteral("data")).toUtf8());
    QString error;
    const QString reference = QCoreApplication::applicationDirPath()
                              + QStringLiteral("/reference.json");
    if (!ReferenceData::load(reference, &error)) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    // The reference data trading all day every day, for the tool.
    {
        QFile shipped(reference);
        shipped.open(QIODevice::ReadOnly);
        QJsonObject object = QJsonDocument::fromJson(shipped.readAll()).object();
        QJsonArray sessions;
        for (int day = 1; day <= 7; ++day)
            sessions.append(QJsonObject{{QStringLiteral("day"), day},
                                        {QStringLiteral("from"), QStringLiteral("00:00")},
                                        {QStringLiteral("to"), QStringLiteral("23:59")}});
        object[QStringLiteral("schedules")] = QJsonArray{
            QJsonObject{{QStringLiteral("stock"), QStringLiteral("EQ")},
                        {QStringLiteral("sessions"), sessions}}};
        object[QStringLiteral("calendar")] = QJsonArray();
        QFile everyDay(dir.filePath(QStringLiteral("everyday.json")));
        everyDay.open(QIODevice::WriteOnly);
        everyDay.write(QJsonDocument(object).toJson());
    }
    CalendarDirectory::i()->table()->reset({});
    Bench::storeSchedule(wholeDays());
    {
        AppSettings ta(QStringLiteral("TechAnalysis"));
        SettingsGroup group(ta, QStringLiteral("Schedule_DRV"));
        saveSchedule(wholeDays(), ta);
    }
    benchLivePath();
    benchTodayFiller();
    benchExport(dir.path());
    return 0;
}
