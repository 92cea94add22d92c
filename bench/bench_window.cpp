// A whole chart window of 1600 x 900 pixels with its tool bars: a pan step over three panes of
// 100,000 one-minute bars each (beside a plain repaint of the same area), the crosshair moving
// over those panes drawn as lines in every projection mode (beside a plain repaint of the panes,
// with a check that its repaint bands leave no gap in the lines), a live trade that
// changes the last bar (beside repainting the panes in full), the first frame of a one-day chart
// over ten years (beside a repaint of it), and, through the history service on loopback,
// "ta-tool snapshot" of 30 days of one-minute history (beside "ta-tool export" of the same
// data, the data path alone) and the day change of a window of three panes of 100,000
// one-minute bars with five indicators, from the new-day signal to the first frame in which
// every pane is painted (beside a repaint of the panes), then until the bars are back. With
// --crosshair the run stops after the crosshair part.
#include "benchhelpers.h"
#include "chartbench.h"
#include "subcharttesthelpers.h"
#include "windowbench.h"
#include "hdxtransport.h"
#include "icore.h"
#include "referencedata.h"
#include "scriptstudyitem.h"
#include "seriesdatamanager.h"
#include "studyservices.h"
#include "tamainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QScreen>
#include <QPaintEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int Width = 1600;
constexpr int Height = 900;
const QDate LastDay(2026, 11, 24); // the Tuesday before the run's Wednesday

void setSeriesRange(int days)
{
    storeSeriesDefaults(LastDay, days, 2);
}

class PaintArea : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            for (const QRect &r : static_cast<QPaintEvent *>(event)->region()) {
                area += double(r.width()) * r.height();
                if (qEnvironmentVariableIsSet("TA_BENCH_RECTS"))
                    std::printf("  painted %d,%d %dx%d\n", r.x(), r.y(), r.width(), r.height());
            }
        }
        return false;
    }
    double area = 0;
};

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Milliseconds of a run of the tool, and what it printed on standard error.
double runTool(const QStringList &arguments, QString *errors)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tool.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ta-tool"), arguments);
    tool.waitForFinished(120000);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *errors = QString::fromLocal8Bit(tool.readAllStandardError());
    return tool.exitCode() == 0 ? ms : -1;
}

// Counts the paint events of every pane since the last reset.
class PanesPainted : public QObject
{
public:
    explicit PanesPainted(MultiView *view)
    {
        for (SubChartWidget *pane : view->subCharts()) {
            pane->view()->viewport()->installEventFilter(this);
            m_painted.insert(pane->view()->viewport(), false);
        }
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted[watched] = true;
        return false;
    }
    void reset()
    {
        for (auto it = m_painted.begin(); it != m_painted.end(); ++it)
            it.value() = false;
    }
    bool all() const
    {
        for (const bool painted : m_painted)
            if (!painted)
                return false;
        return true;
    }

private:
    QHash<QObject *, bool> m_painted;
};

