// The indicator item on a chart: what it keeps per bar slot as trades arrive (out-running,
// delay, stale cells), its range, its error state, its file mark, its saved state and what it
// paints.

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
#include "securitydirectory.h"
#include "table.h"
#include "tableregistry.h"
#include "studyservices.h"
#include "subchartwidget.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QVBoxLayout>

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QPainterPath>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>
#include <cmath>
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

// The four deals of bar m: open, high, low, close.
void appendBar(DealBatch &batch, int m)
{
    const BarPrices p = pricesOf(m);
    batch.append(deal(minute(m), price(p.open).constData(), 3));
    batch.append(deal(minute(m).addSecs(10), price(p.high).constData(), 2));
    batch.append(deal(minute(m).addSecs(20), price(p.low).constData(), 4));
    batch.append(deal(minute(m).addSecs(30), price(p.close).constData(), 1 + m % 5));
}

void addBar(SeriesItem *series, int m)
{
    DealBatch batch(series->model(), 4, false);
    appendBar(batch, m);
}

// The four deals of bar m one by one, each a trade of its own.
void tradeBar(SeriesItem *series, int m)
{
    const BarPrices p = pricesOf(m);
    const std::pair<int, double> deals[] = {{0, p.open}, {10, p.high}, {20, p.low}, {30, p.close}};
    const int quantity[] = {3, 2, 4, 1 + m % 5};
    for (int i = 0; i < 4; ++i) {
        DealBatch batch(series->model(), 1, false);
        batch.append(deal(minute(m).addSecs(deals[i].first), price(deals[i].second).constData(),
                          quantity[i]));
    }
}

void addBars(SeriesItem *series, int count)
{
    DealBatch batch(series->model(), 4 * count, false);
    for (int m = 0; m < count; ++m)
        appendBar(batch, m);
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

// The indicators of every pane of a chart area.
QList<ScriptStudyItem *> studiesOf(const MultiView &view)
{
    QList<ScriptStudyItem *> studies;
    for (SubChartWidget *subChart : view.subCharts())
        for (ChartItem *item : subChart->studies())
            if (auto *study = qobject_cast<ScriptStudyItem *>(item))
                studies.append(study);
    return studies;
}

QString restoreError(ScriptStudyItem &item, MapSettings settings)
{
    try {
        item.restoreState(settings);
    } catch (const QString &key) {
        return key;
    }
    settle(item);
    return {};
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

QColor pixel(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// Writes a column of the instrument's record in the host's "securities" table.
void setSecurity(const SeriesKey &key, const QString &column, const char *value)
{
    Table *securities = TableRegistry::instance()->table(QStringLiteral("securities"));
    QVERIFY(securities);
    const Record record = SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id);
    QVERIFY(!record.isNull());
    QString error;
    QVERIFY2(securities->update(record, {{securities->columnIndex(column),
                                          QVariant::fromValue(decimal(QString::fromLatin1(value)))}},
                                &error),
             qPrintable(error));
}

// The shipped indicators.
QStringList libraryNames()
{
    QStringList names;
    const QDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/tascripts/indicators"));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        names.append(name);
    return names;
}

} // namespace

class TestStudyItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void buildsOnItsSeriesAndFollowsTrades();
    void slotWithoutABarKeepsNoExtension();
    void feedingTradeByTradeEqualsFilling_data();
    void feedingTradeByTradeEqualsFilling();
    void rangeIsLevelsAndCells();
    void longPassesRunInSlices();
    void savedCodeSurvivesABadFile();
    void restoreRefusesBadValues_data();
    void restoreRefusesBadValues();
    void saveAndRestoreRoundTrip();
    void summaryAndHitTests();
    void lazyFunctionsLoadInOneCall();
    void seriesGoesFirst();
    void timeFrameChangeStartsAfresh();
    void instrumentChangeFollowsItsFields();
    void olderBarsArriveDuringEvaluation();
    void paintsEachOutputInItsStyle();

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
    QVERIFY(isTradingDay(Thursday));
}

void TestStudyItem::init()
{
    SeriesDataService::setInstance(&m_service);
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 480)}));
}

