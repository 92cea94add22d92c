#include "bartesthelpers.h"
#include "historicaldatamanager.h"
#include "networkdatasaverforhistoricaldata.h"
#include "referencedata.h"
#include "tableregistry.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "zlibstream.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace BarTest;

namespace {

const QDate Day(2026, 12, 3); // a Thursday

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

// Folds trades into one-second bars as the data manager does (the folding rules themselves
// are checked by the bar model's suite).
SecondBars secondBarsOf(const std::vector<Deal> &deals)
{
    SecondBars seconds;
    seconds.bars.resize(86400);
    const datetime midnight(Day);
    for (const Deal &d : deals) {
        const int s = int(midnight.msecsTo(d.time) / 1000);
        seconds.lastSecond = std::max(seconds.lastSecond, s);
        foldDeal(seconds.bars[size_t(s)], d);
    }
    return seconds;
}

QByteArray gzipWithCommand(const QByteArray &data)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c"), QStringLiteral("-6")});
    if (!gzip.waitForStarted())
        return {};
    gzip.write(data);
    gzip.closeWriteChannel();
    gzip.waitForFinished(60000);
    return gzip.readAllStandardOutput();
}

QByteArray someText(int size)
{
    QByteArray data;
    QRandomGenerator random(size);
    while (data.size() < size)
        data += QByteArray::number(random.bounded(100000)) + ";187.45;0.5\n";
    data.truncate(size);
    return data;
}

} // namespace

class TestCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void cacheFoldersStayInside();
    void lastSecondWrittenAsMidnight();
    void storingTwiceOverwrites();
    void damagedLinesEndTheFile_data();
    void damagedLinesEndTheFile();
    void interruptedDownloadStartsAfresh();

    void brokenGzip_data();
    void brokenGzip();

private:
    // The day's cache files of the instrument, read into a model of that frame.
    std::unique_ptr<SeriesDataModel> readBack(const SeriesKey &key, int seconds);

    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestCache::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "cache.ini");
    SeriesDataService::setInstance(&m_service);
}

void TestCache::cleanupTestCase()
{
    SeriesDataService::setInstance(nullptr);
    qunsetenv("TA_DATA_DIR");
}

void TestCache::init()
{
    setSchedule(everyWeekday({at(1, 0, 0, 1440)}));
}

std::unique_ptr<SeriesDataModel> TestCache::readBack(const SeriesKey &key, int seconds)
{
    auto model = std::make_unique<SeriesDataModel>(key);
    restore(*model, TimeFrameValue(seconds), Day, Day);
    model->build();
    HistoricalDataManager::readCacheFiles(model.get(), Day, Day);
    return model;
}

void TestCache::lastSecondWrittenAsMidnight()
{
    const SeriesKey key{2, 2, 2002};
    std::vector<Deal> late{deal(datetime(Day).addMSecs(86399500), "4.862", 7, 3)};
    HistoricalDataManager::storeSecondFile(key, Day, secondBarsOf(late));
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    QCOMPARE(readFile(dir + QStringLiteral("/20261203_1")),
             QByteArray("\xEF\xBB\xBF" "000000;4.862;4.862;4.862;4.862;7;34.034;3\n"));
    QCOMPARE(readFile(dir + QStringLiteral("/20261203_60")),
             QByteArray("\xEF\xBB\xBF" "000000;4.862;4.862;4.862;4.862;7;34.034;3\n"));
    // Read back, the bar is the day's last second, not the previous day's.
    const auto model = readBack(key, 1);
    QCOMPARE(model->validBarCount(), 1);
    QCOMPARE(model->frameTime(model->validBar(0), false), datetime(Day).addSecs(86399));
    // Nothing was traded: no file.
    const SeriesKey quiet{2, 2, 2003};
    HistoricalDataManager::storeSecondFile(quiet, Day, SecondBars{});
    QVERIFY(!QFile::exists(HistoricalDataManager::instrumentDirectory(quiet)
                           + QStringLiteral("/20261203_1")));
}

