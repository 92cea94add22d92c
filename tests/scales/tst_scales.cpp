#include "charttesthelpers.h"
#include "multivertaxiswidget.h"
#include "parentscaleitem.h"
#include "vertreferenceaxiswidget.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QLayout>
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

// Three scales of one sub-chart with ids 0, 1 and 2, each with one item named A, B or C, and
// the two rows of axes beside them, as a sub-chart lays them out.
struct RowFixture
{
    RowFixture()
        : left(&subChart, &subChart)
        , right(&subChart, &subChart)
    {
        scene.setSceneRect(0, 0, 100, Height);
        left.setPartner(&right);
        right.setPartner(&left);
        const char *names[] = {"A", "B", "C"};
        for (int i = 0; i < 3; ++i) {
            auto *scale = new ParentScaleItem;
            scale->setProperty("id", i);
            scene.addItem(scale);
            auto *item = new RangeItem(scale);
            item->setDisplayName(QString::fromLatin1(names[i]));
            item->setRange(10 * (i + 1), 20 * (i + 1));
            scales.append(scale);
        }
        QCoreApplication::processEvents(); // the scales' queued childAdded
    }
    // The scale ids of a row's axes, in layout order.
    static QList<int> ids(const MultiVertAxisWidget &row)
    {
        QList<int> list;
        for (VertReferenceAxisWidget *axis : row.axes())
            list.append(axis->scale()->property("id").toInt());
        return list;
    }
    // Runs an entry of an axis's context menu as the user would pick it.
    static void pick(VertReferenceAxisWidget *axis, const std::function<bool(QAction *)> &which)
    {
        QMenu menu;
        axis->fillContextMenu(&menu);
        for (QAction *action : menu.actions()) {
            if (which(action)) {
                action->trigger();
                return;
            }
        }
        QFAIL("no such menu entry");
    }
    static void pickText(VertReferenceAxisWidget *axis, const QString &text)
    {
        pick(axis, [&](QAction *action) { return action->text() == text; });
    }

    QGraphicsScene scene;
    QWidget subChart;
    LeftMultiVertAxisWidget left;
    RightMultiVertAxisWidget right;
    QList<ParentScaleItem *> scales;
};

} // namespace

class TestScales : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void flatRanges_data();
    void flatRanges();
    void saveAndRestore();

    void labelSteps_data();
    void labelSteps();
    void markTextColors();
    void axisLabelsWidthAndGuards();
    void axisPixels();
    void axisDragZooms();

    void rowsKeepTheirOrderThroughSaveAndRestore();
    void fourthAxisDeletesAnOldOne();
    void sideChangesMirrorIntoTheOtherRow();
    void anotherScaleTakesTheAxisPlace();
    void rowsShareColoursAndGrid();

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

void TestScales::saveAndRestore()
{
    ScaleFixture f;
    f.add(Arkt);
    f.scale->setGridColor(QColor(1, 2, 3));
    f.scale->zoomBy(2.0);
    MapSettings saved;
    f.scale->saveState(saved);
    // A fixed scale takes the stored position and factor.
    ParentScaleItem fixed;
    saved.setValue(QStringLiteral("leftScreen"), 3);
    saved.setValue(QStringLiteral("rightScreen"), 9);
    fixed.restoreState(saved);
    QCOMPARE(fixed.autoScale(), int(ParentScaleItem::Fixed));
    QCOMPARE(fixed.verticalFactor(), f.scale->verticalFactor());
    QCOMPARE(fixed.pos().y(), f.scale->pos().y());
    QCOMPARE(fixed.gridColor(), QColor(1, 2, 3));
    QCOMPARE(fixed.leftScreen(), 3);
    QCOMPARE(fixed.rightScreen(), 9);
    // A factor of zero or below would flatten or turn over the prices: refused.
    for (double factor : {0.0, -2.0}) {
        saved.setValue(QStringLiteral("scale"), factor);
        ParentScaleItem flat;
        flat.restoreState(saved);
        QCOMPARE(flat.verticalFactor(), 1.0);
    }
    // Fitting modes keep their own factor.
    saved.setValue(QStringLiteral("scale"), 2.0);
    saved.setValue(QStringLiteral("autoScale"), int(ParentScaleItem::WholeSeries));
    ParentScaleItem fitting;
    fitting.restoreState(saved);
    QCOMPARE(fitting.verticalFactor(), 1.0);
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
    // A hidden item leaves no mark: the other's shows there.
    front->setVisible(false);
    axis.updateAxis();
    image.fill(Qt::gray);
    axis.render(&image);
    QCOMPARE(QColor(image.pixel(2, markY)), back->candleView().upColor);
    front->setVisible(true);
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
    const double middle = f.scale->mapFromScene(QPointF(0, Height / 2)).y();
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
    QCOMPARE(f.scale->mapFromScene(QPointF(0, Height / 2)).y(), middle);
    // A fixed scale stays put while data arrive; bad factors change nothing.
    ScaleFixture::bars(item, {{"100", "200", "50", "150"}}, 2);
    f.scale->zoomBy(0);
    f.scale->zoomBy(qQNaN());
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03);
    QMouseEvent down(QEvent::MouseMove, QPointF(20, 200), QPointF(), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&axis, &down);
    QCOMPARE(f.scale->verticalFactor(), factor * 1.03 * 0.97);
}

