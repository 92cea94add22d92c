// The series objects indicator scripts read and write: indexing by bars back from the bar
// being evaluated, in per-bar and extension runs, and the cells of script-made series.

#include "bartesthelpers.h"
#include "scriptseries.h"
#include "scripttext.h"
#include "serieskey.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace BarTest;

namespace {

// Thursday 2026-12-03, one session 10:00-10:05: five one-minute slots.
const QDate Thursday(2026, 12, 3);

// What an evaluation context tells the series.
class Cursor : public QObject, public ScriptCursor
{
    Q_OBJECT
    Q_INTERFACES(ScriptCursor)
public:
    explicit Cursor(SeriesDataModel *model)
        : m_model(model)
    {
    }
    int currentBar() const override { return bar; }
    FrameIndex position() const override { return slot; }
    SeriesDataModel *barModel() const override { return m_model; }
    int bar = -1;
    FrameIndex slot;

private:
    SeriesDataModel *m_model;
};

// Bars in the slots given, closing at 100 + slot, volume 10 + slot.
void fillSlots(SeriesDataModel &model, const QList<int> &filled)
{
    DealBatch batch(&model, 1, false);
    for (int s : filled)
        batch.append(deal(t(Thursday, 10, s), QByteArray::number(100 + s).constData(), 10 + s));
}

struct Fixture
{
    explicit Fixture(const QList<int> &filled = {0, 1, 2, 3, 4})
        : model(SeriesKey::fromString(QStringLiteral("2,2,2001")))
        , cursor(&model)
    {
        MapSettings state;
        TimeFrameValue(60).save(state);
        state.setValue(QStringLiteral("toCurrDate"), false);
        state.setValue(QStringLiteral("dateTo"), Thursday.toString(Qt::ISODate));
        state.setValue(QStringLiteral("daysBack"), 1);
        model.restoreState(state);
        model.build();
        fillSlots(model, filled);
    }
    SeriesDataModel model;
    Cursor cursor;
};

} // namespace

class TestScriptSeries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void builtInsReadBarsBack();
    void extensionRunsLookPastTheLastBar();
    void customSeriesCells();
    void customSeriesDump();
    void seriesWithoutAContext();
    void assembledTexts();
    void parameterNamesMustBeIdentifiers_data();
    void parameterNamesMustBeIdentifiers();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestScriptSeries::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "scriptseries.ini");
    SeriesDataService::setInstance(&m_service);
}

void TestScriptSeries::init()
{
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 5)}));
}

void TestScriptSeries::builtInsReadBarsBack()
{
    Fixture f;
    QCOMPARE(f.model.validBarCount(), 5);
    CloseScriptObj close(&f.cursor, &f.model);
    VolumeScriptObj volume(&f.cursor, &f.model);
    QCOMPARE(close.name(), QStringLiteral("Close"));
    QCOMPARE(volume.name(), QStringLiteral("Volume"));
    // Outside a per-bar run nothing is read.
    QVERIFY(!close.at(0).isValid());
    f.cursor.bar = 0;
    QCOMPARE(close.at(0).toDouble(), 100.0);
    QVERIFY(!close.at(1).isValid());
    QCOMPARE(close.at(-1).toDouble(), 101.0); // the next bar, from an earlier one
    f.cursor.bar = 4;
    QCOMPARE(close.at(0).toDouble(), 104.0);
    QCOMPARE(close.at(4).toDouble(), 100.0);
    QVERIFY(!close.at(-1).isValid()); // nothing after the last bar
    QVERIFY(!close.at(5).isValid());
    QVERIFY(!close.at(std::numeric_limits<int>::min()).isValid());
    QCOMPARE(volume.at(1).toDouble(), 13.0);
    // Read-only: a write changes nothing.
    close.setAt(0, 5.0);
    QCOMPARE(close.at(0).toDouble(), 104.0);
}

void TestScriptSeries::extensionRunsLookPastTheLastBar()
{
    // Bars in slots 0..2; slots 3 and 4 lie beyond the last bar.
    Fixture f({0, 1, 2});
    CloseScriptObj close(&f.cursor, &f.model);
    CustomScriptSeries custom(&f.cursor, &f.model);
    f.cursor.bar = 2;
    custom.setAt(0, 7.5);
    f.cursor.bar = -1;
    f.cursor.slot = f.model.frameIndexOf(f.model.linearIndex(f.model.lastIndex()) + 2); // k = 2
    // Within k the slots beyond the last bar: no bars there, cells of their own.
    QVERIFY(!close.at(0).isValid());
    QVERIFY(!close.at(1).isValid());
    custom.setAt(1, 3.0);
    QCOMPARE(custom.at(1).toDouble(), 3.0);
    // Past k the bars before: n = 3 is the last bar, n = 4 the one before.
    QCOMPARE(close.at(2).toDouble(), 102.0);
    QCOMPARE(close.at(3).toDouble(), 101.0);
    QCOMPARE(custom.at(2).toDouble(), 7.5);
    QVERIFY(!close.at(-1).isValid());
    // A position at or before the last bar names nothing.
    f.cursor.slot = f.model.lastIndex();
    QVERIFY(!close.at(0).isValid());
    QVERIFY(!close.at(1).isValid());
}

