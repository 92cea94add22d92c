// The indicator item on a chart: what it keeps per bar slot as trades arrive (out-running,
// delay, stale cells, older bars from another thread), its slices, its saved state and what it
// paints; then indicators in a chart area: failures, file edits, limits, saving and restoring.

#include "charttesthelpers.h"
#include "subcharttesthelpers.h"
#include "appsettings.h"
#include "hostwindow.h"
#include "scriptlimits.h"
#include "studyitemdefaultpropertypage.h"
#include "multiview.h"
#include "statusline.h"
#include "tamainwindow.h"
#include "scriptfilesmodel.h"
#include "studylibraryhelpers.h"
#include "scriptstudyitem.h"
#include "studyservices.h"
#include "subchartwidget.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QVBoxLayout>

#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

using namespace BarTest;

namespace {

// Thursday 2026-12-03, one session 10:00-18:00.
const QDate Thursday(2026, 12, 3);
const QString Arkt = QStringLiteral("2,2,2001");

constexpr double Factor = 10;
constexpr double PosY = 1100;

datetime minute(int m)
{
    return t(Thursday, 10, 0).addSecs(60 * m);
}

QByteArray price(double p)
{
    return QByteArray::number(p, 'f', 2);
}

// Bar m: open, high, low, close of a fixed pattern with a few ties.
struct BarPrices
{
    double open, high, low, close;
};
BarPrices pricesOf(int m)
{
    const double close = 100 + ((m * 37) % 23) * 0.5 - ((m * 11) % 7) * 0.25;
    const double open = 100 + ((m * 29) % 19) * 0.5;
    return {open, std::max(open, close) + 1.25, std::min(open, close) - 0.75, close};
}

// Deal i of bar m: its open, high, low and close (i = 0..3).
void appendDeal(DealBatch &batch, int m, int i)
{
    const BarPrices p = pricesOf(m);
    const double prices[] = {p.open, p.high, p.low, p.close};
    const int quantity[] = {3, 2, 4, 1 + m % 5};
    batch.append(deal(minute(m).addSecs(10 * i), price(prices[i]).constData(), quantity[i]));
}

void addBar(SeriesItem *series, int m)
{
    DealBatch batch(series->model(), 4, false);
    for (int i = 0; i < 4; ++i)
        appendDeal(batch, m, i);
}

// The four deals of bar m one by one, each a trade of its own.
void tradeBar(SeriesItem *series, int m)
{
    for (int i = 0; i < 4; ++i) {
        DealBatch batch(series->model(), 1, false);
        appendDeal(batch, m, i);
    }
}

void addBars(SeriesItem *series, int count)
{
    DealBatch batch(series->model(), 4 * count, false);
    for (int m = 0; m < count; ++m)
        for (int i = 0; i < 4; ++i)
            appendDeal(batch, m, i);
}

// A chart with a series of `bars` minute bars.
struct StudyChart : ChartFixture
{
    explicit StudyChart(int bars)
        : ChartFixture(10, Factor, PosY)
        , first(minutes())
    {
        if (bars > 0)
            addBars(first, bars);
    }
    SeriesItem *minutes() { return addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday); }

    SeriesItem *first;
};

// The settings of an indicator as the selector gives them.
MapSettings studySettings(const QString &name, const QString &code,
                          const QString &declaration = {},
                          const QMap<QString, QString> &parameters = {})
{
    MapSettings s;
    s.setValue(QStringLiteral("name"), name);
    s.setValue(QStringLiteral("code"), code);
    s.setValue(QStringLiteral("declaration"), declaration);
    s.setValue(QStringLiteral("parametersCount"), int(parameters.size()));
    int i = 0;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it, ++i) {
        s.setValue(QStringLiteral("parameter_%1/name").arg(i), it.key());
        s.setValue(QStringLiteral("parameter_%1/value").arg(i), it.value());
    }
    return s;
}

