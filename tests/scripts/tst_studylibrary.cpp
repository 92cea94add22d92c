// The built-in indicator library over one session of bars: every plot at every bar against
// values computed independently (tests/scripts/fixtures, made by generate.js there), the same
// results whether the bars come trade by trade or all at once, and the files themselves
// complete and in the form the editor writes them; Parabolic SAR also over a few hand-worked
// bars for the turns the generated session lacks.

#include "bartesthelpers.h"
#include "barscsv.h"
#include "scriptcontext.h"
#include "scriptfilesmodel.h"
#include "scriptrunner.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace BarTest;

namespace {

// Thursday 2026-12-03, one session 10:00-18:00; the bars of the fixtures lie in it.
const QDate Thursday(2026, 12, 3);

// Plot values may differ from the fixtures by the rounding of another order of operations.
constexpr double Tolerance = 1e-9;

QString fixturePath(const QString &file)
{
    return QStringLiteral(TA_FIXTURES_DIR "/") + file;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fields of a CSV text by line, the header first; empty lines are left out.
QList<QList<QByteArray>> csvLines(const QByteArray &text)
{
    QList<QList<QByteArray>> lines;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed().split(','));
    }
    return lines;
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

// An indicator or a function of the registries, or the reading error.
StudyFile readStudy(const QString &name, QString *error)
{
    try {
        return StudyFilesModel::instance()->read(name);
    } catch (const QString &text) {
        *error = text;
    }
    return {};
}

FunctionFile readFunction(const QString &name, QString *error)
{
    try {
        return FunctionFilesModel::instance()->read(name);
    } catch (const QString &text) {
        *error = text;
    }
    return {};
}

// The names of the registry that are indicator or function names (the functions directory
// also holds its README).
QStringList scriptNames(const ScriptFilesModel *files)
{
    static const QRegularExpression name(QStringLiteral("^[a-z0-9_\\-]+$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (const QString &n : files->existingNames()) {
        if (name.match(n).hasMatch())
            names.append(n);
    }
    return names;
}

// A one-minute model of the Thursday session.
struct SessionModel
{
    SessionModel()
        : model(Shares)
    {
        restore(model, TimeFrameValue(60), Thursday, Thursday);
        model.build();
    }
    void fill(const std::vector<BarsCsv::Bar> &bars)
    {
        DealBatch batch(&model, 4, false);
        for (const BarsCsv::Bar &bar : bars)
            BarsCsv::appendDeals(batch, bar);
    }
    QString timeOf(int bar) const
    {
        return model.frameTime(model.validBar(bar), false)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    SeriesDataModel model;
};

// The deals a bar is folded from, in their order.
std::vector<Deal> dealsOf(SeriesDataModel &model, const BarsCsv::Bar &bar)
{
    DealBatch scratch(&model, 4, false);
    BarsCsv::appendDeals(scratch, bar);
    const std::vector<Deal> deals = scratch.deals();
    scratch.discard();
    return deals;
}

// Empty when the texts are equal, else their first differing line in both.
QString firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    const QList<QByteArray> a = actual.split('\n');
    const QList<QByteArray> e = expected.split('\n');
    for (qsizetype i = 0; i < std::max(a.size(), e.size()); ++i) {
        const QByteArray left = i < a.size() ? a[i] : QByteArray("<none>");
        const QByteArray right = i < e.size() ? e[i] : QByteArray("<none>");
        if (left != right)
            return QStringLiteral("line %1: %2\n  instead of %3")
                .arg(i + 1)
                .arg(QString::fromUtf8(left), QString::fromUtf8(right));
    }
    return {};
}

} // namespace

class TestStudyLibrary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void libraryIsComplete();
    void valuesMatchFixtures_data();
    void valuesMatchFixtures();
    void parabolicSarOnHandWorkedBars();
    void tradeByTradeMatchesOneRun_data();
    void tradeByTradeMatchesOneRun();
    void functionsLoadWhenFirstCalled();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
    std::vector<BarsCsv::Bar> m_bars;
    std::unique_ptr<SessionModel> m_full;
};

