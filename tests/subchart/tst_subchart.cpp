#include "multivertaxiswidget.h"
#include "subcharttesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QRubberBand>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace BarTest;

namespace {

// Wednesday 2026-12-02 and Thursday 2026-12-03: one session 10:00-11:00 each, sixty
// one-minute bars a day.
const QDate Wednesday(2026, 12, 2);
const QDate Thursday(2026, 12, 3);
const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");

datetime at(const QDate &day, int minute)
{
    return t(day, 10, 0).addSecs(60 * minute);
}

// Bars from the first minute on: the first spans 100..110, the others stay in 105..106.
void fillDay(SeriesItem *series, const QDate &day, int first = 0)
{
    DealBatch batch(series->model(), 4, false);
    for (int m = 0; m < 60; ++m) {
        if (m == 0 && first == 0)
            ChartFixture::addBar(batch, at(day, m), "105", "110", "100", "108");
        else
            ChartFixture::addBar(batch, at(day, m), "105.2", "105.9", "105.1", "105.5");
    }
}

void settle(TestOwner &owner)
{
    owner.synchronizer()->update();
    QCoreApplication::processEvents();
}

void mouse(QWidget *viewport, QEvent::Type type, const QPoint &point, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, viewport->mapToGlobal(point), button, buttons, {});
    QCoreApplication::sendEvent(viewport, &event);
}

void click(QWidget *viewport, const QPoint &point)
{
    mouse(viewport, QEvent::MouseButtonPress, point, Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, point, Qt::NoButton);
}

} // namespace

class TestSubChart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void scaleFitsTheSubChartHeight();
    void projectionColours_data();
    void projectionColours();
    void oneBadItemIsDropped();
    void drawingGestures();
    void selectAreaRubberBand();
    void backgroundPixels();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestSubChart::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "subchart.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    registerTestMakers();
    // The confirmations answer yes without asking.
    AppSettings confirmations(QStringLiteral("TechAnalysis/Confirmations"));
    confirmations.setValue(QStringLiteral("askDelSubChart"), false);
}

void TestSubChart::init()
{
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 60)}));
}

void TestSubChart::scaleFitsTheSubChartHeight()
{
    TestOwner owner;
    owner.setSeriesRange(Thursday, Thursday);
    SubChartWidget *subChart = owner.showWithArea(600, 400);
    QCOMPARE(subChart->scene()->height(), 400.0);
    SeriesItem *series = subChart->addSeries(Arkt);
    fillDay(series, Thursday);
    settle(owner);
    ParentScaleItem *scale = subChart->scales().value(0);
    QVERIFY(scale);
    // High 110 and low 100 between the status line (and 5 % below it) and 5 % above the
    // bottom: 110 at y labels + 20, 100 at y 380.
    const int labels = subChart->view()->statusLinesHeight();
    QVERIFY(labels > 10);
    const double fitted = (360.0 - labels) / 10;
    QCOMPARE(scale->verticalFactor(), fitted);
    QCOMPARE(scale->pos().y(), 110 * fitted + labels + 20);

    // A fixed scale stretches with the height; through a height of 0 it keeps its factor and
    // comes back exactly.
    scale->zoomBy(1.0);
    QCOMPARE(scale->autoScale(), int(ParentScaleItem::Fixed));
    QWidget *viewport = subChart->view()->viewport();
    viewport->resize(viewport->width(), 200);
    QCOMPARE(scale->verticalFactor(), fitted / 2);
    QCOMPARE(scale->pos().y(), (110 * fitted + labels + 20) / 2);
    viewport->resize(viewport->width(), 0);
    QCOMPARE(scale->verticalFactor(), fitted / 2);
    viewport->resize(viewport->width(), 400);
    QCOMPARE(scale->verticalFactor(), fitted);
    QCOMPARE(scale->pos().y(), 110 * fitted + labels + 20);
}

