#include "charttesthelpers.h"
#include "statusline.h"
#include "studyview.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace BarTest;

namespace {

// Thursday 2026-12-03: one session 10:00-11:00, sixty one-minute bars.
const QDate Thursday(2026, 12, 3);
const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");

datetime minute(int m)
{
    return t(Thursday, 10, 0).addSecs(60 * m);
}

// Bars of four deals (open, high, low, close), each at the start of its minute.
void addBars(SeriesItem *item, const QList<std::pair<int, QList<const char *>>> &bars)
{
    DealBatch batch(item->model(), 4, false);
    for (const auto &[m, ohlc] : bars)
        ChartFixture::addBar(batch, minute(m), ohlc[0], ohlc[1], ohlc[2], ohlc[3]);
}

// The scale used by most cases: price p at scene y = 1100 - 10 p (110 at the top, 90 at 200).
constexpr double Factor = 10;
constexpr double PosY = 1100;

int yOf(double price)
{
    return int(PosY - Factor * price);
}

QColor pixel(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

enum Wicks { WithoutWicks, WithWicks };

// 480 minute bars of a random walk, the same for a seed.
void randomWalk(SeriesItem *item, quint32 seed, Wicks wicks)
{
    DealBatch batch(item->model(), 4, false);
    double price = 100;
    QRandomGenerator random(seed);
    for (int m = 0; m < 480; ++m) {
        const double open = price;
        price += random.bounded(9) - 4;
        const double high = std::max(open, price) + (wicks == WithWicks ? random.bounded(4) : 0);
        const double low = std::min(open, price) - (wicks == WithWicks ? random.bounded(4) : 0);
        ChartFixture::addBar(batch, minute(m), QByteArray::number(open).constData(),
                             QByteArray::number(high).constData(),
                             QByteArray::number(low).constData(),
                             QByteArray::number(price).constData());
    }
}

} // namespace

class TestItems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void barHalfWidthTable_data();
    void barHalfWidthTable();
    void rangeFollowsTheData();
    void staleAndClearedChanges();
    void saveRestoreAndRefusals();
    void summaryMarkAndStatus();

    void candlesPixels();
    void barsAndLinePixels();
    void denseColumns();
    void lineAcrossChunks();
    void statusLineLabel();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestItems::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "items.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    QVERIFY(isTradingDay(Thursday));
}

void TestItems::cleanupTestCase()
{
    SeriesDataService::setInstance(nullptr);
}

void TestItems::init()
{
    SeriesDataService::setInstance(&m_service);
    setSchedule(everyWeekday({at(1, 10, 0, 60)}));
    AppSettings().setValue(QStringLiteral("TechAnalysis/Confirmations/askDelItem"), false);
}

// --- item behaviour -------------------------------------------------------------------------

void TestItems::barHalfWidthTable_data()
{
    QTest::addColumn<double>("pixelsPerBar");
    QTest::addColumn<double>("bodyPixels");
    QTest::newRow("9") << 9.0 << 6.0;
    QTest::newRow("20") << 20.0 << 10.0;
    QTest::newRow("30") << 30.0 << 16.0; // a quarter of 30 is 7.5, rounded to 8 pixels
    QTest::newRow("56") << 56.0 << 28.0;
    QTest::newRow("57") << 57.0 << 32.0;
    QTest::newRow("0.01") << 0.01 << 0.0; // no negative bodies far out
}

void TestItems::barHalfWidthTable()
{
    QFETCH(double, pixelsPerBar);
    QFETCH(double, bodyPixels);
    ChartFixture chart(pixelsPerBar, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QCOMPARE(2 * item->barHalfWidth() * pixelsPerBar, bodyPixels);
}

void TestItems::rangeFollowsTheData()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QVERIFY(item->isRangeEmpty());
    QSignalSpy ranges(item, &ChartItem::rangeChanged);
    QSignalSpy closes(item, &ChartItem::closePriceChanged);
    addBars(item, {{0, {"100", "102", "99", "101"}},
                   {1, {"101", "104", "100", "103"}}});
    QVERIFY(!item->isRangeEmpty());
    QCOMPARE(item->low(), 99.0);
    QCOMPARE(item->high(), 104.0);
    QCOMPARE(ranges.size(), 1);
    QCOMPARE(closes.size(), 1);
    QCOMPARE(chart.scale->rangeChanges, 1);
    QCOMPARE(chart.scale->dataChanges, 1);
    // A trade inside the range changes nothing of it.
    {
        DealBatch batch(item->model(), 1, false);
        batch.append(deal(minute(1).addSecs(40), "102"));
    }
    QCOMPARE(ranges.size(), 1);
    QCOMPARE(closes.size(), 2);
    // The item is as wide as the bars up to the last one, and the scene grew with it.
    QVERIFY(item->width() > 1.0 && item->width() < 2.5);
    QVERIFY(chart.synchronizer.rightEdge() >= item->pos().x() + item->width());
    const QRectF rect = item->boundingRect();
    QCOMPARE(rect.top(), -104.0 - 7 / Factor);
    QCOMPARE(rect.bottom(), -99.0 + 7 / Factor);
}

