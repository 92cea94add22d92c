#pragma once

#include "bartesthelpers.h"
#include "mapsettings.h"
#include "seriesitem.h"
#include "testhelpers.h"
#include "tsynchronyzer.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>

#include <memory>

// What the chart items need of a vertical scale until the real one exists: an invisible item
// whose transform maps prices to scene y (scene y = pos y - factor * price), and the slots
// chart items report to, counting the calls.
class StandInScale : public QGraphicsObject
{
    Q_OBJECT
public:
    StandInScale(double factor, double posY)
    {
        setTransform(QTransform::fromScale(1, factor));
        setPos(0, posY);
    }
    QRectF boundingRect() const override { return {0, 0, 1, 1}; }
    void paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) override {}
    int rangeChanges = 0;
    int dataChanges = 0;

public Q_SLOTS:
    void childRangeChanged() { ++rangeChanges; }
    void childDataChanged(int, int) { ++dataChanges; }
    void childVisibleChanged() {}
};

// Keeps a rendered image for a person to look at when TA_TEST_IMAGES names a directory.
inline void keepImage(const QImage &image, const QString &name)
{
    const QString directory = qEnvironmentVariable("TA_TEST_IMAGES");
    if (!directory.isEmpty())
        image.save(directory + QLatin1Char('/') + name);
}

// A series item under the scale, its model laid out for the frame over [from, to].
inline SeriesItem *makeSeries(const QString &key, TSynchronyzer *synchronizer,
                              QGraphicsObject *scale, const TimeFrameValue &frame,
                              const QDate &from, const QDate &to, int barOffset = 0)
{
    auto *item = new SeriesItem(key, synchronizer, scale, barOffset);
    MapSettings state;
    frame.save(state);
    state.setValue(QStringLiteral("toCurrDate"), false);
    state.setValue(QStringLiteral("dateTo"), to.toString(Qt::ISODate));
    state.setValue(QStringLiteral("daysBack"), int(from.daysTo(to) + 1));
    item->restoreState(state);
    synchronizer->update();
    return item;
}

// A scene with a view at a horizontal scale, a stand-in scale and the series placed on it.
struct ChartFixture
{
    // pixelsPerUnit: the view's horizontal scale; factor and posY: the scale's mapping.
    ChartFixture(double pixelsPerUnit, double factor, double posY)
        : view(&scene)
    {
        view.setTransform(QTransform::fromScale(pixelsPerUnit, 1));
        scale = new StandInScale(factor, posY);
        scene.addItem(scale);
        synchronizer.addScene(&scene);
    }
    ~ChartFixture()
    {
        // Items go before the synchroniser they are registered with.
        series.clear();
        delete scale;
    }

    SeriesItem *addSeries(const QString &key, const TimeFrameValue &frame, const QDate &from,
                          const QDate &to, int barOffset = 0)
    {
        SeriesItem *item = makeSeries(key, &synchronizer, scale, frame, from, to, barOffset);
        series.emplace_back(item);
        return item;
    }

    // Folds one bar of four deals (open, high, low, close) at the start of a minute.
    static void addBar(DealBatch &batch, const datetime &minute, const char *open,
                       const char *high, const char *low, const char *close)
    {
        batch.append(BarTest::deal(minute, open));
        batch.append(BarTest::deal(minute.addSecs(10), high));
        batch.append(BarTest::deal(minute.addSecs(20), low));
        batch.append(BarTest::deal(minute.addSecs(30), close));
    }

    // The scene from x (scene units) on, rendered into an image of the view's scale.
    QImage render(double sceneLeft, int width, int height, const QColor &background = Qt::black)
    {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(background);
        QPainter painter(&image);
        const double ppu = view.transform().m11();
        scene.render(&painter, QRectF(0, 0, width, height),
                     QRectF(sceneLeft, 0, width / ppu, height), Qt::IgnoreAspectRatio);
        return image;
    }

    TSynchronyzer synchronizer;
    QGraphicsScene scene;
    QGraphicsView view;
    StandInScale *scale = nullptr;
    std::vector<std::unique_ptr<SeriesItem>> series;
};