void TestStudyLibrary::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "studylibrary.ini");
    SeriesDataService::setInstance(&m_service);
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 480)}));

    // The registries read a copy of the built-in files, and their user directory lies in the
    // temporary directory too.
    const QString app = m_dir.filePath(QStringLiteral("app"));
    const QString shipped = QCoreApplication::applicationDirPath() + QStringLiteral("/tascripts");
    QVERIFY2(QFileInfo::exists(shipped + QStringLiteral("/indicators/RSI")), qPrintable(shipped));
    QVERIFY(copyTree(shipped, app + QStringLiteral("/tascripts")));
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
    ScriptFilesModel::setRegistryDirectory(app);
    QCOMPARE(StudyFilesModel::instance()->builtInDirectory(), app + QStringLiteral("/tascripts/indicators"));

    QString error;
    m_bars = BarsCsv::parse(contentOf(fixturePath(QStringLiteral("bars.csv"))), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(m_bars.size() >= 200);
    m_full = std::make_unique<SessionModel>();
    m_full->fill(m_bars);
    QCOMPARE(m_full->model.validBarCount(), int(m_bars.size()));
}

void TestStudyLibrary::cleanupTestCase()
{
    m_full.reset();
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
    ScriptFilesModel::setRegistryDirectory({});
    SeriesDataService::setInstance(nullptr);
}

void TestStudyLibrary::libraryIsComplete()
{
    const QStringList names = StudyFilesModel::instance()->existingNames();
    QVERIFY2(names.size() >= 30, qPrintable(names.join(',')));
    QCOMPARE(scriptNames(StudyFilesModel::instance()), names);
    for (const QString &name : names) {
        QString error;
        const StudyFile file = readStudy(name, &error);
        QVERIFY2(error.isEmpty(), qPrintable(name + QStringLiteral(": ") + error));
        QVERIFY2(!file.description.trimmed().isEmpty(), qPrintable(name));
        QVERIFY2(!file.code.trimmed().isEmpty(), qPrintable(name));
        // Written as the editor writes files: saving one unchanged changes no byte.
        QCOMPARE(QString::fromUtf8(ScriptFileFormat::writeStudy(file)),
                 QString::fromUtf8(contentOf(StudyFilesModel::instance()->pathFor(name))));
        QVERIFY2(QFile::exists(fixturePath(name + QStringLiteral(".csv"))),
                 qPrintable(name + QStringLiteral(": no fixture")));

        ScriptRunner runner(&m_full->model);
        runner.setStudy(name, file);
        QVERIFY2(runner.run(&error), qPrintable(name + QStringLiteral(": ") + error));
        // Every output has its style, and every style is for an output.
        QStringList outputs = runner.plotNames() + runner.levels().keys();
        outputs.sort();
        QVERIFY2(!runner.plotNames().isEmpty(), qPrintable(name));
        QCOMPARE(QStringList(file.styles.keys()), outputs);
        // The per-bar code runs as one compiled function: none of its variables is named in
        // the declaration or in a function it calls.
        QVERIFY2(runner.context()->plan().kind == ScriptPlan::Function,
                 qPrintable(name + QStringLiteral(": ") + runner.context()->plan().reason));
        // And it gives to the last digit what evaluating it bar by bar gives, in a second
        // pass over the same bars too.
        ScriptRunner perBar(&m_full->model);
        perBar.context()->setFastestPlan(ScriptPlan::PerBar);
        perBar.setStudy(name, file);
        QVERIFY2(perBar.run(&error), qPrintable(name + QStringLiteral(": ") + error));
        QVERIFY2(runner.csv() == perBar.csv(), qPrintable(name));
        QVERIFY2(runner.run(&error) && perBar.run(&error), qPrintable(name + QStringLiteral(": ") + error));
        QVERIFY2(runner.csv() == perBar.csv(), qPrintable(name + QStringLiteral(", second pass")));
    }

    const QStringList functions = scriptNames(FunctionFilesModel::instance());
    for (const char *name : {"sma", "ema", "stdev", "highest", "lowest"})
        QVERIFY2(functions.contains(QLatin1String(name)), name);
    for (const QString &name : functions) {
        QString error;
        const FunctionFile file = readFunction(name, &error);
        QVERIFY2(error.isEmpty(), qPrintable(name + QStringLiteral(": ") + error));
        QVERIFY2(!file.description.trimmed().isEmpty(), qPrintable(name));
        QVERIFY2(file.code.contains(QStringLiteral("function ") + name + QLatin1Char('(')), qPrintable(name));
        QCOMPARE(QString::fromUtf8(ScriptFileFormat::writeFunction(file)),
                 QString::fromUtf8(contentOf(FunctionFilesModel::instance()->pathFor(name))));
    }
}