void TestItems::staleAndClearedChanges()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    addBars(item, {{3, {"100", "102", "99", "101"}}});
    QSignalSpy ranges(item, &ChartItem::rangeChanged);
    QSignalSpy cleared(item, &SeriesItem::seriesCleared);
    // A change over bars without data says nothing.
    item->onDataChanged({0, 10}, {0, 20});
    QCOMPARE(ranges.size(), 0);
    // Indices past the layout (a change queued before a re-layout) are clamped, not read.
    item->onDataChanged({5, 0}, {9, 900});
    item->onDataChanged({0, 50}, {0, 9000});
    QCOMPARE(item->high(), 102.0);
    // After a re-layout to five-minute bars, an old change's indices do not resurrect bars.
    item->changeTimeFrame(TimeFrameValue(300));
    QCOMPARE(cleared.size(), 1);
    QVERIFY(item->isRangeEmpty());
    item->onDataChanged({0, 3}, {0, 59});
    QVERIFY(item->isRangeEmpty());
    QVERIFY(!item->barAt({0, 3}).isValid());
}

void TestItems::saveRestoreAndRefusals()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    item->setProperty("id", 4);
    item->setDisplayName(QStringLiteral("Нефть"));
    MapSettings saved;
    item->setLineWidth(3);
    item->setView(2);
    item->candleView().upColor = QColor(0x12, 0x34, 0x56);
    item->saveState(saved);
    SeriesItem *copy = chart.addSeries(Kstr, TimeFrameValue(300), Thursday, Thursday);
    copy->restoreState(saved);
    QCOMPARE(copy->lineWidth(), 3);
    QCOMPARE(copy->view(), 2);
    QCOMPARE(copy->candleView().upColor, QColor(0x12, 0x34, 0x56));
    QCOMPARE(copy->property("id").toInt(), 4);
    QCOMPARE(copy->displayName(), QStringLiteral("Нефть"));

    // Refused values name their key and change nothing.
    const QList<QPair<QString, QVariant>> refused{{"lineWidth", 11}, {"lineWidth", 0},
                                                  {"lineWidth", "wide"}, {"view", 3},
                                                  {"view", -1}, {"view", "line"}};
    for (const auto &[key, value] : refused) {
        MapSettings bad;
        bad.copyFrom(saved);
        bad.setValue(QStringLiteral("lineWidth"), 5);
        bad.setValue(key, value);
        QString thrown;
        try {
            copy->restoreState(bad);
        } catch (const QString &e) {
            thrown = e;
        }
        QCOMPARE(thrown, key);
        QCOMPARE(copy->lineWidth(), 3);
        QCOMPARE(copy->view(), 2);
    }
}

// The bar under a point as the cursor's summary shows it, the last price's mark, the status.
void TestItems::summaryMarkAndStatus()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    addBars(item, {{4, {"100.5", "102", "99.25", "101"}}});
    const QPointF at = item->mapToScene(QPointF(4, -100));
    QCOMPARE(item->infoTextAt(at),
             QStringLiteral("Арктик Нефть ао:\nO=100.5\nH=102\nL=99.25\nC=101\nVol=4\nVal=402.75\n"));
    QCOMPARE(item->infoTextAt(item->mapToScene(QPointF(4, -120))), QString());
    const QList<PriceMark> marks = item->priceMarks();
    QCOMPARE(marks.size(), 1);
    QCOMPARE(marks.first().price, 101.0);
    QCOMPARE(marks.first().color, item->candleView().upColor);
}

// --- painting -------------------------------------------------------------------------------

