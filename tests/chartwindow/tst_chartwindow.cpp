// The chart window: its six tool bars kept in step with the chart area, the instruments it is
// opened for, its context menu and its saved state.

#include "appsettings.h"
#include "colorbutton.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "drawingservices.h"
#include "colorsplitter.h"
#include "multivertaxiswidget.h"
#include "vertreferenceaxiswidget.h"
#include "multiviewtesthelpers.h"
#include "subcharttesthelpers.h"
#include "icore.h"
#include "iviewprovider.h"
#include "tamainwindow.h"
#include "tamainwindowfactory.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "timeaxisscrollarea.h"
#include "hostwindow.h"
#include "windowmanager.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <cmath>
#include <functional>
#include <utility>

using namespace BarTest;

namespace {

using MultiViewTest::Friday;
using MultiViewTest::Monday;
const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");
const QString Velm = QStringLiteral("2,2,2003");

// Monday 2026-11-30 to Friday 2026-12-04, one session 10:00-11:00 a day.
void fillWeek(SeriesItem *series)
{
    fillDays(series, Monday, Friday);
}

// Closes alternating 100 and 110 minute by minute: every segment of a line crosses the pane.
void fillZigZag(SeriesItem *series)
{
    DealBatch batch(series->model(), 4, false);
    for (QDate day = Monday; day <= Friday; day = day.addDays(1)) {
        for (int m = 0; m < 60; ++m) {
            const char *p = m % 2 ? "110" : "100";
            ChartFixture::addBar(batch, t(day, 10, 0).addSecs(60 * m), p, "110", "100", p);
        }
    }
}

// Pixels of the colour in the rectangle of the image.
int countOf(const QImage &image, const QRect &rect, const QColor &color)
{
    int count = 0;
    const QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += QColor(image.pixel(x, y)) == color;
    }
    return count;
}

// A window opened for instruments as the terminal opens one.
std::unique_ptr<TAMainWindow> openFor(const QString &keys, void (*fill)(SeriesItem *) = fillWeek)
{
    auto window = std::make_unique<TAMainWindow>();
    window->setProperty("extraKey", keys);
    MapSettings none;
    window->applyViewSettings(none);
    for (SeriesItem *series : window->chartArea()->seriesItems())
        fill(series);
    window->resize(1000, 700);
    window->show();
    flush();
    return window;
}

// The saved state of a window opened for the instruments, with an indicator and a trend line
// on its first series, after `change` was made in it.
MapSettings savedWindow(const QString &keys,
                        const std::function<void(TAMainWindow *)> &change = {})
{
    auto window = openFor(keys);
    MultiView *view = window->chartArea();
    SeriesItem *series = view->seriesItems().first();
    MapSettings none, state;
    view->addStudyFor(series, none);
    auto *scale = qobject_cast<ParentScaleItem *>(series->parentChartItem());
    view->subCharts().first()->createDrawing(
        0, scale, series->mapToScene(QPointF(series->xOf({1, 10}), -105)));
    if (change)
        change(window.get());
    window->saveViewState(state);
    return state;
}

// Right-clicks a point of a widget as the mouse does; the texts of the menu that opens.
QStringList rightClickMenu(QWidget *widget, const QPoint &point)
{
    QStringList entries;
    QTimer::singleShot(0, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (QAction *action : menu->actions()) {
                if (!action->isSeparator())
                    entries.append(action->text());
            }
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, widget->mapToGlobal(point));
    QCoreApplication::sendEvent(widget, &event);
    return entries;
}

// The window factory as the plug-in offers it to the terminal.
class ChartViews : public QObject, public IViewProvider
{
    Q_OBJECT
    Q_INTERFACES(IViewProvider)
public:
    QList<IViewFactory *> factories() const override { return {m_factory}; }

private:
    TAMainWindowFactory *m_factory = new TAMainWindowFactory(this);
};

// The data manager as the chart sees it in these tests. Given a failure, the next model it is
// asked to cancel, register or fill throws that text, as a model that cannot be laid out does.
class FailingService : public RecordingService
{
public:
    void registerModel(SeriesDataModel *) override { fail(); }
    void fillModel(SeriesDataModel *model) override
    {
        RecordingService::fillModel(model);
        fail();
    }
    void cancelFillers(SeriesDataModel *model) override
    {
        RecordingService::cancelFillers(model);
        fail();
    }
    QString failure;

private:
    void fail()
    {
        if (!failure.isEmpty())
            throw std::exchange(failure, QString());
    }
};

// The terminal's window manager for one test; its chart windows close with it.
class Workspace : public WindowManager
{
public:
    Workspace() { IWindowManager::setInstance(this); }
    ~Workspace() override
    {
        closeAll();
        flush();
        IWindowManager::setInstance(nullptr);
    }
    TAMainWindow *chart(int i) const { return dynamic_cast<TAMainWindow *>(windows()[i]->view()); }
    MapSettings saveAndClose()
    {
        MapSettings workspace;
        saveWorkspace(workspace);
        closeAll();
        flush();
        return workspace;
    }
};

