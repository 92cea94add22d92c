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

#include <zlib.h>

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

QByteArray deflateWithZlib(const QByteArray &data, int windowBits)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&zs, uLong(data.size()))), Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(int(zs.total_out));
    deflateEnd(&zs);
    return out;
}

QByteArray inflateAll(const QByteArray &packed, ZlibStream::Format format, int *state = nullptr,
                      QString *error = nullptr)
{
    QBuffer buffer;
    buffer.setData(packed);
    ZlibStream stream(&buffer);
    stream.setFormat(format);
    if (!stream.open(QIODevice::ReadOnly))
        return "<not opened>";
    QByteArray out;
    char chunk[4096];
    qint64 got;
    while ((got = stream.read(chunk, sizeof chunk)) > 0)
        out.append(chunk, got);
    if (state)
        *state = stream.state();
    if (error)
        *error = stream.errorString();
    stream.close();
    return out;
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

    void folderNamesAreSafe_data();
    void folderNamesAreSafe();
    void instrumentFolders();
    void fileNames();
    void roundTripIntoModels_data();
    void roundTripIntoModels();
    void lastSecondWrittenAsMidnight();
    void storingTwiceOverwrites();
    void shortLinesEndTheFile();
    void downloadedDayKeepsFinishedFile();
    void interruptedDownloadStartsAfresh();
    void dangerousNamesStayInside();

    void inflateExternalStreams_data();
    void inflateExternalStreams();
    void writeAndReadBack_data();
    void writeAndReadBack();
    void readWriteRefused();
    void brokenGzip_data();
    void brokenGzip();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
    std::vector<Deal> m_deals;
};

void TestCache::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "cache.ini");
    SeriesDataService::setInstance(&m_service);
    // A day of trades, a few seconds apart, some sharing a second.
    QRandomGenerator random(42);
    for (qint64 ms = 10 * 3600000LL; ms < 18 * 3600000LL + 45 * 60000; ms += 1 + random.bounded(4000)) {
        const QByteArray price = QByteArray::number(180 + random.bounded(15)) + '.'
                                 + QByteArray::number(random.bounded(100));
        m_deals.push_back(deal(datetime(Day).addMSecs(ms), price.constData(),
                               1 + random.bounded(30), quint32(100 + random.bounded(5))));
    }
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

void TestCache::folderNamesAreSafe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("ordinary") << "VLMR-3.27" << "VLMR-3.27";
    QTest::newRow("cyrillic") << "Арктик Нефть ао" << "Арктик Нефть ао";
    QTest::newRow("slash") << "USD/RUB" << "USD%2FRUB";
    QTest::newRow("backslash") << "a\\b" << "a%5Cb";
    QTest::newRow("dot") << "." << "%2E";
    QTest::newRow("dot dot") << ".." << "%2E%2E";
    QTest::newRow("dots inside") << "a..b" << "a..b";
    QTest::newRow("refused characters") << "a:b*c?\"<>|" << "a%3Ab%2Ac%3F%22%3C%3E%7C";
    QTest::newRow("percent") << "50%" << "50%25";
    QTest::newRow("control") << QStringLiteral("a\nb") << "a%0Ab";
}

void TestCache::folderNamesAreSafe()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(HistoricalDataManager::safeFileName(name), safe);
    // Different names never share a folder.
    QVERIFY(HistoricalDataManager::safeFileName(name + QStringLiteral("/"))
            != HistoricalDataManager::safeFileName(name + QStringLiteral("%2F")));
}

void TestCache::instrumentFolders()
{
    const QString base = m_dir.filePath(QStringLiteral("data"));
    QCOMPARE(HistoricalDataManager::instrumentDirectory({2, 2, 2001}),
             base + QStringLiteral("/tadata/EQ/EQMN/ARKT"));
    QCOMPARE(HistoricalDataManager::instrumentDirectory({1, 1, 1001}),
             base + QStringLiteral("/tadata/DRV/FUT/VLMR-3.27")); // futures go by name
    // A proxy board's security keeps its files on the real board.
    QCOMPARE(HistoricalDataManager::instrumentDirectory({2, 5, 2501}),
             base + QStringLiteral("/tadata/EQ/EQMN/ARKT"));
    QVERIFY(HistoricalDataManager::instrumentDirectory({2, 2, 999999}).isEmpty());
    QVERIFY(QDir(base + QStringLiteral("/tadata/EQ/EQMN/ARKT")).exists());
}

