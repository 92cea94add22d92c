#include "chartitemmimedata.h"
#include "multivertaxiswidget.h"
#include "subcharttesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QMimeData>
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
const QString Velm = QStringLiteral("2,2,2003");

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

// A restore of one sub-chart's first pass from the settings; the text it throws, or empty.
QString restoreFailure(MapSettings settings)
{
    TestOwner owner;
    SubChartWidget *subChart = owner.addSubChart();
    settings.beginGroup(QStringLiteral("view_0"));
    try {
        subChart->restoreScales(settings);
    } catch (const QString &text) {
        // Nothing half built stays behind.
        if (!subChart->scales().isEmpty())
            return QStringLiteral("scales left behind after ") + text;
        for (QGraphicsItem *item : subChart->scene()->items()) {
            if (qobject_cast<ParentScaleItem *>(item->toGraphicsObject()))
                return QStringLiteral("a scale left on the scene after ") + text;
        }
        return text;
    }
    return {};
}

} // namespace

class TestSubChart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void scaleFitsTheSubChartHeight();
    void newScaleAxisPositions();
    void projectionColours_data();
    void projectionColours();
    void projectionMovesRepaintBands();
    void windowRoundTrip();
    void restoreRefusesDamagedStructure_data();
    void restoreRefusesDamagedStructure();
    void oneBadItemIsDropped();
    void drawingsMustTouchTheShownPeriod();
    void drawingGestures();
    void selectAreaRubberBand();
    void instrumentDrops_data();
    void instrumentDrops();
    void chartItemDrops();
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
    // A stored factor of zero or below is refused: the scale keeps its own.
    MapSettings state;
    scale->saveState(state);
    state.setValue(QStringLiteral("scale"), -2.0);
    scale->restoreState(state);
    QCOMPARE(scale->verticalFactor(), fitted);
}