QAction *actionNamed(const QList<QAction *> &actions, const QString &text)
{
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class TestChartWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void toolBarFollowsTheCurrentItem();
    void projectionModesShowTheirValues_data();
    void projectionModesShowTheirValues();
    void lineStaysWholeInRepaintStrips();
    void drawingToolsDrawWithTheMouse();
    void stateRoundTrip();
    void dropsOnTheTimeAxis();
    void chartItemsStayInTheirWindow();
    void axisMenusCarryTheWindowEntries_data();
    void axisMenusCarryTheWindowEntries();
    void chosenInstrumentGetsAnEqualShare();
    void newestBarOnEveryFrame_data();
    void newestBarOnEveryFrame();
    void frameOfTooManyBarsIsRefused();
    void seriesSaysWhyItIsEmpty_data();
    void seriesSaysWhyItIsEmpty();
    void thrownTextReachesTheUser_data();
    void thrownTextReachesTheUser();

private:
    QTemporaryDir m_dir;
    FailingService m_service;
};

void TestChartWindow::initTestCase()
{
    Q_INIT_RESOURCE(ta);
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "chartwindow.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    registerTestMakers();
    // The window draws with the real tools.
    DrawingServices::install();
    ICore::instance()->addPlugin(new ChartViews);
    answerDeleteQuestionsYes();
}

void TestChartWindow::init()
{
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 60)}));
    storeSeriesDefaults(Friday, 5, 2);
    MultiView::setServices({});
}

void TestChartWindow::toolBarFollowsTheCurrentItem()
{
    auto window = openFor(Arkt);
    // "Опустить" and "Поднять" move the series' prices down the pane and back.
    SeriesItem *series = window->chartArea()->seriesItems().first();
    const auto heightOf = [series] { return series->mapToScene(QPointF(0, -105)).y(); };
    const double height = heightOf();
    actionNamed(window->verticalScaleActions(), QStringLiteral("Опустить"))->trigger();
    QVERIFY2(heightOf() > height,
             qPrintable(QStringLiteral("%1 -> %2").arg(height).arg(heightOf())));
    actionNamed(window->verticalScaleActions(), QStringLiteral("Поднять"))->trigger();
    QCOMPARE(heightOf(), height);
    QAction *minute = actionNamed(window->timeFrameActions(), QStringLiteral("1 мин"));
    QVERIFY(minute && minute->isChecked());

    // Another frame through the menu: the series follows and the check moves.
    window->timeFrameActions()[window->timeFrameActions().indexOf(minute) + 1]->trigger();
    flush();
    QCOMPARE(series->model()->timeFrame(), TimeFrameValue(120));
    QVERIFY(!minute->isChecked());

    // An indicator as the current item: no view modes, no frames.
    ChartItem *study = window->chartArea()->addStudyFor(series, {});
    study->setSelected(true);
    flush();
    for (QAction *action : window->viewModeActions())
        QVERIFY(!action->isEnabled() && !action->isChecked());
    for (QAction *action : window->timeFrameActions())
        QVERIFY(!action->isEnabled());

    // The only series cannot be deleted.
    series->setSelected(true);
    flush();
    QVERIFY(!window->deleteSelectedAction()->isEnabled());
}

void TestChartWindow::projectionModesShowTheirValues_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("price");
    QTest::addColumn<bool>("time");
    QTest::newRow("crosshair and values") << 0 << true << true;
    QTest::newRow("crosshair") << 1 << false << false;
    QTest::newRow("values") << 2 << true << true;
    QTest::newRow("horizontal line and value") << 3 << true << false;
    QTest::newRow("vertical line and value") << 4 << false << true;
}

// The pointer moved over a pane: the price mark on the pane's price axis at the pointer's
// height, the time label on the time axis under it, each when the mode shows that value.
void TestChartWindow::projectionModesShowTheirValues()
{
    QFETCH(int, mode);
    QFETCH(bool, price);
    QFETCH(bool, time);
    auto window = openFor(Arkt + QStringLiteral("|") + Kstr);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    MultiView *view = window->chartArea();
    window->projectionActions()[mode]->trigger();
    QCOMPARE(view->projectionMode(), mode);
    SubChartWidget *pane = view->subCharts().first();
    QWidget *viewport = pane->view()->viewport();
    QTRY_COMPARE(view->timeAxis()->viewport()->width(), viewport->width());
    pane->view()->setFocus();
    const QPoint local(viewport->width() / 2 + 3, viewport->height() / 3);
    const QPoint global = viewport->mapToGlobal(local);
    // The view reads the pointer's place from the cursor, as it does under a real mouse.
    QCursor::setPos(global);
    QTest::mouseMove(viewport, local);
    flush();

    // The mark: a frame in the axis' line colour across the axis, just above and below the
    // pointer's height.
    MultiVertAxisWidget *axis = pane->rightAxis();
    const QImage axisImage = axis->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int y = axis->mapFromGlobal(global).y();
    const auto edgeIn = [&](int from, int to) {
        for (int row = from; row <= to; ++row) {
            if (countOf(axisImage, QRect(0, row, axisImage.width(), 1), axis->lineColor())
                > axisImage.width() * 2 / 3)
                return true;
        }
        return false;
    };
    QCOMPARE(edgeIn(y - 20, y - 1) && edgeIn(y + 1, y + 20), price);

    // The label: a frame in the time axis' line colour around the pointer's x, its lower edge
    // below the axis' top line.
    TimeAxisScrollArea *timeAxis = view->timeAxis();
    const QImage timeImage = timeAxis->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int x = timeAxis->viewport()->mapFromGlobal(global).x();
    bool label = false;
    for (int row = 1; row < timeImage.height() && !label; ++row)
        label = countOf(timeImage, QRect(x - 60, row, 120, 1), timeAxis->lineColor()) >= 20;
    keepImage(window->grab().toImage(), QStringLiteral("projection-mode-%1.png").arg(mode));
    QCOMPARE(label, time);
}