void TestCache::fileNames()
{
    QCOMPARE(HistoricalDataManager::dayResolution(TimeFrameValue(30)), QStringLiteral("1"));
    QCOMPARE(HistoricalDataManager::dayResolution(TimeFrameValue(60)), QStringLiteral("60"));
    QCOMPARE(HistoricalDataManager::dayResolution(TimeFrameValue(1, Month)), QStringLiteral("60"));
    QCOMPARE(HistoricalDataManager::intervalResolution(TimeFrameValue(1, Month)),
             QStringLiteral("2678400"));
    QCOMPARE(HistoricalDataManager::intervalResolution(TimeFrameValue(1, Year)),
             QStringLiteral("8035200"));
    QCOMPARE(HistoricalDataManager::intervalResolution(TimeFrameValue(7200)),
             QStringLiteral("3600"));
    QCOMPARE(HistoricalDataManager::intervalResolution(TimeFrameValue(300)), QStringLiteral("60"));
    QCOMPARE(HistoricalDataManager::intervalResolution(TimeFrameValue(15)), QStringLiteral("1"));
    QCOMPARE(HistoricalDataManager::dayFilePath(QStringLiteral("/d"), Day, QStringLiteral("60")),
             QStringLiteral("/d/20261203_60"));
    QCOMPARE(HistoricalDataManager::intervalFilePath(QStringLiteral("/d"), Day, Day.addDays(2),
                                                     QStringLiteral("60")),
             QStringLiteral("/d/20261203-20261205_60"));
}

void TestCache::roundTripIntoModels_data()
{
    QTest::addColumn<int>("seconds");
    QTest::newRow("one second") << 1;
    QTest::newRow("five seconds") << 5;
    QTest::newRow("one minute") << 60;
    QTest::newRow("five minutes") << 300;
}

void TestCache::roundTripIntoModels()
{
    QFETCH(int, seconds);
    const SeriesKey key{2, 2, 2001};
    HistoricalDataManager::storeSecondFile(key, Day, secondBarsOf(m_deals));
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    QVERIFY(readFile(dir + QStringLiteral("/20261203_1")).startsWith("\xEF\xBB\xBF"));
    QVERIFY(readFile(dir + QStringLiteral("/20261203_60")).startsWith("\xEF\xBB\xBF"));

    SeriesDataModel direct(key), cached(key);
    restore(direct, TimeFrameValue(seconds), Day, Day);
    restore(cached, TimeFrameValue(seconds), Day, Day);
    direct.build();
    cached.build();
    {
        DealBatch batch(&direct, 4, false);
        for (const Deal &d : m_deals)
            batch.append(d);
    }
    HistoricalDataManager::readCacheFiles(&cached, Day, Day);
    QCOMPARE(cached.validBarCount(), direct.validBarCount());
    QVERIFY(direct.validBarCount() > 0);
    for (int k = 0; k < direct.validBarCount(); ++k) {
        const FrameIndex idx = direct.validBar(k);
        QCOMPARE(cached.validBar(k), idx);
        const TimeFrame a = direct.bar(idx), b = cached.bar(idx);
        QCOMPARE(b.open, a.open);
        QCOMPARE(b.high, a.high);
        QCOMPARE(b.low, a.low);
        QCOMPARE(b.close, a.close);
        QCOMPARE(b.volume, a.volume);
        QCOMPARE(b.value, a.value);
        QCOMPARE(b.openInterest, a.openInterest);
    }
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
    SeriesDataModel model(key);
    restore(model, TimeFrameValue(1), Day, Day);
    model.build();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.validBarCount(), 1);
    QCOMPARE(model.frameTime(model.validBar(0), false), datetime(Day).addSecs(86399));
    // Nothing was traded: no file.
    const SeriesKey quiet{2, 2, 2003};
    HistoricalDataManager::storeSecondFile(quiet, Day, SecondBars{});
    QVERIFY(!QFile::exists(HistoricalDataManager::instrumentDirectory(quiet)
                           + QStringLiteral("/20261203_1")));
}

