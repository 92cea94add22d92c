// The chart area as a whole: sub-charts in the splitter over one time axis, driven through the
// slots the window's tool bars call.

#include "appsettings.h"
#include "colorsplitter.h"
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


// A window of one series saved, for restores to damage.
MapSettings savedWindow()
{
    Window w;
    w.addSeries(Arkt);
    MapSettings state;
    w.view->saveState(state);
    return state;
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
    void areaZoomKeepsTheBandInView();
    void scrollIsKeptAcrossZoomAndTimeFrame();
    void screenFitFollowsScrolling();
    void keysAndWheel();
    void barsLineUpWithTheTimeAxis();
    void axesKeepOneWidthAcrossPanes();
    void projectionsAndSummary();
    void saveRestoreRoundTrip();
    void restoreRefusesBadValues_data();
    void restoreRefusesBadValues();
    void restoreReadsSoftValues();

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
    // A viewport without width changes nothing and divides by nothing.
    view->timeAxis()->viewport()->resize(0, 20);
    view->increaseArea(QRect(100, 10, 10, 50));
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
    QAction coarser;
    coarser.setData(QVariant::fromValue(TimeFrameValue(300)));
    view->changeInstrumentTimeFrame(&coarser);
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
    QTest::newRow("no scales") << "view_0/parentScaleCount" << QVariant(0) << "parentScaleCount";
    QTest::newRow("scale count text") << "view_0/parentScaleCount" << QVariant("drei") << "parentScaleCount";
    QTest::newRow("a billion scales") << "view_0/parentScaleCount" << QVariant(1000000000) << "parentScaleCount";
    QTest::newRow("a second scale missing") << "view_0/parentScaleCount" << QVariant(2) << "parentScaleCount";
    QTest::newRow("no items") << "view_0/parentScale_0/itemsCount" << QVariant(0) << "itemsCount";
    QTest::newRow("a billion items") << "view_0/parentScale_0/itemsCount" << QVariant(1000000000LL) << "itemsCount";
    for (const int type : {-1, 3, 7})
        QTest::addRow("item type %d", type) << "view_0/parentScale_0/item_0/type" << QVariant(type) << "type";
    // A scale mode that does not exist is no damage: it reads as the screen fit.
    QTest::newRow("bad scale mode") << "view_0/parentScale_0/autoScale" << QVariant(9) << "";
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
    Window w;
    QString text;
    try {
        w.view->restoreState(state);
    } catch (const QString &thrown) {
        // Nothing half built stays behind.
        text = w.view->subCharts().isEmpty() ? thrown : QStringLiteral("sub-charts left after ") + thrown;
    }
    if (!error.isEmpty() && !text.contains(error))
        QFAIL(qPrintable(QStringLiteral("expected %1, got '%2'").arg(error, text)));
    QCOMPARE(text.isEmpty(), error.isEmpty());
    // Either way the window is usable afterwards.
    if (!error.isEmpty())
        QVERIFY(w.view->createDefaultSeriesItem(Arkt));
    else
        QCOMPARE(w.view->subCharts().size(), 1);
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
}

TA_REGISTER_TEST(TestMultiViewWidget)

#include "tst_multiviewwidget.moc"