void TestStudyItem::cleanupTestCase()
{
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

void TestStudyItem::buildsOnItsSeriesAndFollowsTrades()
{
    StudyChart chart(30);
    SeriesItem *series = chart.first;
    auto study = makeStudy(chart, series,
                           studySettings(QStringLiteral("Sum3"),
                                         QStringLiteral("if (CurrentBar >= 2) Plot(Close.at(0) + "
                                                        "Close.at(1) + Close.at(2), 's');")));
    QVERIFY(study->scriptOk());
    const double expected = pricesOf(29).close + pricesOf(28).close + pricesOf(27).close;
    QCOMPARE(study->valueAt(QStringLiteral("s"), {0, 29}).value, expected);
    QVERIFY(!study->valueAt(QStringLiteral("s"), {0, 1}).valid);
    QVERIFY(study->valueAt(QStringLiteral("s"), {0, 2}).valid);
    // A trade on the last bar evaluates that bar only.
    const qint64 before = study->evaluatedBars();
    QSignalSpy closes(study.get(), &ChartItem::closePriceChanged);
    {
        DealBatch batch(series->model(), 1, false);
        batch.append(deal(minute(29).addSecs(50), "150"));
    }
    QCOMPARE(study->evaluatedBars() - before, qint64(1));
    QVERIFY(closes.size() >= 1);
    QCOMPARE(study->valueAt(QStringLiteral("s"), {0, 29}).value,
             150 + pricesOf(28).close + pricesOf(27).close);
    // A new bar appends one cell, evaluating that bar only.
    addBar(series, 30);
    QCOMPARE(study->evaluatedBars() - before, qint64(2));
    QCOMPARE(study->plots().value(QStringLiteral("s")).last, FrameIndex(0, 30));
    // Moved onto another series: built over that one's bars from then on, the old one's
    // trades no longer heard.
    SeriesItem *other = chart.minutes();
    {
        DealBatch batch(other->model(), 3, false);
        for (int m = 0; m < 3; ++m)
            batch.append(deal(minute(m), "10"));
    }
    study->setSeriesItem(other);
    settle(*study);
    QCOMPARE(study->valueAt(QStringLiteral("s"), {0, 2}).value, 30.0);
    QVERIFY(!study->valueAt(QStringLiteral("s"), {0, 29}).valid);
    const qint64 moved = study->evaluatedBars();
    addBar(series, 31);
    QCOMPARE(study->evaluatedBars(), moved);
}

// A new bar two minutes on: the slot between holds no bar and keeps no extension cell.
void TestStudyItem::slotWithoutABarKeepsNoExtension()
{
    StudyChart chart(6);
    SeriesItem *series = chart.first;
    auto every = makeStudy(chart, series,
                           studySettings(QStringLiteral("Every"),
                                         QStringLiteral("SetDelay(2); Plot(1, 'x');")));
    QVERIFY(every->valueAt(QStringLiteral("x"), {0, 7}).valid);
    {
        DealBatch batch(series->model(), 1, false);
        batch.append(deal(minute(7), "101"));
    }
    QVERIFY(!every->valueAt(QStringLiteral("x"), {0, 6}).valid);
    for (int slot : {7, 8, 9})
        QVERIFY2(every->valueAt(QStringLiteral("x"), {0, slot}).valid, qPrintable(QString::number(slot)));
    QVERIFY(!every->valueAt(QStringLiteral("x"), {0, 10}).valid);
    QCOMPARE(every->plots().value(QStringLiteral("x")).last, FrameIndex(0, 9));
}

void TestStudyItem::feedingTradeByTradeEqualsFilling_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("declaration");
    // State by bar number, out-running, conditional plots (a later trade of the bar clears what
    // an earlier one plotted) and delayed ones: the ways indicators keep state.
    QTest::newRow("exponential average")
        << "T"
        << "if (CurrentBar >= 0) { var prev = e[CurrentBar - 1]; e[CurrentBar] = prev === undefined "
           "? Close.at(0) : prev + 0.2 * (Close.at(0) - prev); Plot(e[CurrentBar], 'e'); }"
        << "var e = [];";
    QTest::newRow("high of three, out-running")
        << "T"
        << "SetOutRunning(3); if (CurrentBar >= 3) Plot(Math.max(High.at(0), High.at(1), "
           "High.at(2)), 'h'); if (Close.at(0) < Open.at(0)) Plot(Low.at(0), 'down');"
        << "";
    QTest::newRow("delayed, on falling bars")
        << "T" << "SetDelay(2); Plot(Close.at(2), 'd'); if (Close.at(0) < Open.at(0)) Plot(1, 'x');"
        << "";
    // Every shipped indicator as the selector gives it.
    const QStringList names = libraryNames();
    QVERIFY(names.size() >= 30);
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name << QString() << QString();
}

