// The chart area as a whole: sub-charts in the splitter over one time axis, driven through the
// slots the window's tool bars call.

#include "appsettings.h"
#include "colorsplitter.h"
#include "defaultsettings.h"
#include "eslayout.h"
#include "multivertaxiswidget.h"
#include "multiview.h"
#include "seriesdefaults.h"
#include "stickyscrollbar.h"
#include "multiviewtesthelpers.h"
#include "subcharttesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "timescale.h"

#include <QAction>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace BarTest;

namespace {

using MultiViewTest::Friday;
using MultiViewTest::Monday;
const QDate Thursday(2026, 12, 3);
const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");

QAction *actionWith(const QVariant &data, QObject *parent)
{
    auto *action = new QAction(parent);
    action->setData(data);
    return action;
}


// A window of one series saved, for restores to damage.
MapSettings savedWindow()
{
    Window w;
    w.addSeries(Arkt);
    MapSettings state;
    w.view->saveState(state);
    return state;
}

QString restoreFailure(MapSettings state, MultiView **survivor = nullptr)
{
    static Window *w = nullptr;
    delete w;
    w = new Window;
    if (survivor)
        *survivor = w->view;
    try {
        w->view->restoreState(state);
    } catch (const QString &text) {
        if (!w->view->subCharts().isEmpty())
            return QStringLiteral("sub-charts left behind after ") + text;
        return text;
    }
    return {};
}

} // namespace

class TestMultiViewWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void timeScaleRounding();
    void seriesDefaultsJoinTheShownSeries();
    void zoomSlotsAndTheirSignals();
    void areaZoomKeepsTheBandInView();
    void scrollIsKeptAcrossZoomAndTimeFrame();
    void screenFitFollowsScrolling();
    void keysAndWheel();
    void barsLineUpWithTheTimeAxis();
    void axesKeepOneWidthAcrossPanes();
    void placementChoices();
    void projectionsAndSummary();
    void deletingItems();
    void volumeAndStudyServices();
    void userEntryPointsCatchErrors();
    void saveRestoreRoundTrip();
    void restoreRefusesBadValues_data();
    void restoreRefusesBadValues();
    void restoreReadsSoftValues();
    void droppedDrawingsGiveOneNotice();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestMultiViewWidget::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "multiviewwidget.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    registerTestMakers();
    answerDeleteQuestionsYes();
}

void TestMultiViewWidget::init()
{
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 60)}));
    // New series: one-minute bars over the pinned week, on a right axis, fitted to the series.
    storeSeriesDefaults(Friday, 5, 1);
    MultiView::setServices({});
}

// The time scale's own rounding, where the window's zoom commands do not reach.
void TestMultiViewWidget::timeScaleRounding()
{
    // Odd whole widths from 3 up; a step that would change nothing moves by 2.
    QCOMPARE(TimeScale::snap(10.0 / 9, 9) * 9, 11.0);
    QCOMPARE(TimeScale::snap(1.0 + 1e-9, 9) * 9, 11.0);
    QCOMPARE(TimeScale::snap(1.5 / 9, 9) * 9, 1.0);
    QCOMPARE(TimeScale::snap(1.5 / 1.2, 1.2) * 1.2, 2.0);
    QCOMPARE(TimeScale::snap(2.5 / 3, 3) * 3, 2.0);
    QCOMPARE(TimeScale::snap(0, 9), 1.0);
    // Within 0.001 of 9 counts as the default.
    TimeScale scale;
    scale.setScale(9.0009);
    QVERIFY(scale.isDefault());
    scale.setScale(9.002);
    QVERIFY(!scale.isDefault());
    // The band's zoom is capped so that one unit does not exceed the viewport.
    QCOMPARE(TimeScale::areaZoom(QRect(0, 0, 1, 1), 800, 400, 5000).factor, 2.0);
}

