// "ta-tool study" end to end: the local history service, the data path, the chart's
// indicator item and its context, and the CSV it prints; its refusals and their exit codes.

#include "bartesthelpers.h"
#include "scriptfile.h"
#include "testregistry.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

struct Run
{
    int status = -1;
    QByteArray output;
    QString errors;
};

Run study(const QStringList &arguments)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tool.setProcessEnvironment(environment);
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ta-tool"),
               QStringList{QStringLiteral("study")} + arguments);
    Run run;
    if (!tool.waitForFinished(120000))
        return run;
    run.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.output = tool.readAllStandardOutput();
    run.errors = QString::fromLocal8Bit(tool.readAllStandardError());
    return run;
}

// Thursday 2026-12-03 and the two days before it, without the history service.
const QStringList Offline{QStringLiteral("--key"), QStringLiteral("2,2,2001"),
                          QStringLiteral("--timeframe"), QStringLiteral("60"),
                          QStringLiteral("--days"), QStringLiteral("3"), QStringLiteral("--to"),
                          QStringLiteral("2026-12-03"), QStringLiteral("--no-history")};

} // namespace

class TestStudyTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void macdOverAMonthOfHistory();
    void refusals_data();
    void refusals();
    void hostileScriptsFailAlone_data();
    void hostileScriptsFailAlone();
    void russianParametersAndQuotedNames();

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;
};

void TestStudyTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                   {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--reference"),
                    QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json")});
    QVERIFY(m_server.waitForStarted());
    QVERIFY(m_server.waitForReadyRead(20000));
    m_port = m_server.readLine().trimmed().toInt();
    QVERIFY(m_port > 0);
}

void TestStudyTool::cleanupTestCase()
{
    m_server.kill();
    m_server.waitForFinished();
}

void TestStudyTool::macdOverAMonthOfHistory()
{
    // Thirty days up to Tuesday 2026-11-24, the day before the suite's pinned moment (the tool
    // takes the moment over), one-minute bars, into a file.
    const QString file = m_dir.filePath(QStringLiteral("macd.csv"));
    const Run run = study({QStringLiteral("--key"), QStringLiteral("2,2,2001"),
                           QStringLiteral("--timeframe"), QStringLiteral("60"),
                           QStringLiteral("--days"), QStringLiteral("30"), QStringLiteral("--to"),
                           QStringLiteral("2026-11-24"), QStringLiteral("--hdx-url"),
                           QStringLiteral("http://127.0.0.1:%1").arg(m_port),
                           QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("data")),
                           QStringLiteral("--indicator"), QStringLiteral("MACD"),
                           QStringLiteral("--param"), QStringLiteral("signal=5"),
                           QStringLiteral("--output"), file});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = in.readAll().split('\n');
    QCOMPARE(lines.front(), QByteArray("time,Histogram,MACD,Signal,Zero"));
    QVERIFY(lines.size() > 5000);
    QVERIFY2(lines.at(1).startsWith("2026-10-26 "), lines.at(1).constData());
    QVERIFY2(lines.at(lines.size() - 2).startsWith("2026-11-24 "),
             lines.at(lines.size() - 2).constData());
    int firstMacd = -1, firstSignal = -1;
    for (int i = 1; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QList<QByteArray> f = lines.at(i).split(',');
        QCOMPARE(f.size(), 5);
        QCOMPARE(f.at(4), QByteArray("0"));
        if (firstMacd < 0 && !f.at(2).isEmpty())
            firstMacd = i - 1;
        if (firstSignal < 0 && !f.at(3).isEmpty())
            firstSignal = i - 1;
        if (!f.at(1).isEmpty()) {
            const double histogram = f.at(1).toDouble();
            QVERIFY(std::abs(histogram - (f.at(2).toDouble() - f.at(3).toDouble())) < 1e-9);
        }
    }
    // The slow average needs 26 bars; the 5-bar signal 5 values of it.
    QCOMPARE(firstMacd, 25);
    QCOMPARE(firstSignal, 29);
}

void TestStudyTool::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown indicator") << (Offline + QStringList{"--indicator", "Nope"}) << 2
                                       << "unknown indicator \"Nope\"";
    QTest::newRow("unknown parameter")
        << (Offline + QStringList{"--indicator", "RSI", "--param", "m=3"}) << 2
        << "RSI has no parameter \"m\" (it has: n)";
    QTest::newRow("not name=value")
        << (Offline + QStringList{"--indicator", "RSI", "--param", "14"}) << 2 << "bad --param";
    QTest::newRow("no indicator") << Offline << 2 << "study needs --indicator";
    QTest::newRow("script error")
        << (Offline + QStringList{"--indicator", "RSI", "--param", "n=nosuchname"}) << 3
        << "Ошибка при выполнении скрипта: ReferenceError: nosuchname is not defined";
    QTest::newRow("time-out")
        << (Offline + QStringList{"--indicator", "SMA", "--param", "n=(function(){for(;;){}})()"})
        << 3 << "прерван";
    QTest::newRow("too many bars")
        << QStringList{"--key", "2,2,2001", "--timeframe", "1", "--days", "1000", "--no-history",
                       "--indicator", "RSI"}
        << 2 << "Слишком большой диапазон: ";
    QTest::newRow("unknown instrument")
        << QStringList{"--key", "9,9,9", "--timeframe", "60", "--no-history", "--indicator", "RSI"}
        << 2 << "unknown instrument";
}

void TestStudyTool::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const Run run = study(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
    QVERIFY(run.output.isEmpty());
}

