#include "charttesthelpers.h"
#include "parentscaleitem.h"
#include "vertreferenceaxiswidget.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace BarTest;

namespace {

// Thursday 2026-12-03: one session 10:00-11:00, sixty one-minute bars.
const QDate Thursday(2026, 12, 3);
const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");
constexpr double Height = 400;

datetime minute(int m)
{
    return t(Thursday, 10, 0).addSecs(60 * m);
}

// Scene y of a price under the scale.
double yOf(const ParentScaleItem *scale, double price)
{
    return scale->mapToScene(QPointF(0, -price)).y();
}

// A chart item whose range is set by hand.
class RangeItem : public ChartItem
{
public:
    explicit RangeItem(QGraphicsObject *scale)
        : ChartItem(scale)
    {
    }
    void setRange(double low, double high)
    {
        m_low = low;
        m_high = high;
        m_rangeEmpty = false;
        Q_EMIT rangeChanged();
    }
};

// A sub-chart's scene, 400 high, with one real scale.
struct ScaleFixture
{
    ScaleFixture()
        : view(&scene)
    {
        scene.setSceneRect(0, 0, 100, Height);
        view.setTransform(QTransform::fromScale(10, 1));
        scale = new ParentScaleItem;
        scene.addItem(scale);
        synchronizer.addScene(&scene);
    }
    ~ScaleFixture()
    {
        series.clear();
        delete scale;
    }
    SeriesItem *add(const QString &key)
    {
        series.emplace_back(makeSeries(key, &synchronizer, scale, TimeFrameValue(60), Thursday,
                                       Thursday));
        QCoreApplication::processEvents(); // the queued childAdded
        return series.back().get();
    }
    static void bars(SeriesItem *item, const QList<QList<const char *>> &ohlc, int first = 0)
    {
        DealBatch batch(item->model(), 4, false);
        for (int i = 0; i < ohlc.size(); ++i)
            ChartFixture::addBar(batch, minute(first + i), ohlc[i][0], ohlc[i][1], ohlc[i][2],
                                 ohlc[i][3]);
    }

    TSynchronyzer synchronizer;
    QGraphicsScene scene;
    QGraphicsView view;
    QPointer<ParentScaleItem> scale;
    std::vector<std::unique_ptr<SeriesItem>> series;
};

} // namespace

class TestScales : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void wholeSeriesFillsTheMiddle();
    void flatRanges_data();
    void flatRanges();
    void screenModeFitsWhatIsOnScreen();
    void zoomKeepsTheMiddlePrice();
    void childBookkeeping();
    void stateKeysAndDefaults();

    void labelSteps_data();
    void labelSteps();
    void markTextColors();
    void axisLabelsWidthAndGuards();
    void axisPixels();
    void axisDragZooms();
    void axisMenuAndItemsGone();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestScales::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "scales.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
}

void TestScales::init()
{
    setSchedule(everyWeekday({at(1, 10, 0, 60)}));
}

void TestScales::wholeSeriesFillsTheMiddle()
{
    ScaleFixture f;
    QCOMPARE(f.scale->autoScale(), int(ParentScaleItem::WholeSeries));
    SeriesItem *item = f.add(Arkt);
    QSignalSpy labels(f.scale.data(), &ParentScaleItem::labelsUpdated);
    ScaleFixture::bars(item, {{"100", "110", "90", "105"}});
    // 90..110 in the middle 90 % of the height: 5 % margins.
    QCOMPARE(f.scale->low(), 90.0);
    QCOMPARE(f.scale->high(), 110.0);
    QCOMPARE(yOf(f.scale, 110), 0.05 * Height);
    QCOMPARE(yOf(f.scale, 90), 0.95 * Height);
    QVERIFY(!labels.isEmpty());
    // A second series widens the range; a hidden one no longer counts.
    SeriesItem *other = f.add(Kstr);
    ScaleFixture::bars(other, {{"120", "130", "115", "125"}});
    QCOMPARE(f.scale->high(), 130.0);
    other->setItemVisible(false);
    QCOMPARE(f.scale->high(), 110.0);
    QCOMPARE(yOf(f.scale, 110), 0.05 * Height);
    QCOMPARE(f.scale->decimals(), std::max(item->decimals(), other->decimals()));
    // Every item hidden: the scale hides and keeps its range; showing one shows the scale.
    item->setItemVisible(false);
    QVERIFY(!f.scale->isVisible());
    QCOMPARE(f.scale->high(), 110.0);
    item->setItemVisible(true);
    QVERIFY(f.scale->isVisible());
}