// A line over a zig-zag, painted whole and then repainted strip by strip as the crosshair's
// bands are: each strip shows the same line, and the segment leaving the pane on the right is
// drawn up to its edge.
void TestChartWindow::lineStaysWholeInRepaintStrips()
{
    auto window = openFor(Arkt, fillZigZag);
    MultiView *view = window->chartArea();
    SeriesItem *series = view->seriesItems().first();
    series->setView(2);
    view->timeScrollBar()->setValue(view->timeScrollBar()->maximum() / 2);
    flush();
    QWidget *viewport = view->subCharts().first()->view()->viewport();
    const QImage whole = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
    keepImage(whole, QStringLiteral("line-whole.png"));
    const int height = whole.height();
    const int right = whole.width() - 1;
    // The line's pixels, antialiased ones too: greener than the grey grid and the background.
    const auto lineIn = [](const QImage &image, const QRect &rect) {
        int count = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c(image.pixel(x, y));
                count += c.green() > c.red() + 40;
            }
        }
        return count;
    };
    int strips = 0;
    for (int x = 7; x + 4 <= whole.width(); x += 29) {
        QImage part = whole.copy();
        part.fill(Qt::black);
        const QRect strip(x, 0, 4, height);
        viewport->render(&part, strip.topLeft(), QRegion(strip));
        const int painted = lineIn(whole, strip);
        QVERIFY2(painted > 20, qPrintable(QStringLiteral("strip at %1: %2").arg(x).arg(painted)));
        // Antialiasing may round an edge pixel differently; a cut segment loses whole runs.
        QVERIFY2(std::abs(lineIn(part, strip) - painted) <= 3,
                 qPrintable(QStringLiteral("strip at %1: %2 line pixels of %3")
                                .arg(x).arg(lineIn(part, strip)).arg(painted)));
        ++strips;
    }
    QVERIFY(strips > 20);
    QVERIFY2(lineIn(whole, QRect(right, 0, 1, height)) > 0, "no line at the right edge");
}

void TestChartWindow::drawingToolsDrawWithTheMouse()
{
    auto window = openFor(Arkt);
    const QList<QAction *> tools = window->drawingActions();
    window->lineWidthActions()[4]->trigger();
    window->colorButton()->setColor(Qt::magenta);

    // Each tool draws its kind: two clicks, one for the horizontal line; then it is released.
    // "Удалить всё рисование" is there from the first drawing, nothing selected, to the last.
    QAction *deleteAll = actionNamed(window->toolBars().first()->actions(),
                                     QStringLiteral("Удалить всё рисование"));
    QVERIFY(deleteAll && !deleteAll->isEnabled());
    SubChartWidget *pane = window->chartArea()->subCharts().value(0);
    QWidget *viewport = pane->view()->viewport();
    const QPoint centre = viewport->rect().center();
    const auto send = [viewport](QEvent::Type type, const QPoint &point, Qt::MouseButtons buttons) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, point, viewport->mapToGlobal(point), button, buttons, {});
        QCoreApplication::sendEvent(viewport, &event);
    };
    for (int kind = 0; kind < tools.size(); ++kind) {
        tools[kind]->trigger();
        const QPoint first = centre + QPoint(-100 + 20 * kind, 40);
        const QPoint second = first + QPoint(60, -80);
        send(QEvent::MouseButtonPress, first, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, first, Qt::NoButton);
        if (kind != DrawingItem::HorLine) {
            send(QEvent::MouseMove, second, Qt::NoButton);
            send(QEvent::MouseButtonPress, second, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, second, Qt::NoButton);
        }
        QVERIFY(!tools[kind]->isChecked());
        const QList<DrawingItem *> drawings = pane->drawings();
        QCOMPARE(drawings.size(), kind + 1);
        QCOMPARE(drawings.last()->kind(), kind);
        QCOMPARE(drawings.last()->drawingColor(), QColor(Qt::magenta));
        QCOMPARE(drawings.last()->lineWidth(), 5);
        QVERIFY2(deleteAll->isEnabled(), qPrintable(QString::number(kind)));
    }
    keepImage(window->grab().toImage(), QStringLiteral("chartwindow-drawings.png"));
    deleteAll->trigger();
    flush();
    QVERIFY(pane->drawings().isEmpty());
    QVERIFY(!deleteAll->isEnabled());
}

