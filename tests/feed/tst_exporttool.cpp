#include "bartesthelpers.h"
#include "historicaldatamanager.h"
#include "referencedata.h"
#include "testregistry.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using namespace BarTest;

// "ta-tool export" as users run it: against the history service, with a trades file, with
// cache files, and with every kind of bad input.
class TestExportTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void historyFromTheService();
    void tradesFileAsLiveTrades();
    void secondsFromTheCacheFiles();
    void badInput_data();
    void badInput();
    void dayAndWeekBarsStartAtMidnight();
    void historyFailureIsReported();
    void indexChartOfTodayFills();

private:
    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList &arguments);
    bool startServer();

    QTemporaryDir m_dir;
    QString m_everyDayReference; // the shipped reference data, trading all day every day
    QProcess m_server;
    QString m_url;
};

void TestExportTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
    QFile shipped(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QJsonObject reference = QJsonDocument::fromJson(shipped.readAll()).object();
    QJsonArray sessions;
    for (int day = 1; day <= 7; ++day)
        sessions.append(QJsonObject{{QStringLiteral("day"), day},
                                    {QStringLiteral("from"), QStringLiteral("00:00")},
                                    {QStringLiteral("to"), QStringLiteral("23:59")}});
    QJsonArray schedules;
    for (const char *stock : {"DRV", "EQ", "FX"})
        schedules.append(QJsonObject{{QStringLiteral("stock"), QString::fromLatin1(stock)},
                                     {QStringLiteral("sessions"), sessions}});
    reference[QStringLiteral("schedules")] = schedules;
    reference[QStringLiteral("calendar")] = QJsonArray();
    m_everyDayReference = m_dir.filePath(QStringLiteral("everyday.json"));
    QFile file(m_everyDayReference);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(reference).toJson());
}

void TestExportTool::cleanup()
{
    m_server.kill();
    m_server.waitForFinished();
}

TestExportTool::Run TestExportTool::run(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ta-tool"),
               QStringList{QStringLiteral("export")} + arguments);
    Run result;
    if (!tool.waitForFinished(120000)) {
        tool.kill();
        return result;
    }
    result.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    result.out = QString::fromUtf8(tool.readAllStandardOutput());
    result.err = QString::fromUtf8(tool.readAllStandardError());
    return result;
}

bool TestExportTool::startServer()
{
    m_server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                   {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--reference"),
                    QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json")});
    if (!m_server.waitForStarted() || !m_server.waitForReadyRead(20000))
        return false;
    const int port = m_server.readLine().trimmed().toInt();
    m_url = QStringLiteral("http://127.0.0.1:%1").arg(port);
    return port > 0;
}

void TestExportTool::historyFromTheService()
{
    // On a Wednesday the tool and the service agree the Friday before was a whole trading day.
    const PinnedClock wednesday(datetime(2026, 11, 25, 14, 30));
    QVERIFY(startServer());
    const QDate friday(2026, 11, 20);
    const QStringList common{QStringLiteral("--key"),      QStringLiteral("2,2,2001"),
                             QStringLiteral("--timeframe"), QStringLiteral("60"),
                             QStringLiteral("--days"),      QStringLiteral("3"),
                             QStringLiteral("--to"),        friday.toString(Qt::ISODate),
                             QStringLiteral("--hdx-url"),   m_url,
                             QStringLiteral("--data-dir"),  m_dir.filePath(QStringLiteral("d1"))};
    const Run plain = run(common);
    QCOMPARE(plain.status, 0);
    QVERIFY2(plain.err.isEmpty(), qPrintable(plain.err));
    const QStringList lines = plain.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("time,open,high,low,close,volume,value,oi"));
    // Wednesday to Friday; the shares' sessions hold 525 minutes a day.
    QVERIFY2(lines.size() > 1000, qPrintable(QString::number(lines.size())));
    QString previous;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList f = lines.at(i).split(u',');
        QCOMPARE(f.size(), 8);
        const QDateTime time = QDateTime::fromString(f.at(0), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(time.isValid());
        QVERIFY(time.date() <= friday && time.date() > friday.addDays(-3));
        QVERIFY(previous < f.at(0)); // time order, one line a bar
        previous = f.at(0);
        // Shares count pieces: whole lots of 10.
        QCOMPARE(f.at(5).toLongLong() % 10, 0);
        QVERIFY(f.at(2).toDouble() >= f.at(3).toDouble());
    }
    // Compressed replies give the same bars.
    const Run gzip = run(common + QStringList{QStringLiteral("--gzip"), QStringLiteral("--output"),
                                              m_dir.filePath(QStringLiteral("gzip.csv"))});
    QCOMPARE(gzip.status, 0);
    QFile written(m_dir.filePath(QStringLiteral("gzip.csv")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), plain.out);
}