// The status lines of several items wrap into rows over the top of a small pane: the fitted
// scales put their highest bar below them, in the "whole series" and "on screen" modes alike;
// a fixed range stays where the user put it.
void TestSubChart::newScaleAxisPositions()
{
    TestOwner owner;
    SubChartWidget *subChart = owner.addSubChart();
    const auto scaleAt = [&](const QVariant &axisPos) {
        MapSettings settings;
        if (axisPos.isValid())
            settings.setValue(QStringLiteral("axisPos"), axisPos);
        return subChart->newScale(settings);
    };
    QCOMPARE(subChart->axisPosition(scaleAt(0)), 0);
    QCOMPARE(subChart->axisPosition(scaleAt(1)), 1);
    QCOMPARE(subChart->axisPosition(scaleAt(QVariant())), 2);
    ParentScaleItem *both = scaleAt(3);
    QCOMPARE(subChart->axisPosition(both), 3);
    QCOMPARE(subChart->leftAxis()->axes().size(), 2);
    QCOMPARE(subChart->rightAxis()->axes().size(), 2);
    const qsizetype count = subChart->scales().size();
    for (const QVariant &bad : {QVariant(4), QVariant(-1), QVariant(QStringLiteral("links"))}) {
        try {
            scaleAt(bad);
            QFAIL("a bad axisPos made a scale");
        } catch (const QString &text) {
            QCOMPARE(text, QStringLiteral("Некорректное значение в настройках графика: axisPos"));
        }
    }
    QCOMPARE(subChart->scales().size(), count);
    MapSettings change;
    change.setValue(QStringLiteral("axisPos"), 0);
    subChart->changeAxisPosition(change, both);
    QCOMPARE(subChart->axisPosition(both), 0);
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

void TestSubChart::projectionMovesRepaintBands()
{
    TestOwner owner;
    owner.setSeriesRange(Thursday, Thursday);
    SubChartWidget *subChart = owner.showWithArea(600, 400);
    fillDay(subChart->addSeries(Arkt), Thursday);
    settle(owner);
    GraphicsScene *scene = subChart->scene();
    scene->setProjection(0, 10, 100);
    scene->setProjection(0, 11, 101);
    // Two crosses of 4-pixel bands: far less than the scene.
    const double whole = subChart->view()->viewport()->width() * scene->height();
    QVERIFY2(scene->lastProjectionArea() < whole / 20, qPrintable(QString::number(scene->lastProjectionArea())));
    QCOMPARE(scene->projectionX(), 11);
}

void TestSubChart::windowRoundTrip()
{
    MapSettings saved;
    QString nameOfC;
    {
        TestOwner owner;
        owner.setSeriesRange(Thursday, Thursday);
        SubChartWidget *first = owner.addSubChart();
        first->addSeries(Arkt);
        SubChartWidget *second = owner.addSubChart();
        second->addSeries(Kstr);
        SeriesItem *c = second->addSeries(Velm);
        c->setDisplayName(QStringLiteral("Вельм, моя"));
        nameOfC = c->displayName();
        MapSettings both;
        both.setValue(QStringLiteral("axisPos"), 3);
        second->changeAxisPosition(both, qobject_cast<ParentScaleItem *>(c->parentChartItem()));
        SubChartWidget *third = owner.addSubChart();
        MapSettings hidden;
        hidden.setValue(QStringLiteral("axisPos"), 0);
        auto *study = qobject_cast<TestStudy *>(third->addStudy(hidden, c));
        QVERIFY(study);
        QCOMPARE(third->axisPosition(qobject_cast<ParentScaleItem *>(study->parentChartItem())), 0);
        settle(owner);
        owner.saveWindow(saved);
    }
    QCOMPARE(saved.value("viewCount").toInt(), 3);
    // Ids run over the whole window: A 0, then B 1 and C 2 in the second area.
    QCOMPARE(saved.value("view_0/parentScale_0/item_0/id").toInt(), 0);
    QCOMPARE(saved.value("view_1/parentScale_1/item_0/id").toInt(), 2);
    QCOMPARE(saved.value("view_2/parentScale_0/item_0/seriesItem").toInt(), 2);
    QCOMPARE(saved.value("view_2/parentScale_0/item_0/type").toInt(), 1);
    QCOMPARE(saved.value("view_0/parentScale_0/itemsCount").toLongLong(), 1LL);

    TestOwner restored;
    QVERIFY(!restored.restoreWindow(saved));
    const QList<SubChartWidget *> areas = restored.subCharts();
    QCOMPARE(areas.size(), 3);
    for (SubChartWidget *area : areas)
        QVERIFY2(area->restoreErrors().isEmpty(), qPrintable(area->restoreErrors().join('\n')));
    QCOMPARE(areas[0]->seriesItems().size(), 1);
    QCOMPARE(areas[1]->seriesItems().size(), 2);
    auto *study = qobject_cast<TestStudy *>(areas[2]->studies().value(0));
    QVERIFY(study);
    QVERIFY(study->series());
    QCOMPARE(study->series()->displayName(), nameOfC);
    QCOMPARE(study->series()->property("id").toInt(), 2);

    // Axis rows come back from the rows' own state: none for the indicator's scale, one per
    // row for C's, and no extra axes from the "axisPos" default.
    QCOMPARE(areas[2]->axisPosition(areas[2]->scales().value(0)), 0);
    QCOMPARE(areas[1]->axisPosition(areas[1]->scales().value(1)), 3);
    QCOMPARE(areas[1]->leftAxis()->axes().size(), 1);
    QCOMPARE(areas[1]->rightAxis()->axes().size(), 2);

}

void TestSubChart::restoreRefusesDamagedStructure_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("error");
    QTest::newRow("no scales") << "parentScaleCount" << QVariant(0) << "parentScaleCount";
    QTest::newRow("scale count not a number") << "parentScaleCount" << QVariant("drei")
                                              << "parentScaleCount";
    QTest::newRow("a billion scales") << "parentScaleCount" << QVariant(1000000000)
                                      << "parentScaleCount";
    QTest::newRow("a second scale missing") << "parentScaleCount" << QVariant(2)
                                            << "parentScaleCount";
    QTest::newRow("no items") << "parentScale_0/itemsCount" << QVariant(0) << "itemsCount";
    QTest::newRow("a billion items") << "parentScale_0/itemsCount" << QVariant(1000000000LL)
                                     << "itemsCount";
    QTest::newRow("unknown type") << "parentScale_0/item_0/type" << QVariant(7) << "type";
    QTest::newRow("negative type") << "parentScale_0/item_0/type" << QVariant(-1) << "type";
    QTest::newRow("type three") << "parentScale_0/item_0/type" << QVariant(3) << "type";
    // A scale mode that does not exist is no damage: it reads as the screen fit.
    QTest::newRow("bad mode") << "parentScale_0/autoScale" << QVariant(9) << "";
}

void TestSubChart::restoreRefusesDamagedStructure()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    MapSettings saved;
    {
        TestOwner owner;
        owner.setSeriesRange(Thursday, Thursday);
        owner.addSubChart()->addSeries(Arkt);
        owner.saveWindow(saved);
    }
    QCOMPARE(restoreFailure(saved), QString());
    saved.setValue(QStringLiteral("view_0/") + key, value);
    QCOMPARE(restoreFailure(saved), error);
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

    // An indicator without "seriesItem" is dropped the same way.
    saved.setValue(QStringLiteral("view_0/parentScale_1/item_0/lineWidth"), 1);
    saved.remove(QStringLiteral("view_0/parentScale_2/item_0/seriesItem"));
    TestOwner again;
    again.restoreWindow(saved);
    QCOMPARE(again.subCharts().value(0)->studies().size(), 1);
    QCOMPARE(again.subCharts().value(0)->restoreErrors().size(), 1);
}