// An indicator's passes run in slices between event-loop turns: waits until they are done.
void settle(ScriptStudyItem &item)
{
    QDeadlineTimer deadline(60000);
    while (item.isCalculating() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The plot's cells as text, bar slot by bar slot ("-" where undefined).
QString cellsText(const ScriptStudyItem &item, const QString &plot)
{
    QString text;
    const auto it = item.plots().constFind(plot);
    if (it == item.plots().cend())
        return QStringLiteral("<none>");
    for (const auto &chunk : it.value().cells) {
        for (const SeriesValue &v : chunk)
            text += v.valid ? QString::number(v.value, 'g', 17) + QLatin1Char(' ') : QStringLiteral("- ");
        text += QLatin1Char('|');
    }
    return text;
}

} // namespace

class TestStudyItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void feedingTradeByTradeEqualsFilling_data();
    void feedingTradeByTradeEqualsFilling();
    void longPassesRunInSlices();
    void saveAndRestoreRoundTrip();
    void olderBarsArriveDuringEvaluation();
    void paintsEachOutputInItsStyle();
    // Indicators in a chart area.
    void restoredLoopsDoNotHoldTheWindow();
    void hostileIndicatorsFailAlone_data();
    void hostileIndicatorsFailAlone();
    void failureReadFromItsLabel();
    void limitsFromTheSettingsPage();
    void fileEditedUnderOpenCharts();

private:
    std::unique_ptr<ScriptStudyItem> makeStudy(ChartFixture &chart, SeriesItem *series,
                                               const MapSettings &settings);

    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestStudyItem::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "studyitem.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    useCopyOfLibrary(m_dir);
    StudyServices::install();
    storeSeriesDefaults(Thursday, 1, 1);
}

void TestStudyItem::init()
{
    SeriesDataService::setInstance(&m_service);
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 480)}));
}

void TestStudyItem::cleanupTestCase()
{
    MultiView::setServices({});
    SubChartWidget::setStudyMaker({});
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
    SeriesDataService::setInstance(nullptr);
}

std::unique_ptr<ScriptStudyItem> TestStudyItem::makeStudy(ChartFixture &chart, SeriesItem *series,
                                                          const MapSettings &settings)
{
    auto item = std::make_unique<ScriptStudyItem>(series, chart.scale);
    MapSettings copy = settings;
    item->restoreState(copy);
    settle(*item);
    return item;
}

void TestStudyItem::feedingTradeByTradeEqualsFilling_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("declaration");
    // Out-running, conditional plots (a later trade of the bar clears what an earlier one
    // plotted) and delayed ones; state kept by bar number is the shipped indicators' way.
    QTest::newRow("high of three, out-running")
        << "T"
        << "SetOutRunning(3); if (CurrentBar >= 3) Plot(Math.max(High.at(0), High.at(1), "
           "High.at(2)), 'h'); if (Close.at(0) < Open.at(0)) Plot(Low.at(0), 'down');"
        << "";
    QTest::newRow("delayed, on falling bars")
        << "T" << "SetDelay(2); Plot(Close.at(2), 'd'); if (Close.at(0) < Open.at(0)) Plot(1, 'x');"
        << "";
    // Every shipped indicator as the selector gives it.
    // (The user's directory is empty yet: these are the shipped ones.)
    const QStringList names = StudyFilesModel::instance()->existingNames();
    QVERIFY(names.size() >= 30);
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name << QString() << QString();
}

// Trade by trade or all bars at once, and after a late deal in an older bar, an indicator
// computes the same cells.
void TestStudyItem::feedingTradeByTradeEqualsFilling()
{
    QFETCH(QString, name);
    QFETCH(QString, code);
    QFETCH(QString, declaration);
    MapSettings settings;
    if (code.isEmpty())
        QVERIFY(StudyServices::findStudy(name, settings));
    else
        settings = studySettings(name, code, declaration);
    StudyChart chart(0);
    SeriesItem *filled = chart.first;
    SeriesItem *traded = chart.minutes();
    auto live = makeStudy(chart, traded, settings);
    const qint64 start = live->evaluatedBars();
    const int bars = 70;
    for (int m = 0; m < bars; ++m)
        tradeBar(traded, m);
    // Each trade evaluated the changed bar and the bars the indicator asks to recompute.
    // (A lazily loaded function rebuilds once over the bars so far.)
    const qint64 evaluated = live->evaluatedBars() - start;
    QVERIFY2(evaluated <= 4 * bars * (1 + qint64(live->outRunning())) + bars,
             qPrintable(QString::number(evaluated)));
    addBars(filled, bars);
    // A late deal in an older bar: that bar and every later one are evaluated again.
    for (SeriesItem *series : {traded, filled}) {
        DealBatch batch(series->model(), 1, false);
        batch.append(deal(minute(35).addSecs(40), price(150).constData(), 1));
    }
    settle(*live);
    auto whole = makeStudy(chart, filled, settings);
    QVERIFY2(whole->scriptOk(), qPrintable(whole->errorText()));
    QVERIFY2(live->scriptOk(), qPrintable(live->errorText()));
    QVERIFY(!whole->plots().isEmpty());
    QCOMPARE(live->plots().keys(), whole->plots().keys());
    for (const QString &plot : whole->plots().keys())
        QCOMPARE(cellsText(*live, plot), cellsText(*whole, plot));
    QCOMPARE(live->levels(), whole->levels());
}