// Milliseconds until every pane of the window painted, the events processed meanwhile.
double untilPainted(PanesPainted &painted, const QElapsedTimer &since)
{
    while (!painted.all() && since.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return double(since.nsecsElapsed()) / 1e6;
}

// A window of one-day candles over ten years: from its making to its first complete frame.
void firstFrameOfTenYears()
{
    const QDate last(2026, 11, 24);
    AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    storeSeriesDefaults(last, 3653, 2);
    TimeFrameValue(86400).save(defaults);
    QElapsedTimer timer;
    timer.start();
    TAMainWindow window;
    window.setProperty("extraKey", QStringLiteral("2,2,2001"));
    MapSettings none;
    window.applyViewSettings(none);
    SeriesItem *series = window.chartArea()->seriesItems().first();
    int bars = 0;
    {
        DealBatch batch(series->model(), 4, false);
        for (QDate day = last.addDays(-3652); day <= last; day = day.addDays(1)) {
            if (day.dayOfWeek() > 5)
                continue;
            const int wave = (bars++ * 7) % 200;
            const QByteArray close = QByteArray::number(1000 + wave / 10.0, 'f', 1);
            ChartFixture::addBar(batch, Bench::minuteOf(day, 0), close.constData(),
                                 QByteArray::number(1021 + wave / 10.0, 'f', 1).constData(),
                                 QByteArray::number(979 + wave / 10.0, 'f', 1).constData(),
                                 close.constData());
        }
    }
    window.resize(Width, Height);
    PanesPainted painted(window.chartArea());
    window.show();
    const double first = untilPainted(painted, timer);
    const double repaint = Bench::msPer(20, [&](int) {
        window.chartArea()->subCharts().first()->view()->viewport()->repaint();
    });
    std::printf("%-46s %10.3f %10.3f %8.2f   (%d day candles; a repaint of the pane)\n",
                "first frame of a 1-day chart over 10 years", first, repaint, first / repaint, bars);
    defaults.remove(QString());
}

// A window following today, three panes of 100,000 one-minute bars from the history service
// with five indicators, across midnight.
void dayChange(QTemporaryDir &dir)
{
    QProcess server;
    if (!BarTest::startHistoryService(server)) {
        std::printf("history service did not start\n");
        return;
    }
    qputenv("TA_DATA_DIR", dir.filePath(QStringLiteral("daychange")).toLocal8Bit());
    SeriesDataService::setInstance(nullptr);
    HdxTransport transport;
    ICore::instance()->addPlugin(&transport);
    StudyServices::install();
    {
        AppSettings ta(QStringLiteral("TechAnalysis"));
        ta.remove(QString());
        ReferenceData::writeScheduleSettings(ta);
    }
    AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    defaults.remove(QString());
    TimeFrameValue(60).save(defaults);
    defaults.setValue(QStringLiteral("toCurrDate"), true);
    defaults.setValue(QStringLiteral("daysBack"), 276);
    defaults.setValue(QStringLiteral("axisPos"), 2);
    defaults.setValue(QStringLiteral("autoScale"), 2);
    {
        TAMainWindow window;
        window.setProperty("extraKey", QStringLiteral("2,2,2001|2,2,2002|2,2,2003"));
        MapSettings none;
        window.applyViewSettings(none);
        MultiView *view = window.chartArea();
        const QList<SeriesItem *> series = view->seriesItems();
        const auto filled = [&] {
            for (SeriesItem *s : series)
                if (SeriesDataManager::instance()->isFilling(s->model()))
                    return false;
            return true;
        };
        QElapsedTimer loading;
        loading.start();
        while (!filled() && loading.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const char *names[] = {"SMA", "EMA", "Bollinger", "RSI", "MACD"};
        for (int i = 0; i < 5; ++i) {
            MapSettings settings;
            if (!StudyServices::findStudy(QString::fromLatin1(names[i]), settings))
                std::printf("no indicator %s\n", names[i]);
            settings.setValue(QStringLiteral("axis"), 1);
            try {
                view->addStudyFor(series.at(i % series.size()), settings);
            } catch (const QString &error) {
                std::printf("%s: %s\n", names[i], qPrintable(error));
            }
        }
        window.resize(Width, Height);
        window.show();
        settle();
        int bars = 0;
        for (SeriesItem *s : series)
            bars = qMax(bars, s->model()->validBarCount());
        PanesPainted painted(view);
        const double repaint = Bench::msPer(10, [&](int) {
            painted.reset();
            for (SubChartWidget *pane : view->subCharts())
                pane->view()->viewport()->update();
            QElapsedTimer t;
            t.start();
            untilPainted(painted, t);
        });

        // Midnight.
        hostclock::freezeAt(datetime(datetime::today().addDays(1)).addSecs(1));
        painted.reset();
        QElapsedTimer timer;
        timer.start();
        ICore::instance()->announceNewDay();
        const double signal = double(timer.nsecsElapsed()) / 1e6;
        const double frame = untilPainted(painted, timer);
        while (!filled() && timer.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        settle();
        const double back = double(timer.nsecsElapsed()) / 1e6;
        std::printf("%-46s %10.3f %10.3f %8.2f   (%d bars a pane, 5 indicators; the signal's own "
                    "call %.1f ms)\n",
                    "day change until every pane painted", frame, repaint, frame / repaint, bars,
                    signal);
        std::printf("%-46s %10.0f\n", "day change until the bars are back", back);
    }
    SeriesDataManager::destroyInstance();
    ICore::instance()->removePlugin(&transport);
    server.kill();
    server.waitForFinished();
}

// What the window's backing store holds: partial repaints leave their marks in it.
QImage shown(QWidget *window)
{
    return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The pointer moving over the middle pane, a few pixels a step, in every projection mode, over
// lines: the mouse-move handler's own time, and the painting it leaves for the event loop.
// Then the panes after the crosshair's repaint bands, against a full repaint of them.
void crosshairMoves(QWidget *window, MultiView *view)
{
    for (SeriesItem *series : view->seriesItems())
        series->setView(2);
    settle();
    QList<QWidget *> viewports;
    for (SubChartWidget *pane : view->subCharts())
        viewports.append(pane->view()->viewport());
    GraphicsView *middle = view->subCharts().at(view->subCharts().size() / 2)->view();
    QWidget *viewport = middle->viewport();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        std::printf("the window did not become active\n");
    middle->setFocus();
    settle();
    const int moves = 400;
    const auto at = [&](int i) {
        return QPoint(40 + (i * 7) % (viewport->width() - 80), 30 + (i * 3) % (viewport->height() - 60));
    };
    const auto move = [&](int i) {
        const QPoint local = at(i);
        const QPoint global = viewport->mapToGlobal(local);
        QCursor::setPos(global);
        QMouseEvent event(QEvent::MouseMove, QPointF(local), QPointF(global), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    const double baseline = Bench::msPer(100, [&](int) {
        for (QWidget *v : viewports)
            v->update();
        QCoreApplication::processEvents();
    });
    const char *names[] = {"crosshair and values", "crosshair", "values",
                           "horizontal line and value", "vertical line and value"};
    for (int mode = 0; mode < 5; ++mode) {
        view->changeProjectionType(mode);
        move(0);
        settle();
        QElapsedTimer timer;
        qint64 handler = 0;
        qint64 paint = 0;
        for (int i = 1; i <= moves; ++i) {
            timer.start();
            move(i);
            handler += timer.nsecsElapsed();
            timer.start();
            QCoreApplication::processEvents();
            paint += timer.nsecsElapsed();
        }
        const double perMove = double(handler + paint) / 1e6 / moves;
        std::printf("%-46s %10.3f %10.3f %8.2f   (handler %.3f + paint %.3f ms; %s)\n",
                    qPrintable(QStringLiteral("crosshair move over 3 panes, mode %1").arg(mode)),
                    perMove, baseline, perMove / baseline, double(handler) / 1e6 / moves,
                    double(paint) / 1e6 / moves, names[mode]);
    }

    // Gaps: the crosshair's bands repainted over the lines, zoomed in to a few pixels a bar,
    // then the crosshair gone; the panes' pixels against a full repaint.
    view->changeProjectionType(5);
    for (int i = 0; i < 4; ++i)
        view->zoomX(true);
    settle();
    const auto repaintAll = [&] {
        window->update();
        for (QWidget *child : window->findChildren<QWidget *>())
            child->update();
        settle();
    };
    repaintAll();
    const QImage before = shown(window);
    view->changeProjectionType(4);
    for (int i = 0; i < moves; ++i) {
        move(i);
        QCoreApplication::processEvents();
    }
    view->changeProjectionType(5);
    settle();
    const QImage after = shown(window);
    int differ = 0;
    int total = 0;
    for (QWidget *v : viewports) {
        const QRect r(v->mapTo(window, QPoint(0, 0)), v->size());
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                differ += before.pixel(x, y) != after.pixel(x, y);
                ++total;
            }
        }
    }
    std::printf("%-46s %10d %10d   (%s; %.1f px a bar)\n", "pane pixels changed by the crosshair's moves",
                differ, total, differ == 0 ? "no gap in the lines" : "GAPS in the lines",
                view->scaleX() * std::abs(view->seriesItems().first()->unitsPerBarCached()));
    view->defaultScaleX();
    for (SeriesItem *series : view->seriesItems())
        series->setView(0);
    settle();
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::quietPlatformNotes();
    QApplication app(argc, argv);
    Bench::ChartBench bench;
    if (!bench.isReady())
        return 2;
    Bench::storeSchedule(Bench::weekdays({{600, Bench::BarsPerDay}}));
    registerTestMakers();

    std::printf("chart window %d x %d pixels with its tool bars, one-minute bars\n\n", Width, Height);
    std::printf("%-46s %10s %10s %8s\n", "", "ms", "baseline", "ratio");
    {
        setSeriesRange(267);
        TAMainWindow window;
        window.setProperty("extraKey", QStringLiteral("2,2,2001|2,2,2002|2,2,2003"));
        MapSettings none;
        window.applyViewSettings(none);
        int bars = 0;
        for (SeriesItem *series : window.chartArea()->seriesItems())
            bars = Bench::fillWeekdays(series, LastDay, 267);
        window.resize(Width, Height);
        window.show();
        settle();
        window.chartArea()->synchronizer()->update();
        settle();
        MultiView *view = window.chartArea();
        QScrollBar *bar = view->timeScrollBar();
        bar->setValue(bar->maximum() / 2);
        settle();
        const int step = qMax(1, int(view->scaleX()));
        const double pan = Bench::msPer(200, [&](int i) {
            bar->setValue(bar->value() + (i % 2 ? step : -step));
            QCoreApplication::processEvents();
        });
        const double full = Bench::msPer(100, [&](int) {
            window.update();
            for (QWidget *child : window.findChildren<QWidget *>())
                child->update();
            QCoreApplication::processEvents();
        });
        std::printf("%-46s %10.3f %10.3f %8.2f   (the whole window repainted)\n",
                    qPrintable(QStringLiteral("pan one bar, 3 panes of %1 bars").arg(bars)), pan,
                    full, pan / full);

        // The crosshair over the same three panes, beside a plain repaint of the panes.
        std::printf("%-46s %10s %10s %8s\n", "", "ms", "repaint", "ratio");
        crosshairMoves(&window, view);
        if (app.arguments().contains(QStringLiteral("--crosshair")))
            return 0;
        std::printf("%-46s %10s %10s %8s\n", "", "ms", "baseline", "ratio");

        // A live trade into the last bar, at the newest bars on screen.
        bar->setValue(bar->maximum());
        settle();
        PaintArea painted;
        for (SubChartWidget *pane : view->subCharts())
            pane->view()->viewport()->installEventFilter(&painted);
        SeriesItem *series = view->seriesItems().first();
        const double viewportArea = double(view->subCharts().first()->view()->viewport()->width())
                                    * view->subCharts().first()->view()->viewport()->height();
        const double trade = Bench::msPer(500, [&](int i) {
            DealBatch batch(series->model(), 1, false);
            const QByteArray price = QByteArray::number(1000 + i % 13, 'f', 1);
            batch.append(BarTest::deal(Bench::minuteOf(LastDay, Bench::BarsPerDay - 1).addSecs(i % 50), price.constData()));
            batch.flush();
            QCoreApplication::processEvents();
        });
        const double tradeArea = painted.area / 500;
        for (SubChartWidget *pane : view->subCharts())
            pane->view()->viewport()->removeEventFilter(&painted);
        const double whole = Bench::msPer(100, [&](int) {
            for (SubChartWidget *pane : view->subCharts())
                pane->view()->viewport()->update();
            QCoreApplication::processEvents();
        });
        std::printf("%-46s %10.3f %10.3f %8.2f   (%.0f px a trade, %.1f %% of one pane)\n",
                    "live trade into the last bar", trade, whole, trade / whole, tradeArea,
                    100.0 * tradeArea / viewportArea);
    }

    firstFrameOfTenYears();

    // Through the history service: the window opened for 30 days of one-minute history.
    QProcess server;
    if (!BarTest::startHistoryService(server)) {
        std::printf("\nhistory service did not start\n");
        return 1;
    }
    const QString url = AppSettings(QStringLiteral("Transports/hdxplugin/Parameters"))
                            .value(QStringLiteral("url")).toString();
    QTemporaryDir dir;
    const QStringList range{QStringLiteral("--key"), QStringLiteral("2,2,2001"),
                            QStringLiteral("--timeframe"), QStringLiteral("60"),
                            QStringLiteral("--days"), QStringLiteral("30"), QStringLiteral("--to"),
                            LastDay.toString(Qt::ISODate), QStringLiteral("--hdx-url"), url};
    QString errors;
    const double snapshot = runTool(QStringList{QStringLiteral("snapshot"), QStringLiteral("--timing"),
                                                QStringLiteral("--data-dir"), dir.filePath(QStringLiteral("a")),
                                                QStringLiteral("--size"), QStringLiteral("1600x900"),
                                                QStringLiteral("--output"), dir.filePath(QStringLiteral("c.png"))}
                                        + range,
                                    &errors);
    const QRegularExpressionMatch opened =
        QRegularExpression(QStringLiteral("filled and drawn in (\\d+) ms")).match(errors);
    const double exportMs = runTool(QStringList{QStringLiteral("export"), QStringLiteral("--data-dir"),
                                                dir.filePath(QStringLiteral("b")), QStringLiteral("--output"),
                                                dir.filePath(QStringLiteral("bars.csv"))}
                                        + range,
                                    &errors);
    std::printf("\n%-46s %10s %10s %8s\n", "30 days of one-minute history over loopback", "ms",
                "export", "ratio");
    std::printf("%-46s %10s\n", "window opened until its first complete frame",
                opened.hasMatch() ? qPrintable(opened.captured(1)) : "failed");
    std::printf("%-46s %10.0f %10.0f %8.2f   (the data path alone, as CSV)\n",
                "ta-tool snapshot end to end", snapshot, exportMs, snapshot / exportMs);
    server.kill();
    server.waitForFinished();

    std::printf("\n%-46s %10s %10s %8s\n", "the day change of a window", "ms", "repaint",
                "ratio");
    dayChange(dir);
    return 0;
}
