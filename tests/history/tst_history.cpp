#include "bartesthelpers.h"
#include "historicaldatamanager.h"
#include "networkdatamanager.h"
#include "referencedata.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "visualeventcenter.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace BarTest;

namespace {

// The last trading days of the exchange calendar before today, so that the service has every
// candle of them whatever day the run stands at (after a weekend, after the New Year holidays).
QDate lastTradingDay(int back)
{
    QDate d = datetime::today();
    int found = 0;
    for (;;) {
        d = d.addDays(-1);
        if (isTradingDay(d) && ++found > back)
            return d;
    }
}

// Recorded replies of the service for ARKT: its candle borders for every interval, one page
// of candles (rows as JSON arrays of open, close, high, low, value, volume, begin, end) for the
// days and interval, and an empty page after it.
void recordReplies(const QTemporaryDir &replies, const QDate &from, const QDate &till,
                   int interval, const QByteArray &rows)
{
    const QString path = QStringLiteral(
        "/hdx/engines/stock/markets/shares/boards/EQMN/securities/ARKT/");
    auto store = [&replies](QString name, const QByteArray &body) {
        QFile f(replies.filePath(name.replace(u'/', u'_')));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
    };
    store(path + QStringLiteral("candleborders.json"),
          R"({"borders": {"metadata": {"begin": {"type": "datetime"}, "end": {"type": "datetime"},
             "interval": {"type": "int32"}}, "columns": ["begin", "end", "interval"],
             "data": [["2024-01-01 00:00:00", "2030-01-01 00:00:00", )"
              + QByteArray::number(interval) + "]]}}");
    const QByteArray columns = R"("metadata": {"open": {"type": "double"},
        "close": {"type": "double"}, "high": {"type": "double"}, "low": {"type": "double"},
        "value": {"type": "double"}, "volume": {"type": "int64"},
        "begin": {"type": "datetime"}, "end": {"type": "datetime"}},
        "columns": ["open", "close", "high", "low", "value", "volume", "begin", "end"])";
    store(path + QStringLiteral("candles.json?from=%1&till=%2&interval=%3&hdx.reverse=true&start=0")
                     .arg(from.toString(Qt::ISODate), till.toString(Qt::ISODate))
                     .arg(interval),
          "{\"candles\": {" + columns + ", \"data\": [" + rows + "]}}");
    store(path + QStringLiteral("candles.json"), "{\"candles\": {" + columns + R"(, "data": []}})");
}

int sentQueries()
{
    return int(LogCollector::filter(QStringLiteral("Sending query")).size());
}

} // namespace

// The history client against the project's history service, started on a free port.
class TestHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void failuresAreRetriedThenReported_data();
    void failuresAreRetriedThenReported();
    void slowButSteadyReplyIsNotCutOff();
    void droppedOnceThenLoaded();
    void candleBetweenSessionsIsDropped();
    void candlePastTheSessionEndClosesItsLastBar();
    void impossibleVolumeDropsTheCandleOnly();
    void shortRowIsAskedAgain();
    void pagesThatDoNotAdvanceStop();

private:
    bool startServer(const QStringList &arguments);
    int load(SeriesDataModel &model, int frame, const QDate &from, const QDate &till);
    void replay(const QDate &from, const QDate &till, int interval, const QByteArray &rows);

    QTemporaryDir m_dir;
    QTemporaryDir m_replies;
    RecordingService m_service;
    QProcess m_server;
    LogCollector m_log;
};

void TestHistory::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "history.ini");
    SeriesDataService::setInstance(&m_service);
    m_log.install();
}

void TestHistory::cleanupTestCase()
{
    m_log.uninstall();
    SeriesDataService::setInstance(nullptr);
    qunsetenv("TA_DATA_DIR");
}

void TestHistory::init()
{
    LogCollector::clear();
    setSchedule(everyWeekday({at(1, 10, 0, 525)}));
    AppSettings parameters(QStringLiteral("Transports/hdxplugin/Parameters"));
    parameters.setValue(QStringLiteral("requestGzip"), false);
    parameters.setValue(QStringLiteral("requestTimeout"), 3000);
}

void TestHistory::cleanup()
{
    m_server.kill();
    m_server.waitForFinished();
}

bool TestHistory::startServer(const QStringList &arguments)
{
    return startHistoryService(m_server, arguments);
}

// Lays the model out over the days and downloads them: the candles read, or -1 on failure.
int TestHistory::load(SeriesDataModel &model, int frame, const QDate &from, const QDate &till)
{
    restore(model, TimeFrameValue(frame), from, till);
    model.build();
    DealBatch batch(&model, 4, true);
    NetworkDataManager client(model.seriesKey(), &model, &batch);
    return client.load(from, till) ? client.candleCount() : -1;
}

// Serves the recorded replies.
void TestHistory::replay(const QDate &from, const QDate &till, int interval, const QByteArray &rows)
{
    recordReplies(m_replies, from, till, interval, rows);
    QVERIFY(startServer({QStringLiteral("--replay"), m_replies.path()}));
}