// A pass runs in slices between event-loop turns; what it gives is what one uninterrupted pass
// gives, with the trades that came in meanwhile taken up.
void TestStudyItem::longPassesRunInSlices()
{
    StudyChart chart(400);
    SeriesItem *series = chart.first;
    // A state carried from bar to bar, and some work on every bar.
    MapSettings settings = studySettings(
        QStringLiteral("Sliced"),
        QStringLiteral("var w = 0; for (var i = 0; i < 2000; i++) w += i % 7;"
                       " var p = s.at(1), e = p === undefined ? Close.at(0) : p + (Close.at(0) - p) / 10;"
                       " s.setAt(0, e); Plot(e + w - w, 'e');"),
        QStringLiteral("var s = new Series(ctx);"));
    auto sliced = std::make_unique<ScriptStudyItem>(series, chart.scale);
    sliced->setTurnBudget(0);
    int turns = 0;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    connect(&heartbeat, &QTimer::timeout, this, [&turns] { ++turns; });
    heartbeat.start();
    MapSettings copy = settings;
    sliced->restoreState(copy);
    // Nothing ran yet: the window that restores it opens at once.
    QVERIFY(sliced->isCalculating());
    QVERIFY(!sliced->valueAt(QStringLiteral("e"), {0, 0}).valid);
    QDeadlineTimer deadline(60000);
    while (!sliced->valueAt(QStringLiteral("e"), {0, 5}).valid && !deadline.hasExpired())
        QCoreApplication::processEvents();
    QVERIFY(sliced->isCalculating());
    QVERIFY(!sliced->valueAt(QStringLiteral("e"), {0, 399}).valid);
    // Meanwhile a deal lands in an early bar, and a new bar comes.
    {
        DealBatch batch(series->model(), 1, false);
        batch.append(deal(minute(3).addSecs(40), price(150).constData(), 1));
    }
    addBar(series, 400);
    settle(*sliced);
    QVERIFY2(sliced->scriptOk(), qPrintable(sliced->errorText()));
    QVERIFY2(turns > 5, qPrintable(QString::number(turns)));
    QVERIFY(sliced->valueAt(QStringLiteral("e"), {0, 400}).valid);
    // The same as one pass over the bars as they are now.
    auto whole = std::make_unique<ScriptStudyItem>(series, chart.scale);
    whole->setTurnBudget(1000000);
    copy = settings;
    whole->restoreState(copy);
    settle(*whole);
    QCOMPARE(cellsText(*sliced, QStringLiteral("e")), cellsText(*whole, QStringLiteral("e")));
}

// What is saved comes back and is saved alike, every plot's style in a group of its own; a plot
// without a saved style takes the item's colour.
void TestStudyItem::saveAndRestoreRoundTrip()
{
    StudyChart chart(10);
    MapSettings settings = studySettings(QStringLiteral("Round"),
                                         QStringLiteral("Plot(Close.at(0) * k, 'a'); Plot(1, 'b');"),
                                         QString(), {{QStringLiteral("k"), QStringLiteral("2")}});
    settings.setValue(QStringLiteral("color"), QStringLiteral("#00ff00"));
    settings.setValue(QStringLiteral("styleCount"), 1);
    settings.setValue(QStringLiteral("style_0/name"), QStringLiteral("a"));
    settings.setValue(QStringLiteral("style_0/color"), QStringLiteral("#123456"));
    settings.setValue(QStringLiteral("displayName"), QStringLiteral("Двойное закрытие"));
    auto study = makeStudy(chart, chart.first, settings);
    QCOMPARE(study->valueAt(QStringLiteral("a"), {0, 4}).value, 2 * pricesOf(4).close);
    MapSettings saved;
    study->saveState(saved);
    auto again = makeStudy(chart, chart.first, saved);
    QCOMPARE(again->displayName(), QStringLiteral("Двойное закрытие"));
    QCOMPARE(again->styles().value(QStringLiteral("a")).color, QColor(0x12, 0x34, 0x56));
    QCOMPARE(again->styles().value(QStringLiteral("b")).color, QColor(0, 255, 0));
    MapSettings resaved;
    again->saveState(resaved);
    QCOMPARE(resaved.allKeys(), saved.allKeys());
    for (const QString &key : saved.allKeys())
        QCOMPARE(resaved.value(key).toString(), saved.value(key).toString());
}

