// Painting a series of one-minute candles: a frame with the last 200 bars on screen, one with
// all 100,000, a pan by one bar, and a trade that changes the last bar, each beside a plain
// QPainter loop drawing the same candles in the same run.
#include "benchhelpers.h"
#include "chartbench.h"
#include "charttesthelpers.h"

#include <QApplication>

#include <cstdio>
#include <vector>

namespace {

constexpr int Width = 1600;
constexpr int Height = 900;
constexpr int BarsPerDay = 525; // 10:00 to 18:45

struct PlainBar
{
    double open, high, low, close;
};

// Trading days back from the day, enough for the bars.
QDate firstDayFor(int bars, const QDate &last)
{
    int days = 0;
    QDate d = last;
    while (days * BarsPerDay < bars) {
        if (d.dayOfWeek() <= 5 && BarTest::isTradingDay(d))
            ++days;
        d = d.addDays(-1);
    }
    return d.addDays(1);
}

// Fills the series with a random walk of `count` bars up to the last day; returns the bars.
std::vector<PlainBar> fill(SeriesItem *item, int count)
{
    std::vector<PlainBar> plain;
    SeriesDataModel *model = item->model();
    DealBatch batch(model, 4, false);
    double price = 1000;
    quint32 seed = 1;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return int(seed >> 24);
    };
    for (int c = 0; c < model->chunkCount() && int(plain.size()) < count; ++c) {
        for (int b = 0; b < model->chunkSize(c) && int(plain.size()) < count; ++b) {
            const datetime start = model->frameTime({c, b}, false);
            const double open = price;
            price += (next() % 21 - 10) * 0.25;
            const double close = price;
            const double high = std::max(open, close) + (next() % 8) * 0.25;
            const double low = std::min(open, close) - (next() % 8) * 0.25;
            ChartFixture::addBar(batch, start, QByteArray::number(open, 'f', 2).constData(),
                                 QByteArray::number(high, 'f', 2).constData(),
                                 QByteArray::number(low, 'f', 2).constData(),
                                 QByteArray::number(close, 'f', 2).constData());
            plain.push_back({open, high, low, close});
        }
    }
    return plain;
}

// The scale that fits the prices of the last `visible` bars into the height.
void fitScale(ChartFixture &chart, const std::vector<PlainBar> &bars, int visible)
{
    double low = bars.back().low, high = bars.back().high;
    for (size_t i = bars.size() - size_t(visible); i < bars.size(); ++i) {
        low = std::min(low, bars[i].low);
        high = std::max(high, bars[i].high);
    }
    const double factor = 0.9 * Height / (high - low);
    chart.scale->setTransform(QTransform::fromScale(1, factor));
    chart.scale->setPos(0, high * factor + 0.05 * Height);
}

// The plain loop: visible bars only, wicks batched per colour, bodies filled, no antialiasing.
void plainPaint(QImage &image, const std::vector<PlainBar> &bars, size_t first, double unit,
                double factor, double posY)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QList<QLineF> wicks[2];
    QList<QRectF> bodies[2];
    const double half = std::max(0.0, unit / 4);
    for (size_t i = first; i < bars.size(); ++i) {
        const PlainBar &b = bars[i];
        const double x = (double(i - first) + 0.5) * unit;
        const int k = b.open <= b.close ? 0 : 1;
        wicks[k].append(QLineF(x, posY - factor * b.high, x, posY - factor * b.low));
        const double top = posY - factor * std::max(b.open, b.close);
        const double bottom = posY - factor * std::min(b.open, b.close);
        bodies[k].append(QRectF(x - half, top, 2 * half, std::max(1.0, bottom - top)));
    }
    const QColor colors[2] = {QColor(0, 255, 0), QColor(255, 0, 0)};
    for (int k = 0; k < 2; ++k) {
        painter.setPen(colors[k]);
        painter.drawLines(wicks[k]);
        for (const QRectF &r : std::as_const(bodies[k]))
            painter.fillRect(r, colors[k]);
    }
}

struct Frame
{
    double item;
    double plain;
};

Frame frames(ChartFixture &chart, SeriesItem *item, const std::vector<PlainBar> &bars,
             int visible, int runs)
{
    const double ppu = double(Width) / visible;
    chart.view.setTransform(QTransform::fromScale(ppu, 1));
    item->viewScaleChanged();
    fitScale(chart, bars, visible);
    const double left = item->pos().x() + item->width() - visible;
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    auto render = [&](double from) {
        image.fill(Qt::black);
        QPainter painter(&image);
        chart.scene.render(&painter, QRectF(0, 0, Width, Height),
                           QRectF(from, 0, visible, Height), Qt::IgnoreAspectRatio);
    };
    render(left);
    const double ours = Bench::msPer(runs, [&](int) { render(left); });
    const double factor = chart.scale->transform().m22();
    const double posY = chart.scale->pos().y();
    const double plain = Bench::msPer(runs, [&](int) {
        image.fill(Qt::black);
        plainPaint(image, bars, bars.size() - size_t(visible), ppu, factor, posY);
    });
    return {ours, plain};
}