void TestCache::storingTwiceOverwrites()
{
    const SeriesKey key{2, 2, 2004};
    // A longer day first; the second store leaves nothing of it.
    HistoricalDataManager::storeSecondFile(
        key, Day, secondBarsOf({deal(t(Day, 9, 0), "0.87", 3), deal(t(Day, 18, 44), "0.88", 2)}));
    std::vector<Deal> one{deal(datetime(Day).addSecs(36000), "0.8735", 1)};
    HistoricalDataManager::storeSecondFile(key, Day, secondBarsOf(one));
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    QCOMPARE(readFile(dir + QStringLiteral("/20261203_1")),
             QByteArray("\xEF\xBB\xBF" "100001;0.8735;0.8735;0.8735;0.8735;1;0.8735;0\n"));
    QCOMPARE(readFile(dir + QStringLiteral("/20261203_60")),
             QByteArray("\xEF\xBB\xBF" "100100;0.8735;0.8735;0.8735;0.8735;1;0.8735;0\n"));
}

void TestCache::damagedLinesEndTheFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("volume"); // of the one bar read back
    // What came before a damaged line stays; nothing from it on is read.
    const QByteArray before = "100001;254.3;254.3;254.3;254.3;10;2543;0\n";
    const QByteArray after = "100003;254.5;254.5;254.5;254.5;10;2545;0\n";
    QTest::newRow("no open interest")
        << before + "100002;254.4;254.4;254.4;254.4;10;2544\n" + after << qint64(10);
    QTest::newRow("garbage in a field")
        << before + "1000x2;254.4;254.4;254.4;254.4;10;2544;0\n" + after << qint64(10);
    QTest::newRow("negative volume")
        << before + "100002;254.4;254.4;254.4;254.4;-10;2544;0\n" + after << qint64(10);
    // Volumes too large to add up stop at the largest value instead of wrapping round.
    const QByteArray huge = "100001;1;1;1;1;9223372036854775807;1;0\n";
    QTest::newRow("volume overflow") << huge + huge << std::numeric_limits<qint64>::max();
}

void TestCache::damagedLinesEndTheFile()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, volume);
    const SeriesKey key{2, 2, 2005};
    writeFile(HistoricalDataManager::instrumentDirectory(key) + QStringLiteral("/20261203_1"),
              content);
    const auto model = readBack(key, 1);
    QCOMPARE(model->validBarCount(), 1);
    QCOMPARE(model->bar(model->validBar(0)).volume, volume);
}

namespace {

Candle candle(const datetime &begin, const char *price)
{
    Candle c;
    c.begin = begin;
    c.end = begin.addSecs(60);
    c.open = c.high = c.low = c.close = decimal(QString::fromLatin1(price));
    c.volume = 1;
    c.value = xdecimal(c.close);
    c.valid = true;
    return c;
}

} // namespace

void TestCache::interruptedDownloadStartsAfresh()
{
    const SeriesKey key{3, 4, 3002};
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    const QString day = HistoricalDataManager::dayFilePath(dir, Day, QStringLiteral("60"));
    // Left behind by a download that was stopped half-way.
    writeFile(day + QStringLiteral(".hdx.pre"), "100100;9;9;9;9;9;9;0\n");
    {
        NetworkDataSaverForHistoricalData saver(
            HistoricalDataManager::intervalFilePath(dir, Day, Day.addDays(2), QStringLiteral("60")),
            dir, TimeFrameValue(60));
        for (const QDate &d : {Day.addDays(1), Day}) { // newest first, as the service sends
            saver.write(candle(t(d, 10, 0), "99.442"));
            saver.write(candle(t(d, 10, 1), "99.442"));
        }
    }
    QCOMPARE(readFile(day + QStringLiteral(".hdx")),
             QByteArray("100100;99.442;99.442;99.442;99.442;1;99.442;0\n"
                        "100200;99.442;99.442;99.442;99.442;1;99.442;0\n"));
    QVERIFY(QFile::exists(HistoricalDataManager::dayFilePath(dir, Day.addDays(1),
                                                             QStringLiteral("60"))
                          + QStringLiteral(".hdx")));
    // The downloaded minutes are read in place of the day-change file.
    const auto model = readBack(key, 60);
    QCOMPARE(model->validBarCount(), 2);
    QCOMPARE(model->bar(model->validBar(0)).close, decimal(QStringLiteral("99.442")));
}