void TestExportTool::tradesFileAsLiveTrades()
{
    const QString today = datetime::today().toString(Qt::ISODate);
    const QString trades = m_dir.filePath(QStringLiteral("trades.csv"));
    QFile file(trades);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("moment,price,quantity,value,open_interest,nosystem\n"
                              "%1 10:00:01.000,92.10,2,184200,,0\n"
                              "%1 10:00:30.500,92.30,1,92300,,0\n"
                              "%1 10:00:31.000,99.99,5,499950,,1\n"
                              "%1 10:00:59.999,92.05,1,92050,,0\n"
                              "%1 10:01:05.000,91.90,3,275700,,0\n")
                   .arg(today)
                   .toUtf8());
    file.close();
    const Run result = run({QStringLiteral("--key"), QStringLiteral("3,4,3001"),
                            QStringLiteral("--timeframe"), QStringLiteral("60"),
                            QStringLiteral("--no-history"), QStringLiteral("--trades"), trades,
                            QStringLiteral("--reference"), m_everyDayReference,
                            QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("d2"))});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    // The order-book trades only; the currency market counts pieces (lot size 1000).
    QCOMPARE(result.out,
             QStringLiteral("time,open,high,low,close,volume,value,oi\n"
                            "%1 10:00:00,92.1,92.3,92.05,92.05,4000,368550,0\n"
                            "%1 10:01:00,91.9,91.9,91.9,91.9,3000,275700,0\n")
                 .arg(today));
}

void TestExportTool::secondsFromTheCacheFiles()
{
    // Yesterday's seconds as the day change stored them into the user's data directory.
    const QDate yesterday = datetime::today().addDays(-1);
    const QString dataDir = m_dir.filePath(QStringLiteral("d3"));
    qputenv("TA_DATA_DIR", dataDir.toUtf8());
    SecondBars seconds;
    seconds.bars.resize(3600 * 12 + 10);
    for (int s = 3600 * 12; s < 3600 * 12 + 10; ++s) {
        foldDeal(seconds.bars[size_t(s)],
                 deal(datetime(yesterday).addMSecs(qint64(s) * 1000), "15480", 1));
        seconds.lastSecond = s;
    }
    HistoricalDataManager::storeSecondFile(SeriesKey{2, 2, 2006}, yesterday, seconds);
    qunsetenv("TA_DATA_DIR");

    // Nobody answers at the service's address, and nobody is asked below one minute.
    const Run result = run({QStringLiteral("--key"), QStringLiteral("2,2,2006"),
                            QStringLiteral("--timeframe"), QStringLiteral("5"),
                            QStringLiteral("--days"), QStringLiteral("2"),
                            QStringLiteral("--hdx-url"), QStringLiteral("http://127.0.0.1:1"),
                            QStringLiteral("--reference"), m_everyDayReference,
                            QStringLiteral("--data-dir"), dataDir});
    QCOMPARE(result.status, 0);
    const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(1), QStringLiteral("%1 12:00:00,15480,15480,15480,15480,5,77400,0")
                              .arg(yesterday.toString(Qt::ISODate)));
}