// Trade by trade or all bars at once, an indicator computes the same cells.
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
    addBars(filled, bars);
    auto whole = makeStudy(chart, filled, settings);
    QVERIFY2(whole->scriptOk(), qPrintable(whole->errorText()));
    QVERIFY2(live->scriptOk(), qPrintable(live->errorText()));
    QVERIFY(!whole->plots().isEmpty());
    QCOMPARE(live->plots().keys(), whole->plots().keys());
    for (const QString &plot : whole->plots().keys())
        QCOMPARE(cellsText(*live, plot), cellsText(*whole, plot));
    QCOMPARE(live->levels(), whole->levels());
    // Each trade evaluated the changed bar and the bars the indicator asks to recompute.
    const qint64 perTrade = 1 + qint64(live->outRunning());
    // (A lazily loaded function rebuilds once over the bars so far.)
    QVERIFY2(live->evaluatedBars() - start <= 4 * bars * perTrade + bars,
             qPrintable(QString::number(live->evaluatedBars() - start)));
}

void TestStudyItem::rangeIsLevelsAndCells()
{
    StudyChart chart(20);
    SeriesItem *series = chart.first;
    // Values 10..90, levels 30 and 70; an infinite level is ignored.
    auto study = makeStudy(chart, series,
                           studySettings(QStringLiteral("Osc"),
                                         QStringLiteral("if (CurrentBar >= 0) Plot(10 + "
                                                        "(CurrentBar % 9) * 10, 'osc');"),
                                         QStringLiteral("Level(30, 'low'); Level(70, 'high'); "
                                                        "Level(Infinity, 'sky');")));
    QVERIFY(study->scriptOk());
    QCOMPARE(study->low(), 10.0);
    QCOMPARE(study->high(), 90.0);
    QVERIFY(!study->levels().contains(QStringLiteral("sky")));
    QSignalSpy ranges(study.get(), &ChartItem::rangeChanged);
    // A trade keeps the union; a range that did not change says nothing.
    {
        DealBatch batch(series->model(), 1, false);
        batch.append(deal(minute(19).addSecs(50), "101"));
    }
    QCOMPARE(study->low(), 10.0);
    QCOMPARE(study->high(), 90.0);
    QCOMPARE(ranges.size(), 0);
    // A rebuild over many bars tells of the range once.
    study->rebuild();
    QCOMPARE(ranges.size(), 0);
    study->clear();
    ranges.clear();
    study->rebuild();
    QCOMPARE(ranges.size(), 1);
    QCOMPARE(study->low(), 10.0);
    QCOMPARE(study->high(), 90.0);
    // Only levels: the range is theirs.
    auto levels = makeStudy(chart, series,
                            studySettings(QStringLiteral("L"), QStringLiteral("1;"),
                                          QStringLiteral("Level(-5, 'a'); Level(5, 'b');")));
    QCOMPARE(levels->low(), -5.0);
    QCOMPARE(levels->high(), 5.0);
    // Histogram columns stand on zero: their range reaches it.
    MapSettings columns = studySettings(QStringLiteral("H"),
                                        QStringLiteral("Plot(Close.at(0), 'h');"));
    columns.setValue(QStringLiteral("styleCount"), 1);
    columns.setValue(QStringLiteral("style_0/name"), QStringLiteral("h"));
    columns.setValue(QStringLiteral("style_0/view"), 1);
    auto histogram = makeStudy(chart, series, columns);
    QCOMPARE(histogram->low(), 0.0);
    QVERIFY(histogram->high() > 100);
    QCOMPARE(histogram->priceRangeBetween(int(series->xOf({0, 2})), int(series->xOf({0, 8}))).first,
             0.0);
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

void TestStudyItem::savedCodeSurvivesABadFile()
{
    StudyChart chart(10);
    SeriesItem *series = chart.first;
    StudyFilesModel *files = StudyFilesModel::instance();
    StudyFile file;
    file.code = QStringLiteral("Plot(High.at(0), 'h');");
    files->save(QStringLiteral("Damaged"), file);
    QFile raw(files->userDirectory() + QStringLiteral("/Damaged"));
    QVERIFY(raw.open(QIODevice::WriteOnly | QIODevice::Truncate));
    raw.write("<study><code>unterminated");
    raw.close();
    MapSettings settings = studySettings(QStringLiteral("Damaged"), file.code,
                                         QStringLiteral("var unused = 1;"),
                                         {{QStringLiteral("n"), QStringLiteral("4")}});
    auto study = makeStudy(chart, series, settings);
    QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
    QCOMPARE(study->valueAt(QStringLiteral("h"), {0, 3}).value, pricesOf(3).high);
    MapSettings saved;
    study->saveState(saved);
    QCOMPARE(saved.value(QStringLiteral("code")).toString(), file.code);
    QCOMPARE(saved.value(QStringLiteral("declaration")).toString(), QStringLiteral("var unused = 1;"));
    QCOMPARE(saved.value(QStringLiteral("parameter_0/value")).toString(), QStringLiteral("4"));
    // A file that went altogether: the same, and the mark shows.
    QVERIFY(QFile::remove(files->userDirectory() + QStringLiteral("/Damaged")));
    auto orphan = makeStudy(chart, series, saved);
    QVERIFY(orphan->scriptOk());
    QVERIFY(orphan->fileChanged());
    MapSettings again;
    orphan->saveState(again);
    QCOMPARE(again.value(QStringLiteral("code")).toString(), file.code);
}

void TestStudyItem::restoreRefusesBadValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("error");
    QTest::newRow("lineWidth 0") << "lineWidth" << QVariant(0) << "default lineWidth";
    QTest::newRow("lineWidth 11") << "lineWidth" << QVariant(11) << "default lineWidth";
    QTest::newRow("lineWidth text") << "lineWidth" << QVariant("wide") << "default lineWidth";
    QTest::newRow("view 3") << "view" << QVariant(3) << "default view";
    QTest::newRow("view -1") << "view" << QVariant(-1) << "default view";
    QTest::newRow("style lineWidth") << "style_0/lineWidth" << QVariant(0) << "plot style lineWidth";
    QTest::newRow("style view") << "style_0/view" << QVariant(7) << "plot style view";
    QTest::newRow("decimals") << "decimals" << QVariant(6) << "decimals";
    QTest::newRow("good") << "lineWidth" << QVariant(10) << "";
}