void TestCache::storingTwiceOverwrites()
{
    const SeriesKey key{2, 2, 2004};
    HistoricalDataManager::storeSecondFile(key, Day, secondBarsOf(m_deals));
    std::vector<Deal> one{deal(datetime(Day).addSecs(36000), "0.8735", 1)};
    HistoricalDataManager::storeSecondFile(key, Day, secondBarsOf(one));
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    QCOMPARE(readFile(dir + QStringLiteral("/20261203_1")),
             QByteArray("\xEF\xBB\xBF" "100001;0.8735;0.8735;0.8735;0.8735;1;0.8735;0\n"));
    QCOMPARE(readFile(dir + QStringLiteral("/20261203_60")),
             QByteArray("\xEF\xBB\xBF" "100100;0.8735;0.8735;0.8735;0.8735;1;0.8735;0\n"));
}

void TestCache::shortLinesEndTheFile()
{
    const SeriesKey key{2, 2, 2005};
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    writeFile(dir + QStringLiteral("/20261203_1"),
              "100001;254.3;254.3;254.3;254.3;10;2543;0\n"
              "100002;254.4;254.4;254.4;254.4;10;2544\n" // 7 fields: no open interest
              "100003;254.5;254.5;254.5;254.5;10;2545;0\n");
    SeriesDataModel model(key);
    restore(model, TimeFrameValue(1), Day, Day);
    model.build();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.validBarCount(), 1);
    // Garbage in a field ends the file as well; what came before stays.
    writeFile(dir + QStringLiteral("/20261203_1"),
              "100001;254.3;254.3;254.3;254.3;10;2543;0\n"
              "1000x2;254.4;254.4;254.4;254.4;10;2544;0\n"
              "100003;254.5;254.5;254.5;254.5;10;2545;0\n");
    model.rebuild();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.validBarCount(), 1);
    // A negative volume is no volume: the file ends there.
    writeFile(dir + QStringLiteral("/20261203_1"),
              "100001;254.3;254.3;254.3;254.3;10;2543;0\n"
              "100002;254.4;254.4;254.4;254.4;-10;2544;0\n");
    model.rebuild();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.validBarCount(), 1);
    // Volumes too large to add up stop at the largest value instead of wrapping round.
    writeFile(dir + QStringLiteral("/20261203_1"),
              "100001;1;1;1;1;9223372036854775807;1;0\n"
              "100001;1;1;1;1;9223372036854775807;1;0\n");
    model.rebuild();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.bar(model.validBar(0)).volume, std::numeric_limits<qint64>::max());
}

void TestCache::downloadedDayKeepsFinishedFile()
{
    const SeriesKey key{3, 4, 3001};
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    const QString day = HistoricalDataManager::dayFilePath(dir, Day, QStringLiteral("60"));
    writeFile(day + QStringLiteral(".hdx"), "100100;1;1;1;1;1;1;0\n");
    {
        NetworkDataSaverForHistoricalData saver(
            HistoricalDataManager::intervalFilePath(dir, Day, Day.addDays(1), QStringLiteral("60")),
            dir, TimeFrameValue(60));
        Candle c;
        c.begin = t(Day, 10, 0);
        c.end = t(Day, 10, 1);
        c.open = c.high = c.low = c.close = decimal(QStringLiteral("92.185"));
        c.volume = 5;
        c.value = xdecimal(QStringLiteral("460.925"));
        c.valid = true;
        saver.write(c);
        QCOMPARE(saver.count(), 1);
    }
    QCOMPARE(readFile(day + QStringLiteral(".hdx")), QByteArray("100100;1;1;1;1;1;1;0\n"));
    QVERIFY(!QFile::exists(day + QStringLiteral(".hdx.pre")));
    // The interval file has no byte-order mark and both times of the candle.
    const QString interval = HistoricalDataManager::intervalFilePath(dir, Day, Day.addDays(1),
                                                                     QStringLiteral("60"));
    QCOMPARE(readFile(interval + QStringLiteral(".1dx.pre")),
             QByteArray("20261203 100000;20261203 100100;92.185;92.185;92.185;92.185;5;"
                        "460.925;0\n"));
    HistoricalDataManager::finishFile(interval, QStringLiteral(".1dx.pre"),
                                      QStringLiteral(".1dx"));
    QVERIFY(QFile::exists(interval + QStringLiteral(".1dx")));
}

