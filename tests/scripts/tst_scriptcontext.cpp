// Indicator scripts as the runtime runs them: the globals they see and nothing more, the
// texts assembled from parameters, bar-by-bar evaluation in each of its ways with the same
// results, lazy functions and instrument fields, errors, time limits and hostile scripts.

#include "bartesthelpers.h"
#include "barscsv.h"
#include "mapsettings.h"
#include "scriptcontext.h"
#include "scriptfilesmodel.h"
#include "scriptrunner.h"
#include "securitydirectory.h"
#include "table.h"
#include "tableregistry.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJSEngine>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>

using namespace BarTest;

namespace {

// Thursday 2026-12-03, one session 10:00-18:00.
const QDate Thursday(2026, 12, 3);

double closeOf(int minute)
{
    return 100 + ((minute * 37) % 23) * 0.5 + minute * 0.01;
}

// A one-minute model with bars in the first `count` minutes of the session.
struct Bars
{
    explicit Bars(int count)
        : model(Shares)
    {
        restore(model, TimeFrameValue(60), Thursday, Thursday);
        model.build();
        DealBatch batch(&model, 4, false);
        for (int m = 0; m < count; ++m)
            addBar(batch, m, closeOf(m));
    }
    void addBar(DealBatch &batch, int minute, double close)
    {
        const QByteArray c = QByteArray::number(close, 'f', 2);
        const QByteArray high = QByteArray::number(close + 1.5, 'f', 2);
        const QByteArray low = QByteArray::number(close - 1, 'f', 2);
        const datetime start = t(Thursday, 10 + minute / 60, minute % 60);
        batch.append(deal(start, c.constData(), 10));
        batch.append(deal(start.addSecs(10), high.constData(), 5));
        batch.append(deal(start.addSecs(20), low.constData(), 5));
        batch.append(deal(start.addSecs(30), c.constData(), 1 + minute % 7));
    }
    double close(int bar) const { return model.bar(model.validBar(bar)).close.toDouble(); }
    SeriesDataModel model;
};

StudyFile study(const QString &code, const QString &declaration = {},
                const QMap<QString, ScriptParameter> &parameters = {})
{
    StudyFile file;
    file.code = code;
    file.declaration = declaration;
    file.parameters = parameters;
    return file;
}

QString runError(ScriptRunner &runner)
{
    QString error;
    return runner.run(&error) ? QString() : error;
}

// The value of a global after the runs.
QJSValue global(ScriptRunner &runner, const QString &name)
{
    return runner.context()->engine()->globalObject().property(name);
}

void setSecurity(const QString &column, const QVariant &value)
{
    Table *securities = TableRegistry::instance()->table(QStringLiteral("securities"));
    QVERIFY(securities);
    const Record record =
        SecurityDirectory::i()->recordById(Shares.stock_id, Shares.board_id, Shares.sec_id);
    QVERIFY(!record.isNull());
    QString error;
    QVERIFY2(securities->update(record, {{securities->columnIndex(column), value}}, &error),
             qPrintable(error));
}

// An owner that asks for another pass from inside a runtime function.
class NestingRunner : public ScriptRunner
{
public:
    using ScriptRunner::ScriptRunner;
    void setLevel(const QString &name, double value) override
    {
        ScriptRunner::setLevel(name, value);
        context()->evaluate(0);
        context()->prepare();
    }
};

} // namespace

class TestScriptContext : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void globalsAreTheRuntimesOnly();
    void scriptsCannotReachOut();
    void scriptsCannotDestroyOrSignal();
    void parametersBecomeText();
    void outputsOfTheRuntime();
    void seriesIndexingFromScripts();
    void everyWayGivesTheSameResults_data();
    void everyWayGivesTheSameResults();
    void globalsPersistAcrossPassesAndWays();
    void errorsNameTheBarAndKeepEarlierValues();
    void aThrowIsAnError();
    void functionsLoadLazilyAndEndThePass();
    void cyclicFunctionIsReported();
    void resolutionsAreLimited();
    void instrumentFieldsResolveOnce();
    void computedFieldsFollowTheTimer();
    void runawayScriptsAreInterrupted_data();
    void runawayScriptsAreInterrupted();
    void deepRecursionIsAnError();
    void scriptSeriesAreCollected();
    void seriesWithoutTheContext();
    void updatesSeeChangedBars();
    void extensionSlots();
    void stateRoundTrip();
    void nestedPassesAreRefused();
    void barsFromText();

private:
    void writeFunction(const QString &name, const QString &code);

    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestScriptContext::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "scriptcontext.ini");
    SeriesDataService::setInstance(&m_service);
    ScriptFilesModel::setRegistryDirectory(m_dir.filePath(QStringLiteral("app")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("app/tascripts/functions")));
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
}

void TestScriptContext::init()
{
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 480)}));
}

void TestScriptContext::cleanupTestCase()
{
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
    ScriptFilesModel::setRegistryDirectory({});
}