void TestStudyItem::olderBarsArriveDuringEvaluation()
{
    // A filler thread inserts older bars, newest first, while trades and rebuilds run on the
    // GUI thread: every plot lands on its own bar's slot in the end, and nothing is read out
    // of bounds on the way.
    StudyChart chart(0);
    SeriesItem *series = chart.first;
    SeriesItem *reference = chart.minutes();
    const MapSettings settings =
        studySettings(QStringLiteral("Chain"),
                      QStringLiteral("if (CurrentBar >= 0) { var q = c[CurrentBar - 1]; "
                                     "c[CurrentBar] = q === undefined ? Close.at(0) : q + "
                                     "Close.at(0); Plot(c[CurrentBar], 'sum'); "
                                     "Plot(Close.at(0), 'close'); }"),
                      QStringLiteral("var c = [];"));
    for (int m = 300; m < 310; ++m)
        addBar(series, m);
    auto study = makeStudy(chart, series, settings);
    std::atomic<bool> done{false};
    std::thread filler([&] {
        for (int m = 299; m >= 0; --m)
            addBar(series, m);
        done = true;
    });
    int turns = 0;
    while (!done || turns < 3) {
        if (done)
            ++turns;
        {
            DealBatch batch(series->model(), 1, false);
            batch.append(deal(minute(309).addSecs(40), price(pricesOf(309).close).constData()));
        }
        if (turns % 7 == 0)
            study->rebuild();
        QCoreApplication::processEvents();
    }
    filler.join();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    for (int m = 0; m < 310; ++m)
        addBar(reference, m);
    {
        DealBatch batch(reference->model(), 1, false);
        batch.append(deal(minute(309).addSecs(40), price(pricesOf(309).close).constData()));
    }
    auto expected = makeStudy(chart, reference, settings);
    QCOMPARE(series->model()->validBarCount(), 310);
    QCOMPARE(cellsText(*study, QStringLiteral("close")), cellsText(*expected, QStringLiteral("close")));
    QCOMPARE(cellsText(*study, QStringLiteral("sum")), cellsText(*expected, QStringLiteral("sum")));
}

void TestStudyItem::paintsEachOutputInItsStyle()
{
    // Ten pixels per time unit (a bar); price p at y = 1100 - 10 p.
    StudyChart chart(40);
    SeriesItem *series = chart.first;
    MapSettings settings = studySettings(
        QStringLiteral("Paint"),
        QStringLiteral("if (CurrentBar >= 0) { Plot(100, 'top'); Plot(96, 'bottom'); "
                       "Plot(92, 'line'); Plot(90 + (CurrentBar % 2), 'hist'); }"),
        QStringLiteral("Level(94, 'lvl'); Cloud('top', 'bottom');"));
    // Name, colour, view (1: columns) and line width of each output.
    const QStringList styles{"top #ff0000 0 1", "bottom #00ff00 0 1", "line #0000ff 0 3",
                             "hist #ffff00 1 1", "lvl #ff00ff 0 1"};
    settings.setValue(QStringLiteral("styleCount"), int(styles.size()));
    for (int i = 0; i < styles.size(); ++i) {
        const QStringList fields = styles[i].split(u' ');
        for (int k = 0; k < 4; ++k)
            settings.setValue(QStringLiteral("style_%1/").arg(i)
                                  + QStringList{"name", "color", "view", "lineWidth"}[k],
                              k < 2 ? QVariant(fields[k]) : QVariant(fields[k].toInt()));
    }
    auto study = makeStudy(chart, series, settings);
    QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
    chart.scene.setSceneRect(0, 0, 3000, 1200);
    const double left = series->xOf({0, 10});
    const QImage image = chart.render(left, 400, 1200);
    keepImage(image, QStringLiteral("studyitem.png"));
    auto px = [&](const FrameIndex &index) { return int((series->xOf(index) - left) * 10); };
    const int x = px({0, 20});
    // The cloud fills 96..100 in the colour of the upper plot.
    QCOMPARE(image.pixelColor(x, int(PosY - Factor * 98)), QColor(255, 0, 0));
    // The blue line three pixels wide at 92.
    const int yLine = int(PosY - Factor * 92);
    QCOMPARE(image.pixelColor(x + 5, yLine), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(x + 5, yLine - 1), QColor(0, 0, 255));
    // The level across the item, one crisp row.
    auto levelAt = [&](int column) {
        const int y = int(PosY - Factor * 94);
        return image.pixelColor(column, y) == QColor(255, 0, 255)
               || image.pixelColor(column, y - 1) == QColor(255, 0, 255);
    };
    QVERIFY(levelAt(x + 5));
    QVERIFY(levelAt(px({0, 35})));
    // A histogram column of an odd bar reaches 91; nothing of it above.
    const int odd = px({0, 21});
    QCOMPARE(image.pixelColor(odd, int(PosY - Factor * 90.5)), QColor(255, 255, 0));
    QCOMPARE(image.pixelColor(odd, int(PosY - Factor * 91.5)), QColor(0, 0, 0));
}