// A new series' defaults take the frame and the period of the series already shown.
void TestMultiViewWidget::seriesDefaultsJoinTheShownSeries()
{
    MapSettings defaults = SeriesDefaults::factory();
    SeriesDefaults::alignWith(defaults, {});
    QCOMPARE(TimeFrameValue::load(defaults), TimeFrameValue(180));
    // A five-minute series over a week ending Friday 2026-11-27 (fixed), an hourly one over
    // two days ending on Tuesday 2026-12-01 that follows the current date.
    SeriesDefaults::alignWith(defaults,
                              {{TimeFrameValue(300), QDate(2026, 11, 21), QDate(2026, 11, 27), false},
                               {TimeFrameValue(3600), QDate(2026, 11, 30), QDate(2026, 12, 1), true}});
    QCOMPARE(TimeFrameValue::load(defaults), TimeFrameValue(3600));
    QCOMPARE(defaults.value("dateTo").toString(), QStringLiteral("2026-12-01"));
    QCOMPARE(defaults.value("toCurrDate").toBool(), true);
    QCOMPARE(defaults.value("daysBack").toInt(), 11);
    // The latest end is a fixed one: its flag goes along.
    SeriesDefaults::alignWith(defaults,
                              {{TimeFrameValue(1, Month), QDate(2025, 1, 1), QDate(2026, 12, 4), false},
                               {TimeFrameValue(60), QDate(2026, 12, 1), QDate(2026, 12, 1), true}});
    QCOMPARE(TimeFrameValue::load(defaults), TimeFrameValue(1, Month));
    QCOMPARE(defaults.value("toCurrDate").toBool(), false);
    QCOMPARE(defaults.value("daysBack").toInt(), int(QDate(2025, 1, 1).daysTo(QDate(2026, 12, 4))) + 1);

    // A stored group that names only some keys (a first start that set the days): the rest are
    // the factory values.
    AppSettings ta(QStringLiteral("TechAnalysis"));
    ta.remove(QStringLiteral("SeriesDefaultProperty"));
    ta.setValue(QStringLiteral("SeriesDefaultProperty/daysBack"), 2);
    const MapSettings partial = SeriesDefaults::stored();
    QCOMPARE(partial.value("daysBack").toInt(), 2);
    QCOMPARE(TimeFrameValue::load(partial), TimeFrameValue(180));
}

void TestMultiViewWidget::zoomSlotsAndTheirSignals()
{
    Window w;
    w.addSeries(Arkt);
    MultiView *view = w.view;
    QSignalSpy back(view, &MultiView::enableBackScaleX);
    QSignalSpy byDefault(view, &MultiView::enableDefaultScaleX);
    QObject owner;
    QAction *in = actionWith(true, &owner);
    QAction *out = actionWith(false, &owner);
    connect(in, &QAction::triggered, view, &MultiView::changeScaleX);
    connect(out, &QAction::triggered, view, &MultiView::changeScaleX);

    in->trigger();
    in->trigger();
    QCOMPARE(view->scaleX(), 13.0);
    // Every view follows the scale, and back is offered once.
    for (SubChartWidget *subChart : view->subCharts())
        QCOMPARE(subChart->view()->transform().m11(), 13.0);
    QCOMPARE(back.count(), 1);
    QCOMPARE(back.first().first().toBool(), true);
    QCOMPARE(byDefault.last().first().toBool(), true);

    view->backScaleX();
    QCOMPARE(view->scaleX(), 11.0);

    out->trigger();
    out->trigger();
    QCOMPARE(view->scaleX(), 7.0);
    view->defaultScaleX();
    QCOMPARE(view->scaleX(), 9.0);
    QCOMPARE(back.last().first().toBool(), false);
    QCOMPARE(byDefault.last().first().toBool(), false);
    view->backScaleX(); // nothing left to undo
    QCOMPARE(view->scaleX(), 9.0);

    // Out stops once the week fits the viewport: 300 bars plus the margin at 2 pixels fit 1000.
    for (int i = 0; i < 50; ++i)
        view->zoomX(false);
    const double fitted = view->scaleX();
    QVERIFY2(fitted > 0.5, qPrintable(QString::number(fitted)));
    QVERIFY(fitted * view->synchronizer()->sceneWidth() <= view->timeAxis()->viewport()->width());
    QCOMPARE(view->scenePixelWidth(),
             int(std::ceil(fitted * view->synchronizer()->sceneWidth())));
}