void TestCache::interruptedDownloadStartsAfresh()
{
    const SeriesKey key{3, 4, 3002};
    const QString dir = HistoricalDataManager::instrumentDirectory(key);
    const QString day = HistoricalDataManager::dayFilePath(dir, Day, QStringLiteral("60"));
    // Left behind by a download that was stopped half-way.
    writeFile(day + QStringLiteral(".hdx.pre"), "100100;9;9;9;9;9;9;0\n");
    Candle c;
    c.open = c.high = c.low = c.close = decimal(QStringLiteral("99.442"));
    c.volume = 1;
    c.value = xdecimal(QStringLiteral("99.442"));
    c.valid = true;
    {
        NetworkDataSaverForHistoricalData saver(
            HistoricalDataManager::intervalFilePath(dir, Day, Day.addDays(2), QStringLiteral("60")),
            dir, TimeFrameValue(60));
        for (const QDate &d : {Day.addDays(1), Day}) { // newest first, as the service sends
            for (int minute = 0; minute < 2; ++minute) {
                c.begin = t(d, 10, minute);
                c.end = t(d, 10, minute + 1);
                saver.write(c);
            }
        }
    }
    QCOMPARE(readFile(day + QStringLiteral(".hdx")),
             QByteArray("100100;99.442;99.442;99.442;99.442;1;99.442;0\n"
                        "100200;99.442;99.442;99.442;99.442;1;99.442;0\n"));
    QVERIFY(QFile::exists(HistoricalDataManager::dayFilePath(dir, Day.addDays(1),
                                                             QStringLiteral("60"))
                          + QStringLiteral(".hdx")));
    // The downloaded minutes are read in place of the day-change file.
    SeriesDataModel model(key);
    restore(model, TimeFrameValue(60), Day, Day);
    model.build();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.validBarCount(), 2);
    QCOMPARE(model.bar(model.validBar(0)).close, decimal(QStringLiteral("99.442")));
}

void TestCache::dangerousNamesStayInside()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reference.json"));
    QFile source(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray json = source.readAll();
    // A futures name and a share code that try to leave the cache folder.
    json.replace("\"VLMR-3.27\"", "\"../../../escape\"");
    json.replace("\"code\": \"KSTR\"", "\"code\": \"..\"");
    json.replace("\"code\": \"EQ\"", "\"code\": \"E/Q\"");
    json.replace("\"stock\": \"EQ\"", "\"stock\": \"E/Q\"");
    writeFile(path, json);
    QString error;
    QVERIFY2(ReferenceData::load(path, &error), qPrintable(error));
    const QString base = m_dir.filePath(QStringLiteral("data")) + QStringLiteral("/tadata/");
    const QString futures = HistoricalDataManager::instrumentDirectory({1, 1, 1001});
    const QString share = HistoricalDataManager::instrumentDirectory({2, 2, 2002});
    QCOMPARE(futures, base + QStringLiteral("DRV/FUT/..%2F..%2F..%2Fescape"));
    QCOMPARE(share, base + QStringLiteral("E%2FQ/EQMN/%2E%2E"));
    // Written and read back through the same names.
    std::vector<Deal> one{deal(datetime(Day).addSecs(36000), "4.9", 1)};
    HistoricalDataManager::storeSecondFile({2, 2, 2002}, Day, secondBarsOf(one));
    QVERIFY(QFile::exists(share + QStringLiteral("/20261203_1")));
    SeriesDataModel model(SeriesKey{2, 2, 2002});
    restore(model, TimeFrameValue(1), Day, Day);
    model.build();
    HistoricalDataManager::readCacheFiles(&model, Day, Day);
    QCOMPARE(model.validBarCount(), 1);
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
}

// --- compressed streams -------------------------------------------------------------------

void TestCache::inflateExternalStreams_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("small") << 1000;
    QTest::newRow("several buffers") << 300000;
    QTest::newRow("10 MB") << 10 * 1024 * 1024;
}

