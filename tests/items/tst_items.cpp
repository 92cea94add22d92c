#include "charttesthelpers.h"
#include "statusline.h"
#include "studyview.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStyleOptionGraphicsItem>
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

// The scale used by most cases: price p at scene y = 1100 - 10 p (110 at the top, 90 at 200).
constexpr double Factor = 10;
constexpr double PosY = 1100;

int yOf(double price)
{
    return int(PosY - Factor * price);
}

// Says every model is being filled.
class FillingService : public RecordingService
{
public:
    bool isFilling(SeriesDataModel *) const override { return true; }
};

QColor pixel(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

} // namespace

class TestItems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void placementAndUnits();
    void barHalfWidthTable_data();
    void barHalfWidthTable();
    void rangeFollowsTheData();
    void staleAndClearedChanges();
    void priceRangeBetweenValidBarsOnly();
    void saveRestoreAndRefusals();
    void menuTextsAndStatus();
    void timeFrameAndInstrumentChanges();

    void candlesPixels();
    void barsAndLinePixels();
    void denseColumnsLookLikeEveryBar();
    void denseSelectionAndOutline();
    void hitTests();
    void lineAcrossChunksAndScreenRange();
    void markersOnlyWhenSelected();
    void studyRenderers();
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

void TestItems::placementAndUnits()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *minutes = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QCOMPARE(minutes->unitsPerBar(), 1);
    QCOMPARE(minutes->chunkSpans(), QList<int>({0, 59}));
    QCOMPARE(minutes->xOf({0, 7}), 7.0);
    // Day boundaries of a series shorter than a day: its chunks' first and last indices.
    QCOMPARE(minutes->dayBoundaries(), QSet<int>({0, 59}));
    QCOMPARE(minutes->frameIndexAt(7.0), FrameIndex(0, 7));
    QCOMPARE(minutes->frameIndexAt(6.2), FrameIndex(0, 7)); // rounds up, as bar hit tests expect
    QCOMPARE(minutes->frameIndexAt(60.5), FrameIndex());
    // A five-minute series beside it: the base stays one minute, its bars are five units.
    SeriesItem *fives = chart.addSeries(Kstr, TimeFrameValue(300), Thursday, Thursday, 1);
    chart.synchronizer.update();
    QCOMPARE(fives->unitsPerBar(), 5);
    // Bars at the end of their interval: one bar further.
    QCOMPARE(fives->xOf({0, 2}), 15.0);
    QCOMPARE(fives->frameIndexAt(15.0), FrameIndex(0, 2));
    // Months over a minute base have no fixed length.
    fives->changeTimeFrame(TimeFrameValue(1, Month));
    chart.synchronizer.update();
    QCOMPARE(chart.synchronizer.baseFrame(), TimeFrameValue(60));
    QCOMPARE(fives->unitsPerBar(), -2592000 / 60);
    // Its month bars have no fixed length; the minute series' day now starts further on.
    QCOMPARE(minutes->dayBoundaries(), QSet<int>({3480, 3539}));
}

void TestItems::barHalfWidthTable_data()
{
    QTest::addColumn<double>("pixelsPerBar");
    QTest::addColumn<double>("bodyPixels");
    QTest::newRow("5") << 5.0 << 4.0;
    QTest::newRow("9") << 9.0 << 6.0;
    QTest::newRow("13") << 13.0 << 8.0;
    QTest::newRow("17") << 17.0 << 10.0;
    QTest::newRow("20") << 20.0 << 10.0;
    QTest::newRow("30") << 30.0 << 16.0; // a quarter of 30 is 7.5, rounded to 8 pixels
    QTest::newRow("56") << 56.0 << 28.0;
    QTest::newRow("57") << 57.0 << 32.0;
    QTest::newRow("200") << 200.0 << 32.0;
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
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(0), "100", "102", "99", "101");
        ChartFixture::addBar(batch, minute(1), "101", "104", "100", "103");
    }
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
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(3), "100", "102", "99", "101");
    }
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
    // A model cleared outright: an empty range and seriesCleared.
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(3), "100", "102", "99", "101");
    }
    QVERIFY(!item->isRangeEmpty());
    item->model()->clear();
    QVERIFY(item->isRangeEmpty());
    QCOMPARE(item->width(), 0.0);
    QCOMPARE(cleared.size(), 2);
}