void TestMultiViewWidget::areaZoomKeepsTheBandInView()
{
    Window w;
    w.addSeries(Arkt);
    w.setAxisWidth(800);
    MultiView *view = w.view;
    QCOMPARE(view->timeAxis()->viewport()->width(), 800);
    QScrollBar *bar = view->timeScrollBar();
    bar->setValue(1000);
    QSignalSpy selMode(view, &MultiView::checkSelAreaMode);
    view->setSelectAreaMode(true);
    view->increaseArea(QRect(100, 10, 200, 50));
    // Factor 4 gives 36, raised to the odd 37; the band's left edge is kept at the same scene x.
    QCOMPARE(view->scaleX(), 37.0);
    QCOMPARE(bar->value(), int(std::round((1000 + 100) * 37.0 / 9.0)));
    QVERIFY(!view->isSelectAreaMode());
    QCOMPARE(selMode.count(), 1);
    QCOMPARE(selMode.first().first().toBool(), false);
    QVERIFY(view->timeScale().canGoBack());

    // A band without width, or a viewport without width, changes nothing and divides by nothing.
    view->increaseArea(QRect(100, 10, 0, 50));
    QCOMPARE(view->scaleX(), 37.0);
    view->timeAxis()->viewport()->resize(0, 20);
    view->increaseArea(QRect(100, 10, 0, 50));
    QCOMPARE(view->scaleX(), 37.0);
}

void TestMultiViewWidget::scrollIsKeptAcrossZoomAndTimeFrame()
{
    Window w;
    w.addSeries(Arkt);
    MultiView *view = w.view;
    QScrollBar *bar = view->timeScrollBar();
    // A chart at its newest bars stays there.
    QCOMPARE(bar->value(), bar->maximum());
    view->zoomX(true);
    QCOMPARE(bar->value(), bar->maximum());

    // Elsewhere the centre of the screen stays the same fraction of the whole.
    bar->setValue(bar->maximum() / 3);
    const double centre = (bar->value() + bar->pageStep() / 2.0) / (bar->maximum() + bar->pageStep());
    view->zoomX(true);
    const double after = (bar->value() + bar->pageStep() / 2.0) / (bar->maximum() + bar->pageStep());
    QVERIFY2(std::abs(after - centre) < 0.002, qPrintable(QString::number(after - centre)));
    // The visible bar mirrors the axis' bar.
    QCOMPARE(view->scrollBar()->value(), bar->value());
    QCOMPARE(view->scrollBar()->maximum(), bar->maximum());

    // A coarser frame: the same fraction again, and the views follow the bar.
    QObject owner;
    view->changeInstrumentTimeFrame(actionWith(QVariant::fromValue(TimeFrameValue(300)), &owner));
    fillDays(view->seriesItems().first(), Monday, Friday);
    settle(*view);
    QCOMPARE(view->seriesItems().first()->model()->timeFrame(), TimeFrameValue(300));
    for (SubChartWidget *subChart : view->subCharts())
        QCOMPARE(subChart->view()->horizontalScrollBar()->value(), bar->value());
}

void TestMultiViewWidget::screenFitFollowsScrolling()
{
    // Monday's bars around 100, Friday's around 200: fitted to the screen, the scale shows the
    // prices of the day in view.
    Window w;
    SeriesItem *series = w.view->createDefaultSeriesItem(Arkt);
    fillDays(series, Monday, Monday, 100);
    fillDays(series, Friday, Friday, 200);
    settle(*w.view);
    auto *scale = qobject_cast<ParentScaleItem *>(series->parentChartItem());
    scale->setAutoScale(ParentScaleItem::Screen);
    const double height = w.view->subCharts().first()->scene()->height();
    auto middlePrice = [&] { return (scale->pos().y() - height / 2) / scale->verticalFactor(); };
    QScrollBar *bar = w.view->timeScrollBar();
    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();
    QVERIFY2(std::abs(middlePrice() - 200) < 5, qPrintable(QString::number(middlePrice())));
    bar->setValue(0);
    QCoreApplication::processEvents();
    QVERIFY2(std::abs(middlePrice() - 100) < 5, qPrintable(QString::number(middlePrice())));
}