void TestCache::inflateExternalStreams()
{
    QFETCH(int, size);
    const QByteArray data = someText(size);
    const QByteArray gz = gzipWithCommand(data);
    QVERIFY(!gz.isEmpty());
    QCOMPARE(inflateAll(gz, ZlibStream::Gzip), data);
    QCOMPARE(inflateAll(deflateWithZlib(data, 15), ZlibStream::Zlib), data);
    QCOMPARE(inflateAll(deflateWithZlib(data, -15), ZlibStream::RawDeflate), data);
    QBuffer reply;
    reply.setData(gz);
    QByteArray out;
    // An empty body counts as a failure of the reply.
    QCOMPARE(ZlibStream::readAllGzip(&reply, &out), size > 0);
    QCOMPARE(out, data);
}

void TestCache::writeAndReadBack_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("zlib") << int(ZlibStream::Zlib);
    QTest::newRow("gzip") << int(ZlibStream::Gzip);
    QTest::newRow("raw") << int(ZlibStream::RawDeflate);
}

void TestCache::writeAndReadBack()
{
    QFETCH(int, format);
    const QByteArray data = someText(200000);
    QBuffer target;
    {
        ZlibStream stream(&target);
        stream.setFormat(ZlibStream::Format(format));
        stream.setBufferSize(1000);
        QVERIFY(stream.open(QIODevice::WriteOnly));
        QVERIFY(target.isOpen()); // opened for the stream, closed with it
        QCOMPARE(stream.state(), ZlibStream::WriteNotStarted);
        for (int i = 0; i < data.size(); i += 7777)
            QCOMPARE(stream.write(data.mid(i, 7777)), qint64(data.mid(i, 7777).size()));
        QCOMPARE(stream.state(), ZlibStream::DataWritten);
        stream.close();
        QVERIFY(!target.isOpen());
    }
    QVERIFY(target.data().size() < data.size());
    QCOMPARE(inflateAll(target.data(), ZlibStream::Format(format)), data);
}

void TestCache::readWriteRefused()
{
    QBuffer device;
    ZlibStream stream(&device);
    QTest::ignoreMessage(QtWarningMsg, "ZlibStream::open: ZlibStream can only be opened in the "
                                       "ReadOnly or WriteOnly modes");
    QVERIFY(!stream.open(QIODevice::ReadWrite));
    QVERIFY(!device.isOpen());
    QVERIFY(!stream.isOpen());
    QVERIFY(device.open(QIODevice::WriteOnly));
    QTest::ignoreMessage(QtWarningMsg, "ZlibStream::open: underlying device must be open in one "
                                       "of the ReadOnly or WriteOnly modes");
    QVERIFY(!stream.open(QIODevice::ReadOnly));
    QVERIFY(stream.open(QIODevice::WriteOnly));
    QTest::ignoreMessage(QtWarningMsg, "ZlibStream::open: device already open");
    QVERIFY(!stream.open(QIODevice::WriteOnly));
    stream.close();
    QVERIFY(device.isOpen()); // the stream did not open it, so it leaves it open
    QFile missing(m_dir.filePath(QStringLiteral("no/such/file.gz")));
    ZlibStream fromMissing(&missing);
    QVERIFY(!fromMissing.open(QIODevice::ReadOnly));
    QVERIFY(fromMissing.errorString().startsWith(QStringLiteral("Ошибка открытия файла: ")));
}

void TestCache::brokenGzip_data()
{
    QTest::addColumn<QByteArray>("body");
    const QByteArray gz = gzipWithCommand(someText(200000));
    QTest::newRow("truncated") << gz.left(gz.size() / 2);
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

void TestCache::brokenGzip()
{
    QFETCH(QByteArray, body);
    int state = -1;
    QString error;
    inflateAll(body, ZlibStream::Gzip, &state, &error);
    QCOMPARE(state, int(ZlibStream::Error));
    QVERIFY2(error.startsWith(QStringLiteral("Внутренняя ошибка во время распаковки данных: ")),
             qPrintable(error));
    QBuffer reply;
    reply.setData(body);
    QByteArray out;
    QVERIFY(!ZlibStream::readAllGzip(&reply, &out, &error));
    QVERIFY(!error.isEmpty());
}

TA_REGISTER_TEST(TestCache)
#include "tst_cache.moc"