void TestSubChart::projectionColours_data()
{
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("projection");
    QTest::newRow("black") << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("grey 80") << QColor(0x808080) << QColor(Qt::white);
    QTest::newRow("blue") << QColor(0x0000ff) << QColor(Qt::white);
    QTest::newRow("grey a0") << QColor(0xa0a0a0) << QColor(Qt::black);
    QTest::newRow("yellow") << QColor(0xffff00) << QColor(Qt::black);
    QTest::newRow("white") << QColor(0xffffff) << QColor(Qt::black);
    // Hue 270 lies outside the blue band: a light violet takes black.
    QTest::newRow("light violet") << QColor::fromHsv(270, 200, 250) << QColor(Qt::black);
    QTest::newRow("light blue") << QColor::fromHsv(240, 200, 250) << QColor(Qt::white);
}

void TestSubChart::projectionColours()
{
    QFETCH(QColor, background);
    QFETCH(QColor, projection);
    QCOMPARE(GraphicsScene::projectionColorFor(background), projection);
    TestOwner owner;
    owner.setColor(QStringLiteral("subChartColor"), background);
    SubChartWidget *subChart = owner.addSubChart();
    QCOMPARE(subChart->scene()->projectionColor(), projection);
}

void TestSubChart::oneBadItemIsDropped()
{
    MapSettings saved;
    {
        TestOwner owner;
        owner.setSeriesRange(Thursday, Thursday);
        SubChartWidget *area = owner.addSubChart();
        area->addSeries(Arkt);
        SeriesItem *b = area->addSeries(Kstr);
        MapSettings onB;
        onB.setValue(QStringLiteral("axisPos"), 2);
        area->addStudy(onB, b, qobject_cast<ParentScaleItem *>(b->parentChartItem()));
        MapSettings own;
        area->addStudy(own, b);
        owner.saveWindow(saved);
    }
    // B's line width is out of range: B goes, and so do both indicators built on it; A stays.
    saved.setValue(QStringLiteral("view_0/parentScale_1/item_0/lineWidth"), 11);
    TestOwner restored;
    QVERIFY(!restored.restoreWindow(saved));
    SubChartWidget *area = restored.subCharts().value(0);
    QVERIFY(area);
    QCOMPARE(area->seriesItems().size(), 1);
    QVERIFY(area->studies().isEmpty());
    QCOMPARE(area->restoreErrors(),
             QStringList({"Некорректное значение в настройках графика: lineWidth",
                          "Некорректное значение в настройках графика: seriesItem",
                          "Некорректное значение в настройках графика: seriesItem"}));
    // The scales left without items are gone.
    QCOMPARE(area->scales().size(), 1);
}

void TestSubChart::drawingGestures()
{
    TestOwner owner;
    owner.setSeriesRange(Thursday, Thursday);
    SubChartWidget *area = owner.showWithArea(600, 400);
    area->addSeries(Arkt);
    settle(owner);
    GraphicsView *view = area->view();
    QWidget *viewport = view->viewport();
    // Without a tool the crosshair follows the pointer.
    const int redraws = owner.projectionRedraws;
    mouse(viewport, QEvent::MouseMove, QPoint(250, 120), Qt::NoButton);
    QCOMPARE(owner.projectionRedraws, redraws + 1);

    owner.setDrawingTool(DrawingItem::TrendLine);
    // Between the two clicks the line's second point follows the pointer.
    click(viewport, QPoint(100, 200));
    auto *line = qobject_cast<TestLineDrawing *>(view->drawingInProgress());
    QVERIFY(line);
    const int moves = line->p2Moves;
    mouse(viewport, QEvent::MouseMove, QPoint(300, 100), Qt::NoButton);
    QCOMPARE(line->p2Moves, moves + 1);
    click(viewport, QPoint(300, 100));
    QCOMPARE(owner.drawingsAdded, 1);

    // The tool switched off in between: the unfinished line goes.
    click(viewport, QPoint(120, 200));
    QVERIFY(view->drawingInProgress());
    view->cancelDrawing();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(area->drawings().size(), 1);

    // An unfinished line deleted from elsewhere: the next click begins a new one instead of
    // finishing a dead item.
    click(viewport, QPoint(140, 200));
    delete view->drawingInProgress();
    click(viewport, QPoint(160, 200));
    QVERIFY(view->drawingInProgress());
    QCOMPARE(owner.drawingsAdded, 1);
}