void TestSubChart::drawingsMustTouchTheShownPeriod()
{
    TestOwner owner;
    SubChartWidget *area = owner.addSubChart();
    MapSettings settings;
    ParentScaleItem *scale = area->newScale(settings);
    const auto restore = [&](const datetime &time1, const datetime &time2) {
        MapSettings line;
        line.setValue(QStringLiteral("drawing"), 2);
        line.setValue(QStringLiteral("time1"), time1.getDateTime());
        if (!time2.isNull())
            line.setValue(QStringLiteral("time2"), time2.getDateTime());
        return qobject_cast<TestLineDrawing *>(area->addDrawing(line, scale));
    };
    // Without a shown period (a series that holds no bars yet) a drawing waits for one with
    // its moments as stored.
    QVERIFY(restore(t(Wednesday, 9, 0), t(Wednesday, 9, 30)));
    owner.setSeriesRange(Thursday, Thursday);
    fillDay(area->addSeries(Arkt), Thursday);
    settle(owner);
    QVERIFY(!restore(t(Thursday, 9, 0), t(Thursday, 9, 30)));
    QVERIFY(!restore(t(Thursday, 11, 0), t(Thursday, 12, 0)));
    // A pair touching the period is kept with its moments as stored: the drawing places them.
    TestLineDrawing *early = restore(t(Thursday, 9, 0), t(Thursday, 10, 30));
    QVERIFY(early);
    QCOMPARE(early->time1(), t(Thursday, 9, 0));
    QVERIFY(restore(t(Thursday, 10, 10), t(Thursday, 11, 0)));
    // Both times must be there.
    QVERIFY(!restore(t(Thursday, 10, 10), datetime()));
    // Kinds outside 0..4 fail with their key.
    for (const QVariant &kind : {QVariant(-1), QVariant(5), QVariant("fan")}) {
        MapSettings bad;
        bad.setValue(QStringLiteral("drawing"), kind);
        try {
            area->addDrawing(bad, scale);
            QFAIL("a bad kind made a drawing");
        } catch (const QString &text) {
            QCOMPARE(text, QStringLiteral("drawing"));
        }
    }
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
    view->updateCursor();
    QCOMPARE(viewport->cursor().shape(), Qt::CrossCursor);
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
    owner.setDrawingTool(-1);
    view->updateCursor();
    QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
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

void TestSubChart::instrumentDrops_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("share") << "2,2,2002" << true;
    QTest::newRow("board that cannot be charted") << "2,7,2701" << false;
    QTest::newRow("one part") << "2" << false;
    QTest::newRow("not numbers") << "zwei,zwei,2002" << false;
    QTest::newRow("no such instrument") << "2,2,999999" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSubChart::instrumentDrops()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    TestOwner owner;
    owner.setSeriesRange(Thursday, Thursday);
    SubChartWidget *area = owner.showWithArea(600, 400);
    area->addSeries(Arkt);
    std::unique_ptr<QMimeData> data(securityData(text));
    QCOMPARE(offer(area->view(), data.get()), accepted ? Qt::CopyAction : Qt::IgnoreAction);
    QCOMPARE(offer(area->view(), data.get(), QEvent::Drop),
             accepted ? Qt::CopyAction : Qt::IgnoreAction);
    QCOMPARE(area->seriesItems().size(), accepted ? 2 : 1);
    // Garbage that is not a string at all.
    QMimeData junk;
    junk.setData(ChartItemMimeData::securityFormat(), QByteArray("\xff\xff\xff\x7f", 4));
    QCOMPARE(offer(area->view(), &junk), Qt::IgnoreAction);
}

void TestSubChart::chartItemDrops()
{
    TestOwner owner;
    owner.setSeriesRange(Thursday, Thursday);
    SubChartWidget *source = owner.addSubChart();
    SubChartWidget *target = owner.showWithArea(600, 600);
    SeriesItem *moving = source->addSeries(Arkt);
    target->addSeries(Kstr);
    settle(owner);
    // Onto the view it came from: refused.
    ChartItemMimeData fromSource(moving, source->view(), owner.windowId());
    QCOMPARE(offer(source->view(), &fromSource), Qt::IgnoreAction);
    // The item is deleted while the drag runs: the drop touches nothing.
    delete moving;
    QCOMPARE(offer(target->view(), &fromSource), Qt::IgnoreAction);
    QCOMPARE(offer(target->view(), &fromSource, QEvent::Drop), Qt::IgnoreAction);
    QCOMPARE(target->seriesItems().size(), 1);
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
