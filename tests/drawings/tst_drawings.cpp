// The drawing tools on a chart window's panes: anchoring to moments and prices, the mouse,
// geometry that must stay finite, restore of stored values, the Fibonacci levels, what lands
// on which pixel, and the window's save and restore of all five kinds.

#include "drawinggeometry.h"
#include "drawinglayer.h"
#include "drawingservices.h"
#include "fibonacciitems.h"
#include "horlineitem.h"
#include "multiviewtesthelpers.h"
#include "parentscaleitem.h"
#include "subcharttesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "trendlineitem.h"

#include <QAction>
#include <QGraphicsSceneMouseEvent>
#include <QPainterPath>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace BarTest;
using MultiViewTest::Friday;
using MultiViewTest::Monday;

namespace {

const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");
const QColor Orange(0xff, 0x80, 0x00);

// One pane of a window: its scale, view and the mapping between indices, prices and pixels.
struct Pane
{
    explicit Pane(SubChartWidget *subChart)
        : subChart(subChart)
        , scale(subChart->scales().value(0))
        , view(subChart->view())
    {
    }
    QPointF scenePoint(double index, double price) const
    {
        return {index, scale->mapToScene(QPointF(0, -price)).y()};
    }
    QPoint pixel(const QPointF &scene) const { return view->mapFromScene(scene); }
    QPoint pixel(double index, double price) const { return pixel(scenePoint(index, price)); }
    QImage image() const
    {
        QCoreApplication::processEvents();
        return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    DrawingItem *draw(int kind, const QPointF &p1, const QPointF &p2, const QColor &color = Orange,
                      int width = 1)
    {
        DrawingItem *item = DrawingServices::makeDrawing(kind, scale, subChart->owner()->synchronizer(),
                                                         p1, color, width);
        if (auto *line = qobject_cast<LineDrawingItem *>(item))
            line->setSceneP2(p2);
        subChart->setUpItem(item);
        return item;
    }
    template <class T>
    T *draw(int kind, double i1, double price1, double i2, double price2, const QColor &color = Orange)
    {
        return qobject_cast<T *>(draw(kind, scenePoint(i1, price1), scenePoint(i2, price2), color));
    }

    SubChartWidget *subChart;
    ParentScaleItem *scale;
    GraphicsView *view;
};

// Whether some pixel within `radius` of the point has the colour (antialiasing aside, the
// pens are one pixel wide and land on a neighbour when a coordinate falls on a half).
bool colourNear(const QImage &image, const QPoint &point, const QColor &colour, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint at = point + QPoint(dx, dy);
            if (image.rect().contains(at) && QColor(image.pixel(at)) == colour)
                return true;
        }
    }
    return false;
}

int countColour(const QImage &image, const QRect &area, const QColor &colour)
{
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
    }
    return count;
}

// A pane of its own for Kstr's one-minute bars over the whole week, filled: it reaches back
// further than the window's first series.
SeriesItem *addWholeWeekPane(Window &w)
{
    MapSettings week;
    TimeFrameValue(60).save(week);
    week.setValue(QStringLiteral("toCurrDate"), false);
    week.setValue(QStringLiteral("dateTo"), Friday.toString(Qt::ISODate));
    week.setValue(QStringLiteral("daysBack"), 5);
    week.setValue(QStringLiteral("axisPos"), 2);
    week.setValue(QStringLiteral("autoScale"), 1);
    SeriesItem *longer = w.view->addSubChart()->addSeries(Kstr, week, nullptr);
    if (longer) {
        fillDays(longer, Monday, Friday, 210);
        settle(*w.view);
    }
    return longer;
}

void mouse(QWidget *viewport, QEvent::Type type, const QPoint &point, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, viewport->mapToGlobal(point), button, buttons, {});
    QCoreApplication::sendEvent(viewport, &event);
}