void TestScriptContext::writeFunction(const QString &name, const QString &code)
{
    QFile file(m_dir.filePath(QStringLiteral("app/tascripts/functions/") + name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ScriptFileFormat::writeFunction({QStringLiteral("test"), code}));
    file.close();
    FunctionFilesModel::instance()->reload();
}

void TestScriptContext::globalsAreTheRuntimesOnly()
{
    Bars bars(5);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("names = Object.getOwnPropertyNames(this).sort().join(',');")));
    QCOMPARE(runError(runner), QString());
    const QStringList names = global(runner, QStringLiteral("names")).toString().split(',');
    const QStringList ours{"CurrentBar", "Trace", "Plot", "Cloud", "Level", "SetOutRunning",
                           "SetDelay", "ctx", "Series", "Close", "Open", "High", "Low", "Value",
                           "Volume", "OI", "names",
                           // the owner has an instrument: its computed values
                           "theor_price", "price_lmt_high", "price_lmt_low"};
    const QStringList language{
        "Array", "ArrayBuffer", "Atomics", "Boolean", "DataView", "Date", "Error", "EvalError",
        "Float32Array", "Float64Array", "Function", "Infinity", "Int16Array", "Int32Array",
        "Int8Array", "JSON", "Map", "Math", "NaN", "Number", "Object", "Promise", "Proxy",
        "RangeError", "ReferenceError", "Reflect", "RegExp", "Set", "SharedArrayBuffer",
        "String", "Symbol", "SyntaxError", "TypeError", "URIError", "Uint16Array",
        "Uint32Array", "Uint8Array", "Uint8ClampedArray", "WeakMap", "WeakSet", "decodeURI",
        "decodeURIComponent", "encodeURI", "encodeURIComponent", "escape", "eval", "isFinite",
        "isNaN", "parseFloat", "parseInt", "undefined", "unescape"};
    QStringList expected = ours + language;
    expected.sort();
    QStringList extra;
    for (const QString &name : names) {
        if (!expected.contains(name))
            extra.append(name);
    }
    QVERIFY2(extra.isEmpty(), qPrintable(extra.join(',')));
    QCOMPARE(names, expected);

    // The context shows its runtime functions and nothing of its own interface.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("names = Object.getOwnPropertyNames(ctx).sort().join(',');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(global(runner, QStringLiteral("names")).toString(),
             QStringLiteral("cloud,currentBar,level,objectName,objectNameChanged,plot,"
                            "setDelay,setOutRunning,trace"));
    // Before any per-bar run CurrentBar is the function; then the bar number.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("seen = typeof CurrentBar + CurrentBar;"),
                          QStringLiteral("before = typeof Plot + typeof Series + typeof ctx.plot;")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(global(runner, QStringLiteral("before")).toString(),
             QStringLiteral("functionfunctionfunction"));
    QCOMPARE(global(runner, QStringLiteral("seen")).toString(), QStringLiteral("number-1"));
}

void TestScriptContext::scriptsCannotReachOut()
{
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    // Nothing of the host, the file system or the network is there to call.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("x = 1;"),
                          QStringLiteral("kinds = [typeof Qt, typeof console, typeof print, "
                                         "typeof XMLHttpRequest, typeof require, typeof gc, "
                                         "typeof URL, typeof process, typeof fetch].join(',');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(global(runner, QStringLiteral("kinds")).toString(),
             QStringLiteral("undefined,undefined,undefined,undefined,undefined,undefined,"
                            "undefined,undefined,undefined"));
    // Loading code from files or addresses fails with an error, never loads.
    for (const QString &text : {QStringLiteral("import('file:///etc/passwd').then(function () { loaded = 1 });"),
                                QStringLiteral("import x from 'file:///etc/passwd';"),
                                QStringLiteral("var s = require('fs');")}) {
        runner.setStudy(QStringLiteral("T"), study(QStringLiteral("x = 1;"), text));
        const QString error = runError(runner);
        QVERIFY2(error.startsWith(QStringLiteral("Ошибка при выполнении скрипта: ")), qPrintable(error));
        QCoreApplication::processEvents();
        QVERIFY(global(runner, QStringLiteral("loaded")).isUndefined());
    }
}

void TestScriptContext::scriptsCannotDestroyOrSignal()
{
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    QSignalSpy changed(runner.context(), &ScriptContext::contextChanged);
    // destroy() on the context or a bar series throws; the objects stay and keep working.
    for (const QString &target : {QStringLiteral("ctx"), QStringLiteral("Close"),
                                  QStringLiteral("Object.getPrototypeOf(Close)")}) {
        runner.setStudy(QStringLiteral("T"),
                        study(QStringLiteral("Plot(Close.at(0), 'c');"), target + QStringLiteral(".destroy();")));
        const QString error = runError(runner);
        QVERIFY2(error.contains(QStringLiteral("indestructible")), qPrintable(error));
    }
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("Plot(Close.at(0), 'c');"),
                          QStringLiteral("kinds = [typeof ctx.contextChanged, typeof ctx.deleteLater, "
                                         "typeof Close.deleteLater, typeof ctx.destroyed].join(',');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(global(runner, QStringLiteral("kinds")).toString(),
             QStringLiteral("undefined,undefined,undefined,undefined"));
    QCOMPARE(runner.value(QStringLiteral("c"), 2), bars.close(2));
    QCOMPARE(runner.context()->seriesObjects().size(), 7);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(changed.count(), 0);
}