namespace {

// A chart area shown in the window, with one series of `bars` minute bars.
MultiView *areaWithBars(QWidget &window, int bars)
{
    window.resize(900, 700);
    auto *layout = new QVBoxLayout(&window);
    auto *view = new MultiView(&window);
    layout->addWidget(view);
    window.show();
    if (SeriesItem *series = view->createDefaultSeriesItem(Arkt)) {
        addBars(series, bars);
        view->synchronizer()->update();
    }
    return view;
}

// The status label of an item among the widgets under `root`.
StatusLineLabel *labelOf(const QWidget *root, const ChartItem *item)
{
    for (StatusLineLabel *label : root->findChildren<StatusLineLabel *>()) {
        if (label->item() == item)
            return label;
    }
    return nullptr;
}

} // namespace

// A window saved with indicators that loop opens at once; each loop is stopped in a turn of its
// own, with its text, and the others are not held up or touched.
void TestStudyItem::restoredLoopsDoNotHoldTheWindow()
{
    QWidget window;
    MultiView *view = areaWithBars(window, 60);
    SeriesItem *series = view->seriesItems().first();
    QList<ChartItem *> added;
    for (int i = 0; i < 3; ++i)
        added.append(view->addStudyFor(series, studySettings(QStringLiteral("Loop%1").arg(i),
                                                             QStringLiteral("while (true) {}"))));
    added.append(view->addStudyFor(series, studySettings(QStringLiteral("Good"),
                                                         QStringLiteral("Plot(Close.at(0), 'c');"))));
    for (ChartItem *item : std::as_const(added))
        settle(*qobject_cast<ScriptStudyItem *>(item));
    MapSettings state;
    view->saveState(state);

    QWidget other;
    auto *restored = new MultiView(&other);
    restored->restoreState(state);
    addBars(restored->seriesItems().front(), 60);
    QList<ScriptStudyItem *> studies;
    for (SubChartWidget *subChart : restored->subCharts())
        for (ChartItem *item : subChart->studies())
            if (auto *study = qobject_cast<ScriptStudyItem *>(item))
                studies.append(study);
    QCOMPARE(studies.size(), 4);
    for (ScriptStudyItem *study : std::as_const(studies)) {
        QVERIFY(study->isCalculating());
        QVERIFY(study->scriptOk());
    }
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    connect(&heartbeat, &QTimer::timeout, this, [&] { longest = std::max(longest, sinceTurn.restart()); });
    sinceTurn.start();
    heartbeat.start();
    for (ScriptStudyItem *study : std::as_const(studies))
        settle(*study);
    heartbeat.stop();
    // One stretch of script code (0.2 s) at most between two turns of the event loop.
    QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
    for (ScriptStudyItem *study : std::as_const(studies)) {
        if (study->fileName() == QStringLiteral("Good")) {
            QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
            const SeriesDataModel *model = restored->seriesItems().front()->model();
            QCOMPARE(study->valueAt(QStringLiteral("c"), model->lastIndex()).value,
                     model->bar(model->lastIndex()).close.toDouble());
        } else {
            QVERIFY(!study->scriptOk());
            QVERIFY2(study->errorText().contains(QStringLiteral("без перерыва дольше 0.2 с")),
                     qPrintable(study->errorText()));
        }
    }
}