void TestScales::rowsKeepTheirOrderThroughSaveAndRestore()
{
    RowFixture f;
    f.left.attachScale(f.scales[2]);
    f.left.attachScale(f.scales[0]);
    f.left.attachScale(f.scales[1]);
    f.right.attachScale(f.scales[1]);
    f.right.attachScale(f.scales[2]);
    QCOMPARE(RowFixture::ids(f.left), QList<int>({2, 0, 1}));
    // Asking again for a scale that has an axis in the row gives that axis.
    QCOMPARE(f.left.attachScale(f.scales[0]), f.left.axisFor(f.scales[0]));
    QCOMPARE(f.left.axes().size(), 3);

    MapSettings settings;
    f.left.saveState(settings);
    f.right.saveState(settings);
    QCOMPARE(settings.value("leftAxisCount").toInt(), 3);
    QCOMPARE(settings.value("rightAxisCount").toInt(), 2);
    // The axis at layout position i is stored under count - 1 - i.
    QCOMPARE(settings.value("leftAxis_2/parentScale").toInt(), 2);
    QCOMPARE(settings.value("leftAxis_0/parentScale").toInt(), 1);
    QCOMPARE(settings.value("rightAxis_1/parentScale").toInt(), 1);

    RowFixture g;
    MapSettings again(settings);
    g.left.restoreState(again, g.scales);
    g.right.restoreState(again, g.scales);
    QCOMPARE(RowFixture::ids(g.left), QList<int>({2, 0, 1}));
    QCOMPARE(RowFixture::ids(g.right), QList<int>({1, 2}));
    for (VertReferenceAxisWidget *axis : g.right.axes())
        QCOMPARE(axis->side(), int(VertReferenceAxisWidget::Right));

    // A scale without an id cannot be found again, so its axis is not written.
    f.scales[0]->setProperty("id", QVariant());
    MapSettings third;
    f.left.saveState(third);
    QCOMPARE(third.value("leftAxisCount").toInt(), 2);
    QCOMPARE(third.value("leftAxis_0/parentScale").toInt(), 1);
    QCOMPARE(third.value("leftAxis_1/parentScale").toInt(), 2);
}

void TestScales::fourthAxisDeletesAnOldOne()
{
    RowFixture f;
    auto *extra = new ParentScaleItem;
    extra->setProperty("id", 3);
    f.scene.addItem(extra);
    new RangeItem(extra);
    QCoreApplication::processEvents();
    for (int i = 0; i < 3; ++i)
        f.left.attachScale(f.scales[i]);
    QPointer<VertReferenceAxisWidget> last = f.left.axisFor(f.scales[2]);

    // Added next to the chart, at the end of the row: the old last axis goes, not the new one.
    VertReferenceAxisWidget *added = f.left.attachScale(extra);
    QCOMPARE(RowFixture::ids(f.left), QList<int>({0, 1, 3}));
    QVERIFY(f.left.axes().contains(added));
    QVERIFY(last && last->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!last);
}