void TestStudyLibrary::valuesMatchFixtures_data()
{
    QTest::addColumn<QString>("name");
    const QStringList files = QDir(QStringLiteral(TA_FIXTURES_DIR)).entryList({QStringLiteral("*.csv")}, QDir::Files);
    QVERIFY(files.size() > 30);
    for (const QString &file : files) {
        if (file != QLatin1String("bars.csv"))
            QTest::newRow(qPrintable(file.chopped(4))) << file.chopped(4);
    }
}

void TestStudyLibrary::valuesMatchFixtures()
{
    QFETCH(QString, name);
    QString error;
    const StudyFile file = readStudy(name, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(!file.code.isNull(), qPrintable(name + QStringLiteral(": no such indicator")));
    ScriptRunner runner(&m_full->model);
    runner.setStudy(name, file);
    QVERIFY2(runner.run(&error), qPrintable(error));

    const QList<QList<QByteArray>> lines = csvLines(contentOf(fixturePath(name + QStringLiteral(".csv"))));
    QCOMPARE(int(lines.size()), int(m_bars.size()) + 1);
    QStringList plots;
    for (qsizetype k = 1; k < lines[0].size(); ++k)
        plots.append(QString::fromUtf8(lines[0][k]));
    QCOMPARE(runner.plotNames(), plots);

    QStringList mismatches;
    int compared = 0;
    for (int bar = 0; bar < int(m_bars.size()); ++bar) {
        const QList<QByteArray> &fields = lines[bar + 1];
        QCOMPARE(int(fields.size()), int(plots.size()) + 1);
        QCOMPARE(QString::fromLatin1(fields[0]), m_full->timeOf(bar));
        for (int k = 0; k < plots.size(); ++k) {
            const double ours = runner.value(plots[k], bar);
            const QByteArray &text = fields[k + 1];
            bool ok = true;
            const double expected = text.isEmpty() ? std::nan("") : text.toDouble(&ok);
            QVERIFY2(ok, text.constData());
            const bool same = text.isEmpty()
                                  ? std::isnan(ours)
                                  : !std::isnan(ours)
                                        && std::fabs(ours - expected)
                                               <= Tolerance * std::max(1.0, std::fabs(expected));
            compared += text.isEmpty() ? 0 : 1;
            if (!same && mismatches.size() < 10) {
                mismatches.append(QStringLiteral("%1, plot %2, bar %3 (%4): ours %5, fixture %6")
                                      .arg(name, plots[k])
                                      .arg(bar)
                                      .arg(m_full->timeOf(bar))
                                      .arg(std::isnan(ours) ? QStringLiteral("none") : QString::number(ours, 'g', 17))
                                      .arg(text.isEmpty() ? QStringLiteral("none") : QString::fromLatin1(text)));
            }
        }
    }
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join('\n')));
    QVERIFY(compared > 0);
}

