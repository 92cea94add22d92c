#include "bartesthelpers.h"
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
        QStringList lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    };
    // Runs the export with the options (separated by spaces; paths go in the list) and a
    // data directory of its own.
    Run run(const QString &options, const QStringList &paths = {});
    bool startServer();
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_url;
};

void TestExportTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
    // The shipped reference data, trading all day every day.
    QFile shipped(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QJsonObject reference = QJsonDocument::fromJson(shipped.readAll()).object();
    QJsonArray sessions;
    for (int day = 1; day <= 7; ++day)
        sessions.append(QJsonObject{{"day", day}, {"from", "00:00"}, {"to", "23:59"}});
    QJsonArray schedules;
    for (const char *stock : {"DRV", "EQ", "FX"})
        schedules.append(QJsonObject{{"stock", stock}, {"sessions", sessions}});
    reference[QStringLiteral("schedules")] = schedules;
    reference[QStringLiteral("calendar")] = QJsonArray();
    QFile file(path(QStringLiteral("everyday.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(reference).toJson());
}

void TestExportTool::cleanup()
{
    m_server.kill();
    m_server.waitForFinished();
}

TestExportTool::Run TestExportTool::run(const QString &options, const QStringList &paths)
{
    static int runs = 0;
    QStringList arguments = QStringList{QStringLiteral("export")}
                            + options.split(u' ', Qt::SkipEmptyParts) + paths;
    if (!paths.contains(QStringLiteral("--data-dir")))
        arguments << QStringLiteral("--data-dir") << path(QStringLiteral("data%1").arg(++runs));
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ta-tool"), arguments);
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
    const QString options = QStringLiteral("--key 2,2,2001 --timeframe 60 --days 3 --to %1 "
                                           "--hdx-url %2")
                                .arg(friday.toString(Qt::ISODate), m_url);
    const Run plain = run(options);
    QCOMPARE(plain.status, 0);
    QVERIFY2(plain.err.isEmpty(), qPrintable(plain.err));
    const QStringList lines = plain.lines();
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
    const Run gzip = run(options + QStringLiteral(" --gzip --output"),
                         {path(QStringLiteral("gzip.csv"))});
    QCOMPARE(gzip.status, 0);
    QFile written(path(QStringLiteral("gzip.csv")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), plain.out);
}

void TestExportTool::tradesFileAsLiveTrades()
{
    const QString today = datetime::today().toString(Qt::ISODate);
    QFile file(path(QStringLiteral("trades.csv")));
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
    const Run result = run(QStringLiteral("--key 3,4,3001 --timeframe 60 --no-history --trades"),
                           {file.fileName(), QStringLiteral("--reference"),
                            path(QStringLiteral("everyday.json"))});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    // The order-book trades only; the currency market counts pieces (lot size 1000).
    QCOMPARE(result.out,
             QStringLiteral("time,open,high,low,close,volume,value,oi\n"
                            "%1 10:00:00,92.1,92.3,92.05,92.05,4000,368550,0\n"
                            "%1 10:01:00,91.9,91.9,91.9,91.9,3000,275700,0\n")
                 .arg(today));
}

void TestExportTool::badInput_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QByteArray>("trades"); // written to the trades file when not empty
    QTest::addColumn<QString>("message");

    // Malformed keys are refused by the bar model's own key parser, tested with it.
    const QString ok = QStringLiteral("--key 3,4,3001 --timeframe 60 --no-history ");
    QTest::newRow("unknown") << "--key 3,4,9999 --timeframe 60" << QByteArray()
                             << "unknown instrument 3,4,9999";
    QTest::newRow("odd frame") << "--key 3,4,3001 --timeframe 420" << QByteArray()
                               << "bad time frame \"420\"";
    QTest::newRow("too long") << ok + "--timeframe 1 --days 1000" << QByteArray()
                              << "Слишком большой диапазон: ";
    QTest::newRow("bad date") << ok + "--to 2026-13-01" << QByteArray() << "bad date";
    QTest::newRow("missing trades") << ok + "--trades /nonexistent/trades.csv" << QByteArray()
                                    << "cannot open";
    QTest::newRow("wrong header") << ok << QByteArray("time,price\n")
                                  << ":1: the header must be";
    const QByteArray header = "moment,price,quantity,value,open_interest,nosystem\n";
    QTest::newRow("bad price") << ok
                               << header + "2026-12-01 10:00:00.000,92.1,1,92.1,,0\n"
                                           "2026-12-01 10:00:01.000,abc,1,92.1,,0\n"
                               << ":3: bad price \"abc\"";
    QTest::newRow("bad moment") << ok << header + "2026-12-01 25:00:00.000,92.1,1,92.1,,0\n"
                                << ":2: bad moment";
    QTest::newRow("short line") << ok << header + "2026-12-01 10:00:00.000,92.1\n"
                                << ":2: 2 fields instead of 6";
    QTest::newRow("unwritable output") << ok + "--output /nonexistent/dir/out.csv" << QByteArray()
                                       << "/nonexistent/dir/out.csv: cannot write";
}

void TestExportTool::badInput()
{
    QFETCH(QString, options);
    QFETCH(QByteArray, trades);
    QFETCH(QString, message);
    QStringList paths;
    if (!trades.isEmpty()) {
        QFile file(path(QStringLiteral("bad.csv")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(trades);
        paths = QStringList{QStringLiteral("--trades"), file.fileName()};
    }
    const Run result = run(options, paths);
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
        const Run result = run(QStringLiteral("--key 2,2,2001 --timeframe %1 --days 365 --to %2 "
                                              "--hdx-url %3")
                                   .arg(QString::number(days * 86400), to.toString(Qt::ISODate),
                                        m_url));
        QCOMPARE(result.status, 0);
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QStringList lines = result.lines();
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
    // With --verbose the data path's progress shows as well: the requests it tried.
    const Run result = run(QStringLiteral("--key 2,2,2001 --timeframe 60 --days 3 "
                                          "--hdx-url http://127.0.0.1:1 --verbose"));
    QVERIFY(result.status > 0);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains(QStringLiteral("не удалось получить данные из HDX")),
             qPrintable(result.err));
    QVERIFY2(result.err.contains(QStringLiteral("Sending query in state")), qPrintable(result.err));
}

// An index has no trades: a chart of today alone (the default range) is filled from the
// history service. Wednesday 25 November 2026, 14:30.
void TestExportTool::indexChartOfTodayFills()
{
    const PinnedClock wednesday(datetime(2026, 11, 25, 14, 30));
    QVERIFY(startServer());
    const Run result = run(QStringLiteral("--key 2,16,1601 --timeframe 60 --days 1 --hdx-url ")
                           + m_url);
    QCOMPARE(result.status, 0);
    const QStringList lines = result.lines();
    // The index trades from the morning: hours of one-minute bars by 14:30, all of today.
    QVERIFY2(lines.size() > 120, qPrintable(result.out.left(200) + result.err));
    for (qsizetype i = 1; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).startsWith(QStringLiteral("2026-11-25 ")), qPrintable(lines.at(i)));
}

TA_REGISTER_TEST(TestExportTool)
#include "tst_exporttool.moc"
