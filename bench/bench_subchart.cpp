// One sub-chart of 1600 x 900 pixels: painting its background (grid, time-mark lines, day
// boundaries, projection cross) with one day and with five years of one-minute history, the
// area a cursor move repaints, and restoring a sub-chart of 3 scales and 10 items. Each beside
// a plain baseline measured in the same run (the background beside the same lines stroked with
// QPainter::drawLine). TA_BENCH_PARTS=1 also prints the cost of the fill, the grid and the
// day lines apart.
#include "benchhelpers.h"
#include "chartbench.h"
#include "multivertaxiswidget.h"
#include "subcharttesthelpers.h"

#include <QApplication>
#include <QScrollBar>

#include <cstdio>

namespace {

constexpr int Width = 1600;
constexpr int Height = 900;
constexpr int BarsPerDay = 525; // 10:00 to 18:45
const QDate LastDay(2026, 11, 27);
const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");
const QString Velm = QStringLiteral("2,2,2003");

// A window of one sub-chart with a series over `days` calendar days, its last bar on the last
// minute so that the scene spans the whole history.
struct Window
{
    explicit Window(int days)
    {
        owner.setSeriesRange(LastDay.addDays(-(days - 1)), LastDay);
        area = owner.addSubChart();
        owner.resize(Width + 120, Height);
        owner.show();
        QCoreApplication::processEvents();
        series = area->addSeries(Arkt);
        DealBatch batch(series->model(), 4, false);
        SeriesDataModel *model = series->model();
        const int last = model->chunkCount() - 1;
        ChartFixture::addBar(batch, model->frameTime({last, model->chunkSize(last) - 1}, false),
                             "1000", "1010", "990", "1005");
        ChartFixture::addBar(batch, model->frameTime({last, 0}, false), "1000", "1020", "980",
                             "1001");
        batch.flush();
        owner.synchronizer()->update();
        QCoreApplication::processEvents();
        area->scales().value(0)->enableGrid(true);
        area->scales().value(0)->refit();
    }
    TestOwner owner;
    SubChartWidget *area = nullptr;
    SeriesItem *series = nullptr;
};

// Milliseconds per background frame of the last screen of history.
double backgroundFrame(Window &window, int runs, int *lines)
{
    GraphicsScene *scene = window.area->scene();
    scene->setProjection(0, int(scene->width()) - 40, Height / 2);
    const double ppu = window.owner.scaleX();
    const double right = scene->width();
    const QRectF exposed(right - Width / ppu, 0, Width / ppu, Height);
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    const QList<int> boundaries = window.series->dayBoundariesBetween(int(exposed.left()),
                                                                      int(exposed.right()));
    *lines = int(boundaries.size());
    const auto frame = [&](int) {
        QPainter painter(&image);
        painter.setWorldTransform(QTransform::fromTranslate(-exposed.left(), 0)
                                  * QTransform::fromScale(ppu, 1));
        scene->paintBackground(&painter, exposed);
    };
    if (qEnvironmentVariableIsSet("TA_BENCH_PARTS")) {
        const double fill = Bench::msPer(runs, [&](int) {
            QPainter painter(&image);
            painter.setWorldTransform(QTransform::fromTranslate(-exposed.left(), 0)
                                      * QTransform::fromScale(ppu, 1));
            painter.fillRect(exposed, Qt::black);
        });
        scene->setGridShown(false);
        const double noGrid = Bench::msPer(runs, frame);
        scene->setGridShown(true);
        window.series->hide();
        const double noItems = Bench::msPer(runs, frame);
        window.series->show();
        std::printf("fill %.3f, no grid %.3f, no items %.3f\n", fill, noGrid, noItems);
    }
    return Bench::msPer(runs, frame);
}

// The plain baseline: the same number of grid rows, mark columns and boundaries drawn at
// known places, no look-ups.
double plainFrame(int runs, int rows, int columns, int boundaries)
{
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    return Bench::msPer(runs, [&](int) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::black);
        painter.setPen(QPen(QColor(0x35, 0x35, 0x35), 0));
        for (int r = 0; r < rows; ++r)
            painter.drawLine(QPointF(0, r * 36), QPointF(Width, r * 36));
        for (int c = 0; c < columns; ++c)
            painter.drawLine(QPointF(c * 80, 0), QPointF(c * 80, Height));
        QPen dashes(Qt::white, 2, Qt::CustomDashLine);
        dashes.setDashPattern({3, 3});
        painter.setPen(dashes);
        for (int b = 0; b < boundaries; ++b)
            painter.drawLine(QPointF(b * 300, 0), QPointF(b * 300, Height));
        painter.setPen(QPen(Qt::white, 0));
        painter.drawLine(QPointF(1500, 0), QPointF(1500, Height));
        painter.drawLine(QPointF(0, 450), QPointF(Width, 450));
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Bench::ChartBench bench;
    if (!bench.isReady())
        return 2;
    Bench::storeSchedule(Bench::weekdays({{600, BarsPerDay}}));
    registerTestMakers();

    std::printf("%d x %d pixels, one-minute bars, 9 pixels a bar\n\n", Width, Height);
    std::printf("%-34s %10s %10s %8s\n", "background frame", "ms", "plain", "ratio");
    double oneDay = 0;
    for (const auto &[name, days] : {std::pair{"1 day of history", 1},
                                     std::pair{"5 years of history", 5 * 365}}) {
        Window window(days);
        int boundaries = 0;
        const double ms = backgroundFrame(window, 200, &boundaries);
        const int rows = window.area->rightAxis()->gridLines().value(0).rows.size();
        const double plain = plainFrame(200, rows, Width / 80, boundaries);
        if (days == 1)
            oneDay = ms;
        std::printf("%-34s %10.3f %10.3f %8.2f   (%d day lines on screen, scene %.0f units%s)\n",
                    name, ms, plain, ms / plain, boundaries, window.area->scene()->width(),
                    days == 1 ? ""
                              : qPrintable(QStringLiteral(", %1x the cost with one day")
                                               .arg(ms / oneDay, 0, 'f', 2)));
    }

    {
        Window window(5);
        GraphicsScene *scene = window.area->scene();
        const double viewportArea = double(window.area->view()->viewport()->width())
                                    * window.area->view()->viewport()->height();
        double area = 0;
        const int moves = 100;
        for (int i = 0; i < moves; ++i) {
            scene->setProjection(0, 20 + i, 100 + i);
            area += scene->lastProjectionArea();
        }
        std::printf("\n%-34s %10.0f px  of a %0.0f px viewport (%.1f %%)\n",
                    "repainted per cursor move", area / moves, viewportArea,
                    100.0 * area / moves / viewportArea);
    }

    // A sub-chart of 3 scales and 10 items: three series, four indicators, three drawings.
    MapSettings saved;
    const auto build = [](TestOwner &owner) {
        owner.setSeriesRange(LastDay.addDays(-4), LastDay);
        SubChartWidget *area = owner.addSubChart();
        QList<SeriesItem *> series;
        for (const QString &key : {Arkt, Kstr, Velm})
            series.append(area->addSeries(key));
        owner.synchronizer()->update();
        for (int i = 0; i < 4; ++i) {
            MapSettings none;
            area->addStudy(none, series[i % 3],
                           qobject_cast<ParentScaleItem *>(series[i % 3]->parentChartItem()));
        }
        for (int i = 0; i < 3; ++i) {
            MapSettings line;
            line.setValue(QStringLiteral("drawing"), i == 2 ? 1 : 0);
            line.setValue(QStringLiteral("pos"), -1000.0);
            line.setValue(QStringLiteral("time1"), datetime(LastDay, QTime(10, 5)).getDateTime());
            line.setValue(QStringLiteral("time2"), datetime(LastDay, QTime(12, 5)).getDateTime());
            area->addDrawing(line, area->scales().value(i));
        }
    };
    {
        TestOwner owner;
        build(owner);
        owner.saveWindow(saved);
    }
    const double restore = Bench::msPer(50, [&](int) {
        TestOwner owner;
        owner.restoreWindow(saved);
    });
    const double direct = Bench::msPer(50, [&](int) {
        TestOwner owner;
        build(owner);
    });
    std::printf("\n%-34s %10s %10s %8s\n", "sub-chart of 3 scales, 10 items", "ms",
                "built", "ratio");
    std::printf("%-34s %10.3f %10.3f %8.2f\n", "restore from settings", restore, direct,
                restore / direct);
    return 0;
}