void TestScriptContext::parametersBecomeText()
{
    Bars bars(6);
    ScriptRunner runner(&bars.model);
    QMap<QString, ScriptParameter> parameters;
    parameters.insert(QStringLiteral("n"), {QStringLiteral("14"), false});
    parameters.insert(QStringLiteral("empty"), {QString(), false});
    parameters.insert(QStringLiteral("k"), {QStringLiteral("3 // three"), false});
    parameters.insert(QStringLiteral("m"), {QStringLiteral("2 * Close.at(0)"), true});
    parameters.insert(QStringLiteral("blank"), {QString(), true});
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("Plot(m, 'm'); Plot(n + k, 'nk');"),
                          QStringLiteral("Level(n, 'n'); emptyDefined = typeof empty;"), parameters));
    QCOMPARE(runError(runner), QString());
    // A formula follows the bar; plain values were set once; the comment ended at its line.
    for (int bar = 0; bar < 6; ++bar) {
        QCOMPARE(runner.value(QStringLiteral("m"), bar), 2 * bars.close(bar));
        QCOMPARE(runner.value(QStringLiteral("nk"), bar), 17.0);
    }
    QCOMPARE(runner.levels().value(QStringLiteral("n")), 14.0);
    QCOMPARE(global(runner, QStringLiteral("emptyDefined")).toString(), QStringLiteral("undefined"));

    // A name that is not a plain identifier is refused, never spliced into the text.
    for (const QString &bad : {QStringLiteral("a;b"), QStringLiteral("x=1;y"), QString()}) {
        QMap<QString, ScriptParameter> hostile;
        hostile.insert(bad, {QStringLiteral("1"), false});
        runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(1, 'p');"), {}, hostile));
        const QString error = runError(runner);
        QVERIFY2(error.startsWith(QStringLiteral("Недопустимое имя параметра")), qPrintable(error));
        QVERIFY(global(runner, QStringLiteral("y")).isUndefined());
    }
}