void TestItems::priceRangeBetweenValidBarsOnly()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(2), "100", "102", "99", "101");
        ChartFixture::addBar(batch, minute(10), "101", "108", "100", "103");
        ChartFixture::addBar(batch, minute(20), "103", "105", "95", "96");
    }
    QCOMPARE(item->priceRangeBetween(0, 12), qMakePair(99.0, 108.0));
    QCOMPARE(item->priceRangeBetween(9, 25), qMakePair(95.0, 108.0));
    // Only bars without data in between: nothing, not the item's range.
    QCOMPARE(item->priceRangeBetween(12, 18), qMakePair(0.0, 0.0));
    QCOMPARE(item->priceRangeBetween(30, 30), qMakePair(0.0, 0.0));
    QCOMPARE(item->priceRangeBetween(40, 55), qMakePair(0.0, 0.0));
}

void TestItems::saveRestoreAndRefusals()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    item->setProperty("id", 4);
    MapSettings saved;
    item->setLineWidth(3);
    item->setView(2);
    item->candleView().upColor = QColor(0x12, 0x34, 0x56);
    item->saveState(saved);
    QCOMPARE(saved.value(QStringLiteral("type")).toInt(), 0);
    QCOMPARE(saved.value(QStringLiteral("view")).toInt(), 2);
    QCOMPARE(saved.value(QStringLiteral("id")).toInt(), 4);
    // Every renderer writes its colours, whatever the view.
    for (const char *key : {"wickSelfColor", "wickColor", "upColor", "upBoundColor", "downColor",
                            "downBoundColor", "minmaxColor", "inColor", "outColor", "lineColor"})
        QVERIFY2(saved.contains(QString::fromLatin1(key)), key);

    SeriesItem *copy = chart.addSeries(Kstr, TimeFrameValue(300), Thursday, Thursday);
    copy->restoreState(saved);
    QCOMPARE(copy->lineWidth(), 3);
    QCOMPARE(copy->view(), 2);
    QCOMPARE(copy->candleView().upColor, QColor(0x12, 0x34, 0x56));
    QCOMPARE(copy->property("id").toInt(), 4);

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
    // 10 is the widest line; without "view" a series shows candles; a colour that does not
    // parse is ignored.
    MapSettings plain;
    plain.copyFrom(saved);
    plain.setValue(QStringLiteral("lineWidth"), 10);
    plain.remove(QStringLiteral("view"));
    plain.setValue(QStringLiteral("upColor"), QStringLiteral("no colour"));
    copy->restoreState(plain);
    QCOMPARE(copy->lineWidth(), 10);
    QCOMPARE(copy->view(), 0);
    QCOMPARE(copy->candleView().upColor, QColor(0x12, 0x34, 0x56));
}

void TestItems::menuTextsAndStatus()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QCOMPARE(item->displayName(), QStringLiteral("Арктик Нефть ао"));
    QCOMPARE(item->parametersText(), QStringLiteral("1 мин"));
    QVERIFY(item->deleteQuestion().startsWith(
        QStringLiteral("Вы действительно хотите удалить график 'Арктик Нефть ао'?\n")));
    QMenu menu;
    item->fillContextMenu(&menu);
    QStringList texts;
    for (QAction *action : menu.actions())
        texts.append(action->text());
    QCOMPARE(texts.mid(0, 5), QStringList({"Удалить", "Свойства", "Скрыть", "На передний план",
                                           "Построить индикатор"}));
    QCOMPARE(texts.value(5), QStringLiteral("Инструмент"));
    // The last series of a window cannot be deleted.
    QVERIFY(!item->deleteAction()->isEnabled());
    chart.addSeries(Kstr, TimeFrameValue(60), Thursday, Thursday);
    QMenu second;
    item->fillContextMenu(&second);
    QVERIFY(item->deleteAction()->isEnabled());

    // The bar under a point, as the cursor's summary shows it.
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(4), "100.5", "102", "99.25", "101");
    }
    const QPointF at = item->mapToScene(QPointF(4, -100));
    QCOMPARE(item->infoTextAt(at),
             QStringLiteral("Арктик Нефть ао:\nO=100.5\nH=102\nL=99.25\nC=101\nVol=4\nVal=402.75\n"));
    QCOMPARE(item->infoTextAt(item->mapToScene(QPointF(4, -120))), QString());
    const QList<PriceMark> marks = item->priceMarks();
    QCOMPARE(marks.size(), 1);
    QCOMPARE(marks.first().price, 101.0);
    QCOMPARE(marks.first().color, item->candleView().upColor);

    QCOMPARE(item->statusText(), QString());
    FillingService filling;
    SeriesDataService::setInstance(&filling);
    QCOMPARE(item->statusText(), QStringLiteral("Загрузка данных, ожидайте..."));
    SeriesDataService::setInstance(&m_service);

    // The confirmed delete (the question is switched off here).
    QPointer<SeriesItem> guard(item);
    item->deleteAction()->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!guard);
    chart.series.front().release();
}