void TestStudyItem::restoreRefusesBadValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    StudyChart chart(0);
    SeriesItem *series = chart.first;
    MapSettings settings = studySettings(QStringLiteral("S"), QStringLiteral("Plot(1, 'a');"));
    settings.setValue(QStringLiteral("styleCount"), 1);
    settings.setValue(QStringLiteral("style_0/name"), QStringLiteral("a"));
    settings.setValue(QStringLiteral("customPrecision"), true);
    settings.setValue(QStringLiteral("decimals"), 2);
    settings.setValue(key, value);
    ScriptStudyItem item(series, chart.scale);
    QCOMPARE(restoreError(item, settings), error);
}

void TestStudyItem::saveAndRestoreRoundTrip()
{
    StudyChart chart(10);
    SeriesItem *series = chart.first;
    series->setProperty("id", 7);
    MapSettings settings = studySettings(QStringLiteral("Round"),
                                         QStringLiteral("Plot(Close.at(0) * k, 'a'); Plot(1, 'b');"),
                                         QString(), {{QStringLiteral("k"), QStringLiteral("2")}});
    settings.setValue(QStringLiteral("color"), QStringLiteral("#00ff00"));
    settings.setValue(QStringLiteral("view"), 2);
    settings.setValue(QStringLiteral("styleCount"), 1);
    settings.setValue(QStringLiteral("style_0/name"), QStringLiteral("a"));
    settings.setValue(QStringLiteral("style_0/color"), QStringLiteral("#123456"));
    settings.setValue(QStringLiteral("style_0/lineWidth"), 3);
    settings.setValue(QStringLiteral("style_0/view"), 1);
    settings.setValue(QStringLiteral("customPrecision"), true);
    settings.setValue(QStringLiteral("decimals"), 3);
    settings.setValue(QStringLiteral("changeScaleRange"), false);
    settings.setValue(QStringLiteral("displayName"), QStringLiteral("Двойное закрытие"));
    auto study = makeStudy(chart, series, settings);
    QCOMPARE(study->displayName(), QStringLiteral("Двойное закрытие"));
    QCOMPARE(study->decimals(), 3);
    QVERIFY(!study->takesPartInScale());
    // The plot without a saved style got the defaults of the saved group.
    QCOMPARE(study->styles().value(QStringLiteral("b")).color, QColor(0, 255, 0));
    QCOMPARE(study->styles().value(QStringLiteral("b")).view, 2);
    QCOMPARE(study->valueAt(QStringLiteral("a"), {0, 4}).value, 2 * pricesOf(4).close);
    MapSettings saved;
    study->saveState(saved);
    // Each style in a group of its own; what is saved comes back and is saved alike.
    QCOMPARE(saved.value(QStringLiteral("seriesItem")).toInt(), 7);
    QCOMPARE(saved.value(QStringLiteral("style_0/color")).toString(), QStringLiteral("#123456"));
    QCOMPARE(saved.value(QStringLiteral("style_1/name")).toString(), QStringLiteral("b"));
    auto again = makeStudy(chart, series, saved);
    MapSettings resaved;
    again->saveState(resaved);
    QCOMPARE(resaved.allKeys(), saved.allKeys());
    for (const QString &key : saved.allKeys())
        QCOMPARE(resaved.value(key).toString(), saved.value(key).toString());
}