void TestScriptContext::outputsOfTheRuntime()
{
    Bars bars(4);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("if (CurrentBar == 2) r = [Plot(NaN, 'a'), Plot(Infinity, 'a'), "
                                         "Plot(-Infinity, 'a'), Plot(5, 'b')].join(',');"
                                         "if (CurrentBar == -1) refresh = Plot(5, 'b');"
                                         "Cloud('a', 'b'); Cloud('a', 'b'); Cloud('b', 'a');"
                                         "lv = Level(2.5, 'mid'); SetOutRunning(2); SetDelay(1);"
                                         "Trace('bar ' + CurrentBar);"),
                          QStringLiteral("Plot(7, 'outside');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(global(runner, QStringLiteral("r")).toString(), QStringLiteral("0,0,0,5"));
    QCOMPARE(global(runner, QStringLiteral("refresh")).toNumber(), 0.0);
    // Nothing stored for non-finite values, nor outside a per-bar run.
    QVERIFY(!runner.plotNames().contains(QStringLiteral("a")));
    QVERIFY(!runner.plotNames().contains(QStringLiteral("outside")));
    QCOMPARE(runner.value(QStringLiteral("b"), 2), 5.0);
    QCOMPARE(runner.clouds(), (QList<QPair<QString, QString>>{{"a", "b"}, {"b", "a"}}));
    QCOMPARE(runner.levels().value(QStringLiteral("mid")), 2.5);
    QCOMPARE(global(runner, QStringLiteral("lv")).toNumber(), 2.5);
    QCOMPARE(runner.outRunning(), 2u);
    QCOMPARE(runner.delay(), 1u);
}

void TestScriptContext::seriesIndexingFromScripts()
{
    Bars bars(13);
    ScriptRunner runner(&bars.model);
    const QString code = QStringLiteral(
        "if (CurrentBar == 0) { first0 = Close.at(0); first1 = Close.at(1); }"
        "if (CurrentBar == 12) { last = Close.at(-1); lastBack = Close.at(12); beyond = Close.at(13); }"
        "if (CurrentBar == 5) { ahead = Close.at(-1); frac = Close.at(1.7); text = Close.at('2'); }"
        "if (CurrentBar == 0) s = new Series(ctx);"
        "if (CurrentBar == 10) { s.setAt(0, 4.5); s.setAt(0, NaN); s.setAt(0, Infinity); s.setAt(-1, 5); s.setAt(0, undefined); }"
        "if (CurrentBar == 12) { two = s.at(2); one = s.at(1); }"
        "if (CurrentBar == 12) { vol = Volume.at(0); hi = High.at(0); nm = Close.name(); }");
    for (ScriptPlan::Kind kind : {ScriptPlan::PerBar, ScriptPlan::Loop, ScriptPlan::Function}) {
        runner.context()->setFastestPlan(kind);
        runner.setStudy(QStringLiteral("T"), study(code));
        QCOMPARE(runError(runner), QString());
        QCOMPARE(global(runner, "first0").toNumber(), bars.close(0));
        QVERIFY(global(runner, "first1").isUndefined());
        QVERIFY(global(runner, "last").isUndefined());
        QCOMPARE(global(runner, "lastBack").toNumber(), bars.close(0));
        QVERIFY(global(runner, "beyond").isUndefined());
        QCOMPARE(global(runner, "ahead").toNumber(), bars.close(6));
        QCOMPARE(global(runner, "frac").toNumber(), bars.close(4));
        QCOMPARE(global(runner, "text").toNumber(), bars.close(3));
        QCOMPARE(global(runner, "two").toNumber(), 4.5);
        QVERIFY(global(runner, "one").isUndefined());
        QCOMPARE(global(runner, "vol").toNumber(), 21.0 + 12 % 7);
        QCOMPARE(global(runner, "hi").toNumber(), bars.close(12) + 1.5);
        QCOMPARE(global(runner, "nm").toString(), QStringLiteral("Close"));
    }
    // at() without an argument reads the current bar, whichever way runs the text.
    for (ScriptPlan::Kind kind : {ScriptPlan::PerBar, ScriptPlan::Function}) {
        runner.context()->setFastestPlan(kind);
        runner.setStudy(QStringLiteral("T"),
                        study(QStringLiteral("if (CurrentBar == 4) none = Close.at(); Plot(1, 'p');")));
        QCOMPARE(runError(runner), QString());
        QCOMPARE(global(runner, "none").toNumber(), bars.close(4));
    }
}

void TestScriptContext::everyWayGivesTheSameResults_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<int>("fastest"); // the way the plan should choose

    QTest::newRow("moving average") << "var s = 0; for (var i = 0; i < 5; i++) s += Close.at(i); Plot(s / 5, 'sma');"
                                    << "" << int(ScriptPlan::Function);
    QTest::newRow("accumulation")
        << "if (CurrentBar >= 0) { var total; total = (total === undefined ? 0 : total) + Volume.at(0); Plot(total, 'obv'); }"
        << "" << int(ScriptPlan::Function);
    QTest::newRow("ema with a global")
        << "var k = 2 / (10 + 1); if (CurrentBar == 0) ema = Close.at(0); else ema = Close.at(0) * k + ema * (1 - k); Plot(ema, 'ema');"
        << "var ema;" << int(ScriptPlan::Function);
    QTest::newRow("ema in a series")
        << "if (CurrentBar == 0) e = new Series(ctx); var p = e.at(1); e.setAt(0, p === undefined ? Close.at(0) : (Close.at(0) + 2 * p) / 3); Plot(e.at(0), 'e');"
        << "" << int(ScriptPlan::Function);
    QTest::newRow("let and const per bar")
        << "let a = Close.at(0); const b = Open.at(0); { let a = 1; } Plot(a - b, 'd');" << ""
        << int(ScriptPlan::Function);
    QTest::newRow("var shadowing a built-in")
        << "var escape = (typeof escape == 'number' ? escape : 0) + 1; Plot(escape, 'n');" << ""
        << int(ScriptPlan::Function);
    QTest::newRow("the global object by name")
        << "this.count = (this.count || 0) + 1; var x = count; Plot(x, 'c');" << "" << int(ScriptPlan::Loop);
    QTest::newRow("closures over bar variables")
        << "var v = Close.at(0); var f = function () { return v * 2; }; Plot(f(), 'f');" << ""
        << int(ScriptPlan::Loop);
    QTest::newRow("function declared in the code")
        << "function twice(x) { return 2 * x; } Plot(twice(High.at(0)), 't');" << ""
        << int(ScriptPlan::PerBar);
    QTest::newRow("strict code") << "'use strict'; var q = Low.at(1); Plot(q === undefined ? 0 : q, 'q');"
                                 << "" << int(ScriptPlan::PerBar);
    QTest::newRow("labels and loops")
        << "var m = 0; outer: for (var i = 0; i < 3; i++) { for (var j = 0; j < 3; j++) { if (j == 2) continue outer; m += Close.at(i + j) || 0; } } Plot(m, 'm');"
        << "" << int(ScriptPlan::Function);
    QTest::newRow("variable named elsewhere")
        << "var w = Close.at(0); Plot(scale(), 'w');" << "function scale() { return w * 3; }"
        << int(ScriptPlan::Loop);
    QTest::newRow("arguments at the top")
        << "var z = typeof arguments; Plot(z == 'undefined' ? 1 : 2, 'z');" << "" << int(ScriptPlan::Loop);
    // A function made in one pass and called in a later one sees the variables as they are
    // then, not as they were when it was made.
    QTest::newRow("closure spanning passes")
        << "if (CurrentBar == 0) { var f = function () { return v; }; } var v = CurrentBar;"
           " if (CurrentBar == -1) Level(f(), 'lv'); Plot(f(), 'p');"
        << "" << int(ScriptPlan::Loop);
    QTest::newRow("arrow kept from the first bar")
        << "if (CurrentBar == 0) var g = () => Close.at(0) + w; var w = CurrentBar; Plot(g(), 'g');"
        << "" << int(ScriptPlan::Loop);
    QTest::newRow("method of an object literal")
        << "if (CurrentBar == 0) var o = { get h() { return k; }, m(x) { return k + x; } }; var k = High.at(0); Plot(o.h + o.m(1), 'o');"
        << "" << int(ScriptPlan::Loop);
    QTest::newRow("class kept from the first bar")
        << "if (CurrentBar == 0) var C = class { value() { return c; } }; var c = Low.at(0); Plot(new C().value(), 'c');"
        << "" << int(ScriptPlan::Loop);
    QTest::newRow("var hoisting") << "Plot(h === undefined ? -1 : h, 'h'); var h = Close.at(0);" << ""
                                  << int(ScriptPlan::Function);
    QTest::newRow("global written in a function")
        << "var r = Close.at(0); bump(); Plot(r + counter, 'r');"
        << "var counter = 0; function bump() { counter++; }" << int(ScriptPlan::Function);
    QTest::newRow("exception caught and rethrown")
        << "var e = 0; try { try { if (CurrentBar % 3 == 0) throw new Error('x'); e = 1; } catch (x) { e = 2; throw x; } } catch (y) { e += 10; } Plot(e, 'e');"
        << "" << int(ScriptPlan::Function);
    QTest::newRow("out-running and delay")
        << "SetOutRunning(2); SetDelay(1); var d = Close.at(0) - (Close.at(1) || 0); Plot(d, 'd');" << ""
        << int(ScriptPlan::Function);
}