void TestScales::flatRanges_data()
{
    QTest::addColumn<double>("price");
    QTest::addColumn<double>("factor");
    QTest::newRow("at 100") << 100.0 << Height / 200;
    QTest::newRow("at 0") << 0.0 << 1.0;
    QTest::newRow("at -50") << -50.0 << Height / 100;
}

void TestScales::flatRanges()
{
    QFETCH(double, price);
    QFETCH(double, factor);
    ScaleFixture f;
    auto *item = new RangeItem(f.scale);
    QCoreApplication::processEvents();
    item->setRange(price, price);
    QVERIFY(f.scale->isFlat());
    QCOMPARE(f.scale->flatValue(), price);
    QCOMPARE(f.scale->verticalFactor(), factor);
    // The single price at mid height.
    QCOMPARE(yOf(f.scale, price), Height / 2);
    delete item;
}

void TestScales::screenModeFitsWhatIsOnScreen()
{
    ScaleFixture f;
    SeriesItem *item = f.add(Arkt);
    ScaleFixture::bars(item, {{"100", "102", "99", "101"}, {"101", "150", "100", "149"}}, 5);
    ScaleFixture::bars(item, {{"120", "125", "118", "121"}}, 40);
    f.scale->setScreenRange(30, 50);
    f.scale->setAutoScale(ParentScaleItem::Screen);
    // Only bar 40 is on screen.
    QCOMPARE(yOf(f.scale, 125), 0.05 * Height);
    QCOMPARE(yOf(f.scale, 118), 0.95 * Height);
    // A change off screen refits nothing, one on screen does.
    const double before = f.scale->verticalFactor();
    QSignalSpy labels(f.scale.data(), &ParentScaleItem::labelsUpdated);
    f.scale->childDataChanged(5, 6);
    QCOMPARE(labels.size(), 0);
    ScaleFixture::bars(item, {{"121", "140", "117", "130"}}, 45);
    QVERIFY(!labels.isEmpty());
    QVERIFY(f.scale->verticalFactor() < before);
    // Nothing with data on screen: the scale keeps what it shows instead of pulling to 0.
    const QTransform shown = f.scale->transform();
    const QPointF position = f.scale->pos();
    f.scale->setScreenRange(50, 59);
    f.scale->refit();
    QCOMPARE(f.scale->transform(), shown);
    QCOMPARE(f.scale->pos(), position);
}

void TestScales::zoomKeepsTheMiddlePrice()
{
    ScaleFixture f;
    SeriesItem *item = f.add(Arkt);
    ScaleFixture::bars(item, {{"100", "110", "90", "105"}});
    const double middle = f.scale->mapFromScene(QPointF(0, Height / 2)).y();
    const double factor = f.scale->verticalFactor();
    QSignalSpy labels(f.scale.data(), &ParentScaleItem::labelsUpdated);
    f.scale->zoomBy(1.03);
    QCOMPARE(f.scale->autoScale(), int(ParentScaleItem::Fixed));
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03);
    QCOMPARE(f.scale->mapFromScene(QPointF(0, Height / 2)).y(), middle);
    QCOMPARE(labels.size(), 1);
    // A fixed scale stays put while data arrive; bad factors change nothing.
    ScaleFixture::bars(item, {{"100", "200", "50", "150"}}, 2);
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03);
    f.scale->zoomBy(0);
    f.scale->zoomBy(qQNaN());
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03);
}