void TestExportTool::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("trades"); // written to the trades file when not empty
    QTest::addColumn<QString>("message");

    const QStringList ok{QStringLiteral("--key"), QStringLiteral("3,4,3001"),
                         QStringLiteral("--timeframe"), QStringLiteral("60"),
                         QStringLiteral("--no-history")};
    QTest::newRow("two parts") << QStringList{QStringLiteral("--key"), QStringLiteral("3,4"),
                                              QStringLiteral("--timeframe"), QStringLiteral("60")}
                               << QByteArray() << QStringLiteral("Invalid key : 3,4");
    QTest::newRow("not a number")
        << QStringList{QStringLiteral("--key"), QStringLiteral("3,x,3001"),
                       QStringLiteral("--timeframe"), QStringLiteral("60")}
        << QByteArray() << QStringLiteral("board_id");
    QTest::newRow("unknown") << QStringList{QStringLiteral("--key"), QStringLiteral("3,4,9999"),
                                            QStringLiteral("--timeframe"), QStringLiteral("60")}
                             << QByteArray() << QStringLiteral("unknown instrument 3,4,9999");
    QTest::newRow("bad frame") << QStringList{QStringLiteral("--key"), QStringLiteral("3,4,3001"),
                                              QStringLiteral("--timeframe"), QStringLiteral("-5")}
                               << QByteArray() << QStringLiteral("bad time frame");
    QTest::newRow("odd frame") << QStringList{QStringLiteral("--key"), QStringLiteral("3,4,3001"),
                                              QStringLiteral("--timeframe"), QStringLiteral("420")}
                               << QByteArray() << QStringLiteral("bad time frame \"420\"");
    QTest::newRow("too long") << ok + QStringList{QStringLiteral("--timeframe"), QStringLiteral("1"),
                                                  QStringLiteral("--days"), QStringLiteral("1000")}
                              << QByteArray()
                              << QStringLiteral("Слишком большой диапазон: ");
    QTest::newRow("bad date") << ok + QStringList{QStringLiteral("--to"), QStringLiteral("2026-13-01")}
                              << QByteArray() << QStringLiteral("bad date");
    QTest::newRow("missing trades") << ok + QStringList{QStringLiteral("--trades"),
                                                         QStringLiteral("/nonexistent/trades.csv")}
                                    << QByteArray() << QStringLiteral("cannot open");
    QTest::newRow("wrong header") << ok << QByteArray("time,price\n")
                                  << QStringLiteral(":1: the header must be");
    QTest::newRow("bad price")
        << ok
        << QByteArray("moment,price,quantity,value,open_interest,nosystem\n"
                      "2026-12-01 10:00:00.000,92.1,1,92.1,,0\n"
                      "2026-12-01 10:00:01.000,abc,1,92.1,,0\n")
        << QStringLiteral(":3: bad price \"abc\"");
    QTest::newRow("bad moment")
        << ok
        << QByteArray("moment,price,quantity,value,open_interest,nosystem\n"
                      "2026-12-01 25:00:00.000,92.1,1,92.1,,0\n")
        << QStringLiteral(":2: bad moment");
    QTest::newRow("short line") << ok
                                << QByteArray("moment,price,quantity,value,open_interest,nosystem\n"
                                              "2026-12-01 10:00:00.000,92.1\n")
                                << QStringLiteral(":2: 2 fields instead of 6");
    QTest::newRow("unwritable output")
        << ok + QStringList{QStringLiteral("--output"), QStringLiteral("/nonexistent/dir/out.csv")}
        << QByteArray() << QStringLiteral("/nonexistent/dir/out.csv: cannot write");
}