void TestChartWindow::stateRoundTrip()
{
    MapSettings state = savedWindow(Arkt + QStringLiteral("|") + Kstr, [](TAMainWindow *window) {
        window->projectionActions()[1]->trigger();
        window->summaryAction()->trigger();
        window->gridAction()->trigger();
        window->lineWidthActions()[2]->trigger();
        window->chartArea()->zoomX(true);
        QVERIFY(window->backScaleAction()->isEnabled());
    });
    QCOMPARE(state.value(QStringLiteral("drawingsWidth")).toInt(), 3);
    // The drawing colour as a settings file holds it, in text.
    state.setValue(QStringLiteral("drawingsColor"), QStringLiteral("#00ff00"));
    TAMainWindow window;
    window.restoreViewState(state);
    QCOMPARE(window.chartArea()->drawingColor(), QColor(Qt::green));
    QCOMPARE(window.instrumentKeys(), QStringList({Arkt, Kstr}));
    QVERIFY(window.projectionButton()->isChecked());
    QVERIFY(window.projectionActions()[1]->isChecked());
    QVERIFY(window.summaryAction()->isChecked());
    QVERIFY(!window.gridAction()->isChecked());
    QCOMPARE(window.currentLineWidth(), 3);
    QCOMPARE(window.chartArea()->drawingWidth(), 3);
    QCOMPARE(window.chartArea()->scaleX(), 11.0);
    // A window that has its areas only takes the display options.
    MapSettings options;
    options.setValue(QStringLiteral("showGrid"), true);
    window.restoreViewState(options);
    // Two instruments and the indicator, each in a pane of its own.
    QCOMPARE(window.chartArea()->subCharts().size(), 3);
    QVERIFY(window.chartArea()->isGridShown());
    // A bad value there is no one to answer: it goes to the events, not into a box.
    QSignalSpy notices(&window, &TAMainWindow::noticeShown);
    options.setValue(QStringLiteral("rightMargin"), QStringLiteral("abc"));
    window.restoreViewState(options);
    QCOMPARE(notices.size(), 1);
    QCOMPARE(notices.first().first().toString(), QStringLiteral("rightMargin"));
    QCOMPARE(takeRefusal(&window), QString());

    // A drawing whose own keys fail is dropped alone: the user hears that drawings went, and why.
    // A drawing colour or width that cannot be read leaves the window's own.
    for (const QString &key : state.allKeys()) {
        if (key.endsWith(QLatin1String("/y1")))
            state.setValue(key, QStringLiteral("abc"));
    }
    state.setValue(QStringLiteral("drawingsColor"), QStringLiteral("no colour"));
    state.setValue(QStringLiteral("drawingsWidth"), 11);
    TAMainWindow partial;
    const QColor factory = partial.colorButton()->color();
    QVERIFY(factory.isValid());
    QSignalSpy dropped(&partial, &TAMainWindow::noticeShown);
    partial.restoreViewState(state);
    QCOMPARE(dropped.size(), 2);
    QCOMPARE(dropped.last().first().toString(), SubChartWidget::badValue(QStringLiteral("y1")));
    QCOMPARE(partial.chartArea()->seriesItems().size(), 2);
    QVERIFY(partial.chartArea()->subCharts().first()->drawings().isEmpty());
    QCOMPARE(partial.chartArea()->drawingColor(), factory);
    QCOMPARE(partial.colorButton()->color(), factory);
    QCOMPARE(partial.currentLineWidth(), 1);
}

// The time axis takes what a pane takes: an instrument opens in a new pane, a chart item of the
// window moves into a new pane on an axis of the same side, and the moved series still tells
// the window its name.
void TestChartWindow::dropsOnTheTimeAxis()
{
    auto window = openFor(Arkt + QStringLiteral("|") + Kstr);
    MultiView *view = window->chartArea();
    TimeAxisScrollArea *axis = view->timeAxis();
    std::unique_ptr<QMimeData> instrument(securityData(Velm));
    QCOMPARE(offer(axis, instrument.get()), Qt::CopyAction);
    QCOMPARE(offer(axis, instrument.get(), QEvent::Drop), Qt::CopyAction);
    flush();
    QCOMPARE(view->subCharts().size(), 3);
    QCOMPARE(view->subCharts().last()->seriesItems().size(), 1);
    QCOMPARE(window->instrumentKeys(), QStringList({Arkt, Kstr, Velm}));

    SubChartWidget *source = view->subCharts().first();
    QPointer<SubChartWidget> guardSource(source);
    SeriesItem *moving = source->seriesItems().first();
    ChartItemMimeData item(moving, source->view(), view->windowId());
    QCOMPARE(offer(axis, &item), Qt::MoveAction);
    QCOMPARE(offer(axis, &item, QEvent::Drop), Qt::MoveAction);
    SubChartWidget *target = view->subCharts().last();
    QCOMPARE(target->seriesItems(), QList<SeriesItem *>{moving});
    QCOMPARE(target->axisPosition(qobject_cast<ParentScaleItem *>(moving->parentChartItem())), 2);
    // The drag's end empties the pane it left.
    source->afterItemMovedOut();
    flush();
    QVERIFY(!guardSource);
    QCOMPARE(view->subCharts().size(), 3);
    const QString other = SecurityDirectory::i()->nameById(2, 2, 2004);
    QVERIFY(!other.isEmpty() && !window->windowTitle().contains(other));
    moving->changeInstrument(SecurityDirectory::i()->textIdById(2, 2, 2004));
    flush();
    QVERIFY2(window->windowTitle().contains(other), qPrintable(window->windowTitle()));
}

