// The time synchroniser over ten years of one-minute sessions: indexOf and timeAt against a
// linear walk over the same spans, and the marks of a 2000-pixel view against a plain loop
// over the same indices. Figures only: nothing here passes or fails.

#include "appsettings.h"
#include "benchhelpers.h"
#include "calendardirectory.h"
#include "referencedata.h"
#include "table.h"
#include "timeseriesitem.h"
#include "tsynchronyzer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

class Series : public TimeSeriesItem
{
public:
    Series(const TimeFrameValue &tf, const QDate &from, const QDate &to)
        : m_model(SeriesKey{2, 2, 2001})
    {
        Bench::restore(m_model, tf, from, to);
    }
    SeriesDataModel *barModel() const override { return const_cast<SeriesDataModel *>(&m_model); }
    datetime firstBarTime() const override
    {
        return m_model.chunkCount() ? m_model.chunkStart(0) : datetime();
    }
    double barsWidth() const override { return width; }
    void setIndexPosition(int) override {}
    void rebuildSpans() override {}
    QObject *itemObject() override { return nullptr; }
    double width = 0;

private:
    SeriesDataModel m_model;
};

// The same conversions by walking the spans from the first.
struct LinearSpans
{
    std::vector<qint64> starts, ends;
    std::vector<int> firsts, lasts;
    qint64 base;

    int indexOf(qint64 t) const
    {
        size_t k = 0;
        while (k < ends.size() && ends[k] < t)
            ++k;
        if (k == ends.size()) {
            k = ends.size() - 1;
            t = ends[k];
        }
        if (t <= starts[k])
            return firsts[k];
        return firsts[k] + int(((t - starts[k]) / 1000 + base - 1) / base);
    }
    qint64 timeAt(int i) const
    {
        for (size_t k = 0; k < lasts.size(); ++k) {
            if (lasts[k] > i)
                return starts[k] + qint64(i - firsts[k]) * base * 1000;
        }
        return 0;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    AppSettings::setFileName(dir.filePath(QStringLiteral("bench.ini")));
    QString error;
    if (!ReferenceData::load(ReferenceData::defaultPath(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    CalendarDirectory::i()->table()->reset({});
    Bench::storeSchedule(Bench::weekdays({{600, 525}}));

    // Ten years of hourly bars lay out the sessions; a minute chart of the last day brings the
    // base down to one minute.
    const QDate to(2026, 12, 4);
    Series years(TimeFrameValue(3600), to.addYears(-10), to);
    Series day(TimeFrameValue(60), to, to);
    TSynchronyzer sync;
    sync.addSeries(&years);
    sync.addSeries(&day);
    QElapsedTimer clock;
    clock.start();
    sync.update();
    const double updateMs = clock.nsecsElapsed() / 1e6;
    const QList<int> indices = sync.spanIndices();
    years.width = indices.last();
    sync.updateSceneRectAndItemsPos();
    const QList<qint64> spans = sync.spans();
    std::printf("Ten years of one-minute sessions: %lld spans, %d units, base %d s (update %.1f ms)\n",
                spans.size() / 2, indices.last(), sync.baseFrame().value, updateMs);

    LinearSpans linear;
    linear.base = sync.baseFrame().value;
    for (qsizetype k = 0; k + 1 < spans.size(); k += 2) {
        linear.starts.push_back(spans.at(k));
        linear.ends.push_back(spans.at(k + 1));
        linear.firsts.push_back(indices.at(k));
        linear.lasts.push_back(indices.at(k + 1));
    }

    QRandomGenerator random(1);
    const int calls = 2000000;
    std::vector<datetime> times(calls);
    std::vector<int> probes(calls);
    const qint64 first = spans.first();
    const qint64 range = spans.last() - first;
    for (int i = 0; i < calls; ++i) {
        times[size_t(i)] = datetime::fromMSecsSinceEpoch(first + qint64(random.bounded(quint64(range))));
        probes[size_t(i)] = int(random.bounded(indices.last()));
    }
    qint64 check = 0;
    clock.restart();
    for (const datetime &t : times)
        check += sync.indexOf(t);
    const double indexOfSeconds = clock.nsecsElapsed() / 1e9;
    clock.restart();
    for (int i : probes)
        check += sync.timeAt(i).toMSecsSinceEpoch() & 1;
    const double timeAtSeconds = clock.nsecsElapsed() / 1e9;

    const int linearCalls = 20000;
    qint64 linearCheck = 0;
    clock.restart();
    for (int i = 0; i < linearCalls; ++i)
        linearCheck += linear.indexOf(times[size_t(i)].toMSecsSinceEpoch());
    const double linearIndexOf = clock.nsecsElapsed() / 1e9 * calls / linearCalls;
    clock.restart();
    for (int i = 0; i < linearCalls; ++i)
        linearCheck += linear.timeAt(probes[size_t(i)]) & 1;
    const double linearTimeAt = clock.nsecsElapsed() / 1e9 * calls / linearCalls;
    int mismatches = 0;
    for (int i = 0; i < linearCalls; ++i) {
        mismatches += sync.indexOf(times[size_t(i)]) != linear.indexOf(times[size_t(i)].toMSecsSinceEpoch());
        mismatches += sync.timeAt(probes[size_t(i)]).toMSecsSinceEpoch() != linear.timeAt(probes[size_t(i)]);
    }
    std::printf("  indexOf  %7.2f M calls/s   linear walk %7.3f M calls/s   ratio %.0f x\n",
                calls / indexOfSeconds / 1e6, calls / linearIndexOf / 1e6,
                linearIndexOf / indexOfSeconds);
    std::printf("  timeAt   %7.2f M calls/s   linear walk %7.3f M calls/s   ratio %.0f x\n",
                calls / timeAtSeconds / 1e6, calls / linearTimeAt / 1e6,
                linearTimeAt / timeAtSeconds);
    std::printf("  (%d disagreements with the linear walk; checksums %lld %lld)\n", mismatches,
                check, linearCheck);

    // A 2000-pixel view at two pixels a minute.
    const double ppu = 2.0;
    const int width = 1000;
    const int step = sync.markStep(QApplication::font(), ppu);
    const int views = 20000;
    int markCount = 0;
    clock.restart();
    for (int v = 0; v < views; ++v) {
        const int from = probes[size_t(v)] % (indices.last() - width);
        markCount += int(sync.timeMarks(from, from + width, step).size());
    }
    const double marksMs = clock.nsecsElapsed() / 1e6 / views;
    // Baseline: the same number of marks with a time each, no spans to follow.
    clock.restart();
    qint64 sink = 0;
    for (int v = 0; v < views; ++v) {
        QList<QPair<int, datetime>> marks;
        const int from = probes[size_t(v)] % (indices.last() - width);
        datetime t = datetime::fromMSecsSinceEpoch(first);
        for (int i = from - from % step; i < from + width; i += step) {
            marks.append({i, t});
            t = t.addMSecs(qint64(step) * 60000);
        }
        sink += marks.size();
    }
    const double plainMs = clock.nsecsElapsed() / 1e6 / views;
    std::printf("  timeMarks for a 2000-pixel view (step %d, %.1f marks): %.4f ms   plain %.4f ms"
                "   ratio %.2f (%lld)\n",
                step, double(markCount) / views, marksMs, plainMs, marksMs / plainMs, sink);
    return 0;
}
