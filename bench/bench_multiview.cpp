// A chart window's central area: panning and zooming a window of 1600 x 900 pixels with three
// panes over 100,000 one-minute bars (beside the same with one week of bars, and beside a plain
// repaint of the same widgets), saving and restoring it, live trades into 8 panes, cursor
// projections over 8 panes with the summary on, and restoring 20 sub-charts of 3 scales and 10
// items each.
#include "benchhelpers.h"
#include "chartbench.h"
#include "eslayout.h"
#include "multiview.h"
#include "subcharttesthelpers.h"
#include "windowbench.h"

#include <QApplication>
#include <QPaintEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int Width = 1600;
constexpr int Height = 900;
const QDate LastDay(2026, 11, 27); // a Friday
const QStringList Keys{QStringLiteral("2,2,2001"), QStringLiteral("2,2,2002"),
                       QStringLiteral("2,2,2003")};

void setSeriesRange(int days)
{
    storeSeriesDefaults(LastDay, days, 2);
}

// Counts the paints of widgets and the area they cover.
class PaintCounter : public QObject
{
public:
    void watch(QWidget *widget) { widget->installEventFilter(this); }
    void reset()
    {
        paints.clear();
        area = 0;
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            paints[watched] += 1;
            for (const QRect &r : static_cast<QPaintEvent *>(event)->region())
                area += double(r.width()) * r.height();
        }
        return false;
    }
    int maxPaints() const
    {
        int most = 0;
        for (int n : paints)
            most = qMax(most, n);
        return most;
    }
    QHash<QObject *, int> paints;
    double area = 0;
};

struct Window
{
    Window(int panes, int days, bool filled = true)
    {
        setSeriesRange(days);
        top.resize(Width, Height);
        auto *layout = new QVBoxLayout(&top);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new MultiView(&top);
        layout->addWidget(view);
        top.show();
        QCoreApplication::processEvents();
        for (int i = 0; i < panes; ++i) {
            SeriesItem *series = view->createDefaultSeriesItem(Keys[i % Keys.size()]);
            if (filled)
                bars = Bench::fillWeekdays(series, LastDay, days);
        }
        view->synchronizer()->update();
        settle();
    }
    void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    QWidget top;
    MultiView *view = nullptr;
    int bars = 0;
};

// Milliseconds per pan step of one bar, painted.
double panStep(Window &window, int runs)
{
    QScrollBar *bar = window.view->timeScrollBar();
    bar->setValue(bar->maximum() / 2);
    window.settle();
    const int step = qMax(1, int(window.view->scaleX()));
    return Bench::msPer(runs, [&](int i) {
        bar->setValue(bar->value() + (i % 2 ? step : -step));
        QCoreApplication::processEvents();
    });
}