void TestStudyTool::hostileScriptsFailAlone_data()
{
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString plot = QStringLiteral(" Plot(Close.at(0), 'c');");
    const QString memory = QStringLiteral("скрипт занял больше 256 МБ памяти и был прерван");
    QTest::newRow("series without context")
        << QString() << QStringLiteral("if (CurrentBar == 3) { var s = new Series(); }") + plot << 3
        << 3 << "Series: нужен контекст вычисления";
    // Callbacks left queued would run from the event loop, outside any time limit.
    QTest::newRow("promise that loops")
        << QString() << QStringLiteral("if (CurrentBar == 3) Promise.resolve().then(function () { while (true) {} });") + plot
        << 3 << 0 << "";
    QTest::newRow("promise that plots later")
        << QString() << QStringLiteral("if (CurrentBar == 3) Promise.resolve().then(function () { Plot(1, 'late'); SetDelay(5); });") + plot
        << 3 << 0 << "";
    // Memory kept from bar to bar (800 MB by the 400th bar) and memory taken in one bar: the
    // indicator's budget (256 MB by default) stops either.
    QTest::newRow("typed arrays kept")
        << QStringLiteral("var keep = [];")
        << QStringLiteral("if (keep.length < 400) keep.push(new Float64Array(262144));") + plot << 3
        << 3 << memory;
    // Its memory or its time, whichever runs out first (copying a string of 256 MB takes a while).
    QTest::newRow("a string doubled on every bar")
        << QStringLiteral("var s = 'ab';") << QStringLiteral("s = s + s; s.charCodeAt(s.length - 1);") + plot
        << 3 << 3 << QStringLiteral("и был прерван");
    QTest::newRow("a throw on bar 5000")
        << QString() << QStringLiteral("if (CurrentBar == 5000) throw new Error('сбой');") + plot << 20
        << 3 << "сбой Бар 5000";
    // A series made on every bar, and kept, costs its object, not a copy of the chart (some
    // 7,000 bars: 800 MB when every series had a cell for every slot).
    QTest::newRow("a series on every bar")
        << QStringLiteral("var keep = [];")
        << QStringLiteral("var s = new Series(ctx); keep.push(s); s.setAt(0, Close.at(0)); Plot(s.at(0), 'c');")
        << 20 << 0 << "";
}

// An indicator file of one's own, run through the real runtime: a script may fail, with its
// text, but never take the process down, run outside its passes or take the machine's memory.
void TestStudyTool::hostileScriptsFailAlone()
{
    QFETCH(QString, declaration);
    QFETCH(QString, code);
    QFETCH(int, days);
    QFETCH(int, status);
    QFETCH(QString, message);
    StudyFile file;
    file.description = QStringLiteral("hostile");
    file.declaration = declaration;
    file.code = code;
    file.styles.insert(QStringLiteral("c"), PlotStyle{0, Qt::white, 1});
    const QString path = m_dir.filePath(QStringLiteral("Hostile.xml"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(ScriptFileFormat::writeStudy(file));
    out.close();
    QElapsedTimer timer;
    timer.start();
    const Run run = study({"--key", "2,2,2001", "--timeframe", "60", "--days", QString::number(days),
                           "--to", "2026-11-24", "--hdx-url", QStringLiteral("http://127.0.0.1:%1").arg(m_port),
                           "--data-dir", m_dir.filePath(QStringLiteral("hostile-data")),
                           "--indicator-file", path});
    QVERIFY2(timer.elapsed() < 60000, "the script held the process");
    QVERIFY2(run.status == status, qPrintable(QString::number(run.status) + u' ' + run.errors));
    if (status == 0) {
        const QByteArray header = run.output.left(run.output.indexOf('\n'));
        QCOMPARE(header, QByteArray("time,c"));
        QVERIFY(run.output.count('\n') > 1000 * days / 3);
    } else {
        QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
    }
}

// A trader's own indicator with a parameter named in Russian, and plot names that need CSV
// quoting: the parameter works and can be set, and the header keeps the columns aligned.
void TestStudyTool::russianParametersAndQuotedNames()
{
    StudyFile file;
    file.description = QStringLiteral("своё");
    file.code = QStringLiteral("Plot(Close.at(0) * множитель, 'верх, полоса'); Plot(множитель, 'say \"hi\"');");
    file.parameters.insert(QStringLiteral("множитель"), ScriptParameter{QStringLiteral("2"), false});
    const QString path = m_dir.filePath(QStringLiteral("Своё.xml"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(ScriptFileFormat::writeStudy(file));
    out.close();
    const Run run = study({"--key", "2,2,2001", "--timeframe", "60", "--days", "3", "--to", "2026-11-24",
                           "--hdx-url", QStringLiteral("http://127.0.0.1:%1").arg(m_port),
                           "--data-dir", m_dir.filePath(QStringLiteral("own-data")),
                           "--indicator-file", path, "--param", "множитель=3"});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    const QList<QByteArray> lines = run.output.split('\n');
    QCOMPARE(QString::fromUtf8(lines.front()), QStringLiteral("time,\"say \"\"hi\"\"\",\"верх, полоса\""));
    // Three columns on every row: the quoted names are one column each.
    const QList<QByteArray> row = lines.at(1).split(',');
    QCOMPARE(row.size(), 3);
    QCOMPARE(row.at(1), QByteArray("3")); // the value given on the command line
    QVERIFY(row.at(2).toDouble() > 100);
}

TA_REGISTER_TEST(TestStudyTool)
#include "tst_studytool.moc"