void TestItems::candlesPixels()
{
    // 20 pixels per bar: bodies 10 pixels wide, centred on x = 20 * (bar - first).
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    addBars(item, {{1, {"100", "106", "96", "104"}}, // rising
                   {3, {"104", "105", "95", "97"}},  // falling
                   {5, {"98", "103", "97", "98"}}});  // doji
    item->candleView().wickSelfColor = true;
    const QImage image = chart.render(0, 200, 300);
    keepImage(image, QStringLiteral("candles.png"));
    const QColor black(Qt::black), green(0, 255, 0), red(255, 0, 0), wick(0xdf, 0xdf, 0xdf);
    // Rising body between 100 and 104, its wick above and below in the wick colour.
    QCOMPARE(pixel(image, 20 + 3, yOf(102)), green);
    QCOMPARE(pixel(image, 20, yOf(105)), wick);
    QCOMPARE(pixel(image, 20, yOf(97)), wick);
    QCOMPARE(pixel(image, 20 + 7, yOf(102)), black); // beyond the body
    // Falling body between 97 and 104.
    QCOMPARE(pixel(image, 60 - 3, yOf(100)), red);
    QCOMPARE(pixel(image, 60, yOf(96)), wick);
    // The doji: a horizontal line at 98 in the rising colours (the wick pen).
    QCOMPARE(pixel(image, 100 - 4, yOf(98)), wick);
    QCOMPARE(pixel(image, 100 + 4, yOf(98)), wick);
    QCOMPARE(pixel(image, 100 - 4, yOf(98) - 3), black);
    // Without its own colour a wick is drawn in the outline colour.
    item->candleView().wickSelfColor = false;
    const QImage outlined = chart.render(0, 200, 300);
    keepImage(outlined, QStringLiteral("candles-outlined.png"));
    QCOMPARE(pixel(outlined, 20, yOf(105)), green);
    QCOMPARE(pixel(outlined, 60, yOf(96)), red);
    // A bar that closes at its open counts as rising: the doji's line in the rising outline.
    QCOMPARE(pixel(outlined, 100 - 4, yOf(98)), green);
    QCOMPARE(pixel(outlined, 100, yOf(102)), green);
    // Gaps between bars stay empty.
    for (int y = 0; y < 300; ++y)
        QCOMPARE(pixel(outlined, 40, y), black);
}

void TestItems::barsAndLinePixels()
{
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    // minute 2 has no trades
    addBars(item, {{1, {"100", "106", "96", "104"}},
                   {3, {"104", "105", "95", "100"}}});
    item->setView(1);
    item->barView().inColor = Qt::blue;
    item->barView().outColor = Qt::yellow;
    QImage image = chart.render(0, 200, 300);
    QCOMPARE(pixel(image, 20, yOf(105)), QColor(0x00, 0x80, 0x00)); // the high-low line
    QCOMPARE(pixel(image, 20 - 3, yOf(100)), QColor(Qt::blue));    // open tick to the left
    QCOMPARE(pixel(image, 20 + 3, yOf(104)), QColor(Qt::yellow));  // close tick to the right
    QCOMPARE(pixel(image, 20 + 3, yOf(100)), QColor(Qt::black));

    // The line joins the closes across the bar without data.
    item->setView(2);
    image = chart.render(0, 200, 300);
    keepImage(image, QStringLiteral("line.png"));
    const QColor line(0x72, 0xe6, 0xa9);
    // Half way from (20, y(104)) to (60, y(100)): x 40, price 102.
    bool found = false;
    for (int dy = -1; dy <= 1; ++dy)
        found = found || pixel(image, 40, yOf(102) + dy) == line;
    QVERIFY(found);
}