// The same widgets repainted in full with nothing in them: the cost of the paint path itself.
double plainRepaint(int runs)
{
    QWidget top;
    top.resize(Width, Height);
    auto *layout = new QVBoxLayout(&top);
    layout->setContentsMargins(0, 0, 0, 0);
    QList<QWidget *> parts;
    for (int i = 0; i < 5; ++i) {
        auto *part = new QWidget(&top);
        part->setAutoFillBackground(true);
        layout->addWidget(part);
        parts.append(part);
    }
    top.show();
    QCoreApplication::processEvents();
    return Bench::msPer(runs, [&](int) {
        for (QWidget *part : parts)
            part->update();
        QCoreApplication::processEvents();
    });
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
    registerTestMakers();
    AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("barOnEnd"), true);

    std::printf("%d x %d pixels, one-minute bars\n\n", Width, Height);
    std::printf("%-44s %10s %10s %8s\n", "3 panes", "ms", "baseline", "ratio");
    const double plain = plainRepaint(200);
    Window week(3, 7);
    const double weekPan = panStep(week, 200);
    Window big(3, 267);
    const double bigPan = panStep(big, 200);
    std::printf("%-44s %10.3f %10.3f %8.2f   (plain repaint of the same area)\n",
                qPrintable(QStringLiteral("pan one bar, %1 bars").arg(big.bars)), bigPan, plain,
                bigPan / plain);
    std::printf("%-44s %10.3f %10.3f %8.2f   (the same with %d bars: flat in history)\n",
                "pan one bar, history ratio", bigPan, weekPan, bigPan / weekPan, week.bars);

    {
        const int batches = big.view->layouts()->batches();
        const double zoom = Bench::msPer(40, [&](int i) {
            big.view->zoomX(i % 2 == 0);
            QCoreApplication::processEvents();
        });
        const double weekZoom = Bench::msPer(40, [&](int i) {
            week.view->zoomX(i % 2 == 0);
            QCoreApplication::processEvents();
        });
        std::printf("%-44s %10.3f %10.3f %8.2f   (%.2f layout batches a step)\n",
                    "zoom step, painted", zoom, weekZoom, zoom / weekZoom,
                    double(big.view->layouts()->batches() - batches) / 40);
    }

    {
        MapSettings saved;
        const double save = Bench::msPer(20, [&](int) {
            MapSettings state;
            big.view->saveState(state);
            if (saved.allKeys().isEmpty())
                saved = state;
        });
        setSeriesRange(267);
        const double restore = Bench::msPer(10, [&](int) {
            QWidget top;
            top.resize(Width, Height);
            MultiView view(&top);
            view.restoreState(saved);
        });
        const double byHand = Bench::msPer(10, [&](int) {
            QWidget top;
            top.resize(Width, Height);
            MultiView view(&top);
            for (int i = 0; i < 3; ++i)
                view.createDefaultSeriesItem(Keys[i]);
        });
        std::printf("%-44s %10.3f %10s\n", "save the window", save, "");
        std::printf("%-44s %10.3f %10.3f %8.2f   (built by hand)\n", "restore the window", restore,
                    byHand, restore / byHand);
    }

    {
        // Live trades: 8 panes over 5 days, 10,000 trades in batches of 10 onto the last bars.
        Window live(8, 7);
        PaintCounter counter;
        QList<QWidget *> viewports;
        for (SubChartWidget *pane : live.view->subCharts()) {
            viewports.append(pane->view()->viewport());
            counter.watch(pane->view()->viewport());
        }
        const double viewportArea = double(viewports.first()->width()) * viewports.first()->height();
        const QList<SeriesItem *> series = live.view->seriesItems();
        int worst = 0;
        double area = 0;
        const double ms = Bench::msPer(1000, [&](int b) {
            SeriesItem *target = series[b % series.size()];
            {
                DealBatch batch(target->model(), 1, false);
                for (int d = 0; d < 10; ++d) {
                    const QByteArray price = QByteArray::number(1000 + (b * 10 + d) % 17, 'f', 1);
                    batch.append(BarTest::deal(Bench::minuteOf(LastDay, Bench::BarsPerDay - 1).addSecs(d), price.constData()));
                }
                batch.flush();
            }
            counter.reset();
            QCoreApplication::processEvents();
            worst = qMax(worst, counter.maxPaints());
            area += counter.area;
        });
        std::printf("\n%-44s %10.3f ms a batch, at most %d paint(s) a view a turn,\n"
                    "%-44s %10.0f px repainted a batch of a %.0f px viewport (%.1f %%)\n",
                    "live: 8 panes, 10,000 trades in tens", ms, worst, "", area / 1000,
                    viewportArea, 100.0 * area / 1000 / viewportArea);
    }

    {
        // Projections: 1,000 cursor moves over 8 panes, both lines with values, summary on.
        Window moving(8, 7);
        MultiView *view = moving.view;
        SubChartWidget *pane = view->subCharts().value(3);
        moving.top.activateWindow();
        moving.settle();
        pane->view()->setFocus();
        moving.settle();
        view->changeProjectionType(0);
        view->showSummary(true);
        QWidget *viewport = pane->view()->viewport();
        const double viewportArea = double(viewport->width()) * viewport->height();
        double area = 0;
        const double handler = Bench::msPer(1000, [&](int i) {
            const QPoint point(200 + (i * 7) % 1000, 20 + (i * 3) % (viewport->height() - 40));
            view->redrawProjectionsAt(viewport->mapToGlobal(point));
            for (SubChartWidget *sub : view->subCharts())
                area += sub->scene()->lastProjectionArea();
        });
        const double painted = Bench::msPer(200, [&](int i) {
            const QPoint point(200 + (i * 7) % 1000, 20 + (i * 3) % (viewport->height() - 40));
            view->redrawProjectionsAt(viewport->mapToGlobal(point));
            QCoreApplication::processEvents();
        });
        const double full = Bench::msPer(200, [&](int) {
            for (SubChartWidget *sub : view->subCharts())
                sub->view()->viewport()->update();
            QCoreApplication::processEvents();
        });
        std::printf("\n%-44s %10.3f ms handler a move (summary %s)\n", "projections: 8 panes, mode 0",
                    handler, view->summary()->isVisible() ? "shown" : "hidden");
        std::printf("%-44s %10.3f %10.3f %8.2f   (every pane repainted in full)\n",
                    "  with painting", painted, full, painted / full);
        std::printf("%-44s %10.0f px invalidated a move, all 8 panes (%.1f %% of one viewport)\n",
                    "", area / 1000, 100.0 * area / 1000 / viewportArea);
    }

    {
        // 20 sub-charts of 3 scales and 10 items each: 3 series, 4 indicators, 3 drawings.
        setSeriesRange(5);
        MapSettings saved;
        const auto build = [](MultiView &view) {
            for (int s = 0; s < 20; ++s) {
                SubChartWidget *area = view.addSubChart();
                QList<SeriesItem *> series;
                for (const QString &key : Keys)
                    series.append(area->addSeries(key));
                for (int i = 0; i < 4; ++i) {
                    MapSettings none;
                    area->addStudy(none, series[i % 3],
                                   qobject_cast<ParentScaleItem *>(series[i % 3]->parentChartItem()));
                }
                view.synchronizer()->update();
                for (int i = 0; i < 3; ++i) {
                    MapSettings line;
                    line.setValue(QStringLiteral("drawing"), i == 2 ? 1 : 0);
                    line.setValue(QStringLiteral("pos"), -1000.0);
                    line.setValue(QStringLiteral("time1"), datetime(LastDay, QTime(10, 5)).getDateTime());
                    line.setValue(QStringLiteral("time2"), datetime(LastDay, QTime(12, 5)).getDateTime());
                    area->addDrawing(line, area->scales().value(i));
                }
            }
        };
        {
            QWidget top;
            MultiView view(&top);
            build(view);
            view.saveState(saved);
        }
        int updates = 0;
        const double restore = Bench::msPer(5, [&](int) {
            QWidget top;
            top.resize(Width, Height);
            MultiView view(&top);
            const int before = view.synchronizer()->updateCount();
            view.restoreState(saved);
            updates = view.synchronizer()->updateCount() - before;
        });
        const double direct = Bench::msPer(5, [&](int) {
            QWidget top;
            top.resize(Width, Height);
            MultiView view(&top);
            build(view);
        });
        std::printf("\n%-44s %10s %10s %8s\n", "20 sub-charts x 3 scales x 10 items", "ms", "built", "ratio");
        std::printf("%-44s %10.3f %10.3f %8.2f   (%d synchroniser updates in 3 passes)\n",
                    "restore", restore, direct, restore / direct, updates);
    }
    return 0;
}
