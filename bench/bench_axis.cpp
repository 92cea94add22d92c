// A price axis 60 pixels wide and 900 high: laying out and painting it whole, and moving the
// cursor mark (two bands repainted), beside plain drawText of the same labels in the same run.
#include "benchhelpers.h"
#include "chartbench.h"
#include "charttesthelpers.h"
#include "parentscaleitem.h"
#include "vertreferenceaxiswidget.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Bench::ChartBench bench;
    if (!bench.isReady())
        return 2;
    Bench::storeSchedule(Bench::weekdays({{600, 525}}));
    const QDate day(2026, 11, 26);

    TSynchronyzer synchronizer;
    QGraphicsScene scene(0, 0, 1600, 900);
    QGraphicsView view(&scene);
    auto *scale = new ParentScaleItem;
    scene.addItem(scale);
    synchronizer.addScene(&scene);
    std::unique_ptr<SeriesItem> item(makeSeries(QStringLiteral("2,2,2001"), &synchronizer, scale,
                                                TimeFrameValue(60), day, day));
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, BarTest::t(day, 10, 0), "1000", "1040.5", "960.25", "1010");
    }
    QCoreApplication::processEvents();
    VertReferenceAxisWidget axis(VertReferenceAxisWidget::Right, scale, nullptr);
    axis.resize(60, 900);
    QImage image(60, 900, QImage::Format_ARGB32_Premultiplied);

    const int runs = 2000;
    const double whole = Bench::msPer(runs, [&](int) {
        axis.updateAxis();
        axis.render(&image);
    });
    const double cursor = Bench::msPer(runs, [&](int i) {
        const int y = 100 + i % 700;
        const int h = axis.labelHalfHeight();
        axis.setCursorMark(y);
        QRegion bands(QRect(0, y - 1 - h - 3, 60, 2 * h + 6));
        bands += QRect(0, y - h - 3, 60, 2 * h + 6);
        axis.render(&image, QPoint(), bands);
    });
    // The same labels with plain drawText, no cache.
    const double plain = Bench::msPer(runs, [&](int) {
        image.fill(Qt::black);
        QPainter painter(&image);
        QFont bold = axis.font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(Qt::white);
        double price = axis.firstLabel();
        for (int y = axis.firstLabelPixel(); y < 900 + 12; y = axis.rowOf(price)) {
            painter.drawText(4, y + 3, axis.priceText(price));
            price -= axis.labelStep();
        }
    });
    std::printf("price axis 60 x 900 pixels, %d labels\n\n", int(axis.gridLines().size()));
    std::printf("%-36s %10s %12s %8s\n", "", "ms", "plain text", "ratio");
    std::printf("%-36s %10.4f %12.4f %8.2f\n", "layout and whole repaint", whole, plain, whole / plain);
    std::printf("%-36s %10.4f %12.4f %8.2f\n", "cursor mark move (two bands)", cursor, plain,
                cursor / plain);
    item.reset();
    return 0;
}