void TestItems::timeFrameAndInstrumentChanges()
{
    ChartFixture chart(10, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(4), "100", "102", "99", "101");
    }
    QSignalSpy names(item, &ChartItem::nameChanged);
    MapSettings dialog;
    TimeFrameValue(300).save(dialog);
    dialog.setValue(QStringLiteral("view"), 1);
    dialog.setValue(QStringLiteral("lineColor"), QColor(Qt::yellow));
    const int fills = m_service.fills;
    item->applyProperties(dialog);
    QCOMPARE(item->model()->timeFrame(), TimeFrameValue(300));
    QCOMPARE(item->view(), 1);
    QCOMPARE(item->lineView().lineColor, QColor(Qt::yellow));
    QVERIFY(item->isRangeEmpty());
    QVERIFY(m_service.fills > fills);
    QVERIFY(!names.isEmpty());
    QCOMPARE(item->parametersText(), QStringLiteral("5 мин"));

    // Another instrument from the selector: the model is re-keyed, emptied and filled again.
    QSignalSpy precision(item, &ChartItem::precisionChanged);
    item->changeInstrument(Kstr);
    QCOMPARE(item->model()->seriesKey(), SeriesKey::fromString(Kstr));
    QCOMPARE(item->displayName(), QStringLiteral("Каспий Стройтех ао"));
    QCOMPARE(precision.size(), 1);
    QVERIFY(item->isRangeEmpty());
    item->changeInstrument(Kstr);
    QCOMPARE(precision.size(), 1);

    // A window's synchroniser may go before its items.
    auto *own = new TSynchronyzer;
    auto *orphan = new SeriesItem(Arkt, own, chart.scale, 0);
    delete own;
    orphan->updateLocation();
    QCOMPARE(orphan->unitsPerBar(), 1);
    delete orphan;
}

// --- painting -------------------------------------------------------------------------------

void TestItems::candlesPixels()
{
    // 20 pixels per bar: bodies 10 pixels wide, centred on x = 20 * (bar - first).
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(1), "100", "106", "96", "104"); // rising
        ChartFixture::addBar(batch, minute(3), "104", "105", "95", "97");  // falling
        ChartFixture::addBar(batch, minute(5), "98", "103", "97", "98");   // doji
    }
    item->candleView().wickSelfColor = true;
    const QImage image = chart.render(0, 200, 300);
    keepImage(image, QStringLiteral("candles.png"));
    const QColor black(Qt::black), green(0, 255, 0), red(255, 0, 0), wick(0xdf, 0xdf, 0xdf);
    // Rising body between 100 and 104, its wick above and below in the wick colour.
    QCOMPARE(pixel(image, 20 + 3, yOf(102)), green);
    QCOMPARE(pixel(image, 20, yOf(105)), wick);
    QCOMPARE(pixel(image, 20, yOf(97)), wick);
    QCOMPARE(pixel(image, 20 + 3, yOf(105)), black); // beside the wick
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
    // Gaps between bars stay empty.
    for (int y = 0; y < 300; ++y)
        QCOMPARE(pixel(outlined, 40, y), black);

    // Only the exposed part is painted.
    QImage part(200, 300, QImage::Format_ARGB32_Premultiplied);
    part.fill(Qt::black);
    {
        QPainter painter(&part);
        painter.setTransform(item->sceneTransform() * QTransform::fromScale(20, 1));
        QStyleOptionGraphicsItem option;
        // From the bar before the first one in view (its body may reach in) to the last one
        // in view: bars 2 to 4.
        option.exposedRect = QRectF(3.5, -200, 1.0, 400);
        QList<QPointF> markers;
        item->candleView().drawSeries(&painter, &option, item, markers);
    }
    for (int y = 0; y < 300; ++y) {
        QCOMPARE(pixel(part, 20, y), black);
        QCOMPARE(pixel(part, 100 + 4, y), black);
    }
    QCOMPARE(pixel(part, 60 - 3, yOf(100)), red);
}