void TestHistory::failuresAreRetriedThenReported_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("sends");
    QTest::addColumn<bool>("notified");
    QTest::addColumn<QString>("text");
    QTest::newRow("http error") << QStringList{QStringLiteral("--status"), QStringLiteral("500")}
                                << 3 << true << "";
    QTest::newRow("malformed json") << QStringList{QStringLiteral("--malformed-json")} << 3
                                    << false << "";
    QTest::newRow("stalled reply")
        << QStringList{QStringLiteral("--stall-after"), QStringLiteral("20")} << 3 << true
        << "Время на соединение истекло";
    // A format error is final at once.
    QTest::newRow("missing column")
        << QStringList{QStringLiteral("--missing-column"), QStringLiteral("interval")} << 1
        << false << "";
    QTest::newRow("wrong column type")
        << QStringList{QStringLiteral("--wrong-type"), QStringLiteral("interval")} << 1 << false
        << "";
    // A short candle row after the borders were read: the candles are asked three times.
    QTest::newRow("short row") << QStringList{QStringLiteral("--short-row")} << 4 << false << "";
    // The connection closes before the announced length: a network error, shown to the user.
    QTest::newRow("truncated gzip") << QStringList{QStringLiteral("--truncate-gzip")} << 3 << true
                                    << "";
}

void TestHistory::failuresAreRetriedThenReported()
{
    QFETCH(QStringList, faults);
    QFETCH(int, sends);
    QFETCH(bool, notified);
    QFETCH(QString, text);
    AppSettings parameters(QStringLiteral("Transports/hdxplugin/Parameters"));
    parameters.setValue(QStringLiteral("requestTimeout"), 400);
    parameters.setValue(QStringLiteral("requestGzip"),
                        faults.contains(QStringLiteral("--truncate-gzip")));
    QVERIFY(startServer(faults));
    QSignalSpy shown(VisualEventCenter::instance(), &VisualEventCenter::eventShown);
    SeriesDataModel model(Shares);
    const QDate day = lastTradingDay(0);
    QCOMPARE(load(model, 60, day, day), -1);
    QCoreApplication::processEvents();
    QCOMPARE(sentQueries(), sends);
    QCOMPARE(shown.count(), notified ? 1 : 0);
    if (notified) {
        const QString message = shown.first().at(1).toString();
        QVERIFY2(message.startsWith(QStringLiteral("Тех. анализ: не удалось получить данные из "
                                                   "HDX по Арктик Нефть ао. ")),
                 qPrintable(message));
        QVERIFY2(message.contains(text), qPrintable(message));
    }
    QCOMPARE(model.validBarCount(), 0);
}

void TestHistory::slowButSteadyReplyIsNotCutOff()
{
    AppSettings(QStringLiteral("Transports/hdxplugin/Parameters"))
        .setValue(QStringLiteral("requestTimeout"), 600);
    // Pieces of 4 kB every 200 ms: a page of 500 candles takes well over the timeout in all.
    QVERIFY(startServer({QStringLiteral("--chunk-delay"), QStringLiteral("200"),
                         QStringLiteral("--chunk-size"), QStringLiteral("4096")}));
    SeriesDataModel model(Shares);
    const QDate day = lastTradingDay(0);
    QCOMPARE(load(model, 60, day, day), 520);
    QVERIFY(LogCollector::filter(QStringLiteral("Request timeout")).isEmpty());
}

void TestHistory::droppedOnceThenLoaded()
{
    // The network layer itself tries a dropped connection once more; the client's own retries
    // carry it over the rest.
    QVERIFY(startServer({QStringLiteral("--drop"), QStringLiteral("--faults"),
                         QStringLiteral("3")}));
    SeriesDataModel model(Shares);
    const QDate day = lastTradingDay(0);
    QCOMPARE(load(model, 60, day, day), 520);
    QCOMPARE(model.validBarCount(), 520);
    QVERIFY(LogCollector::filter(QStringLiteral("repeatLastRequest #")).size() >= 1);
}

void TestHistory::candleBetweenSessionsIsDropped()
{
    // A Saturday candle between two weekday ones.
    const QDate friday(2026, 11, 27), monday(2026, 11, 30);
    replay(friday, monday, 24, R"(
        [12, 13, 14, 11, 1300, 100, "2026-11-30 00:00:00", "2026-11-30 23:59:59"],
        [99, 99, 99, 99, 9900, 100, "2026-11-28 00:00:00", "2026-11-28 23:59:59"],
        [10, 11, 12, 9, 1100, 100, "2026-11-27 00:00:00", "2026-11-27 23:59:59"])");
    SeriesDataModel model(Shares);
    QCOMPARE(load(model, 86400, friday, monday), 3);
    // Friday and Monday only; Saturday's candle did not leak into Monday's bar.
    QCOMPARE(model.validBarCount(), 2);
    QCOMPARE(model.bar({0, 3}).open, decimal(QStringLiteral("12")));
    QCOMPARE(model.bar({0, 3}).high, decimal(QStringLiteral("14")));
    QCOMPARE(model.bar({0, 0}).close, decimal(QStringLiteral("11")));
    QVERIFY(!model.bar({0, 1}).valid);
}