// The terminal's chart windows share one top-level window: a chart item dragged from one into
// another is still refused there, on a pane and on the time axis.
void TestChartWindow::chartItemsStayInTheirWindow()
{
    Workspace windows;
    QMdiArea area;
    windows.setWindowArea(&area);
    QVERIFY(windows.openView("TAMainWindow", Arkt));
    QVERIFY(windows.openView("TAMainWindow", Kstr));
    area.resize(1600, 900);
    area.show();
    flush();
    TAMainWindow *first = windows.chart(0);
    TAMainWindow *second = windows.chart(1);
    QVERIFY(first && second);
    QCOMPARE(first->window(), second->window());
    SubChartWidget *source = first->chartArea()->subCharts().first();
    SeriesItem *moving = source->seriesItems().first();
    ChartItemMimeData data(moving, source->view(), first->chartArea()->windowId());
    GraphicsView *otherPane = second->chartArea()->subCharts().first()->view();
    QCOMPARE(offer(otherPane, &data), Qt::IgnoreAction);
    QCOMPARE(offer(otherPane, &data, QEvent::Drop), Qt::IgnoreAction);
    QCOMPARE(offer(second->chartArea()->timeAxis(), &data, QEvent::Drop), Qt::IgnoreAction);
    QCOMPARE(second->chartArea()->seriesItems().size(), 1);
    QCOMPARE(SubChartWidget::of(moving), source);
    // In its own window the item still moves.
    QCOMPARE(offer(first->chartArea()->timeAxis(), &data), Qt::MoveAction);
}

void TestChartWindow::axisMenusCarryTheWindowEntries_data()
{
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("own");
    QTest::newRow("left price axis") << "left" << "Отображать сетку";
    QTest::newRow("right price axis") << "right" << "Отображать сетку";
    QTest::newRow("time axis") << "time" << "Показывать дату";
}

// A right click on an axis opens the window's menu, as over the chart: the axis' own entries
// first, then the window's, each once.
void TestChartWindow::axisMenusCarryTheWindowEntries()
{
    QFETCH(QString, axis);
    QFETCH(QString, own);
    AppSettings(QStringLiteral("TechAnalysis/SeriesDefaultProperty")).setValue(QStringLiteral("axisPos"), 3);
    HostWindow host;
    auto *window = new TAMainWindow;
    window->setProperty("extraKey", Arkt);
    host.setView(window, "TAMainWindow");
    MapSettings none;
    window->applyViewSettings(none);
    fillWeek(window->chartArea()->seriesItems().first());
    host.resize(1000, 700);
    host.show();
    flush();
    SubChartWidget *pane = window->chartArea()->subCharts().first();
    QWidget *clicked = window->chartArea()->timeAxis()->viewport();
    if (axis == QLatin1String("left"))
        clicked = pane->leftAxis()->axes().value(0);
    else if (axis == QLatin1String("right"))
        clicked = pane->rightAxis()->axes().value(0);
    QVERIFY(clicked && clicked->isVisible());
    const QStringList entries = rightClickMenu(clicked, clicked->rect().center());
    const QString all = entries.join(QLatin1Char('|'));
    QVERIFY2(entries.value(0) == own, qPrintable(all));
    for (const char *entry : {"Менеджер объектов", "Панель 'Рисование'", "Настройки окна..."})
        QVERIFY2(entries.count(QString::fromUtf8(entry)) == 1, qPrintable(all));
    QVERIFY2(entries.count(own) == 1, qPrintable(all));
    // The date-row toggle shows what the axis shows.
    QCOMPARE(window->chartArea()->timeAxis()->showDateAction()->isChecked(),
             window->chartArea()->timeAxis()->showDate());
}

// An instrument added through the add-instrument menu's "Выбрать инструмент..." comes in a
// pane of its own with an equal share of the height, as the panes of a window opened for two.
void TestChartWindow::chosenInstrumentGetsAnEqualShare()
{
    Workspace windows;
    MultiView::Services services;
    services.chooseInstrument = [](QWidget *) { return Kstr; };
    MultiView::setServices(services);
    // A window of the last session, its pane heights restored.
    QVERIFY(windows.openView("TAMainWindow", Arkt));
    windows.windows().first()->show();
    flush();
    MapSettings workspace = windows.saveAndClose();
    QVERIFY(windows.restoreWorkspace(workspace).isEmpty());
    TAMainWindow *window = windows.chart(0);
    QVERIFY(window);
    fillWeek(window->chartArea()->seriesItems().first());
    windows.windows().first()->show();
    flush();

    QMenu *menu = window->findChild<TAAddSecurityMenu *>();
    QVERIFY(menu);
    Q_EMIT menu->aboutToShow();
    QAction *choose = menu->actions().value(menu->actions().size() - 1);
    QVERIFY(choose);
    QCOMPARE(choose->text(), QStringLiteral("Выбрать инструмент..."));
    for (int panes = 2; panes <= 3; ++panes) {
        choose->trigger();
        flush();
        QCOMPARE(window->chartArea()->seriesItems().size(), panes);
        const QList<int> sizes = window->chartArea()->splitter()->sizes();
        QCOMPARE(sizes.size(), panes);
        int total = 0;
        for (const int size : sizes)
            total += size;
        QVERIFY(total > 300);
        for (const int size : sizes)
            QVERIFY2(std::abs(size - total / panes) <= 1,
                     qPrintable(QStringLiteral("%1 of %2").arg(size).arg(total)));
    }
}