void TestStudyItem::hostileIndicatorsFailAlone_data()
{
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<QString>("code");
    // Empty: the indicator works (and plots the close as "c").
    QTest::addColumn<QString>("message");
    const QString plot = QStringLiteral(" Plot(Close.at(0), 'c');");
    const QString stretch = QStringLiteral("без перерыва дольше 0.2 с");
    // Its memory or its time, whichever runs out first (the engine's collector takes its time
    // over a big heap, and a loaded machine slows the allocations; ta-tool's test keeps one
    // case that only the memory budget stops).
    const QString either = QStringLiteral("и был прерван");
    QTest::newRow("series without the context") << "" << "var s = new Series();" + plot
                                                << "Series: нужен контекст вычисления";
    QTest::newRow("loop in the declaration") << "var x = 0; for (;;) { x++; }" << plot << stretch;
    QTest::newRow("loop in the code") << "" << "if (CurrentBar == 30) while (true) {}" + plot << stretch;
    QTest::newRow("loop in a function file") << "" << "Plot(Spin(), 'c');" << stretch;
    QTest::newRow("recursion") << "function deep(n) { return deep(n + 1) + 1; }" << "Plot(deep(0), 'c');"
                               << "RangeError";
    QTest::newRow("joins kept") << "var keep = [];"
                                << "var a = []; for (var i = 0; i < 1e5; i++) a.push('xxxxxxxxxxxxxxxx');"
                                   " for (var j = 0; j < 3; j++) keep.push(a.join(j));" + plot
                                << either;
    QTest::newRow("arrays kept") << "var keep = [];"
                                 << "keep.push(new Array(1e6).fill(CurrentBar));" + plot << either;
    QTest::newRow("a plot name on every bar") << "" << "Plot(1, 'p' + CurrentBar);" + plot << "";
    QTest::newRow("destroy the context") << "" << "ctx.destroy();" + plot << "destroy";
    QTest::newRow("destroy a bar series") << "" << "Close.destroy();" + plot << "destroy";
    QTest::newRow("destroy a series and use it") << "" << "var s = new Series(ctx); s.destroy(); s.setAt(0, 1); Plot(s.at(0), 'x');" + plot << "";
    // Replaced built-ins change the script's own world, not the bars it reads.
    QTest::newRow("built-ins replaced") << ""
        << "Math.max = function () { return 0; }; Float64Array.prototype.set = function () { while (true) {} };"
           " if (CurrentBar == 0) Object.defineProperty(Object.prototype, 'cur', { set: function () { while (true) {} } });"
           + plot << "";
    QTest::newRow("a throw on the last bar") << "" << "if (CurrentBar == 59) throw new Error('на последнем баре');" + plot
                                             << "на последнем баре";
    // Delays and out-running a chart cannot hold; the largest delay it can.
    for (const char *call : {"SetDelay(-1)", "SetDelay(1001)", "SetDelay(2.5)", "SetOutRunning(-1)",
                             "SetOutRunning(NaN)"})
        QTest::newRow(call) << "" << QString::fromLatin1(call) + ";" + plot << "допустим";
    QTest::newRow("SetDelay(1000)") << "" << "SetDelay(1000); Plot(Close.at(0), 'far');" << "";
}

// Whatever an indicator's script does, it fails alone with its text (or works): the terminal
// stays, and the window's other indicator is computed and follows trades as before.
void TestStudyItem::hostileIndicatorsFailAlone()
{
    QFETCH(QString, declaration);
    QFETCH(QString, code);
    QFETCH(QString, message);
    FunctionFile spin;
    spin.code = QStringLiteral("function Spin() { for (;;) {} }");
    FunctionFilesModel::instance()->save(QStringLiteral("Spin"), spin);
    QWidget window;
    MultiView *view = areaWithBars(window, 60);
    SeriesItem *series = view->seriesItems().first();
    auto *good = qobject_cast<ScriptStudyItem *>(view->addStudyFor(
        series, studySettings(QStringLiteral("Good"), QStringLiteral("Plot(Close.at(0), 'c');"))));
    auto *hostile = qobject_cast<ScriptStudyItem *>(view->addStudyFor(
        series, studySettings(QStringLiteral("Hostile"), code, declaration)));
    QVERIFY(good && hostile);
    settle(*good);
    settle(*hostile);
    if (message.isEmpty()) {
        QVERIFY2(hostile->scriptOk(), qPrintable(hostile->errorText()));
    } else {
        QVERIFY(!hostile->scriptOk());
        QVERIFY2(hostile->errorText().contains(message), qPrintable(hostile->errorText()));
        QVERIFY(!hostile->context()->hasEngine());
    }
    // A trade makes a new bar: the good indicator follows, and so does a working hostile one;
    // a failed one is not run again.
    const qint64 evaluated = hostile->evaluatedBars();
    addBar(series, 60);
    settle(*good);
    settle(*hostile);
    const FrameIndex last(0, 60);
    QCOMPARE(series->model()->lastIndex(), last);
    QVERIFY2(good->scriptOk(), qPrintable(good->errorText()));
    QCOMPARE(good->valueAt(QStringLiteral("c"), last).value, pricesOf(60).close);
    QCOMPARE(good->valueAt(QStringLiteral("c"), {0, 10}).value, pricesOf(10).close);
    if (!message.isEmpty())
        QCOMPARE(hostile->evaluatedBars(), evaluated);
    else if (hostile->plots().contains(QStringLiteral("c")))
        QCOMPARE(hostile->valueAt(QStringLiteral("c"), last).value, pricesOf(60).close);
}

namespace {

// Right-clicks a point of a widget as the mouse does, and gives the texts of the menu that
// opens; `pick` is then triggered from it, if it is there.
QStringList rightClickMenu(QWidget *widget, const QPoint &point, const QString &pick = {})
{
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator())
                texts.append(action->text());
            if (action->text() == pick && action->isEnabled())
                chosen = action;
        }
        if (chosen)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        else
            menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, widget->mapToGlobal(point));
    QCoreApplication::sendEvent(widget, &event);
    return texts;
}

