// Indicator scripts over 100,000 one-minute bars: a 20-bar moving average written with a loop
// over Close.at(i), evaluated over every bar the way the chart does it, and the update after
// a trade changes the last bar. Beside them, in the same run: the per-bar text evaluated once
// per bar (what the engine's evaluate costs), and a plain loop over a JavaScript array (what
// the engine can do at best). BENCH_VARIANTS=1 adds the parts of the average's cost: the loop
// over Close.at(i) alone, Plot alone, the loop without reads, an assignment. BENCH_UPDATES=1 runs
// only 20,000 updates after a trade over 10,000 bars (for profiling them).
#include "bartesthelpers.h"
#include "scriptrunner.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJSEngine>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace BarTest;

namespace {

const QString Sma = QStringLiteral(
    "var s = 0; for (var i = 0; i < 20; i++) s += Close.at(i); Plot(s / 20, \"SMA\");");

// Weekdays of 24 hours, bars in every minute up to `count`, ending on Friday 2026-11-20.
void fill(SeriesDataModel &model, int count)
{
    const QDate last(2026, 11, 20);
    // Room for the holidays of the exchange calendar too.
    QDate first = last;
    for (int weekdays = 1; weekdays * 1440 < count + 10 * 1440;) {
        first = first.addDays(-1);
        if (first.dayOfWeek() <= 5)
            ++weekdays;
    }
    restore(model, TimeFrameValue(60), first, last);
    model.build();
    DealBatch batch(&model, 4, false);
    int bars = 0;
    for (QDate day = first; day <= last && bars < count; day = day.addDays(1)) {
        if (!model.frameIndexAt(t(day, 12, 0)).isValid())
            continue; // a weekend day or a holiday of the exchange calendar
        for (int m = 0; m < 1440 && bars < count; ++m, ++bars) {
            const QByteArray close = QByteArray::number(1000 + ((bars * 7) % 200) / 10.0, 'f', 1);
            batch.append(deal(t(day, m / 60, m % 60), close.constData()));
        }
    }
}

// A memory figure of /proc/self/status in MB: "VmHWM:" the peak resident memory since the last
// resetPeak(), "VmRSS:" the resident memory now.
double statusMb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').front().toDouble() / 1024;
    }
    return -1;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// Microseconds per update of the last bar after a trade, over `runs` trades.