void TestChartWindow::newestBarOnEveryFrame_data()
{
    QTest::addColumn<TimeFrameValue>("frame");
    QTest::addColumn<int>("days");
    QTest::addColumn<bool>("onEnd");
    const QList<std::tuple<const char *, TimeFrameValue, int>> frames = {
        {"1 min", TimeFrameValue(60), 3},      {"1 h", TimeFrameValue(3600), 5},
        {"1 day", TimeFrameValue(86400), 10},  {"1 week", TimeFrameValue(604800), 30},
        {"1 month", TimeFrameValue(1, Month), 100}};
    for (const auto &[name, frame, days] : frames) {
        QTest::addRow("%s, at the end", name) << frame << days << true;
        QTest::addRow("%s, at the start", name) << frame << days << false;
    }
}

// The bar a trader looks at most, today's (this week's, this month's), in both placements:
// drawn, found under the cursor with its own values and day, selectable with a click, and
// painted by a repaint strip that starts just left of it. Pinned at Wednesday 28 October 2026
// 10:30, three days after the clocks went back in zones with daylight saving.
void TestChartWindow::newestBarOnEveryFrame()
{
    QFETCH(TimeFrameValue, frame);
    QFETCH(int, days);
    QFETCH(bool, onEnd);
    const QDate today(2026, 10, 28);
    PinnedClock clock(t(today, 10, 30));
    AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("barOnEnd"), onEnd);
    storeSeriesDefaults(today, days, 1);
    AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    frame.save(defaults);

    auto window = std::make_unique<TAMainWindow>();
    window->setProperty("extraKey", Arkt);
    MapSettings none;
    window->applyViewSettings(none);
    MultiView *view = window->chartArea();
    SeriesItem *series = view->seriesItems().first();
    {
        // Earlier days trade 100 to 105, this morning 150 to 155 up to 10:29.
        DealBatch batch(series->model(), 4, false);
        for (QDate day = today.addDays(1 - days); day <= today; day = day.addDays(1)) {
            if (day.dayOfWeek() > 5)
                continue;
            const bool now = day == today;
            for (int m = 0; m < (now ? 30 : 60); ++m)
                ChartFixture::addBar(batch, t(day, 10, 0).addSecs(60 * m), now ? "150" : "100",
                                     now ? "156" : "106", now ? "149" : "99", now ? "155" : "105");
        }
    }
    window->resize(1000, 700);
    window->show();
    flush();
    AppSettings(QStringLiteral("TechAnalysis/General")).remove(QStringLiteral("barOnEnd"));

    const FrameIndex last = series->lastIndex();
    QVERIFY(last.isValid());
    const TimeFrame bar = series->model()->bar(last);
    QCOMPARE(bar.close, decimal("155"));
    const datetime start = series->model()->frameTime(last, false);
    QCOMPARE(start, alignToFrame(frame, t(today, 10, 29)));

    // Drawn: the body's colour at the bar's x, a third of the way up its body.
    SubChartWidget *pane = view->subCharts().first();
    GraphicsView *graphicsView = pane->view();
    QWidget *viewport = graphicsView->viewport();
    // Once the price axis took the width of its labels, the time axis lies under the pane.
    QTRY_COMPARE(view->timeAxis()->viewport()->width(), viewport->width());
    const QPointF scenePoint = series->mapToScene(QPointF(series->xOf(last), -152.5));
    const QPoint point = graphicsView->mapFromScene(scenePoint);
    QVERIFY2(viewport->rect().contains(point), qPrintable(QStringLiteral("(%1, %2) is off the pane")
                                                               .arg(point.x()).arg(point.y())));
    const QImage image = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
    keepImage(image, QStringLiteral("newest-bar-%1-%2.png").arg(frame.toString(), onEnd ? "end" : "start"));
    QCOMPARE(QColor(image.pixel(point)), series->candleView().upColor);

    // Found under the cursor: the summary names the bar's values and, for a day or longer,
    // its own day; shorter bars show the moment at their x.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    graphicsView->setFocus();
    view->showSummary(true);
    view->redrawProjectionsAt(viewport->mapToGlobal(point));
    const QString text = view->summary()->text();
    QVERIFY2(view->summary()->isVisible() && text.contains(QStringLiteral("O=%1\n").arg(bar.open.toString())),
             qPrintable(text));
    const QDateTime moment = series->model()->frameTime(last, onEnd).getDateTime();
    const bool dayOrLonger = frame.kind != Interval || frame.value >= 86400;
    const QString date = (dayOrLonger ? start.getDate() : moment.date()).toString(QStringLiteral("d.MM.yyyy"));
    QVERIFY2(text.startsWith(QStringLiteral("Дата=%1\n").arg(date)), qPrintable(text));
    if (!dayOrLonger)
        QVERIFY2(text.contains(QStringLiteral("Время=%1\n").arg(moment.time().toString(QStringLiteral("hh:mm:ss")))),
                 qPrintable(text));

    // A click on it selects the series.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, point);
    QVERIFY(series->isSelected());
    pane->scene()->clearSelection();

    // A repaint strip from a third of a body left of a bar paints the bar: the newest one, and
    // the last of the session before it.
    const double h = series->barHalfWidth();
    const double ppu = view->scaleX();
    const QRectF visible = graphicsView->mapToScene(viewport->rect()).boundingRect();
    const auto paintedFromLeftOf = [&](const FrameIndex &index, double price) {
        const QPointF at = series->mapToScene(QPointF(series->xOf(index), -price));
        const QRectF strip(at.x() - h / 3, visible.top(),
                           std::abs(series->unitsPerBarCached()) * 2.0, visible.height());
        QImage part(int(std::ceil(strip.width() * ppu)), viewport->height(), QImage::Format_RGB32);
        part.fill(Qt::black);
        QPainter painter(&part);
        pane->scene()->render(&painter, QRectF(0, 0, part.width(), part.height()), strip,
                              Qt::IgnoreAspectRatio);
        const int y = int(std::lround((at.y() - strip.top()) * part.height() / strip.height()));
        return QColor(part.pixel(int(std::floor(h / 3 * ppu)) + 1, y));
    };
    QCOMPARE(paintedFromLeftOf(last, 152.5), series->candleView().upColor);
    if (last.chunk > 0) {
        const FrameIndex before(last.chunk - 1, int(series->bars()[size_t(last.chunk - 1)].size()) - 1);
        QVERIFY(series->barAt(before).isValid());
        QCOMPARE(paintedFromLeftOf(before, 102.5), series->candleView().upColor);
    }
}