void TestSubChart::selectAreaRubberBand()
{
    TestOwner owner;
    SubChartWidget *area = owner.showWithArea(600, 400);
    QWidget *viewport = area->view()->viewport();
    owner.setSelectAreaMode(true);
    mouse(viewport, QEvent::MouseButtonPress, QPoint(50, 60), Qt::LeftButton);
    QVERIFY(area->view()->rubberBand()->isVisible());
    mouse(viewport, QEvent::MouseMove, QPoint(20, 150), Qt::LeftButton);
    QCOMPARE(area->view()->rubberBand()->geometry(), QRect::span(QPoint(50, 60), QPoint(20, 150)));
    mouse(viewport, QEvent::MouseButtonRelease, QPoint(20, 150), Qt::NoButton);
    QVERIFY(!area->view()->rubberBand()->isVisible());
    QCOMPARE(owner.areas, QList<QRect>({QRect::span(QPoint(50, 60), QPoint(20, 150))}));
    // A band without width zooms nothing.
    mouse(viewport, QEvent::MouseButtonPress, QPoint(70, 60), Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, QPoint(70, 160), Qt::NoButton);
    QCOMPARE(owner.areas.size(), 1);
}

void TestSubChart::backgroundPixels()
{
    TestOwner owner;
    owner.setSeriesRange(Wednesday, Thursday);
    SubChartWidget *area = owner.showWithArea(700, 400);
    SeriesItem *series = area->addSeries(Arkt);
    fillDay(series, Wednesday);
    fillDay(series, Thursday, 1);
    settle(owner);
    ParentScaleItem *scale = area->scales().value(0);
    QVERIFY(scale && scale->isGridEnabled());
    area->rightAxis()->layout()->activate();
    QCoreApplication::processEvents();
    area->scene()->setProjection(0, 30, 100);
    QWidget *viewport = area->view()->viewport();
    const QImage image = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
    keepImage(image, QStringLiteral("subchart-background.png"));
    const double ppu = owner.scaleX();
    const QColor background(Qt::black);

    // A horizontal grid line at an axis label row, clear of the bars (which stay near 105).
    const QList<MultiVertAxisWidget::GridLines> grids = area->rightAxis()->gridLines();
    QCOMPARE(grids.size(), 1);
    int row = -1;
    for (int y : grids[0].rows) {
        if (y > 25 && y < 60) {
            row = y;
            break;
        }
    }
    QVERIFY2(row > 0, "no grid row near the top");
    QCOMPARE(image.pixelColor(int(45.5 * ppu), row), grids[0].color);

    // The session break between the two days: a dashed line in the series' colour at index 59.
    const QList<int> boundaries = series->dayBoundariesBetween(0, 200);
    QVERIFY(boundaries.contains(59) && boundaries.contains(60));
    const int x = int(59 * ppu);
    int dash = 0;
    int gap = 0;
    for (int y = 25; y < 60; ++y) {
        if (y == row)
            continue;
        const QColor pixel = image.pixelColor(x, y);
        if (pixel == series->color())
            ++dash;
        else if (pixel == background)
            ++gap;
    }
    QVERIFY2(dash > 5 && gap > 5, qPrintable(QStringLiteral("dash %1 gap %2").arg(dash).arg(gap)));

    // The projection cross of mode 0 in white on black.
    QCOMPARE(image.pixelColor(int(30 * ppu), 300 > row + 2 ? 300 : 320), QColor(Qt::white));
    QCOMPARE(image.pixelColor(int(50.5 * ppu), 100), QColor(Qt::white));
    // Beside it, plain background.
    QCOMPARE(image.pixelColor(int(50.5 * ppu), 90 == row ? 92 : 90), background);
}

TA_REGISTER_TEST(TestSubChart)

#include "tst_subchart.moc"