void TestItems::barsAndLinePixels()
{
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(1), "100", "106", "96", "104");
        // minute 2 has no trades
        ChartFixture::addBar(batch, minute(3), "104", "105", "95", "100");
    }
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

void TestItems::denseColumnsLookLikeEveryBar()
{
    // 0.25 pixels per bar: four bars share each pixel column.
    setSchedule(everyWeekday({at(1, 10, 0, 8 * 60)}));
    ChartFixture chart(0.25, 2, 400);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        double price = 100;
        QRandomGenerator random(7);
        for (int m = 0; m < 480; ++m) {
            const double open = price;
            price += random.bounded(9) - 4;
            const double close = price;
            const double high = std::max(open, close) + random.bounded(4);
            const double low = std::min(open, close) - random.bounded(4);
            ChartFixture::addBar(batch, minute(m), QByteArray::number(open).constData(),
                                 QByteArray::number(high).constData(),
                                 QByteArray::number(low).constData(),
                                 QByteArray::number(close).constData());
        }
    }
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
}

void TestItems::denseSelectionAndOutline()
{
    // 0.25 pixels per bar, bars without wicks: the picture is the bodies alone.
    setSchedule(everyWeekday({at(1, 10, 0, 8 * 60)}));
    ChartFixture chart(0.25, 2, 400);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        double price = 100;
        QRandomGenerator random(11);
        for (int m = 0; m < 480; ++m) {
            const double open = price;
            price += random.bounded(9) - 4;
            const QByteArray o = QByteArray::number(open), c = QByteArray::number(price);
            const QByteArray &high = open > price ? o : c, &low = open > price ? c : o;
            ChartFixture::addBar(batch, minute(m), o.constData(), high.constData(),
                                 low.constData(), c.constData());
        }
    }
    // A wider line widens wicks, never the one-pixel body outline.
    const QImage thin = chart.render(0, 120, 400);
    item->setLineWidth(3);
    QCOMPARE(chart.render(0, 120, 400), thin);

    // A selected series marks every 200th bar (50 pixels) at its close, dense as it is.
    const QColor mark(0xff, 0x00, 0xff);
    item->setItemColor(mark);
    item->setSelected(true);
    QVERIFY(item->isSelected());
    for (int kind : {0, 1}) {
        item->setView(kind);
        const QImage image = chart.render(0, 120, 400);
        keepImage(image, QStringLiteral("dense-selected-%1.png").arg(kind));
        for (int b : {200, 400}) {
            const int y = int(400 - 2 * item->barAt({0, b}).close);
            QCOMPARE(pixel(image, b / 4, y), mark);
        }
    }
}

void TestItems::hitTests()
{
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(1), "100", "106", "96", "104");
        ChartFixture::addBar(batch, minute(4), "104", "105", "95", "100");
        ChartFixture::addBar(batch, minute(6), "101", "101", "101", "101"); // high = low
    }
    const double p = 1.0 / 20, q = 1.0 / Factor;
    FrameIndex hit;
    QVERIFY(item->candleView().hitTest({1.0, -100}, item, &hit));
    QCOMPARE(hit, FrameIndex(0, 1));
    QVERIFY(item->candleView().hitTest({1.2, -97}, item, &hit)); // inside the body's half width
    QVERIFY(!item->candleView().hitTest({1.0, -107}, item, nullptr));
    QVERIFY(!item->candleView().hitTest({2.5, -100}, item, nullptr)); // between the bars
    QVERIFY(!item->candleView().hitTest({3.0, -100}, item, nullptr)); // a bar without data
    QVERIFY(item->candleView().hitTest({6.0, -101 + 0.5 * q}, item, nullptr));
    QVERIFY(!item->candleView().hitTest({6.0, -101 + 2 * q}, item, nullptr));
    // The line: within three pixels of the segment from bar 1 to bar 4 (across bars without
    // data), not at five.
    const double midY = -(104 + (100 - 104) * (2.5 - 1) / 3);
    QVERIFY(item->lineView().hitTest({2.5, midY + 2 * q}, item, &hit));
    QCOMPARE(hit, FrameIndex(0, 1));
    QVERIFY(!item->lineView().hitTest({2.5, midY + 5 * q}, item, nullptr));
    // Nearer the right end the hit is the right bar.
    const double nearRight = -(104 + (100 - 104) * (3.6 - 1) / 3);
    QVERIFY(item->lineView().hitTest({3.6, nearRight}, item, &hit));
    QCOMPARE(hit, FrameIndex(0, 4));
    // The sweep of a selection path.
    item->setView(0);
    QPainterPath path;
    path.addRect(QRectF(0.9, -99, 1.0, 2 * q));
    QVERIFY(item->collidesWithPath(path));
    QPainterPath empty;
    QVERIFY(!item->collidesWithPath(empty));
    QPainterPath above;
    above.addRect(QRectF(0.5, -150, 1.0, q));
    QVERIFY(!item->collidesWithPath(above));
    Q_UNUSED(p)
}