void drag(QWidget *viewport, const QPoint &from, const QPoint &to)
{
    mouse(viewport, QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(viewport, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    mouse(viewport, QEvent::MouseMove, to, Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

// The item's saved keys.
MapSettings saved(const DrawingItem &item)
{
    MapSettings settings;
    item.saveState(settings);
    return settings;
}

bool finite(const QLineF &line)
{
    return std::isfinite(line.x1()) && std::isfinite(line.y1()) && std::isfinite(line.x2())
           && std::isfinite(line.y2());
}

bool finite(const QRectF &rect)
{
    return finite(QLineF(rect.topLeft(), rect.bottomRight()));
}

} // namespace

class TestDrawings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void anchoredToMoments();
    void endPointsFollowThePointer();
    void wholeMoveFollowsThePointer_data();
    void wholeMoveFollowsThePointer();
    void degenerateGeometryStaysFinite();
    void hitTestingAndLevelPrices();
    void fibonacciLabelsKeepApart();
    void pixels();
    void pictureFollowsEveryChange();
    void windowSaveRestoreAllKinds();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestDrawings::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "drawings.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    registerTestMakers();
    // The real drawings replace the stand-ins.
    DrawingServices::install();
    answerDeleteQuestionsYes();
}

void TestDrawings::init()
{
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 60)}));
    storeSeriesDefaults(Friday, 5, 1);
    MultiView::setServices({});
}

// Drawings keep the moments they were drawn at through changes of the base frame; a point in
// the right margin, past the last bar, still gets one. Moments outside the bars shown are kept
// as stored (the dialogs' suite, drawingDialogRefusesMomentsOutsideTheChart).
void TestDrawings::anchoredToMoments()
{
    Window w;
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    TSynchronyzer *sync = w.view->synchronizer();
    auto *trend = pane.draw<TrendLineItem>(0, 70, 104.5, 130, 105.5);
    // Moments from the points: Tuesday 10:10 and 11:10 is Wednesday 10:10.
    QCOMPARE(trend->time1(), at(Monday.addDays(1), 10));
    QCOMPARE(trend->time2(), at(Monday.addDays(2), 10));
    const double y1 = trend->line().y1();
    // A coarser base frame, then back to minutes: the same moments, the points at their
    // indices in each.
    for (const int seconds : {300, 60}) {
        w.view->setTimeFrame(TimeFrameValue(seconds));
        fillDays(w.view->seriesItems().first(), Monday, Friday);
        settle(*w.view);
        QCOMPARE(sync->baseFrame().value, seconds);
        QCOMPARE(trend->time1(), at(Monday.addDays(1), 10));
        QCOMPARE(trend->mapToScene(trend->line().p1()).x(), seconds == 300 ? 14.0 : 70.0);
        QCOMPARE(trend->mapToScene(trend->line().p2()).x(), seconds == 300 ? 26.0 : 130.0);
        QCOMPARE(trend->line().y1(), y1);
    }
    // A point drawn into the right margin, past the last bar, still gets a moment (the last
    // shown one), so that the drawing is saved whole and comes back.
    auto *future = pane.draw<TrendLineItem>(0, 280, 105, sync->sceneWidth() - 2, 105.5);
    QVERIFY(sync->timeAt(int(sync->sceneWidth()) - 2).isNull());
    QCOMPARE(future->time2(), sync->clampedTimeAt(int(sync->sceneWidth())));
    MapSettings margin = saved(*future);
    QVERIFY(pane.subChart->addDrawing(margin, pane.scale));
}