void TestMultiViewWidget::keysAndWheel()
{
    Window w;
    w.addSeries(Arkt);
    MultiView *view = w.view;
    QScrollBar *bar = view->timeScrollBar();
    bar->setValue(0);
    QTest::keyClick(view, Qt::Key_Right);
    QVERIFY(bar->value() > 0);
    const int afterRight = bar->value();
    QTest::keyClick(view, Qt::Key_Left);
    QVERIFY(bar->value() < afterRight);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(bar->value(), bar->maximum());

    // A vertical wheel turn scrolls the time back.
    const QPoint centre = view->rect().center();
    QWheelEvent wheel(centre, view->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
    QVERIFY(bar->value() < bar->maximum());
}

void TestMultiViewWidget::barsLineUpWithTheTimeAxis()
{
    Window w;
    SeriesItem *series = w.addSeries(Arkt);
    MultiView *view = w.view;
    QScrollBar *bar = view->timeScrollBar();
    GraphicsView *graphics = view->subCharts().first()->view();
    // The plot area starts where the time axis starts.
    QCOMPARE(graphics->viewport()->mapTo(view, QPoint(0, 0)).x(),
             view->timeAxis()->viewport()->mapTo(view, QPoint(0, 0)).x());
    QCOMPARE(graphics->viewport()->width(), view->timeAxis()->viewport()->width());

    auto check = [&](const char *where) {
        const FrameIndex first = series->firstOnScreen();
        const FrameIndex last = series->lastOnScreen();
        QVERIFY2(first.isValid() && last.isValid(), where);
        for (const FrameIndex &index : {first, last}) {
            const double sceneX = series->mapToScene(series->xOf(index), 0).x();
            const int viewX = graphics->mapFromScene(QPointF(sceneX, 0)).x();
            const int axisX = view->timeAxis()->xOfIndex(int(std::lround(sceneX)));
            QVERIFY2(std::abs(viewX - axisX) <= 1,
                     qPrintable(QStringLiteral("%1: view %2, axis %3").arg(where).arg(viewX).arg(axisX)));
        }
    };
    bar->setValue(0);
    check("scroll 0");
    bar->setValue(bar->maximum() / 2);
    check("middle");
    bar->setValue(bar->maximum());
    check("maximum");
    // A scene narrower than the viewport hugs its right edge on both.
    for (int i = 0; i < 50; ++i)
        view->zoomX(false);
    QVERIFY(view->scenePixelWidth() < view->timeAxis()->viewport()->width());
    QVERIFY(view->emptyOffset() > 0);
    check("narrow scene");
}

void TestMultiViewWidget::axesKeepOneWidthAcrossPanes()
{
    Window w;
    w.addSeries(Arkt, 0.5);
    w.addSeries(Kstr, 0.5);
    MultiView *view = w.view;
    const QList<SubChartWidget *> panes = view->subCharts();
    QCOMPARE(panes.size(), 2);
    auto rightWidths = [&] {
        QList<int> widths;
        for (SubChartWidget *pane : view->subCharts())
            widths.append(pane->rightAxis()->width());
        return widths;
    };
    const int before = rightWidths().first();
    QCOMPARE(rightWidths().last(), before);

    // A price of 10,000 in the second pane only: both panes widen, in one layout batch.
    const int batches = view->layouts()->batches();
    fillDays(view->seriesItems().last(), Monday, Friday, 10000);
    settle(*view);
    // The axes widen once their labels are measured again, a turn or two of the event loop
    // after the data.
    QTRY_VERIFY2(rightWidths().first() > before,
                 qPrintable(QString::number(rightWidths().first())));
    const QList<int> after = rightWidths();
    QCOMPARE(after.last(), after.first());
    QVERIFY(view->layouts()->batches() > batches);
    QVERIFY(view->layouts()->batches() - batches <= 2);
    // Once settled the layouts stay put: no batch feeds the next.
    const int settled = view->layouts()->batches();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(view->layouts()->batches(), settled);
    QVERIFY(!view->layouts()->isBatchPending());
    // The time axis ends where the right axes begin.
    const int axisRight = view->timeAxis()->mapTo(view, QPoint(view->timeAxis()->width(), 0)).x();
    QCOMPARE(axisRight, panes.first()->rightAxis()->mapTo(view, QPoint(0, 0)).x());
}

void TestMultiViewWidget::placementChoices()
{
    Window w;
    SeriesItem *a = w.addSeries(Arkt);
    MultiView *view = w.view;
    MapSettings onOwnScale;
    onOwnScale.setValue(QStringLiteral("axis"), 1);
    ChartItem *x = view->addStudyFor(a, onOwnScale);
    ChartItem *y = view->addStudyFor(a, MapSettings());
    settle(*view);
    QCOMPARE(view->subCharts().size(), 2);
    QCOMPARE(SubChartWidget::of(x), SubChartWidget::of(a));

    // Y onto area 1's scale (its second choice, after a separate axis there): its own area
    // empties and goes.
    const QList<MultiView::Placement> choices = view->placementChoices(y);
    MapSettings map;
    view->applyPlacement(y, choices[1].subChart, choices[1].scale, map);
    flush();
    QCOMPARE(y->parentChartItem(), a->parentChartItem());
    QCOMPARE(view->subCharts().size(), 1);
    // X onto a separate axis of its own area, then into a new area.
    view->applyPlacement(x, view->subCharts().first(), nullptr, map);
    QVERIFY(x->parentChartItem() != a->parentChartItem());
    QCOMPARE(SubChartWidget::of(x), SubChartWidget::of(a));
    view->applyPlacement(x, nullptr, nullptr, map);
    flush();
    QCOMPARE(view->subCharts().size(), 2);
    QCOMPARE(SubChartWidget::of(x), view->subCharts().last());
}

void TestMultiViewWidget::projectionsAndSummary()
{
    Window w;
    w.addSeries(Arkt);
    w.addSeries(Kstr);
    MultiView *view = w.view;
    const QList<SubChartWidget *> panes = view->subCharts();
    panes.first()->view()->setFocus();
    QVERIFY(panes.first()->view()->hasFocus());
    QScrollBar *bar = view->timeScrollBar();
    bar->setValue(bar->maximum() / 2);

    QWidget *viewport = panes.first()->view()->viewport();
    const QPoint local(viewport->width() / 2 + 3, viewport->height() / 2);
    const QPoint global = viewport->mapToGlobal(local);
    const int expected = int(std::lround((bar->value() + local.x() - view->emptyOffset()) / view->scaleX()));
    // The view reads the pointer's place from the cursor, as it does under a real mouse.
    const auto pointerMoves = [&] {
        QCursor::setPos(global);
        QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, {});
        QCoreApplication::sendEvent(viewport, &move);
    };

    view->changeProjectionType(0);
    pointerMoves();
    for (SubChartWidget *pane : panes) {
        QCOMPARE(pane->scene()->projectionMode(), 0);
        QCOMPARE(pane->scene()->projectionX(), expected);
    }
    QVERIFY(view->timeAxis()->isCursorLabelShown());
    // Values only: the time label without the lines.
    view->changeProjectionType(2);
    pointerMoves();
    QVERIFY(view->timeAxis()->isCursorLabelShown());

    // The summary: date, time, then the items' texts; right edge 6 left of the cursor, top 5 below.
    view->showSummary(true);
    pointerMoves();
    SummaryWidget *summary = view->summary();
    QVERIFY(summary->isVisible());
    const QDateTime moment = view->synchronizer()->timeAt(expected).getDateTime();
    const QString text = summary->text();
    QVERIFY2(text.startsWith(QStringLiteral("Дата=%1\nВремя=%2\n")
                                 .arg(moment.date().toString(QStringLiteral("d.MM.yyyy")),
                                      moment.time().toString(QStringLiteral("hh:mm:ss")))),
             qPrintable(text));
    QVERIFY(!text.endsWith(QLatin1Char('\n')));
    const QPoint cursor = view->mapFromGlobal(global);
    QCOMPARE(summary->geometry().right() + 1, cursor.x() - 6);
    QCOMPARE(summary->geometry().top(), cursor.y() + 5);
    QVERIFY(summary->styleSheet().contains(QStringLiteral("background-color: rgb(0, 0, 0); color: rgb(255, 255, 255)")));
    keepImage(w.window.grab().toImage(), QStringLiteral("multiview-projections.png"));

    // Outside the time axis everything goes.
    view->redrawProjectionsAt(view->timeAxis()->viewport()->mapToGlobal(QPoint(-5, 0)));
    QCOMPARE(panes.first()->scene()->projectionMode(), 5);
    QVERIFY(!summary->isVisible());
    QVERIFY(!view->timeAxis()->isCursorLabelShown());
}