void TestCache::cacheFoldersStayInside()
{
    const QString base = m_dir.filePath(QStringLiteral("data")) + QStringLiteral("/tadata/");
    // A proxy board's security keeps its files on the real board; an unknown one has none.
    QCOMPARE(HistoricalDataManager::instrumentDirectory({2, 5, 2501}),
             base + QStringLiteral("EQ/EQMN/ARKT"));
    QVERIFY(QDir(base + QStringLiteral("EQ/EQMN/ARKT")).exists());
    QVERIFY(HistoricalDataManager::instrumentDirectory({2, 2, 999999}).isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reference.json"));
    QByteArray json = readFile(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"));
    // A futures name (futures go by name) and a share code that try to leave the cache folder.
    json.replace("\"VLMR-3.27\"", "\"../../../escape\"");
    json.replace("\"code\": \"KSTR\"", "\"code\": \"..\"");
    json.replace("\"code\": \"EQ\"", "\"code\": \"E/Q\"");
    json.replace("\"stock\": \"EQ\"", "\"stock\": \"E/Q\"");
    writeFile(path, json);
    QString error;
    QVERIFY2(ReferenceData::load(path, &error), qPrintable(error));
    const QString futures = HistoricalDataManager::instrumentDirectory({1, 1, 1001});
    const QString share = HistoricalDataManager::instrumentDirectory({2, 2, 2002});
    QCOMPARE(futures, base + QStringLiteral("DRV/FUT/..%2F..%2F..%2Fescape"));
    QCOMPARE(share, base + QStringLiteral("E%2FQ/EQMN/%2E%2E"));
    // Written and read back through the same names.
    std::vector<Deal> one{deal(datetime(Day).addSecs(36000), "4.9", 1)};
    HistoricalDataManager::storeSecondFile({2, 2, 2002}, Day, secondBarsOf(one));
    QVERIFY(QFile::exists(share + QStringLiteral("/20261203_1")));
    QCOMPARE(readBack(SeriesKey{2, 2, 2002}, 1)->validBarCount(), 1);
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
}

void TestCache::brokenGzip_data()
{
    QTest::addColumn<QByteArray>("body");
    const QByteArray gz = gzipWithCommand(someText(200000));
    QTest::newRow("truncated trailer") << gz.left(gz.size() - 4);
    QByteArray corrupted = gz;
    for (int i = gz.size() / 3; i < gz.size() / 3 + 64; ++i)
        corrupted[i] = char(corrupted[i] ^ 0x5a);
    QTest::newRow("corrupted") << corrupted;
    QByteArray badCheck = gz;
    badCheck[badCheck.size() - 6] = char(badCheck[badCheck.size() - 6] ^ 1);
    QTest::newRow("bad check value") << badCheck;
    QTest::newRow("not gzip") << QByteArray("{\"hdx\": 1}");
}

// Whether the body stops short, is damaged or is no gzip at all, the reply fails with the
// reason.
void TestCache::brokenGzip()
{
    QFETCH(QByteArray, body);
    QBuffer reply;
    reply.setData(body);
    QByteArray out;
    QString error;
    QVERIFY(!ZlibStream::readAllGzip(&reply, &out, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Внутренняя ошибка во время распаковки данных: ")),
             qPrintable(error));
}

TA_REGISTER_TEST(TestCache)
#include "tst_cache.moc"