void TestDrawings::endPointsFollowThePointer()
{
    Window w;
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    w.view->timeScrollBar()->setValue(0);
    settle(*w.view);
    QWidget *viewport = pane.view->viewport();
    const double unitsPerPixel = 1.0 / pane.view->transform().m11();
    // p2 5.8 pixels right of p1: a press half way is 2.9 pixels from both and takes p1.
    const QPointF p1 = pane.scenePoint(20, 105);
    const QPointF p2(p1.x() + 5.8 * unitsPerPixel, p1.y());
    auto *trend = qobject_cast<TrendLineItem *>(pane.draw(0, p1, p2));
    const QPointF middle((p1.x() + p2.x()) / 2, p1.y());
    const QPoint press = pane.view->mapFromScene(middle);
    mouse(viewport, QEvent::MouseButtonPress, press, Qt::LeftButton);
    QVERIFY(trend->isDraggingP1());
    QVERIFY(!trend->isDraggingP2());
    const QPoint target = pane.pixel(40, 105.5);
    mouse(viewport, QEvent::MouseMove, target, Qt::LeftButton);
    QVERIFY(trend->isSelected());
    QCOMPARE(trend->mapToScene(trend->line().p1()), pane.view->mapToScene(target));
    // p2 sits on the moment it was anchored to, the start of the minute under it.
    QCOMPARE(trend->mapToScene(trend->line().p2()), QPointF(20, p2.y()));
    QCOMPARE(trend->time1(), at(Monday, 40));
    // Left of the scene's start the end point stays.
    const QPointF before = trend->mapToScene(trend->line().p1());
    mouse(viewport, QEvent::MouseMove, QPoint(pane.pixel(0, 105).x() - 4, target.y()), Qt::LeftButton);
    QCOMPARE(trend->mapToScene(trend->line().p1()), before);
    mouse(viewport, QEvent::MouseButtonRelease, target, Qt::NoButton);
    QVERIFY(!trend->isDraggingP1());
}

void TestDrawings::wholeMoveFollowsThePointer_data()
{
    QTest::addColumn<int>("pixelsPerBar");
    QTest::addColumn<int>("kind");
    // Where the pointer goes from the press, in pixels, passing by each offset in turn.
    QTest::addColumn<QList<QPoint>>("path");
    QTest::addColumn<int>("bars");

    QTest::newRow("39 px, trend 100 right") << 39 << 0 << QList<QPoint>{{100, 0}} << 3;
    QTest::newRow("9 px, trend 200 left") << 9 << 0 << QList<QPoint>{{-200, 0}} << -22;
    QTest::newRow("9 px, levels 100 left and back") << 9 << 2 << QList<QPoint>{{-100, 0}, {0, 0}} << 0;
    QTest::newRow("9 px, trend 100 right and 40 up") << 9 << 0 << QList<QPoint>{{100, -40}} << 11;
    QTest::newRow("39 px, trend 100 left, then 200 right") << 39 << 0 << QList<QPoint>{{-100, 0}, {100, 0}} << 3;
}

// A drawing dragged as a whole stays under the pointer, on whole bars, however many small
// moves the drag is made of.
void TestDrawings::wholeMoveFollowsThePointer()
{
    QFETCH(int, pixelsPerBar);
    QFETCH(int, kind);
    QFETCH(QList<QPoint>, path);
    QFETCH(int, bars);

    Window w;
    w.addSeries(Arkt);
    while (w.view->scaleX() < pixelsPerBar - 0.5)
        w.view->zoomX(true);
    settle(*w.view);
    QCOMPARE(w.view->scaleX(), double(pixelsPerBar));
    w.view->timeScrollBar()->setValue(w.view->timeScrollBar()->maximum() / 2);
    settle(*w.view);
    Pane pane(w.view->subCharts().value(0));
    TSynchronyzer *sync = w.view->synchronizer();
    QWidget *viewport = pane.view->viewport();
    const int centre = int(pane.view->mapToScene(viewport->rect().center()).x());
    // The trend's middle and the levels' 50 % line both pass through (centre, 105).
    auto *item = qobject_cast<LineDrawingItem *>(
        pane.draw(kind, pane.scenePoint(centre - 3, 104.5 - kind / 4.0),
                  pane.scenePoint(centre + 3, 105.5 + kind / 4.0)));
    QVERIFY(item);
    const QLineF before(item->mapToScene(item->line().p1()), item->mapToScene(item->line().p2()));

    const QPoint press = pane.pixel(centre, 105);
    mouse(viewport, QEvent::MouseButtonPress, press, Qt::LeftButton);
    QVERIFY(!item->isDraggingP1() && !item->isDraggingP2());
    // In steps of 10 pixels and less, as a hand moves a mouse.
    QPoint at;
    for (const QPoint &offset : path) {
        while (at != offset) {
            at += QPoint(std::clamp(offset.x() - at.x(), -10, 10),
                         std::clamp(offset.y() - at.y(), -10, 10));
            mouse(viewport, QEvent::MouseMove, press + at, Qt::LeftButton);
        }
    }
    mouse(viewport, QEvent::MouseButtonRelease, press + at, Qt::NoButton);

    // Up and down by the pixels the pointer went (the views are not scaled vertically).
    const QPointF moved(bars, at.y());
    QCOMPARE(item->mapToScene(item->line().p1()), before.p1() + moved);
    QCOMPARE(item->mapToScene(item->line().p2()), before.p2() + moved);
    QCOMPARE(item->time1(), sync->timeAt(centre - 3 + bars));
    QCOMPARE(item->time2(), sync->timeAt(centre + 3 + bars));
    // Saved in the scale's frame, so that the moved drawing comes back where it is.
    MapSettings state = saved(*item);
    auto *again = qobject_cast<LineDrawingItem *>(pane.subChart->addDrawing(state, pane.scale));
    QVERIFY(again);
    QCOMPARE(again->mapToScene(again->line().p1()), item->mapToScene(item->line().p1()));
    QCOMPARE(again->mapToScene(again->line().p2()), item->mapToScene(item->line().p2()));
}