// The text of the next message box or dialog that opens (within ten seconds), closed at once.
void readNextDialog(QString *text, QString *details)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog && ++*tries < 1000)
            return;
        timer->stop();
        timer->deleteLater();
        if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            *text = box->text();
            *details = box->detailedText();
        } else if (dialog) {
            if (auto *edit = dialog->findChild<QPlainTextEdit *>())
                *text = edit->toPlainText();
        }
        if (dialog)
            dialog->reject();
    });
    timer->start();
}

} // namespace

// A failed indicator says so in its status line; a right click on its label opens its menu,
// with the error, its bar and the trace lines before it. A good parameter value brings it back.
void TestStudyItem::failureReadFromItsLabel()
{
    HostWindow host;
    auto *window = new TAMainWindow;
    window->setProperty("extraKey", Arkt);
    host.setView(window, "TAMainWindow");
    MapSettings none;
    window->applyViewSettings(none);
    host.resize(1000, 700);
    host.show();
    MultiView *view = window->chartArea();
    SeriesItem *series = view->seriesItems().first();
    addBars(series, 60);
    view->synchronizer()->update();
    auto *broken = qobject_cast<ScriptStudyItem *>(view->addStudyFor(
        series, studySettings(QStringLiteral("Broken"),
                              QStringLiteral("Trace('шаг ' + CurrentBar); if (CurrentBar == n) "
                                             "throw new Error('деление на ноль'); Plot(1, 'p');"),
                              QString(), {{QStringLiteral("n"), QStringLiteral("7")}})));
    auto *working = qobject_cast<ScriptStudyItem *>(view->addStudyFor(
        series, studySettings(QStringLiteral("Working"), QStringLiteral("Plot(2, 'q');"))));
    QVERIFY(broken && working);
    settle(*broken);
    settle(*working);
    QVERIFY(!broken->scriptOk());
    QCoreApplication::processEvents();

    StatusLineLabel *brokenLabel = labelOf(window, broken);
    QVERIFY(brokenLabel && brokenLabel->isVisible());
    QCOMPARE(brokenLabel->statusEdit()->text(), QStringLiteral("Ошибка"));
    QVERIFY(labelOf(window, working)->statusEdit()->text().isEmpty());
    // An empty status field is no white box over the chart: the pane shows through it.
    const QImage shot = host.grab().toImage();
    LabelByLineEdit *empty = labelOf(window, working)->statusEdit();
    QVERIFY(empty->width() > 2);
    const QPoint inside = empty->mapTo(&host, empty->rect().center());
    QCOMPARE(shot.pixelColor(inside), shot.pixelColor(inside + QPoint(0, empty->height())));

    // Its menu from any part of its label, with the error named by its bar, and the lines the
    // script traced up to it.
    QString text, details;
    readNextDialog(&text, &details);
    LabelByLineEdit *parameters = brokenLabel->parametersEdit();
    QStringList entries = rightClickMenu(parameters, parameters->rect().center(),
                                         QStringLiteral("Показать ошибки"));
    QVERIFY2(entries.contains(QStringLiteral("Показать ошибки")), qPrintable(entries.join('|')));
    QVERIFY2(entries.contains(QStringLiteral("Менеджер объектов")), qPrintable(entries.join('|')));
    QVERIFY2(text.contains(QStringLiteral("деление на ноль")) && text.contains(QStringLiteral("Бар 7")),
             qPrintable(text));
    QVERIFY2(details.endsWith(QStringLiteral("Бар 7: шаг 7")), qPrintable(details));
    QVERIFY(details.contains(QStringLiteral("Бар 0: шаг 0")));

    // A good value from its property dialog runs it again: computed over every bar, and the
    // word goes from its label.
    MapSettings result;
    result.setValue(QStringLiteral("parametersCount"), 1);
    result.setValue(QStringLiteral("parameter_0/name"), QStringLiteral("n"));
    result.setValue(QStringLiteral("parameter_0/value"), QStringLiteral("1000"));
    const qint64 evaluated = broken->evaluatedBars();
    view->applyItemProperties(broken, result);
    settle(*broken);
    QCoreApplication::processEvents();
    QVERIFY2(broken->scriptOk(), qPrintable(broken->errorText()));
    QVERIFY(broken->evaluatedBars() - evaluated >= 60);
    QCOMPARE(broken->valueAt(QStringLiteral("p"), {0, 7}).value, 1.0);
    QCOMPARE(broken->valueAt(QStringLiteral("p"), series->model()->lastIndex()).value, 1.0);
    QVERIFY(brokenLabel->statusEdit()->text().isEmpty());
}