void TestItems::lineAcrossChunksAndScreenRange()
{
    // Two sessions: 10:00-11:00 and 12:00-13:00 make two chunks, side by side on the axis.
    setSchedule(everyWeekday({at(1, 10, 0, 60), at(1, 12, 0, 60)}));
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    QCOMPARE(item->chunkSpans(), QList<int>({0, 59, 60, 119}));
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(58), "100", "101", "99", "100");
        ChartFixture::addBar(batch, t(Thursday, 12, 1), "104", "105", "103", "104");
    }
    item->setView(2);
    // From (58, 100) to (61, 104): at x 59.5, between the chunks, the line is at 102.
    FrameIndex hit;
    QVERIFY(item->lineView().hitTest({59.5, -102}, item, &hit));
    QVERIFY(item->lineView().hitTest({60.5, -(100 + 4 * 2.5 / 3)}, item, &hit));
    QCOMPARE(hit, FrameIndex(1, 1));
    QVERIFY(!item->lineView().hitTest({59.5, -104}, item, nullptr));
    const QImage image = chart.render(55, 200, 300);
    keepImage(image, QStringLiteral("line-chunks.png"));
    // The line is antialiased: the pixel on it carries most of the line's green.
    int green = 0;
    for (int dy = -1; dy <= 1; ++dy)
        green = std::max(green, pixel(image, int((59.5 - 55) * 20), yOf(102) + dy).green());
    QVERIFY2(green > 0xe6 / 2, qPrintable(QString::number(green)));

    // The bars on screen follow the scroll, not only the data.
    item->setScreenRange(50, 65);
    QCOMPARE(item->firstOnScreen(), FrameIndex(0, 58));
    QCOMPARE(item->lastOnScreen(), FrameIndex(1, 1));
    item->setScreenRange(0, 30);
    QCOMPARE(item->firstOnScreen(), FrameIndex());
    QCOMPARE(item->lastOnScreen(), FrameIndex());
    item->setScreenRange(58, 60);
    QCOMPARE(item->firstOnScreen(), FrameIndex(0, 58));
    QCOMPARE(item->lastOnScreen(), FrameIndex(0, 58));
}

void TestItems::markersOnlyWhenSelected()
{
    ChartFixture chart(5, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        for (int m = 0; m < 60; ++m)
            ChartFixture::addBar(batch, minute(m), "100", "101", "99", "100.5");
    }
    QList<QPointF> markers;
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setTransform(QTransform::fromScale(5, 1));
    QStyleOptionGraphicsItem option;
    option.exposedRect = QRectF(0, -200, 60, 400);
    item->candleView().drawSeries(&painter, &option, item, markers);
    QVERIFY(markers.isEmpty());
    // Selected: one marker about every 50 pixels, i.e. every 10 bars at 5 pixels per bar.
    item->setSelected(true);
    QCOMPARE(SeriesView::markerStep(item, 1.0 / 5), 10);
    item->candleView().drawSeries(&painter, &option, item, markers);
    QCOMPARE(markers.size(), 6);
    QCOMPARE(markers.at(1), QPointF(10, -100.5));
    // Far out or with a degenerate scale the step stays a positive count.
    QVERIFY(SeriesView::markerStep(item, 0) >= 1);
    QVERIFY(SeriesView::markerStep(item, 1e9) >= 1);
}