void TestStudyItem::summaryAndHitTests()
{
    StudyChart chart(10);
    SeriesItem *series = chart.first;
    series->setDisplayName(QStringLiteral("АРКТ"));
    MapSettings settings = studySettings(QStringLiteral("Tip"),
                                         QStringLiteral("Plot(Close.at(0), 'c'); if (CurrentBar > 5) "
                                                        "Plot(2.5, 'z');"));
    settings.setValue(QStringLiteral("customPrecision"), true);
    settings.setValue(QStringLiteral("decimals"), 2);
    auto study = makeStudy(chart, series, settings);
    const double x = series->xOf({0, 7});
    const QString tip = study->infoTextAt(study->mapToScene(QPointF(x, -100)));
    const QLocale locale = QLocale::system();
    QCOMPARE(tip, QStringLiteral("Tip (АРКТ):\nc=%1\nz=%2\n")
                      .arg(locale.toString(pricesOf(7).close, 'f', 2), locale.toString(2.5, 'f', 2)));
    // Left of the item, and a slot without values: nothing.
    QCOMPARE(study->infoTextAt(study->mapToScene(QPointF(-5, -100))), QString());
    QCOMPARE(study->infoTextAt(study->mapToScene(QPointF(series->xOf({0, 200}), -100))), QString());
    // Clicks find the item on its line and on its levels, not beside them.
    auto near = [&](double x, double y) {
        QPainterPath path;
        path.addRect(QRectF(x - 0.05, y - 0.05, 0.1, 0.1));
        return study->collidesWithPath(path);
    };
    const double y7 = -pricesOf(7).close;
    QVERIFY(near(x, y7));
    QVERIFY(!near(x, y7 - 30));
    MapSettings levelled = studySettings(QStringLiteral("Lv"), QStringLiteral("1;"),
                                         QStringLiteral("Level(50, 'mid');"));
    auto level = makeStudy(chart, series, levelled);
    QPainterPath onLevel;
    onLevel.addRect(QRectF(x, -50.01, 0.1, 0.02));
    QVERIFY(level->collidesWithPath(onLevel));
    QPainterPath offLevel;
    offLevel.addRect(QRectF(x, -60, 0.1, 0.02));
    QVERIFY(!level->collidesWithPath(offLevel));
}

void TestStudyItem::lazyFunctionsLoadInOneCall()
{
    StudyChart chart(12);
    SeriesItem *series = chart.first;
    FunctionFile twice;
    twice.code = QStringLiteral("function twice_(v) { return 2 * half_(v) * 2; }");
    FunctionFilesModel::instance()->save(QStringLiteral("twice_"), twice);
    FunctionFile half;
    half.code = QStringLiteral("function half_(v) { return v / 2; }");
    FunctionFilesModel::instance()->save(QStringLiteral("half_"), half);
    auto study = makeStudy(chart, series,
                           studySettings(QStringLiteral("Lazy"),
                                         QStringLiteral("Plot(twice_(Close.at(0)), 'w');")));
    // Complete when the restore returns: both functions resolved, every bar evaluated.
    QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
    QCOMPARE(study->context()->functions().keys(),
             QStringList({QStringLiteral("half_"), QStringLiteral("twice_")}));
    QCOMPARE(study->valueAt(QStringLiteral("w"), {0, 11}).value, 2 * pricesOf(11).close);
}