void TestDrawings::degenerateGeometryStaysFinite()
{
    Window w;
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    const double pixel = 1.0 / pane.view->transform().m11();

    // Extended, a sloping one reaches both scene edges along the line.
    auto *sloping = pane.draw<TrendLineItem>(0, 100, 104.5, 200, 105.5);
    sloping->setExtensions(true, true);
    const QLineF extended = sloping->extendedLine();
    QCOMPARE(sloping->mapToScene(extended.p1()).x(), 0.0);
    QCOMPARE(sloping->mapToScene(extended.p2()).x(), w.view->synchronizer()->sceneWidth());
    QVERIFY(std::abs(DrawingGeometry::yAt(sloping->line(), extended.x1()) - extended.y1()) < 1e-9);
    QVERIFY(std::abs(DrawingGeometry::yAt(sloping->line(), extended.x2()) - extended.y2()) < 1e-9);

    // Zero length: a finite, non-empty rectangle that can be hit.
    for (int kind = 0; kind < DrawingItem::KindCount; ++kind) {
        if (kind == DrawingItem::HorLine)
            continue;
        const QPointF at = pane.scenePoint(120, 105);
        auto *item = qobject_cast<LineDrawingItem *>(pane.draw(kind, at, at));
        const QRectF rect = item->boundingRect();
        QVERIFY2(finite(rect) && rect.width() > 0 && rect.height() > 0, qPrintable(item->typeName()));
        // Only extended levels reach further than their labels.
        if (kind != DrawingItem::FibonacciLines)
            QVERIFY(rect.width() <= 2 * 400 * pixel);
        pane.image(); // paints without dividing by the zero length
        QVERIFY2(pane.view->items(pane.pixel(at)).contains(item), qPrintable(item->typeName()));
    }
    // A scene of width 0 and a line far off it: extensions stay finite and nothing loops.
    QGraphicsScene flat(0, 0, 0, 100);
    TSynchronyzer sync;
    auto *scale = new ParentScaleItem;
    flat.addItem(scale);
    auto *lone = new TrendLineItem(scale, &sync, QLineF(0, 10, 1e300, 20), Orange, 3);
    lone->setExtensions(true, true);
    QVERIFY(finite(lone->extendedLine()));
    QVERIFY(finite(lone->boundingRect()));
    delete scale;
}