void TestScales::sideChangesMirrorIntoTheOtherRow()
{
    RowFixture f;
    VertReferenceAxisWidget *leftAxis = f.left.attachScale(f.scales[0]);
    f.left.attachScale(f.scales[1]);

    // "Справа" on a left axis puts the scale's axis into the right row too, and takes it away.
    RowFixture::pickText(leftAxis, QStringLiteral("Справа"));
    QCOMPARE(RowFixture::ids(f.right), QList<int>({0}));
    QCOMPARE(RowFixture::ids(f.left), QList<int>({0, 1}));
    {
        QMenu menu;
        leftAxis->fillContextMenu(&menu);
        QVERIFY(leftAxis->leftAction()->isChecked());
        QVERIFY(leftAxis->rightAction()->isChecked());
    }
    RowFixture::pickText(leftAxis, QStringLiteral("Справа"));
    QVERIFY(f.right.axes().isEmpty());

    // "Слева" on a left axis removes it.
    RowFixture::pickText(leftAxis, QStringLiteral("Слева"));
    QCOMPARE(RowFixture::ids(f.left), QList<int>({1}));

    // The right row mirrors: "Слева" adds the scale's axis on the left, then removes it;
    // "Справа" removes the right axis itself.
    VertReferenceAxisWidget *rightAxis = f.right.attachScale(f.scales[2]);
    RowFixture::pickText(rightAxis, QStringLiteral("Слева"));
    QCOMPARE(RowFixture::ids(f.left), QList<int>({1, 2}));
    RowFixture::pickText(rightAxis, QStringLiteral("Слева"));
    QCOMPARE(RowFixture::ids(f.left), QList<int>({1}));
    RowFixture::pickText(rightAxis, QStringLiteral("Справа"));
    QVERIFY(f.right.axes().isEmpty());
}

void TestScales::anotherScaleTakesTheAxisPlace()
{
    RowFixture f;
    f.left.attachScale(f.scales[0]);
    VertReferenceAxisWidget *middle = f.left.attachScale(f.scales[1]);
    f.left.attachScale(f.scales[2]);
    const auto pickScale = [](VertReferenceAxisWidget *axis, ParentScaleItem *scale) {
        RowFixture::pick(axis, [scale](QAction *action) {
            return action->property("parentScale").value<QObject *>() == scale;
        });
    };
    // Its own scale: nothing changes.
    pickScale(middle, f.scales[1]);
    QCOMPARE(RowFixture::ids(f.left), QList<int>({0, 1, 2}));
    QCOMPARE(f.left.axisFor(f.scales[1]), middle);

    // Scale 2 already has an axis here: that one makes way, and the new axis of scale 2 takes
    // the middle axis's place.
    pickScale(middle, f.scales[2]);
    QCOMPARE(RowFixture::ids(f.left), QList<int>({0, 2}));
    VertReferenceAxisWidget *replaced = f.left.axisFor(f.scales[2]);
    QVERIFY(replaced != middle);
    QCOMPARE(replaced->side(), int(VertReferenceAxisWidget::Left));

    // A scale without an axis on this side: the place is kept exactly.
    pickScale(f.left.axisFor(f.scales[0]), f.scales[1]);
    QCOMPARE(RowFixture::ids(f.left), QList<int>({1, 2}));
}

void TestScales::rowsShareColoursAndGrid()
{
    RowFixture f;
    const QColor text(0x10, 0x20, 0x30), line(0x40, 0x50, 0x60), back(0x70, 0x80, 0x90);
    VertReferenceAxisWidget *before = f.right.attachScale(f.scales[0]);
    f.right.setColors(text, line, back);
    VertReferenceAxisWidget *after = f.right.attachScale(f.scales[1]);
    for (VertReferenceAxisWidget *axis : {before, after}) {
        QCOMPARE(axis->textColor(), text);
        QCOMPARE(axis->lineColor(), line);
        QCOMPARE(axis->backgroundColor(), back);
    }

    // The grid of a scale with axes on both sides is drawn once, from the right row.
    f.left.resize(200, int(Height));
    f.right.resize(200, int(Height));
    f.left.attachScale(f.scales[0]);
    f.left.attachScale(f.scales[2]);
    f.scales[0]->enableGrid(true);
    f.scales[1]->enableGrid(false);
    f.scales[2]->enableGrid(true);
    f.scales[2]->setGridColor(QColor(0x11, 0x22, 0x33));
    f.left.layout()->activate();
    f.right.layout()->activate();
    for (ParentScaleItem *scale : f.scales)
        scale->childRangeChanged();
    const auto right = f.right.gridLines();
    QCOMPARE(right.size(), 1);
    QCOMPARE(right[0].color, f.scales[0]->gridColor());
    QVERIFY(!right[0].rows.isEmpty());
    const auto left = f.left.gridLines();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].color, QColor(0x11, 0x22, 0x33));
    QCOMPARE(left[0].rows, f.left.axisFor(f.scales[2])->gridLines());

    // The grid switched on from an axis reaches the sub-chart through the row.
    QSignalSpy grid(&f.right, &MultiVertAxisWidget::vertGridUpdated);
    f.right.axisFor(f.scales[1])->gridAction()->trigger();
    QCOMPARE(grid.size(), 1);
    QVERIFY(f.scales[1]->isGridEnabled());
}

TA_REGISTER_TEST(TestScales)

#include "tst_scales.moc"