void TestStudyItem::seriesGoesFirst()
{
    StudyChart chart(10);
    SeriesItem *series = chart.first;
    auto *study = new ScriptStudyItem(series, chart.scale);
    MapSettings settings = studySettings(QStringLiteral("Gone"), QStringLiteral("Plot(1, 'a');"));
    study->restoreState(settings);
    QPointer<ScriptStudyItem> guard(study);
    // A rebuild is due from a lazy name when the series goes.
    chart.series.clear();
    QVERIFY(!study->seriesItem());
    QCOMPARE(study->parametersText(), QString());
    QCOMPARE(study->infoTextAt(QPointF(1, -1)), QString());
    study->rebuild();
    study->seriesDataChanged({0, 0}, {0, 5});
    QTRY_VERIFY(!guard);
}

void TestStudyItem::timeFrameChangeStartsAfresh()
{
    StudyChart chart(60);
    SeriesItem *series = chart.first;
    SeriesItem *fresh = chart.addSeries(Arkt, TimeFrameValue(300), Thursday, Thursday);
    addBars(fresh, 60);
    const MapSettings settings =
        studySettings(QStringLiteral("Avg"),
                      QStringLiteral("if (CurrentBar >= 0) { var p = a[CurrentBar - 1]; "
                                     "a[CurrentBar] = p === undefined ? Close.at(0) : (p + "
                                     "Close.at(0)) / 2; Plot(a[CurrentBar], 'a'); }"),
                      QStringLiteral("var a = [];"));
    auto study = makeStudy(chart, series, settings);
    QCOMPARE(study->plots().value(QStringLiteral("a")).last, FrameIndex(0, 59));
    // Five-minute bars: the old slots go, the indicator is built over the new layout once the
    // bars are there again.
    series->changeTimeFrame(TimeFrameValue(300));
    QVERIFY(!study->valueAt(QStringLiteral("a"), {0, 59}).valid);
    addBars(series, 60);
    auto expected = makeStudy(chart, fresh, settings);
    QCOMPARE(int(study->plots().value(QStringLiteral("a")).cells.front().size()),
             series->model()->chunkSize(0));
    QCOMPARE(cellsText(*study, QStringLiteral("a")), cellsText(*expected, QStringLiteral("a")));
}

void TestStudyItem::instrumentChangeFollowsItsFields()
{
    const SeriesKey first{2, 2, 2001};
    const SeriesKey second{2, 2, 2002};
    setSecurity(first, QStringLiteral("bid"), "101.5");
    setSecurity(second, QStringLiteral("bid"), "7.25");
    StudyChart chart(5);
    SeriesItem *series = chart.first;
    auto study = makeStudy(chart, series,
                           studySettings(QStringLiteral("Bid"), QStringLiteral("Plot(bid, 'bid');")));
    QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
    QCOMPARE(study->valueAt(QStringLiteral("bid"), {0, 4}).value, 101.5);
    // Another instrument for the series: the watch follows it and the plots are built again
    // from its bars with its bid.
    series->changeInstrument(second.toString());
    QCOMPARE(study->instrument().sec_id, second.sec_id);
    addBars(series, 5);
    QVERIFY2(study->scriptOk(), qPrintable(study->errorText()));
    QCOMPARE(study->valueAt(QStringLiteral("bid"), {0, 4}).value, 7.25);
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
    const struct
    {
        const char *name;
        const char *color;
        int view;
        int width;
    } styles[] = {{"top", "#ff0000", 0, 1},
                  {"bottom", "#00ff00", 0, 1},
                  {"line", "#0000ff", 0, 3},
                  {"hist", "#ffff00", 1, 1},
                  {"lvl", "#ff00ff", 0, 1}};
    settings.setValue(QStringLiteral("styleCount"), 5);
    for (int i = 0; i < 5; ++i) {
        settings.setValue(QStringLiteral("style_%1/name").arg(i), QString::fromLatin1(styles[i].name));
        settings.setValue(QStringLiteral("style_%1/color").arg(i), QString::fromLatin1(styles[i].color));
        settings.setValue(QStringLiteral("style_%1/view").arg(i), styles[i].view);
        settings.setValue(QStringLiteral("style_%1/lineWidth").arg(i), styles[i].width);
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
    QCOMPARE(pixel(image, x, int(PosY - Factor * 98)), QColor(255, 0, 0));
    // The blue line three pixels wide at 92.
    const int yLine = int(PosY - Factor * 92);
    QCOMPARE(pixel(image, x + 5, yLine), QColor(0, 0, 255));
    QCOMPARE(pixel(image, x + 5, yLine - 1), QColor(0, 0, 255));
    // The level across the item, one crisp row.
    auto levelAt = [&](int column) {
        const int y = int(PosY - Factor * 94);
        return pixel(image, column, y) == QColor(255, 0, 255)
               || pixel(image, column, y - 1) == QColor(255, 0, 255);
    };
    QVERIFY(levelAt(x + 5));
    QVERIFY(levelAt(px({0, 35})));
    // A histogram column of an odd bar reaches 91; nothing of it above.
    const int odd = px({0, 21});
    QCOMPARE(pixel(image, odd, int(PosY - Factor * 90.5)), QColor(255, 255, 0));
    QCOMPARE(pixel(image, odd, int(PosY - Factor * 91.5)), QColor(0, 0, 0));
}

TA_REGISTER_TEST(TestStudyItem)

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

// Indicators in a chart window: failures, file edits, limits, saving and restoring.
class TestStudyFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void restoredLoopsDoNotHoldTheWindow();
    void hostileIndicatorsFailAlone_data();
    void hostileIndicatorsFailAlone();
    void failureReadFromItsLabel();
    void limitsFromTheSettingsPage();
    void fileEditedUnderOpenCharts();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestStudyFlow::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "studyflow.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 480)}));
    useCopyOfLibrary(m_dir);
    StudyServices::install();
    storeSeriesDefaults(Thursday, 1, 1);
}