void TestDrawings::hitTestingAndLevelPrices()
{
    Window w;
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    auto *trend = pane.draw<TrendLineItem>(0, 40, 104.5, 80, 105.5);
    auto *hor = qobject_cast<HorLineItem *>(pane.draw(1, pane.scenePoint(10, 104), {}));
    auto *levels = pane.draw<FibonacciLinesItem>(2, 100, 104, 130, 106);
    auto *arcs = pane.draw<FibonacciArcsItem>(3, 160, 105, 170, 105.8);
    auto *fan = pane.draw<FibonacciFanItem>(4, 200, 104.2, 220, 105.8);
    const auto under = [&](const QPoint &pixel) { return pane.view->items(pixel); };
    // On the trend line's middle and 2 pixels off; not 6 pixels off nor past its end.
    const QPoint middle = pane.pixel(60, 105);
    QVERIFY(under(middle).contains(trend));
    QVERIFY(under(middle + QPoint(0, 2)).contains(trend));
    QVERIFY(!under(middle + QPoint(0, 6)).contains(trend));
    QVERIFY(!under(pane.pixel(90, 105.75)).contains(trend));
    // The horizontal line anywhere along it, within 3 pixels.
    QVERIFY(under(pane.pixel(300, 104) + QPoint(0, 2)).contains(hor));
    QVERIFY(!under(pane.pixel(300, 104) + QPoint(0, 6)).contains(hor));
    // Levels on any level line, arcs on their circles, the fan on its rays.
    QVERIFY(under(pane.pixel(115, levels->levels().value(3).ratio * 2 + 104)).contains(levels));
    QVERIFY(!under(pane.pixel(115, 104.1) + QPoint(0, -5)).contains(levels));
    const QPointF centre = arcs->mapToScene(arcs->line().p1());
    const QPoint top = pane.view->mapFromScene(centre) - QPoint(0, int(std::lround(arcs->radius())));
    QVERIFY(under(top).contains(arcs));
    QVERIFY(!under(pane.view->mapFromScene(centre) - QPoint(0, int(arcs->radius() * 0.88))).contains(arcs));
    const QLineF ray = fan->rayThrough(fan->fanPoint(0.5));
    const QPoint onRay = pane.view->mapFromScene(fan->mapToScene(ray.pointAt(0.3)));
    QVERIFY(under(onRay).contains(fan));
    QVERIFY(!under(onRay + QPoint(0, 30)).contains(fan));
    // Level prices, p2 below p1: the 23.6 % line lies 0.236 of the height below p1.
    QStringList prices;
    for (const auto &level : pane.draw<FibonacciLinesItem>(2, 240, 106, 280, 104)->levels())
        prices.append(level.priceText);
    QCOMPARE(prices, (QStringList{"106.00", "105.53", "105.24", "105.00", "104.76", "104.47", "104.00"}));
}

// Levels and arcs of a small price range lie a few pixels apart: a label pair that would cover
// the one painted before it is left out, so every label stays legible; with room enough every
// pair is painted, and each where the item says.
void TestDrawings::fibonacciLabelsKeepApart()
{
    Window w(1000, 700);
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    settle(*w.view);
    const QColor closeColour(0xff, 0xff, 0x00);
    const QColor arcColour(0xff, 0x00, 0xff);
    const QColor wideColour(0x00, 0xff, 0xff);
    const int height = pane.view->viewport()->height();
    const double top = pane.scale->mapFromScene(pane.view->mapToScene(QPoint(0, 15))).y();
    const double bottom = pane.scale->mapFromScene(pane.view->mapToScene(QPoint(0, height - 15))).y();
    const double small = (bottom - top) / 60;
    const double left = std::ceil(pane.view->mapToScene(QPoint(0, 0)).x());
    auto *close = pane.draw<FibonacciLinesItem>(2, left + 60, -top - 10 * small, left + 80,
                                                -top - 11 * small, closeColour);
    close->setExtendRight(false);
    auto *arcs = pane.draw<FibonacciArcsItem>(3, left + 100, -top - 30 * small, left + 100,
                                              -top - 29 * small, arcColour);
    auto *wide = pane.draw<FibonacciLinesItem>(2, left + 10, -top, left + 30, -bottom, wideColour);
    wide->setExtendRight(false);
    const QImage image = pane.image();
    keepImage(image, QStringLiteral("fibonacci-labels.png"));
    const QTransform toView = pane.view->viewportTransform();

    const QList<QPair<FibonacciDrawingItem *, QColor>> cases{
        {close, closeColour}, {arcs, arcColour}, {wide, wideColour}};
    for (const auto &[item, colour] : cases) {
        const QList<QRectF> rects = item->paintedLabels(item->deviceTransform(toView));
        QCOMPARE(rects.size(), item->levels().size());
        QVERIFY(!rects.first().isNull());
        int painted = 0;
        for (qsizetype i = 0; i < rects.size(); ++i) {
            if (rects[i].isNull())
                continue;
            ++painted;
            QVERIFY2(countColour(image, rects[i].toAlignedRect(), colour) > 10,
                     qPrintable(FibonacciDrawingItem::ratioText(item->levels()[i].ratio)));
            for (qsizetype j = i + 1; j < rects.size(); ++j) {
                QVERIFY2(rects[j].isNull() || !rects[i].intersects(rects[j]),
                         qPrintable(FibonacciDrawingItem::ratioText(item->levels()[i].ratio) + " / "
                                    + FibonacciDrawingItem::ratioText(item->levels()[j].ratio)));
            }
        }
        if (item == wide)
            QCOMPARE(painted, rects.size());
        else
            QVERIFY(painted < rects.size());
    }
}