// 0.25 pixels per bar: four bars share each pixel column.
void TestItems::denseColumns()
{
    setSchedule(everyWeekday({at(1, 10, 0, 8 * 60)}));
    ChartFixture chart(0.25, 2, 400);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    randomWalk(item, 7, WithWicks);
    for (bool selfColor : {false, true}) {
        item->candleView().wickSelfColor = selfColor;
        const QImage dense = chart.render(0, 120, 400);
        // The same bars painted one by one, as the renderer does above a pixel per bar.
        QImage each(120, 400, QImage::Format_ARGB32_Premultiplied);
        each.fill(Qt::black);
        {
            QPainter painter(&each);
            painter.setTransform(item->sceneTransform() * QTransform::fromScale(0.25, 1));
            const CandleSeriesView &v = item->candleView();
            for (int b = 0; b < 480; ++b) {
                const SeriesItem::Bar bar = item->barAt({0, b});
                const bool rising = bar.open <= bar.close;
                const QColor outline = rising ? v.upBoundColor : v.downBoundColor;
                QPen pen(selfColor ? v.wickColor : outline, 1);
                pen.setCosmetic(true);
                painter.setPen(pen);
                painter.drawLine(QLineF(b, -bar.low, b, -bar.high));
                QPen body(outline, 0);
                body.setCosmetic(true);
                painter.setPen(body);
                painter.drawLine(QLineF(b, -std::max(bar.open, bar.close), b,
                                        -std::min(bar.open, bar.close)));
            }
        }
        keepImage(each, QStringLiteral("each.png"));
        keepImage(dense, QStringLiteral("dense.png"));
        int painted = 0, differ = 0;
        for (int x = 0; x < 120; ++x) {
            for (int y = 0; y < 400; ++y) {
                const bool a = each.pixel(x, y) != QColor(Qt::black).rgb();
                painted += a ? 1 : 0;
                differ += each.pixel(x, y) != dense.pixel(x, y) ? 1 : 0;
            }
        }
        QVERIFY(painted > 1000);
        QVERIFY2(differ * 50 < painted, qPrintable(QStringLiteral("%1 of %2 pixels differ")
                                                      .arg(differ)
                                                      .arg(painted)));
    }

    // Bars without wicks: the picture is the bodies alone. A wider line widens wicks, never the
    // one-pixel body outline.
    ChartFixture bodies(0.25, 2, 400);
    item = bodies.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    randomWalk(item, 11, WithoutWicks);
    const QImage thin = bodies.render(0, 120, 400);
    item->setLineWidth(3);
    QCOMPARE(bodies.render(0, 120, 400), thin);

    // A selected series marks every 200th bar (50 pixels) at its close, dense as it is.
    const QColor mark(0xff, 0x00, 0xff);
    item->setItemColor(mark);
    item->setSelected(true);
    QVERIFY(item->isSelected());
    for (int kind : {0, 1}) {
        item->setView(kind);
        const QImage image = bodies.render(0, 120, 400);
        keepImage(image, QStringLiteral("dense-selected-%1.png").arg(kind));
        for (int b : {200, 400}) {
            const int y = int(400 - 2 * item->barAt({0, b}).close);
            QCOMPARE(pixel(image, b / 4, y), mark);
        }
    }
}

void TestItems::lineAcrossChunks()
{
    // Two sessions: 10:00-11:00 and 12:00-13:00 make two chunks, side by side on the axis.
    setSchedule(everyWeekday({at(1, 10, 0, 60), at(1, 12, 0, 60)}));
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QCOMPARE(item->chunkSpans(), QList<int>({0, 59, 60, 119}));
    addBars(item, {{58, {"100", "101", "99", "100"}},
                   {121, {"104", "105", "103", "104"}}});
    item->setView(2);
    // From (58, 100) to (61, 104): at x 59.5, between the chunks, the line is at 102.
    FrameIndex hit;
    QVERIFY(item->lineView().hitTest({59.5, -102}, item, &hit));
    QVERIFY(item->lineView().hitTest({60.5, -(100 + 4 * 2.5 / 3)}, item, &hit));
    QCOMPARE(hit, FrameIndex(1, 1));
    QVERIFY(!item->lineView().hitTest({59.5, -102 - 5.0 / Factor}, item, nullptr));
    const QImage image = chart.render(55, 200, 300);
    keepImage(image, QStringLiteral("line-chunks.png"));
    // The line is antialiased: the pixel on it carries most of the line's green.
    int green = 0;
    for (int dy = -1; dy <= 1; ++dy)
        green = std::max(green, pixel(image, int((59.5 - 55) * 20), yOf(102) + dy).green());
    QVERIFY2(green > 0xe6 / 2, qPrintable(QString::number(green)));
}

void TestItems::statusLineLabel()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QWidget container;
    auto *layout = new QHBoxLayout(&container);
    Q_UNUSED(layout)
    auto *label = new StatusLineLabel(item);
    label->attachTo(&container);
    QCOMPARE(label->parametersEdit()->text(), QStringLiteral(": 1 мин"));
    item->setSelected(true);
    QVERIFY(label->nameEdit()->styleSheet().contains(QStringLiteral("font: bold;")));
    // The name takes the colour of the view switched to.
    item->lineView().lineColor = QColor(0x12, 0x34, 0x56);
    item->setView(2);
    QVERIFY(label->nameEdit()->styleSheet().contains(QStringLiteral("#123456")));
    label->setStruckThrough(true);
    QVERIFY(label->nameEdit()->styleSheet().contains(QStringLiteral("line-through")));
    // The label follows the item's visibility and goes with it.
    container.show();
    item->hideItem();
    QVERIFY(!label->isVisible());
    QPointer<StatusLineLabel> guard(label);
    chart.series.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!guard);
}

TA_REGISTER_TEST(TestItems)

#include "tst_items.moc"