void TestScriptSeries::customSeriesCells()
{
    Fixture f;
    CustomScriptSeries series(&f.cursor, &f.model);
    QCOMPARE(series.name(), QStringLiteral("Custom"));
    QCOMPARE(series.shape(), std::vector<int>{5});
    QCOMPARE(series.storedCells(), size_t(0));
    f.cursor.bar = 2;
    // Written at bar 2, read at bar 4 two back; one back is another bar's cell.
    series.setAt(0, 1.25);
    f.cursor.bar = 4;
    QCOMPARE(series.at(2).toDouble(), 1.25);
    QVERIFY(!series.at(1).isValid());
    // Values that change nothing.
    for (const QVariant &ignored : {QVariant(std::nan("")), QVariant(std::numeric_limits<double>::infinity()),
                                    QVariant(), QVariant::fromValue(nullptr), QVariant(QStringLiteral("x"))}) {
        series.setAt(2, ignored);
        QCOMPARE(series.at(2).toDouble(), 1.25);
    }
    series.setAt(-1, 5.0);
    f.cursor.bar = 3;
    QVERIFY(!series.at(-1).isValid());
    series.clear();
    f.cursor.bar = 4;
    QVERIFY(!series.at(2).isValid());
}

void TestScriptSeries::customSeriesDump()
{
    // One chunk of three slots, only the middle one written.
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 3)}));
    Fixture f({0, 1, 2});
    CustomScriptSeries series(&f.cursor, &f.model);
    f.cursor.bar = 1;
    series.setAt(0, 1.5);
    QCOMPARE(series.toString(), QStringLiteral("Series: %1 [ [0][0] : INV, [0][1] : 1.5, [0][2] : INV,  ]")
                                    .arg(quintptr(&series)));
}

void TestScriptSeries::seriesWithoutAContext()
{
    Fixture f;
    // Built from a script with something that is not the context: inert, never a wrong cast.
    QObject notAContext;
    CloseScriptObj close(&f.cursor, &f.model);
    for (QObject *argument : {static_cast<QObject *>(nullptr), &notAContext, static_cast<QObject *>(&close)}) {
        CustomScriptSeries series(argument);
        QVERIFY(series.isInert());
        f.cursor.bar = 1;
        series.setAt(0, 2.0);
        QVERIFY(!series.at(0).isValid());
        QCOMPARE(series.toString(), QStringLiteral("Series: %1 [  ]").arg(quintptr(&series)));
    }
    // A script-made series belongs to the engine, not to the context: a context that goes
    // away leaves it reading nothing.
    auto *cursor = new Cursor(&f.model);
    auto series = std::make_unique<CustomScriptSeries>(cursor);
    QVERIFY(!series->parent());
    cursor->bar = 1;
    series->setAt(0, 4.0);
    QCOMPARE(series->at(0).toDouble(), 4.0);
    delete cursor;
    QVERIFY(!series->at(0).isValid());
    series->setAt(0, 5.0);
}

void TestScriptSeries::assembledTexts()
{
    QMap<QString, ScriptParameter> parameters;
    parameters.insert(QStringLiteral("n"), {QStringLiteral("14"), false});
    parameters.insert(QStringLiteral("empty"), {QString(), false});
    parameters.insert(QStringLiteral("m"), {QStringLiteral("2 * Close.at(0)"), true});
    parameters.insert(QStringLiteral("blank"), {QStringLiteral("  "), true});
    parameters.insert(QStringLiteral("k"), {QStringLiteral("1 // one"), false});
    QMap<QString, QString> functions;
    functions.insert(QStringLiteral("avg"), QStringLiteral("function avg(a, b) { return (a + b) / 2 }"));
    const QString preparation = ScriptText::preparation(parameters, functions, QStringLiteral("var s = 0;"));
    // Name order; an empty plain value contributes nothing; a trailing comment ends at its line.
    QCOMPARE(preparation, QStringLiteral("k=1 // one; \nn=14; \nfunction avg(a, b) { return (a + b) / 2 }; \nvar s = 0;"));
    QVERIFY(ScriptText::preparation({{QStringLiteral("n"), {QStringLiteral("14"), false}}}, {}, {})
                .startsWith(QStringLiteral("n=14; ")));
    // A formula before the code on every bar; one without text is left out, never "m=; ".
    QCOMPARE(ScriptText::barScript(parameters, QStringLiteral("Plot(m, \"M\");")),
             QStringLiteral("m=2 * Close.at(0); \nPlot(m, \"M\");"));
}

void TestScriptSeries::parameterNamesMustBeIdentifiers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "period" << true;
    QTest::newRow("underscore and digit") << "_n2" << true;
    QTest::newRow("statement") << "a;b" << false;
    QTest::newRow("assignment") << "x=1;y" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("digit first") << "2n" << false;
    QTest::newRow("blank") << "a b" << false;
    QTest::newRow("keyword") << "while" << false;
    QTest::newRow("cyrillic") << "период" << true;
    QTest::newRow("cyrillic with a dash") << "быстрый-период" << false;
}

void TestScriptSeries::parameterNamesMustBeIdentifiers()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QCOMPARE(ScriptText::isIdentifier(name), accepted);
    QMap<QString, ScriptParameter> parameters;
    parameters.insert(name, {QStringLiteral("1"), false});
    if (accepted) {
        QCOMPARE(ScriptText::preparation(parameters, {}, {}), name + QStringLiteral("=1; \n"));
        return;
    }
    bool refused = false;
    try {
        ScriptText::preparation(parameters, {}, {});
    } catch (const QString &text) {
        refused = text.contains(name) && text.startsWith(QStringLiteral("Недопустимое имя параметра"));
    }
    QVERIFY(refused);
    parameters[name].isFormula = true;
    QVERIFY_THROWS_EXCEPTION(QString, ScriptText::barScript(parameters, QString()));
}

TA_REGISTER_TEST(TestScriptSeries)

#include "tst_scriptseries.moc"