void TestDrawings::pixels()
{
    Window w(1000, 600);
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    settle(*w.view);
    const QImage blank = pane.image();
    const QColor trendColour(0xff, 0x30, 0x30);
    const QColor horColour(0x30, 0x80, 0xff);
    const QColor levelColour(0xff, 0xff, 0x00);
    const QColor arcColour(0xff, 0x00, 0xff);
    const QColor fanColour(0x00, 0xff, 0xff);
    // None of them is the chart's own.
    for (const QColor &colour : {trendColour, horColour, levelColour, arcColour, fanColour})
        QCOMPARE(countColour(blank, blank.rect(), colour), 0);
    const int right = int(w.view->synchronizer()->sceneWidth());
    auto *trend = pane.draw<TrendLineItem>(0, right - 90, 104.2, right - 70, 104.6, trendColour);
    auto *hor = qobject_cast<HorLineItem *>(pane.draw(1, pane.scenePoint(right - 50, 105.9), {}, horColour));
    auto *levels = pane.draw<FibonacciLinesItem>(2, right - 60, 104.1, right - 40, 104.9, levelColour);
    auto *arcs = pane.draw<FibonacciArcsItem>(3, right - 30, 105.0, right - 28, 105.3, arcColour);
    auto *fan = pane.draw<FibonacciFanItem>(4, right - 100, 105.2, right - 95, 105.6, fanColour);
    trend->setSelected(true);
    const QImage image = pane.image();
    keepImage(image, QStringLiteral("drawings.png"));

    // The trend line through its middle, the selection markers on its ends.
    QVERIFY(colourNear(image, pane.pixel(right - 80, 104.4), trendColour));
    QCOMPARE(QColor(image.pixel(pane.pixel(right - 90, 104.2))), QColor(Qt::white));
    QCOMPARE(QColor(image.pixel(pane.pixel(right - 90, 104.2) + QPoint(2, 2))), QColor(Qt::white));
    // The horizontal line across the visible range, its label above its left end.
    const QPair<double, double> range = hor->drawnRange();
    const int y = pane.pixel(0, 105.9).y();
    QVERIFY(colourNear(image, QPoint(pane.view->mapFromScene(QPointF(right - 5, 0)).x(), y), horColour));
    const QPoint labelAt = pane.view->mapFromScene(hor->mapToScene(QPointF(range.first + 2, 0)));
    const QRect label(labelAt.x(), labelAt.y() - hor->priceLabel().height(), hor->priceLabel().width(),
                      hor->priceLabel().height());
    QVERIFY(countColour(image, label, horColour) > 10);
    QCOMPARE(countColour(blank, label, horColour), 0);
    // Levels: the 50 % line right of p2 (extended), none left of p1.
    QVERIFY(levels->extendRight());
    const double half = 104.5;
    QVERIFY(colourNear(image, pane.pixel(right - 20, half), levelColour));
    QVERIFY(colourNear(image, pane.pixel(right - 50, half), levelColour));
    QVERIFY(!colourNear(image, pane.pixel(right - 62, half), levelColour, 0));
    // The 100 % arc's top, above p1 (p2 lies above), nothing at the mirrored point below.
    const QPoint centre = pane.pixel(right - 30, 105.0);
    const int r = int(std::lround(arcs->radius()));
    QVERIFY(colourNear(image, centre - QPoint(0, r), arcColour));
    QVERIFY(!colourNear(image, centre + QPoint(0, r), arcColour));
    // The fan's 50 % ray, prolonged past p2.
    const QLineF ray = fan->rayThrough(fan->fanPoint(0.5));
    const double past = fan->mapFromScene(QPointF(right - 93, 0)).x();
    const QPointF onRay(past, DrawingGeometry::yAt(ray, past));
    QVERIFY(colourNear(image, pane.view->mapFromScene(fan->mapToScene(onRay)), fanColour));
}