void TestScriptContext::everyWayGivesTheSameResults()
{
    QFETCH(QString, code);
    QFETCH(QString, declaration);
    QFETCH(int, fastest);
    Bars bars(40);
    QByteArray reference;
    for (ScriptPlan::Kind kind : {ScriptPlan::PerBar, ScriptPlan::Loop, ScriptPlan::Function}) {
        // A fresh engine each time, run twice: the second pass starts from the first's globals.
        ScriptRunner runner(&bars.model);
        runner.context()->setFastestPlan(kind);
        runner.setStudy(QStringLiteral("T"), study(code, declaration));
        QCOMPARE(runError(runner), QString());
        QCOMPARE(runError(runner), QString());
        const QByteArray csv = runner.csv();
        QVERIFY(!runner.plotNames().isEmpty());
        if (kind == ScriptPlan::PerBar)
            reference = csv;
        else
            QCOMPARE(csv, reference);
        QCOMPARE(int(runner.context()->plan().kind), std::min(int(kind), fastest));
    }
}

void TestScriptContext::globalsPersistAcrossPassesAndWays()
{
    Bars bars(10);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("var seen; seen = (seen || 0) + 1; Plot(seen, 's');")));
    // Each pass continues from where the variable stood, whichever way ran it; the refresh
    // pass after the ten bars counts too.
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.context()->plan().kind, ScriptPlan::Function);
    QCOMPARE(runner.value(QStringLiteral("s"), 9), 10.0);
    QCOMPARE(global(runner, QStringLiteral("seen")).toNumber(), 11.0);
    runner.context()->setFastestPlan(ScriptPlan::PerBar);
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("s"), 9), 21.0);
    runner.context()->setFastestPlan(ScriptPlan::Function);
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("s"), 0), 23.0);
    QCOMPARE(global(runner, QStringLiteral("seen")).toNumber(), 33.0);
}

void TestScriptContext::errorsNameTheBarAndKeepEarlierValues()
{
    Bars bars(8);
    for (ScriptPlan::Kind kind : {ScriptPlan::PerBar, ScriptPlan::Loop, ScriptPlan::Function}) {
        ScriptRunner runner(&bars.model);
        runner.context()->setFastestPlan(kind);
        runner.setStudy(QStringLiteral("T"),
                        study(QStringLiteral("if (CurrentBar == 3) nosuchname(); Plot(Close.at(0), 'c');")));
        const QString error = runError(runner);
        QVERIFY2(error.startsWith(QStringLiteral("Ошибка при выполнении скрипта: ReferenceError: "
                                                 "nosuchname is not defined\nБар 3 (03.12.2026 10:03:00)")),
                 qPrintable(error));
        for (int bar = 0; bar < 3; ++bar)
            QCOMPARE(runner.value(QStringLiteral("c"), bar), bars.close(bar));
        QVERIFY(std::isnan(runner.value(QStringLiteral("c"), 3)));
        QCOMPARE(runner.context()->resolveCount(), 1);
    }
}

void TestScriptContext::aThrowIsAnError()
{
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(1, 'p'); throw 'oops';")));
    QVERIFY(runError(runner).startsWith(QStringLiteral("Ошибка при выполнении скрипта: oops\nБар 0")));
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(1, 'p');"), QStringLiteral("throw 42;")));
    QCOMPARE(runError(runner), QStringLiteral("Ошибка при выполнении скрипта: 42"));
    // A value that merely is an error object is no failure.
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(2, 'p'); new Error('just a value');"),
                                              QStringLiteral("new TypeError('fine');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("p"), 2), 2.0);
}

void TestScriptContext::functionsLoadLazilyAndEndThePass()
{
    writeFunction(QStringLiteral("twice"), QStringLiteral("function twice(x) { return 2 * x; }"));
    Bars bars(12);
    ScriptRunner runner(&bars.model);
    QSignalSpy changed(runner.context(), &ScriptContext::contextChanged);
    // Every evaluation counts in a global the preparation does not touch; the function is
    // first needed on bar 5.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("evals = (typeof evals == 'undefined' ? 0 : evals) + 1;"
                                         "if (CurrentBar >= 0) total = total + 1;"
                                         "Plot(CurrentBar >= 5 ? twice(Close.at(0)) : 0, 'p');"),
                          QStringLiteral("total = 0;")));
    QCOMPARE(runError(runner), QString());
    // The pass that met the name ended there; one rebuild ran everything once more (the
    // bars and the refresh pass).
    QCOMPARE(runner.rebuildCount(), 2);
    QCOMPARE(global(runner, QStringLiteral("evals")).toInt(), 6 + 12 + 1);
    QCOMPARE(global(runner, QStringLiteral("total")).toInt(), 12);
    QCOMPARE(runner.value(QStringLiteral("p"), 11), 2 * bars.close(11));
    QCOMPARE(runner.context()->functions().keys(), QStringList{"twice"});
    QCOMPARE(runner.context()->resolveCount(), 1);
    // The runner took the rebuild over: no signal is left to come.
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 0);

    // A chart item rebuilds on the signal, once the pass has unwound.
    ScriptRunner second(&bars.model);
    second.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(twice(1), 'p');")));
    QSignalSpy secondChanged(second.context(), &ScriptContext::contextChanged);
    second.context()->assembleBarScript();
    second.context()->prepare();
    second.context()->evaluateBars(0, 11);
    QVERIFY(second.context()->restartPending());
    QCOMPARE(secondChanged.count(), 0);
    second.context()->evaluateBars(0, 11); // nothing runs while the rebuild is due
    QTRY_COMPARE(secondChanged.count(), 1);
    QVERIFY(!second.context()->restartPending());
}