void TestScales::childBookkeeping()
{
    ScaleFixture f;
    QSignalSpy added(f.scale.data(), &ParentScaleItem::childItemsAdded);
    QSignalSpy removed(f.scale.data(), &ParentScaleItem::childItemsRemoved);
    QSignalSpy selected(f.scale.data(), &ParentScaleItem::selectionChanged);
    SeriesItem *item = f.add(Arkt);
    QCOMPARE(added.size(), 1);
    item->setSelected(true);
    QCOMPARE(selected.size(), 1);
    // A child deleted before the queued notice of its arrival is not touched.
    auto *gone = new SeriesItem(Kstr, &f.synchronizer, f.scale, 0);
    delete gone;
    QCoreApplication::processEvents();
    QCOMPARE(added.size(), 1);
    // A second child leaves: the scale stays and says so on the next turn.
    SeriesItem *other = f.add(Kstr);
    QCOMPARE(added.size(), 2);
    const qsizetype before = removed.size();
    f.series.pop_back();
    Q_UNUSED(other)
    QCOMPARE(removed.size(), before);
    QCoreApplication::processEvents();
    QCOMPARE(removed.size(), before + 1);
    QVERIFY(f.scale);
    // The last chart item leaves: the scale deletes itself.
    f.series.clear();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.scale);
}

void TestScales::stateKeysAndDefaults()
{
    ScaleFixture f;
    f.add(Arkt);
    f.scale->enableGrid(true);
    f.scale->setGridColor(QColor(1, 2, 3));
    f.scale->zoomBy(2.0);
    MapSettings saved;
    f.scale->saveState(saved);
    QCOMPARE(saved.value(QStringLiteral("autoScale")).toInt(), 0);
    QCOMPARE(saved.value(QStringLiteral("gridColor")).value<QColor>(), QColor(1, 2, 3));

    // Mode 0 takes the stored position and factor.
    ParentScaleItem fixed;
    saved.setValue(QStringLiteral("leftScreen"), 3);
    saved.setValue(QStringLiteral("rightScreen"), 9);
    fixed.restoreState(saved);
    QCOMPARE(fixed.autoScale(), 0);
    QCOMPARE(fixed.verticalFactor(), f.scale->verticalFactor());
    QCOMPARE(fixed.pos().y(), f.scale->pos().y());
    QCOMPARE(fixed.leftScreen(), 3);
    QCOMPARE(fixed.rightScreen(), 9);
    // Other modes keep their own; absent keys give mode 2 with the grid on; a colour that does
    // not parse gives the default.
    saved.setValue(QStringLiteral("autoScale"), 1);
    ParentScaleItem fitting;
    fitting.restoreState(saved);
    QCOMPARE(fitting.verticalFactor(), 1.0);
    MapSettings empty;
    empty.setValue(QStringLiteral("gridColor"), QStringLiteral("not a colour"));
    ParentScaleItem defaults;
    defaults.restoreState(empty);
    QCOMPARE(defaults.autoScale(), 2);
    QVERIFY(defaults.isGridEnabled());
    QCOMPARE(defaults.gridColor(), QColor(0x35, 0x35, 0x35));
    for (const QVariant &bad : {QVariant(3), QVariant(-1), QVariant(QStringLiteral("fit"))}) {
        MapSettings refused;
        refused.setValue(QStringLiteral("autoScale"), bad);
        QString thrown;
        try {
            defaults.restoreState(refused);
        } catch (const QString &e) {
            thrown = e;
        }
        QCOMPARE(thrown, QStringLiteral("autoScale"));
    }
}

// --- axes -----------------------------------------------------------------------------------