// One-second bars of five thousand days: 12.8 million slots of an hour a trading day, over
// the limit of ten million. The tool bar's choice is refused with the reason, the series keeps its
// frame and the tool bar shows it.
void TestChartWindow::frameOfTooManyBarsIsRefused()
{
    storeSeriesDefaults(Friday, 5000, 2);
    auto window = openFor(Arkt);
    SeriesItem *series = window->chartArea()->seriesItems().first();
    QAction *second = nullptr;
    for (QAction *action : window->timeFrameActions()) {
        if (action->data().value<TimeFrameValue>() == TimeFrameValue(1))
            second = action;
    }
    QVERIFY(second);
    second->trigger();
    flush();
    QCOMPARE(series->model()->timeFrame(), TimeFrameValue(60));
    QVERIFY(!second->isChecked());
    auto *box = window->findChild<QMessageBox *>(QStringLiteral("refusal"));
    QVERIFY(box);
    // 3,560 trading days of 3,600 seconds: the shipped calendar's holidays trade no bars.
    QCOMPARE(box->text(), QStringLiteral("Слишком большой диапазон: 12 816 000 баров при "
                                         "допустимых 10 000 000. Уменьшите период или увеличьте "
                                         "таймфрейм."));
    box->close();
    QCOMPARE(series->model()->validBarCount(), 300);
}

void TestChartWindow::seriesSaysWhyItIsEmpty_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("status");
    QTest::newRow("too many bars restored") << "range" << "Слишком большой диапазон: ";
    QTest::newRow("no sessions") << "no sessions" << "Нет торговых сессий";
    QTest::newRow("schedule refused") << "bad schedule" << "Schedule_EQ: ";
}

// A window restored with a series that cannot be laid out keeps the series, empty, with the
// reason in its status line, and keeps its indicator and drawing.
void TestChartWindow::seriesSaysWhyItIsEmpty()
{
    QFETCH(QString, problem);
    QFETCH(QString, status);
    MapSettings state = savedWindow(Arkt);
    if (problem == QLatin1String("range")) {
        for (const QString &key : state.allKeys()) {
            if (key.endsWith(QLatin1String("/timeFrameValue")) && key.contains(QLatin1String("item_0")))
                state.setValue(key, 1);
            if (key.endsWith(QLatin1String("/daysBack")))
                state.setValue(key, 5000);
        }
    } else if (problem == QLatin1String("no sessions")) {
        setSchedule({});
    } else {
        AppSettings(QStringLiteral("TechAnalysis/Schedule_EQ")).setValue(QStringLiteral("length_1"),
                                                                         QStringLiteral("30:00"));
    }
    TAMainWindow window;
    window.restoreViewState(state);
    window.resize(1000, 700);
    window.show();
    flush();
    MultiView *view = window.chartArea();
    QCOMPARE(view->seriesItems().size(), 1);
    SeriesItem *series = view->seriesItems().first();
    QCOMPARE(series->model()->totalBarCount(), 0);
    QVERIFY2(series->statusText().startsWith(status), qPrintable(series->statusText()));
    // The status line shows it.
    bool shown = false;
    for (QLineEdit *edit : window.findChildren<QLineEdit *>())
        shown = shown || (edit->isVisible() && edit->text() == series->statusText());
    QVERIFY(shown);
    qsizetype studies = 0, drawings = 0;
    for (SubChartWidget *pane : view->subCharts()) {
        studies += pane->studies().size();
        drawings += pane->drawings().size();
    }
    QCOMPARE(studies, 1);
    QCOMPARE(drawings, 1);
}

void TestChartWindow::thrownTextReachesTheUser_data()
{
    QTest::addColumn<QString>("entry");
    for (const char *entry : {"refresh", "time frame", "instrument sub-menu", "instrument drop",
                              "instrument drop on the time axis",
                              "properties: time frame", "properties: range", "add indicator",
                              "new window"})
        QTest::newRow(entry) << QString::fromLatin1(entry);
}