void TestDrawings::pictureFollowsEveryChange()
{
    // The drawings' picture is kept between frames: after each thing a trader does, the pane
    // must show what painting the drawings afresh shows, and a frame that changes nothing of
    // theirs must not paint them again.
    storeSeriesDefaults(Friday, 3, 1);
    Window w;
    w.addSeries(Arkt);
    Pane pane(w.view->subCharts().value(0));
    QWidget *viewport = pane.view->viewport();
    DrawingLayer *layer = DrawingLayer::of(pane.view->scene());
    QVERIFY(layer);
    const auto check = [&](const char *step) {
        settle(*w.view);
        const QImage kept = pane.image();
        layer->invalidate();
        const QImage fresh = pane.image();
        if (kept != fresh) {
            keepImage(kept, QStringLiteral("kept.png"));
            keepImage(fresh, QStringLiteral("fresh.png"));
        }
        return kept == fresh ? QString() : QString::fromLatin1(step);
    };
    const QColor trendColour(0xff, 0x30, 0x30);
    const int right = int(w.view->synchronizer()->sceneWidth());
    auto *trend = pane.draw<TrendLineItem>(0, right - 90, 104.2, right - 60, 104.8, trendColour);
    QCOMPARE(check("drawn"), QString());
    pane.draw(DrawingItem::FibonacciFan, pane.scenePoint(right - 100, 105.2),
              pane.scenePoint(right - 95, 105.6));
    QCOMPARE(check("a fan drawn"), QString());

    // Above the candles, and kept while the crosshair moves over them.
    const QPoint onLine = pane.view->mapFromScene(trend->mapToScene(trend->line().center()));
    const int repaints = layer->repaints();
    for (int x = 10; x < viewport->width(); x += 40)
        mouse(viewport, QEvent::MouseMove, QPoint(x, viewport->height() / 2), Qt::NoButton);
    const QImage crossed = pane.image();
    keepImage(crossed, QStringLiteral("crossed.png"));
    QVERIFY(colourNear(crossed, onLine, trendColour));
    QCOMPARE(layer->repaints(), repaints);

    mouse(viewport, QEvent::MouseButtonPress, onLine, Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, onLine, Qt::NoButton);
    QVERIFY(trend->isSelected());
    QCOMPARE(check("selected"), QString());
    drag(viewport, onLine, onLine + QPoint(30, 40));
    QCOMPARE(check("dragged"), QString());
    pane.scale->zoomBy(1.5);
    QCOMPARE(check("prices zoomed"), QString());
    trend->hideAction()->trigger();
    QCOMPARE(check("hidden"), QString());
    trend->show();
    QCOMPARE(check("shown"), QString());

    // Another instrument reaching back from Wednesday to Monday: every index moves on by two
    // days of bars, the base frame stays, the drawings follow their moments and keep their prices.
    const datetime time1 = trend->time1();
    const double x1 = trend->mapToScene(trend->line().p1()).x();
    const double price = -trend->mapToParent(trend->line().p1()).y();
    QVERIFY(addWholeWeekPane(w));
    QCOMPARE(check("earlier history"), QString());
    QCOMPARE(w.view->synchronizer()->baseFrame().value, 60);
    QCOMPARE(trend->time1(), time1);
    QCOMPARE(trend->mapToScene(trend->line().p1()).x(), x1 + 120);
    QCOMPARE(-trend->mapToParent(trend->line().p1()).y(), price);

    trend->setSelected(true);
    pane.image();
    QTest::keyClick(viewport, Qt::Key_Delete);
    QTRY_VERIFY(!pane.subChart->drawings().contains(trend));
    QCOMPARE(check("deleted"), QString());
}