void TestScales::labelSteps_data()
{
    QTest::addColumn<double>("raw");
    QTest::addColumn<int>("precision");
    QTest::addColumn<double>("step");
    QTest::newRow("0.003") << 0.003 << 3 << 0.005;
    QTest::newRow("0.003, two decimals") << 0.003 << 2 << 0.01;
    QTest::newRow("below 2.5p") << 2.4 << 0 << 1.0;
    QTest::newRow("2.5p rounds up") << 2.5 << 0 << 5.0;
    QTest::newRow("7.5p rounds up") << 7.5 << 0 << 10.0;
    QTest::newRow("700 is below 7.5p") << 700.0 << 0 << 500.0;
    QTest::newRow("zero") << 0.0 << 2 << 0.01;
    QTest::newRow("not a number") << qQNaN() << 1 << 0.1;
}

void TestScales::labelSteps()
{
    QFETCH(double, raw);
    QFETCH(int, precision);
    QFETCH(double, step);
    QCOMPARE(VertReferenceAxisWidget::stepFor(raw, precision), step);
}

void TestScales::markTextColors()
{
    // Blue backgrounds, dark ones: white text; light ones: black.
    QCOMPARE(VertReferenceAxisWidget::markTextColor(QColor(0, 0, 255)), QColor(Qt::white));
    QCOMPARE(VertReferenceAxisWidget::markTextColor(QColor::fromHsv(240, 100, 120)), QColor(Qt::white));
    QCOMPARE(VertReferenceAxisWidget::markTextColor(QColor::fromHsv(240, 100, 200)), QColor(Qt::black));
    QCOMPARE(VertReferenceAxisWidget::markTextColor(QColor(40, 40, 40)), QColor(Qt::white));
    QCOMPARE(VertReferenceAxisWidget::markTextColor(QColor(0, 255, 0)), QColor(Qt::black));
    QCOMPARE(VertReferenceAxisWidget::markTextColor(QColor(255, 0, 0)), QColor(Qt::black));
}

void TestScales::axisLabelsWidthAndGuards()
{
    ScaleFixture f;
    SeriesItem *item = f.add(Arkt);
    ScaleFixture::bars(item, {{"100", "110", "90", "105"}});
    VertReferenceAxisWidget axis(VertReferenceAxisWidget::Right, f.scale, nullptr);
    axis.resize(60, int(Height));
    axis.updateAxis();
    QVERIFY(axis.isVisible() || !axis.isHidden());
    // The top of the scene is 90 + 20 / 0.9 * 0.95; labels step by a round value.
    const double top = f.scale->pos().y() / f.scale->verticalFactor();
    QCOMPARE(axis.topPrice(), top);
    QVERIFY(axis.labelStep() > 0);
    QCOMPARE(axis.firstLabel(), std::floor(top / axis.labelStep()) * axis.labelStep());
    const QList<int> grid = axis.gridLines();
    QVERIFY(grid.size() >= 3);
    QCOMPARE(grid.first(), axis.firstLabelPixel());
    QCOMPARE(axis.sizeHint().width(), int(axis.labelWidth()) + 5);
    // The width only grows: a narrower range keeps it until a reset.
    ScaleFixture::bars(item, {{"100", "100000", "90", "105"}}, 3);
    const double wide = axis.labelWidth();
    f.scale->zoomBy(1.0); // mode 0: the range stays
    item->onDataChanged({}, {});
    axis.updateAxis();
    QCOMPARE(axis.labelWidth(), wide);
    f.scale->setAutoScale(ParentScaleItem::WholeSeries);
    // A low axis (less than one label spacing) still gets a label and no division by zero.
    axis.resize(60, 5);
    axis.updateAxis();
    QVERIFY(std::isfinite(axis.labelStep()) && axis.labelStep() > 0);
    // A factor of 0 leaves the labels as they were.
    const double step = axis.labelStep();
    f.scale->setTransform(QTransform::fromScale(1, 0));
    axis.updateAxis();
    QCOMPARE(axis.labelStep(), step);
}