void TestHistory::candlePastTheSessionEndClosesItsLastBar()
{
    // The session ends at 18:45; ten-minute candles, the last one 18:40-18:49:59. The 18:30
    // bar of fifteen minutes takes both of its candles, the last one's close and volume too.
    const QDate day(2026, 11, 24);
    replay(day, day, 10, R"(
        [104, 105, 106, 103, 735, 7, "2026-11-24 18:40:00", "2026-11-24 18:49:59"],
        [102, 104, 106, 101, 520, 5, "2026-11-24 18:30:00", "2026-11-24 18:39:59"],
        [100, 102, 103, 99, 300, 3, "2026-11-24 18:20:00", "2026-11-24 18:29:59"])");
    SeriesDataModel model(Shares);
    QCOMPARE(load(model, 900, day, day), 3);
    const TimeFrame last = model.bar(model.frameIndexAt(t(day, 18, 30)));
    QCOMPARE(last.open, decimal(QStringLiteral("102")));
    QCOMPARE(last.close, decimal(QStringLiteral("105")));
    QCOMPARE(last.high, decimal(QStringLiteral("106")));
    QCOMPARE(last.volume, qint64(12));
    QCOMPARE(last.value, xdecimal(QStringLiteral("1255")));
    QCOMPARE(model.bar(model.frameIndexAt(t(day, 18, 15))).volume, qint64(3));
}

void TestHistory::impossibleVolumeDropsTheCandleOnly()
{
    // A volume of 1e20 fits no 64-bit count: that candle goes, with a word in the log.
    const QDate day(2026, 11, 24);
    replay(day, day, 1, R"(
        [101, 102, 103, 100, 510, 5, "2026-11-24 10:02:00", "2026-11-24 10:02:59"],
        [101, 101, 101, 101, 1e22, 1e20, "2026-11-24 10:01:00", "2026-11-24 10:01:59"],
        [100, 101, 102, 99, 404, 4, "2026-11-24 10:00:00", "2026-11-24 10:00:59"])");
    SeriesDataModel model(Shares);
    QVERIFY(load(model, 60, day, day) >= 0);
    QCOMPARE(model.validBarCount(), 2);
    QCOMPARE(model.bar(model.frameIndexAt(t(day, 10, 2))).volume, qint64(5));
    QVERIFY(!model.bar(model.frameIndexAt(t(day, 10, 1))).valid);
    QCOMPARE(LogCollector::filter(QStringLiteral("with the volume")).size(), 1);
}

void TestHistory::shortRowIsAskedAgain()
{
    // The first reply's last row lacks a field: the page is asked again, and its first rows
    // are not counted twice.
    const QDate day = lastTradingDay(0);
    QVERIFY(startServer({}));
    SeriesDataModel plain(Shares);
    QVERIFY(load(plain, 60, day, day) >= 0);
    QVERIFY(startServer({QStringLiteral("--short-row"), QStringLiteral("--faults"),
                         QStringLiteral("2")}));
    LogCollector::clear();
    SeriesDataModel model(Shares);
    QVERIFY(load(model, 60, day, day) >= 0);
    QVERIFY(LogCollector::filter(QStringLiteral("repeatLastRequest #")).size() >= 1);
    QCOMPARE(model.validBarCount(), plain.validBarCount());
    for (int k = 0; k < model.validBarCount(); ++k)
        QCOMPARE(model.bar(model.validBar(k)).volume, plain.bar(plain.validBar(k)).volume);
}

void TestHistory::pagesThatDoNotAdvanceStop()
{
    // The service answers every page with the first one: the download fails at once, once
    // told to the user, instead of asking forever.
    QVERIFY(startServer({QStringLiteral("--ignore-start"), QStringLiteral("--page-size"),
                         QStringLiteral("100")}));
    QSignalSpy shown(VisualEventCenter::instance(), &VisualEventCenter::eventShown);
    SeriesDataModel model(Shares);
    const QDate day = lastTradingDay(0);
    restore(model, TimeFrameValue(60), day, day);
    model.build();
    DealBatch batch(&model, 4, true);
    NetworkDataManager client(Shares, &model, &batch);
    // Whatever happens, the test ends.
    QTimer::singleShot(10000, &client, &NetworkDataManager::stopImmediately);
    QVERIFY(!client.load(day, day));
    QCoreApplication::processEvents();
    QVERIFY2(sentQueries() <= 3, qPrintable(QString::number(sentQueries())));
    QCOMPARE(shown.count(), 1);
}

TA_REGISTER_TEST(TestHistory)
#include "tst_history.moc"
