// "ta-tool study" end to end: the local history service, the data path, the chart's
// indicator item and its context, and the CSV it prints; its refusals and their exit codes; the
// examples and the names of the indicator authors' guide (docs/indicators.md).

#include "bartesthelpers.h"
#include "scriptfile.h"
#include "scriptrunner.h"
#include "testregistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJSEngine>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>


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

const QString GuidePath = QStringLiteral(TA_SOURCE_DIR "/docs/indicators.md");

QStringList guideLines()
{
    QFile file(GuidePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n');
}

// One example of the guide as an indicator file, and the message it ends with (none: it works).
struct GuideExample
{
    int line = 0;
    StudyFile file;
    QString error;
};

// The guide's ```js blocks: comment lines name the editor's fields ("// Параметры:", one
// "//   name = value [Формула]" a line, "// Определения:", "// Код индикатора*:"); a block of
// "// Код функции*:" goes before the next indicator's declarations, as the runtime puts a
// function file there; a ```text block right after an example is the error it ends with.
QList<GuideExample> guideExamples()
{
    static const QRegularExpression parameter(
        QStringLiteral("^//\\s+(\\S+)\\s*=\\s*(.*?)(\\s+\\[Формула\\])?$"));
    const QStringList lines = guideLines();
    QList<GuideExample> examples;
    QString functions;
    int lastEnd = -1; // the closing line of the block before
    int exampleEnd = -2; // that of the last example
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1String("```")))
            continue;
        const QString info = lines[i].mid(3).trimmed();
        const int start = i;
        QStringList body;
        while (++i < lines.size() && !lines[i].startsWith(QLatin1String("```")))
            body.append(lines[i]);
        bool adjacent = lastEnd == exampleEnd;
        for (int j = lastEnd + 1; adjacent && j < start; ++j)
            adjacent = lines[j].trimmed().isEmpty();
        lastEnd = i;
        if (info == QLatin1String("text") && adjacent)
            examples.last().error = body.join(u' ').trimmed();
        if (info != QLatin1String("js"))
            continue;
        if (body.value(0) == QStringLiteral("// Код функции*:")) {
            functions += body.mid(1).join(u'\n') + u'\n';
            continue;
        }
        exampleEnd = i;
        GuideExample example;
        example.line = start + 1;
        example.file.description = QStringLiteral("guide");
        example.file.declaration = functions;
        functions.clear();
        QString *section = &example.file.code;
        bool inParameters = false;
        for (const QString &line : std::as_const(body)) {
            inParameters = line == QStringLiteral("// Параметры:")
                           || (inParameters && parameter.match(line).hasMatch());
            if (line == QStringLiteral("// Параметры:")) {
                continue;
            } else if (inParameters) {
                const QRegularExpressionMatch m = parameter.match(line);
                example.file.parameters.insert(m.captured(1),
                                               {m.captured(2), !m.captured(3).isEmpty()});
            } else if (line == QStringLiteral("// Определения:")) {
                section = &example.file.declaration;
            } else if (line == QStringLiteral("// Код индикатора*:")) {
                section = &example.file.code;
            } else {
                *section += line + u'\n';
            }
        }
        examples.append(example);
    }
    return examples;
}

// The names in the first cells of the tables under "Names the system adds".
QStringList guideNames()
{
    static const QRegularExpression name(QStringLiteral("`([^`]+)`"));
    QStringList names;
    bool inSection = false;
    for (const QString &line : guideLines()) {
        if (line.startsWith(QLatin1String("## ")))
            inSection = line == QLatin1String("## Names the system adds");
        if (!inSection || !line.startsWith(QLatin1String("| `")))
            continue;
        for (auto it = name.globalMatch(line.section(u'|', 1, 1)); it.hasNext();)
            names.append(it.next().captured(1));
    }
    return names;
}

} // namespace

class TestStudyTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void refusals_data();
    void refusals();
    void hostileScriptsFailAlone_data();
    void hostileScriptsFailAlone();
    void russianParametersAndQuotedNames();
    void guideExamplesRun_data();
    void guideExamplesRun();
    void guideDescribesEveryName();