// A text the model layer throws under a user's command is shown over the window; the chart
// keeps what it had, and the same command given again does its work.
void TestChartWindow::thrownTextReachesTheUser()
{
    QFETCH(QString, entry);
    MultiView::Services services;
    services.editProperties = [&](ChartItem *, MultiView *, MapSettings &result) {
        if (entry.endsWith(QLatin1String("time frame"))) {
            TimeFrameValue(300).save(result);
        } else {
            result.setValue(QStringLiteral("toCurrDate"), false);
            result.setValue(QStringLiteral("dateTo"), Friday.toString(Qt::ISODate));
            result.setValue(QStringLiteral("daysBack"), 2);
        }
        return true;
    };
    // An indicator whose stored settings its item refuses, the first time.
    QString studyFailure;
    services.chooseStudies = [&](QWidget *, const QStringList &, int, const MapSettings &) {
        MapSettings settings;
        if (!std::exchange(studyFailure, QString()).isEmpty())
            settings.setValue(QStringLiteral("lineWidth"), QStringLiteral("abc"));
        return QList<MultiView::ChosenStudy>{{0, settings}};
    };
    MultiView::setServices(services);
    auto window = openFor(Arkt);
    SeriesItem *series = window->chartArea()->seriesItems().first();
    QAction *refresh = nullptr;
    QAction *addStudy = nullptr;
    for (QToolBar *bar : window->toolBars()) {
        refresh = refresh ? refresh : actionNamed(bar->actions(), QStringLiteral("Перестроить"));
        addStudy = addStudy ? addStudy : actionNamed(bar->actions(), QStringLiteral("Добавить индикатор"));
    }
    QAction *fiveMinutes = actionNamed(window->timeFrameActions(), QStringLiteral("5 мин"));
    QVERIFY(refresh && addStudy && fiveMinutes);
    const QString other = SecurityDirectory::i()->textIdById(2, 2, 2002);
    QVERIFY(!other.isEmpty());
    std::unique_ptr<QMimeData> dropped(securityData(Kstr));
    std::unique_ptr<TAMainWindow> opened;
    // The window the command was given in.
    auto command = [&]() -> TAMainWindow * {
        if (entry == QLatin1String("new window")) {
            opened = openFor(Kstr);
            return opened.get();
        }
        if (entry == QLatin1String("refresh"))
            refresh->trigger();
        else if (entry == QLatin1String("time frame"))
            fiveMinutes->trigger();
        else if (entry == QLatin1String("instrument sub-menu"))
            series->changeInstrument(other);
        else if (entry == QLatin1String("add indicator"))
            addStudy->trigger();
        else if (entry == QLatin1String("instrument drop"))
            offer(window->chartArea()->subCharts().first()->view(), dropped.get(), QEvent::Drop);
        else if (entry == QLatin1String("instrument drop on the time axis"))
            offer(window->chartArea()->timeAxis(), dropped.get(), QEvent::Drop);
        else
            window->chartArea()->changeItemProperties(series);
        flush();
        return window.get();
    };
    const SeriesKey key = series->model()->seriesKey();
    const QDate from = series->model()->dateFrom();
    const int fills = m_service.fills;

    auto itemCount = [&] {
        qsizetype count = 0;
        for (SubChartWidget *pane : window->chartArea()->subCharts())
            count += pane->chartItems().size();
        return count;
    };
    const bool study = entry == QLatin1String("add indicator");
    const QString failure = study ? SubChartWidget::badValue(QStringLiteral("lineWidth"))
                                  : QStringLiteral("Расписание не удовлетворяет требованиям");
    (study ? studyFailure : m_service.failure) = failure;
    TAMainWindow *target = command();
    QVERIFY(m_service.failure.isEmpty() && studyFailure.isEmpty());
    QCOMPARE(takeRefusal(target), failure);
    QCOMPARE(itemCount(), 1);
    QCOMPARE(series->model()->timeFrame(), TimeFrameValue(60));
    QCOMPARE(series->model()->seriesKey(), key);
    QCOMPARE(series->model()->dateFrom(), from);
    QCOMPARE(window->chartArea()->seriesItems(), QList<SeriesItem *>{series});
    QCOMPARE(target->chartArea()->seriesItems().size(), target == window.get() ? 1 : 0);
    if (entry != QLatin1String("refresh"))
        QCOMPARE(series->model()->validBarCount(), 300);
    QVERIFY(!fiveMinutes->isChecked());

    target = command();
    QCOMPARE(takeRefusal(target), QString());
    if (entry == QLatin1String("refresh"))
        QVERIFY(m_service.fills > fills);
    else if (entry.endsWith(QLatin1String("time frame")))
        QCOMPARE(series->model()->timeFrame(), TimeFrameValue(300));
    else if (entry == QLatin1String("properties: range"))
        QCOMPARE(series->model()->dateFrom(), Friday.addDays(-1));
    else if (entry == QLatin1String("instrument sub-menu"))
        QCOMPARE(series->model()->seriesKey(), SeriesKey::fromString(Kstr));
    else if (study)
        QCOMPARE(itemCount(), 2);
    else
        QCOMPARE(target->chartArea()->seriesItems().size(), target == window.get() ? 2 : 1);
}

TA_REGISTER_TEST(TestChartWindow)

#include "tst_chartwindow.moc"