void TestScales::axisPixels()
{
    ScaleFixture f;
    SeriesItem *back = f.add(Arkt);
    SeriesItem *front = f.add(Kstr);
    ScaleFixture::bars(back, {{"100", "110", "90", "101"}});
    ScaleFixture::bars(front, {{"100", "110", "90", "101"}});
    front->setZValue(1.0);
    front->candleView().upColor = QColor(0, 0, 255);
    VertReferenceAxisWidget axis(VertReferenceAxisWidget::Right, f.scale, nullptr);
    axis.resize(70, int(Height));
    axis.updateAxis();
    axis.setCursorMark(300);
    QImage image(axis.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    axis.render(&image);
    keepImage(image, QStringLiteral("axis.png"));
    auto textInRow = [&](int y, int h) {
        int lit = 0;
        for (int yy = y - h; yy <= y + h; ++yy)
            for (int x = 3; x < image.width(); ++x)
                lit += QColor(image.pixel(x, yy)) == QColor(Qt::white) ? 1 : 0;
        return lit;
    };
    const int h = 6;
    // The first label's text sits at its pixel; halfway between two labels there is none.
    const QList<int> grid = axis.gridLines();
    QVERIFY(textInRow(grid.at(1), h) > 5);
    // The front item's mark (blue) lies over the other's (green) at the close.
    const int markY = int(std::lround(axis.rowOf(101)));
    QCOMPARE(QColor(image.pixel(2, markY)), QColor(0, 0, 255));
    // The cursor mark: outlined in the line colour at y 300.
    QCOMPARE(QColor(image.pixel(30, 300 - axis.labelHalfHeight())), QColor(255, 0, 0));
    QCOMPARE(QColor(image.pixel(30, 300 + axis.labelHalfHeight())), QColor(255, 0, 0));
    // The axis line on the left edge of a right axis.
    QCOMPARE(QColor(image.pixel(0, 10)), QColor(255, 0, 0));
}

void TestScales::axisDragZooms()
{
    ScaleFixture f;
    SeriesItem *item = f.add(Arkt);
    ScaleFixture::bars(item, {{"100", "110", "90", "105"}});
    VertReferenceAxisWidget axis(VertReferenceAxisWidget::Left, f.scale, nullptr);
    axis.resize(60, int(Height));
    const double factor = f.scale->verticalFactor();
    QTest::mousePress(&axis, Qt::LeftButton, {}, QPoint(20, 200));
    QMouseEvent near(QEvent::MouseMove, QPointF(20, 190), QPointF(), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&axis, &near);
    QCOMPARE(f.scale->verticalFactor(), factor);
    QCOMPARE(f.scale->autoScale(), int(ParentScaleItem::WholeSeries));
    QMouseEvent up(QEvent::MouseMove, QPointF(20, 189), QPointF(), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
    QCoreApplication::sendEvent(&axis, &up);
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03);
    QCOMPARE(f.scale->autoScale(), int(ParentScaleItem::Fixed));
    QMouseEvent down(QEvent::MouseMove, QPointF(20, 200), QPointF(), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&axis, &down);
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03 * 0.97);
}

void TestScales::axisMenuAndItemsGone()
{
    ScaleFixture f;
    SeriesItem *item = f.add(Arkt);
    VertReferenceAxisWidget axis(VertReferenceAxisWidget::Right, f.scale, nullptr);
    QMenu menu;
    axis.fillContextMenu(&menu);
    QStringList texts;
    for (QAction *action : menu.actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(texts, QStringList({"Отображать сетку", "Настроить сетку", "-", "Слева", "Справа", "-",
                                 "Арктик Нефть ао"}));
    QVERIFY(!axis.leftAction()->isChecked());
    QVERIFY(axis.rightAction()->isChecked());
    QCOMPARE(axis.items().size(), 1);
    // An item destroyed: the axis drops it without asking it anything.
    Q_UNUSED(item)
    f.series.clear();
    QVERIFY(axis.items().isEmpty());
    QVERIFY(axis.isHidden());
}

TA_REGISTER_TEST(TestScales)

#include "tst_scales.moc"
