// The built-in indicator library over one session of bars: every plot at every bar against
// values computed independently (tests/scripts/fixtures, made by generate.js there), the same
// results from the compiled and the bar-by-bar evaluation, and the files themselves complete and
// in the form the editor writes them; Parabolic SAR also over a few hand-worked
// bars for the turns the generated session lacks.

#include "bartesthelpers.h"
#include "barscsv.h"
#include "scriptcontext.h"
#include "scriptfilesmodel.h"
#include "scriptrunner.h"
#include "studylibraryhelpers.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QDir>
#include <QFile>
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
    useCopyOfLibrary(m_dir);

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
    for (const QString &name : names) {
        QString error;
        const StudyFile file = readStudy(name, &error);
        QVERIFY2(error.isEmpty() && !file.description.trimmed().isEmpty(),
                 qPrintable(name + QStringLiteral(": ") + error));
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
    QVERIFY2(error.isEmpty() && !file.code.isNull(), qPrintable(name + QStringLiteral(": no such indicator ") + error));
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
            // Both without a value, or both with one within the tolerance.
            const bool same = std::isnan(ours) == std::isnan(expected)
                              && !(std::fabs(ours - expected) > Tolerance * std::max(1.0, std::fabs(expected)));
            compared += text.isEmpty() ? 0 : 1;
            if (!same && mismatches.size() < 10)
                mismatches.append(QStringLiteral("plot %1, bar %2 (%3): ours %4, fixture %5")
                                      .arg(plots[k]).arg(bar).arg(m_full->timeOf(bar))
                                      .arg(ours, 0, 'g', 17).arg(QString::fromLatin1(text)));
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

TA_REGISTER_TEST(TestStudyLibrary)
#include "tst_studylibrary.moc"