// Trades that change the last bar, one per event-loop turn, each followed by painting the part
// of the screen that changed.
double perTrade(ChartFixture &chart, SeriesItem *item, int trades)
{
    chart.view.setTransform(QTransform::fromScale(8, 1));
    item->viewScaleChanged();
    SeriesDataModel *model = item->model();
    const FrameIndex last = model->lastIndex();
    const datetime at = model->frameTime(last, false).addSecs(40);
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return Bench::msPer(trades, [&](int i) {
        {
            DealBatch batch(model, 1, false);
            batch.append(BarTest::deal(at.addMSecs(i % 1000), i % 2 ? "1000.25" : "1000.5"));
        }
        QCoreApplication::processEvents();
        // The last bar's slot: what the view would repaint.
        const double x = item->pos().x() + item->xOf(last);
        QPainter painter(&image);
        chart.scene.render(&painter, QRectF(Width - 16, 0, 16, Height),
                           QRectF(x - 1, 0, 2, Height), Qt::IgnoreAspectRatio);
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
    const QDate lastDay(2026, 11, 27);
    const QString key = QStringLiteral("2,2,2001");

    double plainFrame = 0;
    std::printf("1600 x 900 pixels, one series of 100000 one-minute candles\n\n");
    std::printf("%-34s %12s %12s %8s\n", "paint", "ms", "plain loop", "ratio");
    {
        ChartFixture chart(8, 1, 0);
        SeriesItem *item = chart.addSeries(key, TimeFrameValue(60), firstDayFor(100000, lastDay),
                                           lastDay);
        const std::vector<PlainBar> bars = fill(item, 100000);
        const Frame last200 = frames(chart, item, bars, 200, 200);
        std::printf("%-34s %12.3f %12.3f %8.2f\n", "last 200 bars visible", last200.item,
                    last200.plain, last200.item / last200.plain);
        plainFrame = last200.plain;
        const Frame all = frames(chart, item, bars, int(bars.size()), 20);
        std::printf("%-34s %12.3f %12.3f %8.2f\n", "all 100000 bars visible", all.item,
                    all.plain, all.item / all.plain);
        // Panning by one bar: every frame one unit further left.
        chart.view.setTransform(QTransform::fromScale(8, 1));
        item->viewScaleChanged();
        fitScale(chart, bars, 200);
        QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
        const double right = item->pos().x() + item->width();
        const double pan = Bench::msPer(200, [&](int i) {
            image.fill(Qt::black);
            QPainter painter(&image);
            chart.scene.render(&painter, QRectF(0, 0, Width, Height),
                               QRectF(right - 200 - i, 0, 200, Height), Qt::IgnoreAspectRatio);
        });
        std::printf("%-34s %12.3f %12.3f %8.2f\n", "one-bar pan, 200 visible", pan,
                    last200.plain, pan / last200.plain);
        std::printf("\nmirrored prices: %zu bytes per bar\n", sizeof(SeriesItem::Bar));
    }

    // The plain loop would repaint the whole frame for a trade.
    std::printf("\n%-34s %12s %12s %8s\n", "per arriving trade (10000)", "ms", "plain frame",
                "ratio");
    double oneDay = 0;
    for (const auto &[name, days] : {std::pair{"1 day loaded", 1}, std::pair{"5 years loaded", 1250}}) {
        ChartFixture chart(8, 1, 0);
        SeriesItem *item = chart.addSeries(key, TimeFrameValue(60),
                                           firstDayFor(days * BarsPerDay, lastDay), lastDay);
        const std::vector<PlainBar> bars = fill(item, days * BarsPerDay);
        fitScale(chart, bars, std::min<int>(200, int(bars.size())));
        const double ms = perTrade(chart, item, 10000);
        if (days == 1)
            oneDay = ms;
        std::printf("%-34s %12.4f %12.3f %8.3f   (%zu bars%s)\n", name, ms, plainFrame,
                    ms / plainFrame, bars.size(),
                    days == 1 ? "" : qPrintable(QStringLiteral(", %1x the cost with one day")
                                                    .arg(ms / oneDay, 0, 'f', 2)));
    }
    return 0;
}