void TestDrawings::windowSaveRestoreAllKinds()
{
    MapSettings state;
    MapSettings hiddenSeries;
    QList<QImage> images;
    int lowerHeight = 0;
    {
        Window w(1000, 700);
        w.addSeries(Arkt);
        w.addSeries(Kstr, 210);
        QCOMPARE(w.view->subCharts().size(), 2);
        Pane top(w.view->subCharts().value(0));
        Pane bottom(w.view->subCharts().value(1));
        auto *trend = top.draw<TrendLineItem>(0, 230, 104.2, 270, 105.4, Qt::red);
        trend->setExtensions(false, true);
        top.draw(1, top.scenePoint(250, 105.7), {}, Qt::green);
        top.draw<FibonacciLinesItem>(2, 240, 104.5, 280, 105.5, Qt::yellow)->setExtendRight(false);
        bottom.draw<FibonacciArcsItem>(3, 260, 209.0, 270, 211.0, Qt::magenta);
        bottom.draw<FibonacciFanItem>(4, 230, 208.0, 240, 210.5, Qt::cyan);
        bottom.draw(1, bottom.scenePoint(0, 212.0), {}, Qt::white)->hide();
        settle(*w.view);
        images = {top.image(), bottom.image()};
        w.view->saveState(state);
        // The lower series hidden: its scale goes with it, and its drawings are hidden only
        // by their scale, so they are saved as shown and come back with the series.
        w.view->seriesItems().value(1)->setItemVisible(false);
        settle(*w.view);
        QVERIFY(!bottom.scale->isVisible());
        w.view->saveState(hiddenSeries);
        w.view->seriesItems().value(1)->setItemVisible(true);
        settle(*w.view);
        lowerHeight = bottom.subChart->height();
    }
    Window again(1000, 700);
    again.view->restoreState(state);
    QVERIFY(again.view->restoreErrors().isEmpty());
    const QList<SeriesItem *> series = again.view->seriesItems();
    QCOMPARE(series.size(), 2);
    fillDays(series[0], Monday, Friday);
    fillDays(series[1], Monday, Friday, 210);
    settle(*again.view);
    QCOMPARE(again.view->subCharts().value(0)->drawings().size(), 3);
    QCOMPARE(again.view->subCharts().value(1)->drawings().size(), 3);
    MapSettings resaved;
    again.view->saveState(resaved);
    const QVariantMap before = flatten(state);
    const QVariantMap after = flatten(resaved);
    QCOMPARE(after.keys(), before.keys());
    for (auto it = before.begin(); it != before.end(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    const QImage top = Pane(again.view->subCharts().value(0)).image();
    const QImage bottom = Pane(again.view->subCharts().value(1)).image();
    keepImage(top, QStringLiteral("drawings-restored-top.png"));
    QCOMPARE(top, images[0]);
    QCOMPARE(bottom, images[1]);

    Window shownAgain(1000, 700);
    shownAgain.view->restoreState(hiddenSeries);
    QVERIFY(shownAgain.view->restoreErrors().isEmpty());
    SeriesItem *lowerSeries = shownAgain.view->seriesItems().value(1);
    fillDays(lowerSeries, Monday, Friday, 210);
    lowerSeries->setItemVisible(true);
    settle(*shownAgain.view);
    const QList<DrawingItem *> lower = shownAgain.view->subCharts().value(1)->drawings();
    QCOMPARE(lower.size(), 3);
    QCOMPARE(std::count_if(lower.begin(), lower.end(),
                           [](const DrawingItem *item) { return item->isVisible(); }),
             2);
    // The pane comes back as it does without a restart (it came back 10 px high).
    QVERIFY2(std::abs(shownAgain.view->subCharts().value(1)->height() - lowerHeight) <= 2,
             qPrintable(QStringLiteral("%1 px, was %2")
                            .arg(shownAgain.view->subCharts().value(1)->height())
                            .arg(lowerHeight)));
}

TA_REGISTER_TEST(TestDrawings)
#include "tst_drawings.moc"