void TestMultiViewWidget::deletingItems()
{
    Window w;
    SeriesItem *first = w.addSeries(Arkt);
    MultiView *view = w.view;
    // All indicators, all drawings: the series stays.
    view->addStudyFor(first, MapSettings());
    view->addStudyFor(first, MapSettings());
    SubChartWidget *pane = view->subCharts().first();
    DrawingItem *line = pane->createDrawing(DrawingItem::HorLine, pane->scales().first(), QPointF(10, 10));
    pane->setUpItem(line);
    QVERIFY(view->hasStudies());
    QVERIFY(view->hasDrawings());
    view->delAllStudies();
    view->delAllDrawings();
    flush();
    QVERIFY(!view->hasStudies());
    QVERIFY(!view->hasDrawings());
    QCOMPARE(view->seriesItems().size(), 1);
}

void TestMultiViewWidget::volumeAndStudyServices()
{
    Window w;
    SeriesItem *series = w.addSeries(Arkt);
    MultiView *view = w.view;
    // Without indicator files, or without a "Volume" file: no indicator and no error.
    QCOMPARE(view->addVolume(series), nullptr);
    QVERIFY(view->addStudy().isEmpty());
    MultiView::Services services;
    services.findStudy = [](const QString &, MapSettings &) { return false; };
    int preselected = -1;
    services.chooseStudies = [&](QWidget *, const QStringList &names, int selected,
                                 const MapSettings &) {
        preselected = selected;
        return QList<MultiView::ChosenStudy>{{0, {}}, {int(names.size()) + 3, {}}};
    };
    MultiView::setServices(services);
    QCOMPARE(view->addVolume(series), nullptr);
    // A chosen indicator for a series that is not there is skipped.
    QCOMPARE(view->addStudy(view, series).size(), 1);
    QCOMPARE(preselected, 0);
    QCOMPARE(takeRefusal(view), QString());
}

