// Drawings on a pane of 1600 x 900 pixels over 100,000 one-minute bars: a frame with 200
// drawings of the five kinds in view beside the same frame with them hidden (and each kind's
// share), the same when the drawings must be painted anew (a scroll, a zoom, a drawing moved), what lies under the cursor on a mouse move with and without them, re-anchoring all
// 200 when the time marking changes beside the bare time-to-index conversions it needs, and a
// real change of the time frame with and without them.
#include "benchhelpers.h"
#include "chartbench.h"
#include "drawinglayer.h"
#include "drawingservices.h"
#include "linedrawingitem.h"
#include "multiview.h"
#include "windowbench.h"

#include <QApplication>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Width = 1600;
constexpr int Height = 900;
constexpr int Drawings = 200;
const QDate LastDay(2026, 11, 27); // a Friday

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds per full repaint of the pane's viewport; with a layer given, its drawings are
// painted anew in every frame, as after a scroll, a zoom or a drawing moved.
double frame(QWidget *viewport, DrawingLayer *fresh = nullptr, int runs = 12)
{
    return Bench::msPer(runs, [&](int) {
        if (fresh)
            fresh->invalidate();
        viewport->repaint();
    });
}

// Frames with the chosen drawings shown and with all of them hidden, measured in turns so that
// the machine's drift falls on both alike: the medians of each.
QPair<double, double> frames(QWidget *viewport, const QList<DrawingItem *> &drawings,
                             const std::function<bool(DrawingItem *)> &shown,
                             DrawingLayer *fresh = nullptr)
{
    std::vector<double> with;
    std::vector<double> without;
    for (int turn = 0; turn < 9; ++turn) {
        for (DrawingItem *item : drawings)
            item->setVisible(shown(item));
        settle();
        with.push_back(frame(viewport, fresh));
        for (DrawingItem *item : drawings)
            item->setVisible(false);
        settle();
        without.push_back(frame(viewport, fresh));
    }
    for (DrawingItem *item : drawings)
        item->setVisible(true);
    settle();
    return {median(with), median(without)};
}