void TestExportTool::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, trades);
    QFETCH(QString, message);
    if (!trades.isEmpty()) {
        const QString path = m_dir.filePath(QStringLiteral("bad.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(trades);
        arguments += QStringList{QStringLiteral("--trades"), path};
    }
    const Run result = run(arguments + QStringList{QStringLiteral("--data-dir"),
                                                   m_dir.filePath(QStringLiteral("d4"))});
    QVERIFY(result.status > 0);
    QVERIFY(result.out.isEmpty());
    // One line on standard error, naming the problem.
    QCOMPARE(result.err.count(u'\n'), 1);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
}

void TestExportTool::dayAndWeekBarsStartAtMidnight()
{
    // A year of day and week bars ending 30 November: both clock changes of a zone with
    // daylight saving lie inside (the suite runs in Europe/Berlin and America/New_York too).
    const PinnedClock wednesday(datetime(2026, 12, 2, 12, 0));
    QVERIFY(startServer());
    const QDate to(2026, 11, 30), from = to.addDays(-364);
    int tradingDays = 0;
    for (QDate d = from; d <= to; d = d.addDays(1))
        tradingDays += isTradingDay(d) ? 1 : 0;
    for (const int days : {1, 7}) {
        const Run result = run({QStringLiteral("--key"), QStringLiteral("2,2,2001"),
                                QStringLiteral("--timeframe"), QString::number(days * 86400),
                                QStringLiteral("--days"), QStringLiteral("365"),
                                QStringLiteral("--to"), to.toString(Qt::ISODate),
                                QStringLiteral("--hdx-url"), m_url,
                                QStringLiteral("--data-dir"),
                                m_dir.filePath(QStringLiteral("midnight%1").arg(days))});
        QCOMPARE(result.status, 0);
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        lines.removeFirst();
        QDate previous;
        for (const QString &line : std::as_const(lines)) {
            QVERIFY2(line.mid(10, 9) == QLatin1String(" 00:00:00"), qPrintable(line));
            const QDate date = QDate::fromString(line.left(10), Qt::ISODate);
            QVERIFY2(date.isValid() && (previous.isNull() || previous < date), qPrintable(line));
            if (days == 7)
                QCOMPARE(date.dayOfWeek(), 1);
            else
                QVERIFY2(isTradingDay(date), qPrintable(line));
            previous = date;
        }
        // One bar a trading day, none lost or doubled; weeks from the Monday on or before.
        if (days == 1)
            QCOMPARE(int(lines.size()), tradingDays);
        else
            QCOMPARE(int(lines.size()), int((from.addDays(1 - from.dayOfWeek()).daysTo(to) + 7) / 7));
    }
}

void TestExportTool::historyFailureIsReported()
{
    // Three days back from a Wednesday hold two earlier sessions, which only the (unreachable)
    // service can give. From a Monday they would hold none, and nobody would be asked.
    const PinnedClock wednesday(datetime(2026, 11, 25, 14, 30));
    const Run result = run({QStringLiteral("--key"), QStringLiteral("2,2,2001"),
                            QStringLiteral("--timeframe"), QStringLiteral("60"),
                            QStringLiteral("--days"), QStringLiteral("3"),
                            QStringLiteral("--hdx-url"), QStringLiteral("http://127.0.0.1:1"),
                            QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("d5"))});
    QVERIFY(result.status > 0);
    QVERIFY(result.out.isEmpty());
    QCOMPARE(result.err.count(u'\n'), 1);
    QVERIFY2(result.err.contains(QStringLiteral("не удалось получить данные из HDX")),
             qPrintable(result.err));
    // With --verbose the data path's progress shows as well: the requests it tried.
    const Run verbose = run({QStringLiteral("--key"), QStringLiteral("2,2,2001"),
                             QStringLiteral("--timeframe"), QStringLiteral("60"),
                             QStringLiteral("--days"), QStringLiteral("3"),
                             QStringLiteral("--hdx-url"), QStringLiteral("http://127.0.0.1:1"),
                             QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("d5")),
                             QStringLiteral("--verbose")});
    QVERIFY(verbose.status > 0);
    QVERIFY2(verbose.err.contains(QStringLiteral("Sending query in state")),
             qPrintable(verbose.err));
    QVERIFY(verbose.err.count(u'\n') > 1);
}

// An index has no trades: a chart of today alone (the default range) is filled from the
// history service. Wednesday 25 November 2026, 14:30.
void TestExportTool::indexChartOfTodayFills()
{
    const PinnedClock wednesday(datetime(2026, 11, 25, 14, 30));
    QVERIFY(startServer());
    const Run result = run({QStringLiteral("--key"), QStringLiteral("2,16,1601"),
                            QStringLiteral("--timeframe"), QStringLiteral("60"),
                            QStringLiteral("--days"), QStringLiteral("1"),
                            QStringLiteral("--hdx-url"), m_url,
                            QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("d6"))});
    QCOMPARE(result.status, 0);
    const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    // The index trades from the morning: hours of one-minute bars by 14:30, all of today.
    QVERIFY2(lines.size() > 120, qPrintable(result.out.left(200) + result.err));
    for (qsizetype i = 1; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).startsWith(QStringLiteral("2026-11-25 ")), qPrintable(lines.at(i)));
}

TA_REGISTER_TEST(TestExportTool)
#include "tst_exporttool.moc"