void TestMultiViewWidget::userEntryPointsCatchErrors()
{
    {
        // A placement group no scale can have: no series and no empty area left behind.
        AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
        defaults.setValue(QStringLiteral("axisPos"), 7);
    }
    Window w;
    MultiView *view = w.view;
    QCOMPARE(view->createDefaultSeriesItem(Arkt), nullptr);
    QVERIFY(takeRefusal(view).contains(QStringLiteral("axisPos")));
    QVERIFY(view->subCharts().isEmpty());
    QVERIFY(!view->placeholder()->isHidden());

    // A margin out of range from a settings page keeps the current one.
    AppSettings(QStringLiteral("TechAnalysis/SeriesDefaultProperty")).setValue(QStringLiteral("axisPos"), 2);
    w.addSeries(Arkt);
    MapSettings options;
    view->saveViewSettings(options);
    options.setValue(QStringLiteral("rightMargin"), 20);
    view->applyViewSettings(options);
    QCOMPARE(view->synchronizer()->rightMargin(), 20);
    options.setValue(QStringLiteral("rightMargin"), QStringLiteral("abc"));
    options.setValue(QStringLiteral("gridColor"), QColor(Qt::green));
    QVERIFY_THROWS_EXCEPTION(QString, view->applyViewSettings(options));
    QCOMPARE(view->synchronizer()->rightMargin(), 20);
    QVERIFY(!view->applyDisplayOptions(options));
    QCOMPARE(takeRefusal(view), QStringLiteral("rightMargin"));
    QCOMPARE(view->color(QStringLiteral("gridColor")), QColor(Qt::green));

    // A property dialog for an item deleted while it was open applies nothing.
    MultiView::Services services;
    SeriesItem *series = view->seriesItems().first();
    services.editProperties = [](ChartItem *item, MultiView *, MapSettings &result) {
        delete item;
        result.setValue(QStringLiteral("lineWidth"), 3);
        return true;
    };
    MultiView::setServices(services);
    SeriesItem *other = w.addSeries(Kstr);
    view->changeItemProperties(other);
    flush();
    QCOMPARE(view->seriesItems(), QList<SeriesItem *>{series});
    QCOMPARE(takeRefusal(view), QStringLiteral("Объект был удалён, пока открыт диалог свойств"));
}