void TestStudyLibrary::parabolicSarOnHandWorkedBars()
{
    // Two turns the generated session lacks: the second bar moves up exactly as far as down,
    // which starts a rising trend, and a high equal to the falling SAR reverses it.
    //   bar 1  rising from SAR 9.00 (bar 0's low), EP 10.50 (its own high); its low 8.50
    //          reverses: SAR 10.50 (the EP, not below the high), EP 8.50, AF 0.02; the next SAR
    //          10.50 - 0.02 * 2.00 = 10.46 is held at the high 10.50
    //   bar 2  the high 10.50 touches it: rising, SAR 8.50 (the EP, not above bar 1's low),
    //          EP 10.50; the next SAR 8.50 + 0.02 * 2.00 = 8.54 is held at bar 1's low 8.50
    //   bar 3  new high 11.00: AF 0.04, the next SAR 8.50 + 0.04 * 2.50 = 8.60
    //   bar 4  new high 11.50: AF 0.06, the next SAR 8.60 + 0.06 * 2.90 = 8.774
    const QByteArray text = "time,open,high,low,close,volume\n"
                            "2026-12-03 10:00:00,9.50,10.00,9.00,9.50,10\n"
                            "2026-12-03 10:01:00,9.50,10.50,8.50,10.00,10\n"
                            "2026-12-03 10:02:00,10.00,10.50,9.00,10.20,10\n"
                            "2026-12-03 10:03:00,10.20,11.00,9.50,10.80,10\n"
                            "2026-12-03 10:04:00,10.80,11.50,10.00,11.20,10\n"
                            "2026-12-03 10:05:00,11.20,11.40,10.50,11.00,10\n";
    const QStringList expected{"none", "10.5", "8.5", "8.5", "8.6", "8.774"};

    QString error;
    const std::vector<BarsCsv::Bar> bars = BarsCsv::parse(text, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    SessionModel session;
    session.fill(bars);
    QCOMPARE(session.model.validBarCount(), int(bars.size()));
    const StudyFile file = readStudy(QStringLiteral("Parabolic_SAR"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    ScriptRunner runner(&session.model);
    runner.setStudy(QStringLiteral("Parabolic_SAR"), file);
    QVERIFY2(runner.run(&error), qPrintable(error));
    QStringList values;
    for (int bar = 0; bar < int(bars.size()); ++bar) {
        const double value = runner.value(QStringLiteral("SAR"), bar);
        values.append(std::isnan(value) ? QStringLiteral("none") : QString::number(value, 'g', 12));
    }
    QCOMPARE(values, expected);
}

void TestStudyLibrary::tradeByTradeMatchesOneRun_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : StudyFilesModel::instance()->existingNames())
        QTest::newRow(qPrintable(name)) << name;
}

void TestStudyLibrary::tradeByTradeMatchesOneRun()
{
    // On a chart the last bar is evaluated again on every trade, and a new bar is evaluated
    // from its first trade on: the values may not depend on how often that happened.
    QFETCH(QString, name);
    QString error;
    const StudyFile file = readStudy(name, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    SessionModel live;
    ScriptRunner runner(&live.model);
    runner.setStudy(name, file);
    bool started = false;
    for (const BarsCsv::Bar &bar : m_bars) {
        const std::vector<Deal> deals = dealsOf(live.model, bar);
        for (size_t k = 0; k < deals.size(); ++k) {
            {
                DealBatch one(&live.model, 1, false);
                one.append(deals[k]);
            }
            const int last = live.model.validBarCount() - 1;
            if (last < 0)
                continue;
            const bool ok = started ? runner.update(last, &error) : runner.run(&error);
            started = true;
            QVERIFY2(ok, qPrintable(QStringLiteral("%1: bar %2, deal %3: %4").arg(name).arg(last).arg(k + 1).arg(error)));
            // The closing deal brings the bar's volume: one more evaluation of the bar, as a
            // trade that changes nothing gives, shows a total that grows with each pass.
            if (k + 1 == deals.size())
                QVERIFY2(runner.update(last, &error), qPrintable(error));
        }
    }
    QCOMPARE(live.model.validBarCount(), int(m_bars.size()));

    ScriptRunner once(&live.model);
    once.setStudy(name, file);
    QVERIFY2(once.run(&error), qPrintable(error));
    const QString difference = firstDifference(runner.csv(), once.csv());
    QVERIFY2(difference.isEmpty(), qPrintable(name + QStringLiteral(": trade by trade ") + difference));
}

void TestStudyLibrary::functionsLoadWhenFirstCalled()
{
    // MACD calls ema, and ema calls sma for its seed: each is loaded when first met, and each
    // load rebuilds once.
    QString error;
    const StudyFile file = readStudy(QStringLiteral("MACD"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    ScriptRunner runner(&m_full->model);
    runner.setStudy(QStringLiteral("MACD"), file);
    QVERIFY2(runner.run(&error), qPrintable(error));
    QCOMPARE(runner.context()->functions().keys(), (QStringList{"ema", "sma"}));
    QCOMPARE(runner.rebuildCount(), 3);
    QCOMPARE(runner.context()->resolveCount(), 2);
    // Another run over the same context needs nothing more.
    QVERIFY2(runner.run(&error), qPrintable(error));
    QCOMPARE(runner.rebuildCount(), 4);
    QCOMPARE(runner.context()->resolveCount(), 2);
}

TA_REGISTER_TEST(TestStudyLibrary)
#include "tst_studylibrary.moc"
