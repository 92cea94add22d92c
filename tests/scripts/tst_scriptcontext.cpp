// Indicator scripts as the runtime runs them: nothing of the host within reach, parameter names,
// series indexing, bar-by-bar evaluation in each of its ways with the same results, errors,
// time limits and runaway scripts.

#include "bartesthelpers.h"
#include "scriptcontext.h"
#include "scriptfilesmodel.h"
#include "scriptrunner.h"
#include "scriptwatchdog.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJSEngine>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <thread>

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

} // namespace

class TestScriptContext : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void scriptsCannotReachOut();
    void parameterNamesMustBeIdentifiers_data();
    void parameterNamesMustBeIdentifiers();
    void seriesIndexingFromScripts();
    void everyWayGivesTheSameResults_data();
    void everyWayGivesTheSameResults();
    void runawayScriptsAreInterrupted_data();
    void runawayScriptsAreInterrupted();
    void waitingForACoreIsNotRunning();

private:
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

void TestScriptContext::scriptsCannotReachOut()
{
    Bars bars(3);
    ScriptRunner runner(&bars.model);
    // Nothing of the host, the file system or the network is there to call, and nothing that
    // would delete the context or a series or signal the owner.
    runner.setStudy(QStringLiteral("T"),
                    study(QStringLiteral("x = 1;"),
                          QStringLiteral("kinds = [typeof Qt, typeof console, typeof print, "
                                         "typeof XMLHttpRequest, typeof require, typeof gc, "
                                         "typeof URL, typeof process, typeof fetch, "
                                         "typeof ctx.contextChanged, typeof ctx.deleteLater, "
                                         "typeof Close.deleteLater, typeof ctx.destroyed]"
                                         ".join(',');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(global(runner, QStringLiteral("kinds")).toString(),
             QStringList(13, QStringLiteral("undefined")).join(u','));
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

void TestScriptContext::parameterNamesMustBeIdentifiers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "period" << true;
    QTest::newRow("underscore and digit") << "_n2" << true;
    QTest::newRow("cyrillic") << "период" << true;
    QTest::newRow("statement") << "a;b" << false;
    QTest::newRow("assignment") << "x=1;y" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("digit first") << "2n" << false;
    QTest::newRow("blank") << "a b" << false;
    QTest::newRow("keyword") << "while" << false;
    QTest::newRow("cyrillic with a dash") << "быстрый-период" << false;
}

void TestScriptContext::parameterNamesMustBeIdentifiers()
{
    // A name that is not a plain identifier is refused, plain value or formula, never spliced
    // into the text.
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    Bars bars(2);
    ScriptRunner runner(&bars.model);
    for (bool isFormula : {false, true}) {
        QMap<QString, ScriptParameter> parameters;
        parameters.insert(name, {QStringLiteral("1"), isFormula});
        runner.setStudy(QStringLiteral("T"),
                        study(QStringLiteral("Plot(1, 'p');"), {}, parameters));
        const QString error = runError(runner);
        if (accepted) {
            QCOMPARE(error, QString());
            QCOMPARE(global(runner, name).toNumber(), 1.0);
            continue;
        }
        QVERIFY2(error.startsWith(QStringLiteral("Недопустимое имя параметра"))
                     && error.contains(name),
                 qPrintable(error));
        QVERIFY(global(runner, QStringLiteral("y")).isUndefined());
    }
}

void TestScriptContext::seriesIndexingFromScripts()
{
    Bars bars(13);
    ScriptRunner runner(&bars.model);
    const QString code = QStringLiteral(
        "if (CurrentBar == 0) { first0 = Close.at(0); first1 = Close.at(1); }"
        "if (CurrentBar == 12) { last = Close.at(-1); lastBack = Close.at(12); beyond = Close.at(13); }"
        "if (CurrentBar == 5) { ahead = Close.at(-1); frac = Close.at(1.7); text = Close.at('2'); none = Close.at(); }"
        "if (CurrentBar == 0) { s = new Series(ctx); s.setAt(0, 7); zero = s.at(0); }"
        "if (CurrentBar == 10) { s.setAt(0, 4.5); s.setAt(0, NaN); s.setAt(0, Infinity); s.setAt(-1, 5); s.setAt(0, undefined); }"
        "if (CurrentBar == 12) { two = s.at(2); one = s.at(1); firstBack = s.at(12); }"
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
        QCOMPARE(global(runner, "none").toNumber(), bars.close(5));
        QCOMPARE(global(runner, "zero").toNumber(), 7.0);
        QCOMPARE(global(runner, "firstBack").toNumber(), 7.0);
        QCOMPARE(global(runner, "two").toNumber(), 4.5);
        QVERIFY(global(runner, "one").isUndefined());
        QCOMPARE(global(runner, "vol").toNumber(), 21.0 + 12 % 7);
        QCOMPARE(global(runner, "hi").toNumber(), bars.close(12) + 1.5);
        QCOMPARE(global(runner, "nm").toString(), QStringLiteral("Close"));
    }
}

void TestScriptContext::everyWayGivesTheSameResults_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<int>("fastest"); // the way the plan should choose
    // Code that makes choosing the way hard; ordinary per-bar code is run both ways with every
    // shipped indicator.
    QTest::newRow("strict code")
        << "'use strict'; var q = Low.at(1); Plot(q === undefined ? 0 : q, 'q');" << ""
        << int(ScriptPlan::PerBar);
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

void TestScriptContext::runawayScriptsAreInterrupted_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("bars");
    // No stretch of script code holds the thread longer than 0.2 s, whatever the pass's limit;
    // bars that each take a while run into the pass's limit. The limits count the time the
    // thread runs, so the slow bars are many: they pass it however busy the machine is.
    const QString stretch = QStringLiteral("скрипт выполнялся без перерыва дольше 0.2 с и был прерван");
    QTest::newRow("endless loop per bar") << "while (true) {}" << "" << stretch << 5;
    QTest::newRow("endless loop that catches") << "while (true) { try { while (true) {} } catch (e) {} }" << "" << stretch << 5;
    QTest::newRow("huge loop per bar") << "var s = 0; for (var i = 0; i < 1e12; i++) s += i; Plot(s, 's');" << "" << stretch << 5;
    QTest::newRow("endless preparation") << "Plot(1, 'p');" << "for (;;) {}" << stretch << 5;
    QTest::newRow("slow bars") << "var t = Date.now(); while (Date.now() - t < 90) {} Plot(1, 'p');" << ""
                               << QStringLiteral("скрипт выполнялся дольше 0.3 с и был прерван") << 60;
}

void TestScriptContext::runawayScriptsAreInterrupted()
{
    QFETCH(QString, code);
    QFETCH(QString, declaration);
    QFETCH(QString, message);
    QFETCH(int, bars);
    Bars model(bars);
    ScriptRunner runner(&model.model);
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
    // Well before the slow bars' 5.4 s (the wait for a core on a busy machine is not counted).
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    // The engine works again for the next pass.
    runner.setStudy(QStringLiteral("T"), study(QStringLiteral("Plot(3, 'p');")));
    QCOMPARE(runError(runner), QString());
    QCOMPARE(runner.value(QStringLiteral("p"), bars - 1), 3.0);
}

void TestScriptContext::waitingForACoreIsNotRunning()
{
    // On a busy machine the GUI thread waits for a core in the middle of a stretch: a sleep
    // stands for the wait. The wait uses up none of the limit; running does.
    QJSEngine engine;
    ScriptWatchdog &watchdog = ScriptWatchdog::instance();
    const int token = watchdog.arm(&engine, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QCOMPARE(watchdog.fired(token), ScriptWatchdog::None);
    QVERIFY(!engine.isInterrupted());
    const qint64 start = ScriptWatchdog::threadNanos();
    while (watchdog.fired(token) == ScriptWatchdog::None
           && ScriptWatchdog::threadNanos() - start < 2000000000) {
    }
    QCOMPARE(watchdog.disarm(token), ScriptWatchdog::Time);
    QVERIFY(engine.isInterrupted());
    // Stopped once it had run for about the limit (a few microseconds ran before `start`).
    QVERIFY(ScriptWatchdog::threadNanos() - start > 45000000);
}

TA_REGISTER_TEST(TestScriptContext)
#include "tst_scriptcontext.moc"