void TestItems::studyRenderers()
{
    ChartFixture chart(20, Factor, PosY);
    SeriesItem *item = chart.addSeries(Arkt, TimeFrameValue(60), Thursday, Thursday);
    {
        DealBatch batch(item->model(), 4, false);
        ChartFixture::addBar(batch, minute(0), "100", "101", "99", "100");
    }
    StudyValues values(1, std::vector<SeriesValue>(60));
    for (int b = 0; b < 10; ++b)
        values[0][size_t(b)] = {double(b % 3 == 0 ? -5 : 3 + b), b != 4};
    // A histogram of only negative values reaches from 0 down.
    HistogramStudyView histogram;
    QCOMPARE(histogram.boundingRect(10, -8, -2), QRectF(0, 0, 10, 8));
    QCOMPARE(histogram.boundingRect(10, -2, 6), QRectF(0, -6, 10, 8));
    LineStudyView line;
    QCOMPARE(line.boundingRect(10, 5, 5), QRectF(0, -5, 10, 1));

    // Painted with the scale of the chart: values around 0 at y = 1100 - 10 v.
    QImage image(200, 1200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.setTransform(item->sceneTransform() * QTransform::fromScale(20, 1));
        QStyleOptionGraphicsItem option;
        option.exposedRect = QRectF(0, -50, 10, 100);
        QList<QPointF> markers;
        painter.setPen(QPen(Qt::white, 0));
        histogram.drawStudy(&painter, &option, values, item, {0, 9}, 0, markers);
        QVERIFY(markers.isEmpty());
    }
    // Bar 3 holds -5: drawn from 0 (y 1100) down to y 1150; bar 4 is not valid.
    QCOMPARE(pixel(image, 60, 1100 + 25), QColor(Qt::white));
    QCOMPARE(pixel(image, 60, 1100 - 5), QColor(Qt::black));
    QCOMPARE(pixel(image, 80, 1100 - 30), QColor(Qt::black));
    QCOMPARE(pixel(image, 100, 1100 - 40), QColor(Qt::white)); // bar 5 holds 8
    FrameIndex hit;
    QVERIFY(histogram.hitTest({3.0, 2.5}, values, item, {0.05, 0.1}, 1, &hit));
    QCOMPARE(hit, FrameIndex(0, 3));
    QVERIFY(!histogram.hitTest({4.0, -3}, values, item, {0.05, 0.1}, 1, nullptr));
    // The line plot joins across the invalid value; points hit near a value only.
    // Bar 4 is not valid: the segment runs from bar 3 (-5) to bar 5 (8).
    QVERIFY(line.hitTest({4.0, -1.5}, values, item, {0.05, 0.1}, 1, &hit));
    QVERIFY(!line.hitTest({4.0, -5}, values, item, {0.05, 0.1}, 1, nullptr));
    PointsStudyView points;
    QVERIFY(points.hitTest({5.0, -8.1}, values, item, {0.05, 0.1}, 1, &hit));
    QVERIFY(!points.hitTest({5.0, -9}, values, item, {0.05, 0.1}, 1, nullptr));
    QCOMPARE(line.firstVisibleIndex(4.5, values, item), FrameIndex(0, 3));
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
    QCOMPARE(label->container(), &container);
    QCOMPARE(label->item(), item);
    QCOMPARE(label->nameEdit()->text(), QStringLiteral("Арктик Нефть ао"));
    QCOMPARE(label->parametersEdit()->text(), QStringLiteral(": 1 мин"));
    QVERIFY(label->nameEdit()->isReadOnly());
    QCOMPARE(label->nameEdit()->styleSheet(),
             QStringLiteral("QLineEdit {background-color: transparent; font: normal; color: "
                            "#dfdfdf; }"));
    item->setSelected(true);
    QVERIFY(label->nameEdit()->styleSheet().contains(QStringLiteral("font: bold;")));
    label->setStruckThrough(true);
    QVERIFY(label->nameEdit()->styleSheet().contains(QStringLiteral("line-through")));
    // An empty name leaves the old one; another one is the item's new name.
    label->nameEdit()->setText(QString());
    label->nameEdited();
    QCOMPARE(item->displayName(), QStringLiteral("Арктик Нефть ао"));
    QCOMPARE(label->nameEdit()->text(), QStringLiteral("Арктик Нефть ао"));
    label->nameEdit()->setText(QStringLiteral("Нефть"));
    label->nameEdited();
    QCOMPARE(item->displayName(), QStringLiteral("Нефть"));
    // A double click on the name makes it editable until the edit is finished.
    QTest::mouseDClick(label->nameEdit(), Qt::LeftButton);
    QVERIFY(!label->nameEdit()->isReadOnly());
    label->nameEdit()->onEditingFinished();
    QVERIFY(label->nameEdit()->isReadOnly());
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