// An indicator file edited while charts use it: a parameter new in the file takes its default,
// one gone from the file goes, the others keep the trader's values; levels the file no longer
// sets go; the label marks the file changed until the window is saved.
void TestStudyItem::fileEditedUnderOpenCharts()
{
    StudyFilesModel *files = StudyFilesModel::instance();
    StudyFile file;
    file.description = QStringLiteral("правка под графиком");
    file.code = QStringLiteral("Plot(a * c, 'v'); Level(1, 'low'); Level(2, 'high');");
    file.parameters.insert(QStringLiteral("a"), {QStringLiteral("2"), false});
    file.parameters.insert(QStringLiteral("c"), {QStringLiteral("7"), false});
    files->save(QStringLiteral("Edited"), file);
    auto settingsOf = [&](const StudyFile &f) {
        QMap<QString, QString> values;
        for (auto it = f.parameters.cbegin(); it != f.parameters.cend(); ++it)
            values.insert(it.key(), it.value().value);
        MapSettings s = studySettings(QStringLiteral("Edited"), f.code, f.declaration, values);
        s.setValue(QStringLiteral("crc"), files->checksum(QStringLiteral("Edited")));
        return s;
    };

    QWidget window;
    MultiView *view = areaWithBars(window, 30);
    SeriesItem *series = view->seriesItems().first();
    auto *study = qobject_cast<ScriptStudyItem *>(view->addStudyFor(series, settingsOf(file)));
    QVERIFY(study);
    settle(*study);
    QCOMPARE(study->valueAt(QStringLiteral("v"), {0, 5}).value, 14.0);
    // The trader's own value.
    MapSettings mine;
    mine.setValue(QStringLiteral("parametersCount"), 1);
    mine.setValue(QStringLiteral("parameter_0/name"), QStringLiteral("a"));
    mine.setValue(QStringLiteral("parameter_0/value"), QStringLiteral("5"));
    study->applyProperties(mine);
    settle(*study);
    QCOMPARE(study->valueAt(QStringLiteral("v"), {0, 5}).value, 35.0);
    StatusLineLabel *label = labelOf(view, study);
    QVERIFY(label);
    QVERIFY(!label->parametersEdit()->text().endsWith(QLatin1Char('*')));

    // The file gains "b", loses "c" and the "high" level.
    file.code = QStringLiteral("Plot(a * b, 'v'); Level(1, 'low');");
    file.parameters.remove(QStringLiteral("c"));
    file.parameters.insert(QStringLiteral("b"), {QStringLiteral("3"), false});
    files->save(QStringLiteral("Edited"), file);
    settle(*study);
    QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
    QCOMPARE(study->valueAt(QStringLiteral("v"), {0, 5}).value, 15.0);
    QCOMPARE(study->context()->parameters().keys(), QStringList({"a", "b"}));
    QCOMPARE(study->levels().keys(), QStringList{QStringLiteral("low")});
    QVERIFY2(label->parametersEdit()->text().endsWith(QLatin1Char('*')),
             qPrintable(label->parametersEdit()->text()));
    // Saved with the window: the mark goes.
    MapSettings after;
    view->saveState(after);
    QVERIFY(!label->parametersEdit()->text().endsWith(QLatin1Char('*')));
}

// The scripts' limits on the "Индикаторы" page: an open indicator runs its next pass under the
// value applied.
void TestStudyItem::limitsFromTheSettingsPage()
{
    const auto restore = qScopeGuard([] {
        ScriptLimits::store(ScriptLimits::RebuildTime, 5000);
        AppSettings(QStringLiteral("TechAnalysis/Scripts")).remove(QString());
    });
    QWidget window;
    MultiView *view = areaWithBars(window, 60);
    SeriesItem *series = view->seriesItems().first();
    // About 3 ms a bar: 0.2 s over the bars.
    auto *slow = qobject_cast<ScriptStudyItem *>(view->addStudyFor(
        series, studySettings(QStringLiteral("Slow"),
                              QStringLiteral("var t = Date.now(); while (Date.now() - t < 3) {} Plot(1, 's');"))));
    QVERIFY(slow);
    settle(*slow);
    QVERIFY2(slow->scriptOk(), qPrintable(slow->errorText()));

    StudyItemDefaultPropertyPage page;
    QWidget parent;
    MapSettings none;
    QWidget *form = page.createPage(none, &parent);
    auto *rebuildLimit = form->findChild<QSpinBox *>(QStringLiteral("rebuildTimeLimit"));
    QVERIFY(rebuildLimit);
    rebuildLimit->setValue(50);
    page.apply(none);
    page.finish();

    slow->rebuild();
    settle(*slow);
    QVERIFY(!slow->scriptOk());
    QVERIFY2(slow->errorText().contains(QStringLiteral("0.05 с")), qPrintable(slow->errorText()));
}

TA_REGISTER_TEST(TestStudyItem)
#include "tst_studyitem.moc"