void TestMultiViewWidget::saveRestoreRoundTrip()
{
    MapSettings saved;
    {
        Window w(1000, 700);
        SeriesItem *a = w.addSeries(Arkt);
        w.addSeries(Kstr);
        MapSettings onOwnScale;
        onOwnScale.setValue(QStringLiteral("axis"), 1);
        w.view->addStudyFor(a, onOwnScale);
        w.view->addStudyFor(a, MapSettings());
        settle(*w.view);
        w.view->zoomX(true);
        w.view->changeProjectionType(2);
        w.view->showSummary(true);
        w.view->splitter()->setSizes({300, 200, 150});
        settle(*w.view);
        w.view->saveState(saved);
    }
    Window again(1000, 700);
    again.view->restoreState(saved);
    const QList<SeriesItem *> restored = again.view->seriesItems();
    QCOMPARE(restored.size(), 2);
    for (SeriesItem *series : restored)
        fillDays(series, Monday, Friday);
    QCOMPARE(again.view->subCharts().size(), 3);
    QVERIFY(again.view->restoreErrors().isEmpty());
    settle(*again.view);
    // Saved again, every value comes back (the zoom, the projection mode and the summary flag
    // among them), but the screen's range, which follows the restored window's bars.
    MapSettings resaved;
    again.view->saveState(resaved);
    const QVariantMap before = flatten(saved);
    const QVariantMap after = flatten(resaved);
    QCOMPARE(after.keys(), before.keys());
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (it.key().endsWith(QStringLiteral("leftScreen")) || it.key().endsWith(QStringLiteral("rightScreen")))
            continue;
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
}

void TestMultiViewWidget::restoreRefusesBadValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("error");
    QTest::newRow("viewCount missing") << "viewCount" << QVariant() << "viewCount";
    QTest::newRow("viewCount above the groups") << "viewCount" << QVariant(2000000000) << "viewCount";
    QTest::newRow("projectionType 6") << "projectionType" << QVariant(6) << "projectionType";
    QTest::newRow("projectionType text") << "projectionType" << QVariant("x") << "projectionType";
    QTest::newRow("rightMargin 101") << "rightMargin" << QVariant(101) << "rightMargin";
    QTest::newRow("rightMargin 100") << "rightMargin" << QVariant(100) << "";
    QTest::newRow("rightMargin text") << "rightMargin" << QVariant("ten") << "rightMargin";
    QTest::newRow("viewHeights text") << "viewHeights" << QVariant(QStringList{"12x"}) << "viewHeights";
    QTest::newRow("viewHeights missing") << "viewHeights" << QVariant() << "";
    QTest::newRow("viewHeights wrong length") << "viewHeights" << QVariant(QStringList{"100", "200"}) << "";
    QTest::newRow("a scale count") << "view_0/parentScaleCount" << QVariant(0)
                                   << "parentScaleCount";
    QTest::newRow("an item type") << "view_0/parentScale_0/item_0/type" << QVariant(3) << "type";
}

void TestMultiViewWidget::restoreRefusesBadValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    static const MapSettings saved = savedWindow();
    MapSettings state = saved;
    if (value.isValid())
        state.setValue(key, value);
    else
        state.remove(key);
    MultiView *view = nullptr;
    const QString text = restoreFailure(state, &view);
    if (!error.isEmpty() && !text.contains(error))
        QFAIL(qPrintable(QStringLiteral("expected %1, got '%2'").arg(error, text)));
    QCOMPARE(text.isEmpty(), error.isEmpty());
    // Either way the window is usable afterwards.
    if (!error.isEmpty())
        QVERIFY(view->createDefaultSeriesItem(Arkt));
    else
        QCOMPARE(view->subCharts().size(), 1);
}