// Milliseconds per look-up of the items under a pixel, over a grid of pixels.
double underCursor(GraphicsView *view, int runs, int *found)
{
    const QRect area = view->viewport()->rect();
    int hits = 0;
    const double ms = Bench::msPer(runs, [&](int i) {
        const QPoint pixel(area.left() + (i * 37) % area.width(), area.top() + (i * 53) % area.height());
        hits += int(view->items(pixel).size());
    });
    *found = hits;
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::quietPlatformNotes();
    QApplication app(argc, argv);
    Bench::ChartBench bench;
    if (!bench.isReady())
        return 2;
    Bench::storeSchedule(Bench::weekdays({{600, Bench::BarsPerDay}}));
    DrawingServices::install();
    storeSeriesDefaults(LastDay, 267, 1);

    QWidget top;
    top.resize(Width, Height);
    auto *layout = new QVBoxLayout(&top);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new MultiView(&top);
    layout->addWidget(view);
    top.show();
    settle();
    SeriesItem *series = view->createDefaultSeriesItem(QStringLiteral("2,2,2001"));
    const int bars = Bench::fillWeekdays(series, LastDay, 267);
    view->synchronizer()->update();
    settle();
    SubChartWidget *pane = view->subCharts().value(0);
    GraphicsView *graphics = pane->view();
    QWidget *viewport = graphics->viewport();
    ParentScaleItem *scale = pane->scales().value(0);
    TSynchronyzer *sync = view->synchronizer();

    std::printf("%d x %d pixels, %d one-minute bars, %d drawings\n\n", Width, Height, bars, Drawings);
    std::printf("%-46s %10s %10s %8s\n", "", "ms", "baseline", "ratio");

    int emptyHits = 0;
    const double lookWithout = underCursor(graphics, 5000, &emptyHits);

    // 200 drawings of the five kinds spread over what is in view; BENCH_KIND=k makes all of
    // them of kind k (for profiling one kind).
    const QRectF shown = graphics->mapToScene(viewport->rect()).boundingRect();
    QList<DrawingItem *> drawings;
    for (int i = 0; i < Drawings; ++i) {
        const double x1 = shown.left() + shown.width() * (0.05 + 0.8 * ((i * 37) % 100) / 100.0);
        const double x2 = x1 + shown.width() * (0.02 + 0.1 * ((i * 13) % 10) / 10.0);
        const double y1 = shown.top() + shown.height() * (0.1 + 0.8 * ((i * 53) % 100) / 100.0);
        const double y2 = shown.top() + shown.height() * (0.1 + 0.8 * ((i * 29) % 100) / 100.0);
        const int kind = qEnvironmentVariableIsSet("BENCH_KIND")
                             ? qEnvironmentVariableIntValue("BENCH_KIND")
                             : i % DrawingItem::KindCount;
        DrawingItem *item = DrawingServices::makeDrawing(kind, scale, sync, QPointF(x1, y1), QColor(), 1);
        item->setSceneP2(QPointF(x2, y2));
        pane->setUpItem(item);
        drawings.append(item);
    }
    settle();

    const QPair<double, double> all = frames(viewport, drawings, [](DrawingItem *) { return true; });
    std::printf("%-46s %10.3f %10.3f %8.2f   (+%.3f ms for the drawings; baseline: hidden)\n",
                "frame, all drawings in view", all.first, all.second, all.first / all.second,
                all.first - all.second);
    DrawingLayer *layer = DrawingLayer::of(graphics->scene());
    const int repaints = layer->repaints();
    const QPair<double, double> fresh =
        frames(viewport, drawings, [](DrawingItem *) { return true; }, layer);
    std::printf("%-46s %10.3f %10.3f %8.2f   (+%.3f ms; %d times)\n",
                "frame, all drawings painted anew", fresh.first, fresh.second,
                fresh.first / fresh.second, fresh.first - fresh.second,
                layer->repaints() - repaints);
    // Which kinds the frame's cost comes from: each kind's 40 alone.
    static const char *const names[] = {"trend lines", "horizontal lines", "Fibonacci levels",
                                         "Fibonacci arcs", "Fibonacci fans"};
    for (int kind = 0; kind < DrawingItem::KindCount; ++kind) {
        const QPair<double, double> alone =
            frames(viewport, drawings, [kind](DrawingItem *item) { return item->kind() == kind; });
        const QString name = QStringLiteral("frame, %1 %2 alone")
                                 .arg(Drawings / DrawingItem::KindCount)
                                 .arg(QLatin1String(names[kind]));
        std::printf("%-46s %10.3f %10.3f %8.2f   (+%.3f ms)\n", qPrintable(name), alone.first,
                    alone.second, alone.first / alone.second, alone.first - alone.second);
    }

    int hits = 0;
    const double look = underCursor(graphics, 5000, &hits);
    std::printf("%-46s %10.4f %10.4f %8.2f   (+%.4f ms; %.2f items a pixel)\n",
                "items under the cursor", look, lookWithout, look / lookWithout,
                look - lookWithout, double(hits) / 5000);

    // The slots a change of the time marking runs in every drawing: x from the moments, pixel
    // sizes and level prices again; the baseline is the bare conversions of its moments.
    QList<datetime> moments;
    for (DrawingItem *item : std::as_const(drawings)) {
        if (auto *line = qobject_cast<LineDrawingItem *>(item)) {
            moments.append(line->time1());
            moments.append(line->time2());
        }
    }
    const double anchor = Bench::msPer(200, [&](int) {
        Q_EMIT sync->timeMarkingChanged();
        Q_EMIT sync->sceneWidthChanged();
    });
    int sink = 0;
    const double convert = Bench::msPer(200, [&](int) {
        for (const datetime &moment : std::as_const(moments))
            sink += sync->indexOf(moment);
    });
    std::printf("%-46s %10.3f %10.3f %8.2f   (%d moments; %d)\n", "re-anchoring all drawings", anchor,
                convert, anchor / convert, int(moments.size()), sink % 10);

    // A real change of the time frame, with and without the drawings.
    const auto change = [&](const TimeFrameValue &frame) {
        QElapsedTimer timer;
        timer.start();
        view->setTimeFrame(frame);
        Bench::fillWeekdays(view->seriesItems().value(0), LastDay, 267);
        sync->update();
        settle();
        return double(timer.nsecsElapsed()) / 1e6;
    };
    const double withDrawings = change(TimeFrameValue(300));
    const double back = change(TimeFrameValue(60));
    for (DrawingItem *item : std::as_const(drawings))
        delete item;
    settle();
    const double withoutDrawings = change(TimeFrameValue(300));
    std::printf("%-46s %10.3f %10.3f %8.2f   (1 min back: %.1f ms)\n",
                "time frame 1 min -> 5 min, refilled", withDrawings, withoutDrawings,
                withDrawings / withoutDrawings, back);
    return 0;
}