void TestStudyFlow::cleanupTestCase()
{
    MultiView::setServices({});
    SubChartWidget::setStudyMaker({});
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
    SeriesDataService::setInstance(nullptr);
}

// A window saved with indicators that loop opens at once; each loop is stopped in a turn of its
// own, with its text, and the others are not held up or touched.
void TestStudyFlow::restoredLoopsDoNotHoldTheWindow()
{
    QWidget window;
    auto *view = new MultiView(&window);
    SeriesItem *series = view->createDefaultSeriesItem(Arkt);
    QVERIFY(series);
    addBars(series, 60);
    view->synchronizer()->update();
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
    const QList<ScriptStudyItem *> studies = studiesOf(*restored);
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

void TestStudyFlow::hostileIndicatorsFailAlone_data()
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
    // Callbacks left queued would run from the event loop, outside any time limit.
    QTest::newRow("promise") << "" << "Promise.resolve().then(function () { while (true) {} }); Promise.resolve().then(function () { Plot(1, 'late'); });" + plot << "";
    QTest::newRow("loop in the declaration") << "var x = 0; for (;;) { x++; }" << plot << stretch;
    QTest::newRow("loop in the code") << "" << "if (CurrentBar == 30) while (true) {}" + plot << stretch;
    QTest::newRow("loop in a function file") << "" << "Plot(Spin(), 'c');" << stretch;
    QTest::newRow("recursion") << "function deep(n) { return deep(n + 1) + 1; }" << "Plot(deep(0), 'c');"
                               << "RangeError";
    QTest::newRow("typed arrays kept") << "var keep = [];"
                                       << "for (var i = 0; i < 20 && keep.length < 400; i++) keep.push(new Float64Array(262144));" + plot
                                       << either;
    QTest::newRow("a string doubled") << "var s = 'ab';" << "s = s + s; s.charCodeAt(s.length - 1);" + plot
                                      << either;
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
void TestStudyFlow::hostileIndicatorsFailAlone()
{
    QFETCH(QString, declaration);
    QFETCH(QString, code);
    QFETCH(QString, message);
    FunctionFile spin;
    spin.code = QStringLiteral("function Spin() { for (;;) {} }");
    FunctionFilesModel::instance()->save(QStringLiteral("Spin"), spin);
    QWidget window;
    auto *view = new MultiView(&window);
    SeriesItem *series = view->createDefaultSeriesItem(Arkt);
    QVERIFY(series);
    addBars(series, 60);
    view->synchronizer()->update();
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
    QVERIFY(!hostile->plots().contains(QStringLiteral("late")));
    // A trade makes a new bar: the good indicator follows, and so does a working hostile one;
    // a failed one is not run again.
    const qint64 evaluated = hostile->evaluatedBars();
    addBar(series, 60);
    settle(*good);
    settle(*hostile);
    const SeriesDataModel *model = series->model();
    const FrameIndex last = model->lastIndex();
    QCOMPARE(last, FrameIndex(0, 60));
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

// A failed indicator says so in its status line in its colour; a right click on its label
// opens its menu (every item's label does), with the error, its bar and the trace lines
// before it; a working one offers its trace lines. A good parameter value brings it back.
void TestStudyFlow::failureReadFromItsLabel()
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
    auto *traced = qobject_cast<ScriptStudyItem *>(view->addStudyFor(
        series, studySettings(QStringLiteral("Traced"),
                              QStringLiteral("if (CurrentBar == 2) Trace('на втором'); Plot(2, 'q');"))));
    QVERIFY(broken && traced);
    settle(*broken);
    settle(*traced);
    QVERIFY(!broken->scriptOk());
    QCoreApplication::processEvents();

    StatusLineLabel *brokenLabel = labelOf(window, broken);
    QVERIFY(brokenLabel && brokenLabel->isVisible());
    QCOMPARE(brokenLabel->statusEdit()->text(), QStringLiteral("Ошибка"));
    QVERIFY(labelOf(window, traced)->statusEdit()->text().isEmpty());
    // The word in the indicator's colour.
    const QImage status = brokenLabel->statusEdit()->grab().toImage();
    const QColor colour = broken->color();
    bool coloured = false;
    for (int y = 0; y < status.height() && !coloured; ++y) {
        for (int x = 0; x < status.width() && !coloured; ++x) {
            const QColor c = status.pixelColor(x, y);
            coloured = std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                           + std::abs(c.blue() - colour.blue()) < 60;
        }
    }
    QVERIFY(coloured);
    // An empty status field is no white box over the chart: the pane shows through it.
    const QImage shot = host.grab().toImage();
    LabelByLineEdit *empty = labelOf(window, traced)->statusEdit();
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

    // The working indicator: its trace lines, from its name.
    readNextDialog(&text, &details);
    ItemNameEdit *name = labelOf(window, traced)->nameEdit();
    entries = rightClickMenu(name, name->rect().center(), QStringLiteral("Трассировка"));
    QVERIFY2(entries.contains(QStringLiteral("Трассировка")), qPrintable(entries.join('|')));
    QVERIFY(!entries.contains(QStringLiteral("Показать ошибки")));
    QCOMPARE(text, QStringLiteral("Бар 2: на втором"));
    // The series' label opens the series' menu.
    StatusLineLabel *seriesLabel = labelOf(window, series);
    QVERIFY(seriesLabel);
    entries = rightClickMenu(seriesLabel->nameEdit(), seriesLabel->nameEdit()->rect().center());
    QVERIFY2(entries.contains(series->propertiesAction()->text()), qPrintable(entries.join('|')));

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
// sets go; the label marks the file changed until the window is saved. A window saved before
// the edit opens the same way.
void TestStudyFlow::fileEditedUnderOpenCharts()
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
    MapSettings before;
    view->saveState(before);
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

    // The window saved before the edit opens with the file as it is now, the trader's "a" kept.
    QWidget other;
    auto *restored = new MultiView(&other);
    restored->restoreState(before);
    addBars(restored->seriesItems().front(), 30);
    const QList<ScriptStudyItem *> studies = studiesOf(*restored);
    QCOMPARE(studies.size(), 1);
    settle(*studies.front());
    QVERIFY2(studies.front()->scriptOk(), qPrintable(studies.front()->errorText()));
    QCOMPARE(studies.front()->valueAt(QStringLiteral("v"), {0, 5}).value, 15.0);
    QVERIFY(studies.front()->fileChanged());
}

// The scripts' limits on the "Индикаторы" page: a damaged stored value shows its default, and
// an open indicator runs its next pass under the value applied.
void TestStudyFlow::limitsFromTheSettingsPage()
{
    AppSettings scripts(QStringLiteral("TechAnalysis/Scripts"));
    scripts.setValue(QStringLiteral("memoryLimit"), QStringLiteral("много"));
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
    auto *memoryLimit = form->findChild<QSpinBox *>(QStringLiteral("memoryLimit"));
    QVERIFY(rebuildLimit && memoryLimit);
    QCOMPARE(rebuildLimit->value(), 5000);
    QCOMPARE(memoryLimit->value(), 256);
    rebuildLimit->setValue(50);
    page.apply(none);
    page.finish();
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/Scripts")).value(QStringLiteral("rebuildTimeLimit")).toInt(), 50);
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/Scripts")).value(QStringLiteral("memoryLimit")).toString(),
             QStringLiteral("много"));

    slow->rebuild();
    settle(*slow);
    QVERIFY(!slow->scriptOk());
    QVERIFY2(slow->errorText().contains(QStringLiteral("0.05 с")), qPrintable(slow->errorText()));
}

TA_REGISTER_TEST(TestStudyFlow)
#include "tst_studyitem.moc"