double updateMicros(SeriesDataModel &model, ScriptRunner &runner, int runs)
{
    const int last = model.validBarCount() - 1;
    const FrameIndex lastIndex = model.validBar(last);
    const datetime when = model.frameTime(lastIndex, false).addSecs(30);
    QElapsedTimer timer;
    qint64 spent = 0;
    for (int i = 0; i < runs; ++i) {
        {
            DealBatch batch(&model, 1, false);
            batch.append(deal(when, QByteArray::number(1000 + i % 50).constData()));
        }
        timer.start();
        QString error;
        if (!runner.update(last, &error))
            std::printf("update failed: %s\n", qPrintable(error));
        spent += timer.nsecsElapsed();
    }
    return double(spent) / 1e3 / runs;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!TestEnvironment::setUp(dir, "bench_script.ini").isEmpty())
        return 1;
    RecordingService service;
    SeriesDataService::setInstance(&service);
    setSchedule(everyWeekday({BarTest::at(1, 0, 0, 1440)}));

    if (qEnvironmentVariableIsSet("BENCH_UPDATES")) {
        // Only the updates after trades, for profiling them.
        SeriesDataModel small(Shares);
        fill(small, 10000);
        ScriptRunner smallRunner(&small);
        StudyFile sma;
        sma.code = Sma;
        smallRunner.setStudy(QStringLiteral("SMA"), sma);
        QString error;
        smallRunner.run(&error);
        std::printf("update after a trade: %.1f us (10,000 bars)\n", updateMicros(small, smallRunner, 20000));
        return 0;
    }
    SeriesDataModel model(Shares);
    fill(model, 100000);
    const int count = model.validBarCount();
    std::printf("bars: %d one-minute bars\n", model.validBarCount());
    StudyFile study;
    study.code = Sma;

    // The chart's way: one pass over every bar.
    ScriptRunner runner(&model);
    runner.setStudy(QStringLiteral("SMA"), study);
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!runner.run(&error)) {
        std::printf("run failed: %s\n", qPrintable(error));
        return 1;
    }
    const double full = seconds(timer);
    timer.start();
    runner.run(&error);
    const double again = seconds(timer);
    const double perBar = full * 1e6 / count;
    std::printf("full evaluation (first, plan %d): %.1f ms, %.2f us/bar\n",
                int(runner.context()->plan().kind), full * 1e3, perBar);
    std::printf("full evaluation (again): %.1f ms, %.2f us/bar\n", again * 1e3, again * 1e6 / count);

    if (qEnvironmentVariableIsSet("BENCH_VARIANTS")) {
        for (const QString &code : {QStringLiteral("var s = 0; for (var i = 0; i < 20; i++) s += Close.at(i);"),
                                    QStringLiteral("Plot(1, 'x');"),
                                    QStringLiteral("var s = 0; for (var i = 0; i < 20; i++) s += i;"),
                                    QStringLiteral("x = 1;")}) {
            ScriptRunner variant(&model);
            StudyFile v;
            v.code = code;
            variant.setStudy(QStringLiteral("V"), v);
            variant.run(&error);
            timer.start();
            variant.run(&error);
            std::printf("variant %s: %.2f us/bar (plan %d)\n", qPrintable(code), seconds(timer) * 1e6 / count,
                        int(variant.context()->plan().kind));
        }
    }
    ScriptRunner loop(&model);
    loop.context()->setFastestPlan(ScriptPlan::Loop);
    loop.setStudy(QStringLiteral("SMA"), study);
    timer.start();
    loop.run(&error);
    const double loopFull = seconds(timer);
    std::printf("full evaluation, one script per pass: %.1f ms, %.2f us/bar\n", loopFull * 1e3,
                loopFull * 1e6 / count);
    if (loop.csv() != runner.csv())
        std::printf("MISMATCH between the ways\n");

    // Baseline 1: the text evaluated once per bar, over the last 10,000 bars.
    ScriptRunner perBarRunner(&model);
    perBarRunner.context()->setFastestPlan(ScriptPlan::PerBar);
    perBarRunner.setStudy(QStringLiteral("SMA"), study);
    perBarRunner.context()->assembleBarScript();
    perBarRunner.context()->prepare();
    const int sample = 10000;
    timer.start();
    perBarRunner.context()->evaluateBars(count - sample, count - 1);
    const double textPerBar = seconds(timer) * 1e6 / sample;
    for (int k = count - sample; k < count; ++k) {
        if (perBarRunner.value(QStringLiteral("SMA"), k) != runner.value(QStringLiteral("SMA"), k)) {
            std::printf("MISMATCH with the per-bar text at bar %d: %.17g against %.17g\n", k,
                        perBarRunner.value(QStringLiteral("SMA"), k), runner.value(QStringLiteral("SMA"), k));
            break;
        }
    }
    std::printf("baseline, text evaluated per bar: %.2f us/bar\n", textPerBar);

    // Baseline 2: a plain loop over a JavaScript array of the closes.
    QJSEngine engine;
    QJSValue closes = engine.newArray(quint32(count));
    for (int k = 0; k < count; ++k)
        closes.setProperty(quint32(k), model.bar(model.validBar(k)).close.toDouble());
    engine.globalObject().setProperty(QStringLiteral("closes"), closes);
    const QJSValue plain = engine.evaluate(QStringLiteral(
        "(function () { var out = new Array(closes.length); for (var b = 19; b < closes.length; b++) {"
        " var s = 0; for (var i = 0; i < 20; i++) s += closes[b - i]; out[b] = s / 20; } return out; })"));
    timer.start();
    const QJSValue out = plain.call();
    const double plainPerBar = seconds(timer) * 1e6 / count;
    if (std::abs(out.property(quint32(count - 1)).toNumber() - runner.value(QStringLiteral("SMA"), count - 1)) > 1e-9)
        std::printf("MISMATCH with the plain loop\n");
    std::printf("baseline, plain loop over a JS array: %.2f us/bar\n", plainPerBar);
    std::printf("ratio: %.1fx faster than the text per bar, %.1fx the plain loop's time\n",
                textPerBar / perBar, perBar / plainPerBar);

    // After a trade: the last bar again (flat in the history's length).
    const double update100k = updateMicros(model, runner, 1000);
    SeriesDataModel small(Shares);
    fill(small, 10000);
    ScriptRunner smallRunner(&small);
    smallRunner.setStudy(QStringLiteral("SMA"), study);
    smallRunner.run(&error);
    const double update10k = updateMicros(small, smallRunner, 1000);
    std::printf("update after a trade: %.1f us (100,000 bars), %.1f us (10,000 bars)\n",
                update100k, update10k);
    // What the memory watch costs there: the same without it.
    smallRunner.context()->setMemoryLimit(0);
    const double unwatched = updateMicros(small, smallRunner, 1000);
    std::printf("update after a trade without the memory watch: %.1f us (10,000 bars)\n", unwatched);
    std::printf("cached closes: %.1f MB for 100,000 bars\n", count * 8.0 / 1e6);

    // A series made on every bar, over every bar: what it costs in memory, against the same
    // pass plotting the close without one.
    auto peakGrowth = [&](const QString &code, QString *failure) {
        ScriptRunner made(&model);
        StudyFile file;
        file.code = code;
        made.setStudy(QStringLiteral("S"), file);
        const double before = statusMb("VmRSS:");
        resetPeak();
        QString error;
        if (!made.run(&error))
            *failure = error;
        return statusMb("VmHWM:") - before;
    };
    QString failure;
    const double plainGrowth = peakGrowth(QStringLiteral("Plot(Close.at(0), 'c');"), &failure);
    const double seriesGrowth = peakGrowth(
        QStringLiteral("var s = new Series(ctx); s.setAt(0, Close.at(0)); Plot(s.at(0), 'c');"), &failure);
    std::printf("a new Series(ctx) on every bar of 100,000: peak memory grew by %.0f MB "
                "(a cell for every slot would be %.0f GB); baseline, the close plotted without: %.0f MB%s%s\n",
                seriesGrowth, double(count) * count * 16 / 1e9, plainGrowth,
                failure.isEmpty() ? "" : "; FAILED: ", qPrintable(failure.section(u'\n', 0, 0)));
    return 0;
}