void TestScriptContext::cyclicFunctionIsReported()
{
    // The file is found but does not define the name it was asked for.
    writeFunction(QStringLiteral("broken"), QStringLiteral("function notBroken() { return 1; }"));
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(broken(), 'p');")));
    const QString error = runError(runner);
    QVERIFY2(error.startsWith(QStringLiteral("Невозможно загрузить функцию broken из-за циклической зависимости")),
             qPrintable(error));
}

void TestScriptContext::resolutionsAreLimited()
{
    // 257 functions, each in a file of its own: the 257th resolution is refused.
    QString code;
    for (int i = 0; i <= 256; ++i) {
        const QString name = QStringLiteral("f%1").arg(i);
        QFile file(m_dir.filePath(QStringLiteral("app/tascripts/functions/") + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ScriptFileFormat::writeFunction(
            {QString(), QStringLiteral("function %1() { return %2; }").arg(name).arg(i)}));
        code += QStringLiteral("%1();").arg(name);
    }
    FunctionFilesModel::instance()->reload();
    Bars bars(2);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"), study(code + QStringLiteral("Plot(1, 'p');")));
    QTest::ignoreMessage(QtCriticalMsg,
                         "ScriptContext::checkEvaluation : Maximum recursion definition level "
                         "reached (255). ERROR ReferenceError: f256 is not defined");
    const QString error = runError(runner);
    QVERIFY2(error.startsWith(QStringLiteral("Ошибка при выполнении скрипта: ReferenceError: f256 is not defined")),
             qPrintable(error));
    QCOMPARE(runner.context()->resolveCount(), 256);
    QCOMPARE(runner.context()->functions().size(), 256);
}

void TestScriptContext::instrumentFieldsResolveOnce()
{
    setSecurity(QStringLiteral("bid"), QVariant::fromValue(decimal(QStringLiteral("123.25"))));
    Bars bars(4);
    ScriptRunner runner(&bars.model);
    // Read in the preparation text: resolved once, not once per pass.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("Plot(bid, 'bid'); Plot(Close.at(0) - bid, 'spread');"),
                          QStringLiteral("startBid = bid;")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.context()->resolveCount(), 1);
    QCOMPARE(runner.rebuildCount(), 2);
    QCOMPARE(global(runner, QStringLiteral("startBid")).toNumber(), 123.25);
    for (int bar = 0; bar < 4; ++bar) {
        QCOMPARE(runner.value(QStringLiteral("bid"), bar), 123.25);
        QCOMPARE(runner.value(QStringLiteral("spread"), bar), bars.close(bar) - 123.25);
    }
    // From then on the field follows the instrument.
    setSecurity(QStringLiteral("bid"), QVariant::fromValue(decimal(QStringLiteral("99.5"))));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("bid"), 3), 99.5);
    QCOMPARE(runner.context()->resolveCount(), 1);
    QVERIFY(runner.context()->securityFields().at(1).watched);
    // A script that assigns the field gets the instrument's value again on the next bar.
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(bid, 'bid'); bid = 1;")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("bid"), 3), 99.5);
}

void TestScriptContext::computedFieldsFollowTheTimer()
{
    setSecurity(QStringLiteral("theor_price"), QVariant::fromValue(decimal(QStringLiteral("150.5"))));
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("Plot(theor_price, 'tp'); Level(theor_price, 'tp');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("tp"), 2), 150.5);
    QCOMPARE(runner.context()->resolveCount(), 0);
    // The volatility timer finds a new value: the refresh pass applies it to the level.
    setSecurity(QStringLiteral("theor_price"), QVariant::fromValue(decimal(QStringLiteral("151"))));
    QMetaObject::invokeMethod(SecurityDirectory::i()->getCalcVolatTimer(), "timeout");
    QCOMPARE(runner.levels().value(QStringLiteral("tp")), 151.0);
    QCOMPARE(global(runner, QStringLiteral("theor_price")).toNumber(), 151.0);
}

void TestScriptContext::runawayScriptsAreInterrupted_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<QString>("message");
    // No stretch of script code holds the thread longer than 0.2 s, whatever the pass's limit;
    // bars that each take a while run into the pass's limit.
    const QString stretch = QStringLiteral("скрипт выполнялся без перерыва дольше 0.2 с и был прерван");
    QTest::newRow("endless loop per bar") << "while (true) {}" << "" << stretch;
    QTest::newRow("endless loop that catches") << "while (true) { try { while (true) {} } catch (e) {} }" << "" << stretch;
    QTest::newRow("huge loop per bar") << "var s = 0; for (var i = 0; i < 1e12; i++) s += i; Plot(s, 's');" << "" << stretch;
    QTest::newRow("endless preparation") << "Plot(1, 'p');" << "for (;;) {}" << stretch;
    QTest::newRow("slow bars") << "var t = Date.now(); while (Date.now() - t < 90) {} Plot(1, 'p');" << ""
                               << QStringLiteral("скрипт выполнялся дольше 0.3 с и был прерван");
}