private:
    // Runs an indicator file over `days` days up to 2026-11-24, of hourly bars or (`minutes`)
    // minute bars, with the further arguments.
    Run runFile(const QString &name, const QByteArray &file, int days = 30, bool minutes = false,
                const QStringList &more = {});

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
    QTest::newRow("script error")
        << (Offline + QStringList{"--indicator", "RSI", "--param", "n=nosuchname"}) << 3
        << "Ошибка при выполнении скрипта: ReferenceError: nosuchname is not defined";
    QTest::newRow("time-out")
        << (Offline + QStringList{"--indicator", "SMA", "--param", "n=(function(){for(;;){}})()"})
        << 3 << "прерван";
    // The range and the instrument are checked as for every command (tst_exporttool).
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
    QElapsedTimer timer;
    timer.start();
    const Run run = runFile(QStringLiteral("Hostile"), ScriptFileFormat::writeStudy(file), days, true);
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
    const Run run = runFile(QStringLiteral("Своё"), ScriptFileFormat::writeStudy(file), 3, true,
                            {QStringLiteral("--param"), QStringLiteral("множитель=3")});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    const QList<QByteArray> lines = run.output.split('\n');
    QCOMPARE(QString::fromUtf8(lines.front()), QStringLiteral("time,\"say \"\"hi\"\"\",\"верх, полоса\""));
    // Three columns on every row: the quoted names are one column each.
    const QList<QByteArray> row = lines.at(1).split(',');
    QCOMPARE(row.size(), 3);
    QCOMPARE(row.at(1), QByteArray("3")); // the value given on the command line
    QVERIFY(row.at(2).toDouble() > 100);
}

Run TestStudyTool::runFile(const QString &name, const QByteArray &file, int days, bool minutes,
                           const QStringList &more)
{
    const QString path = m_dir.filePath(name + QStringLiteral(".xml"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    out.write(file);
    out.close();
    return study(QStringList{"--key", "2,2,2001", "--timeframe", minutes ? "60" : "3600", "--days",
                             QString::number(days), "--to", "2026-11-24", "--hdx-url",
                             QStringLiteral("http://127.0.0.1:%1").arg(m_port), "--data-dir",
                             m_dir.filePath(minutes ? "minute-data" : "hour-data"), "--indicator-file", path}
                 + more);
}

void TestStudyTool::guideExamplesRun_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    const QList<GuideExample> examples = guideExamples();
    QVERIFY2(examples.size() > 20, qPrintable(GuidePath));
    for (const GuideExample &example : examples)
        QTest::addRow("line %d", example.line)
            << ScriptFileFormat::writeStudy(example.file) << example.error;
}

// Every example of the indicator authors' guide works as it is, or fails with the message the
// guide shows under it.
void TestStudyTool::guideExamplesRun()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    const Run run = runFile(QStringLiteral("Guide"), file);
    if (error.isEmpty()) {
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        // It plots something: a value in some row below the header.
        const QByteArray rows = run.output.mid(run.output.indexOf('\n'));
        static const QRegularExpression value(QStringLiteral(",[^,\n]"));
        QVERIFY2(value.match(QString::fromUtf8(rows)).hasMatch(), run.output.left(200).constData());
    } else {
        QVERIFY2(run.status != 0 && run.errors.contains(error), qPrintable(run.errors));
    }
}

// The guide describes every name the system puts into a script's world, and no other: those a
// script sees from its first bar on (a bare engine's own names aside), the instrument fields
// and the function files it may call.
void TestStudyTool::guideDescribesEveryName()
{
    StudyFile lister;
    lister.code = QStringLiteral("if (CurrentBar == 0) Object.getOwnPropertyNames(this)"
                                 ".forEach(function (name) { Plot(0, name); });");
    const Run run = runFile(QStringLiteral("Names"), ScriptFileFormat::writeStudy(lister));
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    QStringList world = QString::fromUtf8(run.output.left(run.output.indexOf('\n'))).split(u',');
    world.removeFirst(); // time
    QJSEngine bare;
    const QStringList language = bare.evaluate(QStringLiteral("Object.getOwnPropertyNames(this)"))
                                     .toVariant()
                                     .toStringList();
    QVERIFY(language.contains(QStringLiteral("Math")));
    QSet<QString> added = QSet<QString>(world.cbegin(), world.cend())
                          - QSet<QString>(language.cbegin(), language.cend());
    ScriptRunner runner(nullptr);
    for (const SecurityField &field : runner.context()->securityFields())
        added.insert(field.scriptName);
    const QDir functions(QStringLiteral(TA_SOURCE_DIR "/tascripts/functions"));
    for (const QString &name : functions.entryList(QDir::Files))
        added.insert(name);
    const QStringList names = guideNames();
    const QSet<QString> described(names.cbegin(), names.cend());
    QStringList undescribed = (added - described).values(), stale = (described - added).values();
    undescribed.sort();
    stale.sort();
    QVERIFY2(undescribed.isEmpty(),
             qPrintable(QStringLiteral("not described in the guide: ") + undescribed.join(u' ')));
    QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("described but not in a script's world: ")
                                         + stale.join(u' ')));
}

TA_REGISTER_TEST(TestStudyTool)
#include "tst_studytool.moc"