void TestMultiViewWidget::restoreReadsSoftValues()
{
    static const MapSettings saved = savedWindow();
    for (const QVariant &scale : {QVariant(0), QVariant(-3.0), QVariant(std::nan("")),
                                  QVariant(std::numeric_limits<double>::infinity()), QVariant("x")}) {
        MapSettings state = saved;
        state.setValue(QStringLiteral("view_0/scaleX"), scale);
        Window w;
        w.view->restoreState(state);
        QCOMPARE(w.view->scaleX(), 9.0);
    }
    // A huge finite scale is taken, but the scene's width in pixels stays an int, as wide as
    // the time axis makes it.
    {
        MapSettings state = saved;
        state.setValue(QStringLiteral("view_0/scaleX"), 1e300);
        Window w;
        w.view->restoreState(state);
        QCOMPARE(w.view->scaleX(), 1e300);
        QVERIFY(w.view->scenePixelWidth() > 0);
        QCOMPARE(w.view->scenePixelWidth(), w.view->timeAxis()->sceneWidthInPixels());
        // A step of the scroll bar is a bar's width, capped the same way.
        QCOMPARE(w.view->scrollBar()->singleStep(), std::numeric_limits<int>::max() / 2);
    }
    // A fixed price scale keeps its factor positive: a stored zero or below would flatten the
    // prices or turn them upside down.
    for (const double factor : {0.0, -2.0}) {
        MapSettings state = saved;
        state.setValue(QStringLiteral("view_0/parentScale_0/autoScale"), 0);
        state.setValue(QStringLiteral("view_0/parentScale_0/scale"), factor);
        Window w;
        w.view->restoreState(state);
        QVERIFY(w.view->subCharts().first()->scales().first()->verticalFactor() > 0);
    }
    // The default colours of chart windows: a new window (no colours of its own) starts with
    // them, a stored colour that does not parse falls back to them, a window's own colour wins.
    auto defaults = DefaultSettings::createReadWrite(QStringLiteral("TAMainWindow"));
    defaults->setValue(QStringLiteral("gridColor"), QColor(1, 2, 3));
    defaults->setValue(QStringLiteral("timeAxisColor"), QStringLiteral("#203040"));
    const auto forget = qScopeGuard([] { AppSettings(QStringLiteral("Defaults/TAMainWindow")).remove(QString()); });
    Window fresh;
    MapSettings none;
    fresh.view->applyViewSettings(none);
    QCOMPARE(fresh.view->color(QStringLiteral("gridColor")), QColor(1, 2, 3));
    QCOMPARE(fresh.view->color(QStringLiteral("timeAxisColor")), QColor(0x20, 0x30, 0x40));
    MapSettings state = saved;
    state.setValue(QStringLiteral("gridColor"), QStringLiteral("not a colour"));
    state.setValue(QStringLiteral("subChartColor"), QColor(Qt::darkBlue));
    Window again;
    again.view->restoreState(state);
    QCOMPARE(again.view->color(QStringLiteral("gridColor")), QColor(1, 2, 3));
    QCOMPARE(again.view->subCharts().first()->scene()->backgroundBrush().color(), QColor(Qt::darkBlue));
    QVERIFY(again.view->summary()->styleSheet().contains(QStringLiteral("rgb(0, 0, 128); color: rgb(255, 255, 127)")));
}

void TestMultiViewWidget::droppedDrawingsGiveOneNotice()
{
    MapSettings saved;
    {
        Window w;
        w.addSeries(Arkt);
        SubChartWidget *pane = w.view->subCharts().first();
        DrawingItem *line = pane->createDrawing(DrawingItem::TrendLine, pane->scales().first(), QPointF(20, 50));
        line->setSceneP2(QPointF(40, 60));
        pane->setUpItem(line);
        w.view->saveState(saved);
    }
    // The same window a week later: its drawing lies before the shown period.
    const QString movedTo = Friday.addDays(7).toString(Qt::ISODate);
    saved.setValue(QStringLiteral("view_0/parentScale_0/item_0/dateTo"), movedTo);
    saved.setValue(QStringLiteral("view_0/parentScale_0/item_0/daysBack"), 2);
    for (bool say : {true, false}) {
        AppSettings(QStringLiteral("TechAnalysis/Confirmations")).setValue(QStringLiteral("sayDrawingsRemoved"), say);
        Window w;
        QSignalSpy notices(w.view, &MultiView::notice);
        w.view->restoreState(saved);
        QCOMPARE(w.view->seriesItems().size(), 1);
        QVERIFY(!w.view->hasDrawings());
        QCOMPARE(notices.count(), say ? 1 : 0);
        if (say)
            QCOMPARE(notices.first().first().toString(), MultiView::drawingsRemovedText());
        flush();
        QCOMPARE(w.view->splitter()->sizes().first(),
                 saved.value(QStringLiteral("viewHeights")).toStringList().value(0).toInt());
    }
}

TA_REGISTER_TEST(TestMultiViewWidget)

#include "tst_multiviewwidget.moc"