void TestScriptContext::runawayScriptsAreInterrupted()
{
    QFETCH(QString, code);
    QFETCH(QString, declaration);
    QFETCH(QString, message);
    Bars bars(5);
    ScriptRunner runner(&bars.model);
    runner.context()->setTimeLimits(300, 300);
    runner.setStudy(QStringLiteral("T"), study(code, declaration));
    QElapsedTimer clock;
    clock.start();
    const QString error = runError(runner);
    QVERIFY2(error.contains(message), qPrintable(error));
    // The event loop turns again right after the limit.
    bool turned = false;
    QTimer::singleShot(0, this, [&turned] { turned = true; });
    QTRY_VERIFY_WITH_TIMEOUT(turned, 1000);
    QVERIFY2(clock.elapsed() < 300 + 1500, qPrintable(QString::number(clock.elapsed())));
    // The engine works again for the next pass.
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(3, 'p');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("p"), 4), 3.0);
}

void TestScriptContext::deepRecursionIsAnError()
{
    Bars bars(2);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("function deep(n) { return deep(n + 1) + 1; } Plot(deep(0), 'p');")));
    QVERIFY(runError(runner).startsWith(QStringLiteral("Ошибка при выполнении скрипта: RangeError")));
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("var a = []; for (var i = 0; i < 100000; i++) a = [a]; Plot(JSON.stringify(a).length, 'p');")));
    const QString error = runError(runner);
    QVERIFY2(error.isEmpty() || error.startsWith(QStringLiteral("Ошибка при выполнении скрипта: ")),
             qPrintable(error));
}

void TestScriptContext::scriptSeriesAreCollected()
{
    Bars bars(30);
    const int before = CustomScriptSeries::liveCount();
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("s.setAt(0, Close.at(0)); Plot(s.at(0), 'c');"),
                          QStringLiteral("var s = new Series(ctx);")));
    for (int i = 0; i < 50; ++i)
        QCOMPARE(runError(runner), QString());
    runner.context()->engine()->collectGarbage();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(CustomScriptSeries::liveCount() - before <= 2,
             qPrintable(QString::number(CustomScriptSeries::liveCount() - before)));
    QCOMPARE(runner.value(QStringLiteral("c"), 29), bars.close(29));
}

void TestScriptContext::seriesWithoutTheContext()
{
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Series: the argument is not the evaluation context"));
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("s.setAt(0, 1); r = s.at(0); Plot(1, 'p');"),
                          QStringLiteral("var s = new Series(null);")));
    QCOMPARE(runError(runner), QString());
    QVERIFY(global(runner, QStringLiteral("r")).isUndefined());
    // A bar series is no context either: the call fails or gives an inert series, never a cast.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("s.setAt(0, 1); r = s.at(0); Plot(1, 'p');"),
                          QStringLiteral("var s = new Series(Close);")));
    const QString error = runError(runner);
    QVERIFY2(error.isEmpty() || error.startsWith(QStringLiteral("Ошибка при выполнении скрипта: ")), qPrintable(error));
    QVERIFY(global(runner, QStringLiteral("r")).isUndefined());
}

void TestScriptContext::updatesSeeChangedBars()
{
    Bars bars(20);
    ScriptRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("var s = 0; for (var i = 0; i < 3; i++) s += Close.at(i); Plot(s, 's');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.context()->plan().kind, ScriptPlan::Function);
    // A trade closes the last bar higher: the update sees it.
    {
        DealBatch batch(&bars.model, 1, false);
        batch.append(deal(t(Thursday, 10, 19, 50), "200"));
    }
    QCOMPARE(bars.close(19), 200.0);
    QString error;
    QVERIFY2(runner.update(19, &error), qPrintable(error));
    QCOMPARE(runner.value(QStringLiteral("s"), 19), 200 + bars.close(18) + bars.close(17));
    // A new bar in the middle of the history moves the later bar numbers.
    {
        DealBatch batch(&bars.model, 4, false);
        bars.addBar(batch, 40, 300);
        bars.addBar(batch, 25, 50);
    }
    QCOMPARE(bars.model.validBarCount(), 22);
    QVERIFY2(runner.update(20, &error), qPrintable(error));
    QCOMPARE(runner.value(QStringLiteral("s"), 21), 300 + 50 + 200.0);
    QCOMPARE(runner.value(QStringLiteral("s"), 20), 50 + 200 + bars.close(18));
    ScriptRunner fresh(&bars.model);
    fresh.context()->setFastestPlan(ScriptPlan::PerBar);
    fresh.setStudy(QStringLiteral("T"), study(runner.context()->code()));
    QCOMPARE(runError(fresh), QString());
    QCOMPARE(runner.csv(), fresh.csv());
}

void TestScriptContext::extensionSlots()
{
    Bars bars(10);
    ScriptRunner runner(&bars.model);
    // Three slots beyond the last bar, reading the bars before them.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("SetDelay(3); Plot(Close.at(3), 'late');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.delay(), 3u);
    QCOMPARE(runner.value(QStringLiteral("late"), 9), bars.close(6));
    QCOMPARE(runner.extensionValue(QStringLiteral("late"), 1), bars.close(7));
    QCOMPARE(runner.extensionValue(QStringLiteral("late"), 3), bars.close(9));
    QVERIFY(std::isnan(runner.extensionValue(QStringLiteral("late"), 4)));
    QVERIFY(runner.csv().endsWith(QByteArray("2026-12-03 10:12:00,") + QByteArray::number(bars.close(9)) + '\n'));
}

void TestScriptContext::stateRoundTrip()
{
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    QMap<QString, ScriptParameter> parameters;
    parameters.insert(QStringLiteral("n"), {QStringLiteral("5"), false});
    parameters.insert(QStringLiteral("f"), {QStringLiteral("Close.at(0)"), true});
    runner.setStudy(QStringLiteral("NoSuchFile"),
                    study(QStringLiteral("Plot(n + f, 'p');"), QStringLiteral("var d = 1;"), parameters));
    MapSettings saved;
    runner.context()->saveState(saved);
    QCOMPARE(saved.value("parametersCount").toInt(), 2);
    QCOMPARE(saved.value("parameter_0/name").toString(), QStringLiteral("f"));
    QCOMPARE(saved.value("parameter_0/isFormula").toBool(), true);
    QCOMPARE(saved.value("parameter_1/value").toString(), QStringLiteral("5"));
    QCOMPARE(saved.value("code").toString(), QStringLiteral("Plot(n + f, 'p');"));

    // Restored without a file: the saved texts and values.
    ScriptRunner restored(&bars.model);
    restored.setStudy(QStringLiteral("NoSuchFile"), StudyFile());
    restored.context()->restoreState(saved);
    QCOMPARE(restored.context()->parameters(), parameters);
    QCOMPARE(restored.context()->declaration(), QStringLiteral("var d = 1;"));
    QCOMPARE(runError(restored), QString());
    QCOMPARE(restored.value(QStringLiteral("p"), 1), 5 + bars.close(1));

    // New values: a changed one and an unknown name, which comes in as "0" first.
    MapSettings applied;
    applied.setValue("parametersCount", 2);
    applied.setValue("parameter_0/name", "n");
    applied.setValue("parameter_0/value", "7");
    applied.setValue("parameter_1/name", "extra");
    applied.setValue("parameter_1/value", "0");
    QVERIFY(restored.context()->applyParameterValues(applied));
    QCOMPARE(restored.context()->parameters().value("n").value, QStringLiteral("7"));
    QCOMPARE(restored.context()->parameters().value("extra").value, QStringLiteral("0"));
    QVERIFY(!restored.context()->applyParameterValues(applied));
}

void TestScriptContext::nestedPassesAreRefused()
{
    Bars bars(6);
    NestingRunner runner(&bars.model);
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("count = (typeof count == 'undefined' ? 0 : count) + 1;"
                                         "if (CurrentBar == 2) Level(1, 'x'); Plot(Close.at(0), 'c');")));
    QTest::ignoreMessage(QtWarningMsg, "a pass asked for while a pass runs: ignored");
    QTest::ignoreMessage(QtWarningMsg, "the preparation asked for while a pass runs: ignored");
    QCOMPARE(runError(runner), QString());
    // The running pass went on undisturbed: every bar once, then the refresh pass.
    QCOMPARE(global(runner, QStringLiteral("count")).toInt(), 7);
    for (int bar = 0; bar < 6; ++bar)
        QCOMPARE(runner.value(QStringLiteral("c"), bar), bars.close(bar));
}

void TestScriptContext::barsFromText()
{
    QString error;
    const std::vector<BarsCsv::Bar> parsed = BarsCsv::parse(
        "time,open,high,low,close,volume,value,oi\n"
        "2026-12-03 10:00:00,10,12,9,11,100,1100,5\r\n"
        "\n"
        "2026-12-03 10:01:00,11,11.5,10.5,11.25,7\n",
        &error);
    QCOMPARE(error, QString());
    QCOMPARE(parsed.size(), size_t(2));
    QCOMPARE(parsed[1].close.toDouble(), 11.25);
    QCOMPARE(parsed[0].openInterest, 5u);
    QCOMPARE(parsed[0].begin, t(Thursday, 10, 0));
    const QList<QPair<QByteArray, QString>> bad{
        {"2026-12-03 10:00:00,10,12,9,11", "line 1: expected"},
        {"2026-13-03 10:00:00,10,12,9,11,1", "line 1: bad time"},
        {"2026-12-03 10:00:00,10,12,9,x,1", "line 1: bad close price"},
        {"2026-12-03 10:00:00,10,9,12,11,1", "line 1: the prices lie outside"},
        {"time\n2026-12-03 10:00:00,10,12,9,11,-1", "line 2: bad volume"},
        {"2026-12-03 10:00:00,10,12,9,11,1,1,99999999999", "line 1: bad open interest"}};
    for (const auto &[text, message] : bad) {
        error.clear();
        QVERIFY(BarsCsv::parse(text, &error).empty());
        QVERIFY2(error.startsWith(message), qPrintable(error));
    }

    // Folded into a model as the history's bars are.
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(60), Thursday, Thursday);
    model.build();
    {
        DealBatch batch(&model, 4, false);
        for (const BarsCsv::Bar &bar : parsed)
            BarsCsv::appendDeals(batch, bar);
    }
    QCOMPARE(model.validBarCount(), 2);
    const TimeFrame first = model.bar(model.validBar(0));
    QCOMPARE(first.open.toDouble(), 10.0);
    QCOMPARE(first.high.toDouble(), 12.0);
    QCOMPARE(first.low.toDouble(), 9.0);
    QCOMPARE(first.close.toDouble(), 11.0);
    QCOMPARE(first.volume, 100);
    QCOMPARE(first.openInterest, 5u);
}

TA_REGISTER_TEST(TestScriptContext)
#include "tst_scriptcontext.moc"
