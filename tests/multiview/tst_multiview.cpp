#include "eslayout.h"
#include "appsettings.h"
#include "seriesdefaults.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "timescale.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QColor>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A widget whose preferred width is set by hand, as an axis row's grows with its labels.
class Sized : public QWidget
{
public:
    explicit Sized(int width, QWidget *parent = nullptr)
        : QWidget(parent)
        , m_width(width)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    }
    void setWidth(int width)
    {
        m_width = width;
        updateGeometry();
    }
    QSize sizeHint() const override { return {m_width, 100}; }
    QSize minimumSizeHint() const override { return {0, 0}; }

private:
    int m_width;
};

// A pane: left axis, plot, right axis, in a grid as a sub-chart lays them out.
struct Pane
{
    Pane(QWidget *parent, int left, int right, EqualSizingWidgetItems *lefts,
         EqualSizingWidgetItems *rights, ESLayoutManager *manager)
        : widget(new QWidget(parent))
        , leftAxis(new Sized(left, widget))
        , plot(new QWidget(widget))
        , rightAxis(new Sized(right, widget))
    {
        plot->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        auto *grid = new QGridLayout(widget);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setSpacing(0);
        grid->addItem(new ESWidgetItem(leftAxis, lefts), 0, 0);
        grid->addWidget(plot, 0, 1);
        grid->addItem(new ESWidgetItem(rightAxis, rights), 0, 2);
        manager->addLayout(grid);
    }
    QWidget *widget;
    Sized *leftAxis;
    QWidget *plot;
    Sized *rightAxis;
};

// Applies zoom steps and lists the scales passed through.
QList<double> steps(TimeScale &scale, bool in, int count)
{
    QList<double> list;
    for (int i = 0; i < count; ++i) {
        scale.step(in, 1e9, 800);
        list.append(std::round(scale.scale() * 1000) / 1000);
    }
    return list;
}

} // namespace

class TestMultiView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void zoomSequences();
    void backAndDefault();
    void zoomOutStopsWhenEverythingFits();
    void areaZoom();
    void historyIsCapped();
    void equalWidthsAcrossPanes();
    void seriesDefaultsFromFactoryAndSettings();
    void seriesDefaultsJoinTheShownSeries();

private:
    QTemporaryDir m_dir;
};

void TestMultiView::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "multiview.ini");
}

void TestMultiView::zoomSequences()
{
    TimeScale scale;
    QCOMPARE(steps(scale, true, 2), QList<double>({11, 13}));
    TimeScale out;
    QCOMPARE(steps(out, false, 6), QList<double>({7, 5, 3, 2, 1, 0.9}));
    TimeScale fromOne;
    fromOne.setScale(1);
    QCOMPARE(steps(fromOne, true, 3), QList<double>({2, 3, 5}));
    // Snapping itself: odd whole widths from 3 up; a step that would change nothing moves by 2.
    QCOMPARE(TimeScale::snap(10.0 / 9, 9) * 9, 11.0);
    QCOMPARE(TimeScale::snap(1.0 + 1e-9, 9) * 9, 11.0);
    QCOMPARE(TimeScale::snap(1.5 / 9, 9) * 9, 1.0);
    QCOMPARE(TimeScale::snap(1.5 / 1.2, 1.2) * 1.2, 2.0);
    QCOMPARE(TimeScale::snap(2.5 / 3, 3) * 3, 2.0);
    QCOMPARE(TimeScale::snap(1.0, 9), 1.0);
    // Nonsense factors change nothing.
    QCOMPARE(TimeScale::snap(0, 9), 1.0);
    QCOMPARE(TimeScale::snap(qQNaN(), 9), 1.0);
    QCOMPARE(TimeScale::snap(qInf(), 9), 1.0);
}

void TestMultiView::backAndDefault()
{
    TimeScale scale;
    QVERIFY(scale.isDefault());
    QVERIFY(!scale.canGoBack());
    scale.step(true, 1e9, 800);
    scale.step(true, 1e9, 800);
    QVERIFY(!scale.isDefault());
    scale.back();
    QCOMPARE(scale.scale(), 11.0);
    scale.back();
    QCOMPARE(scale.scale(), 9.0);
    QVERIFY(!scale.canGoBack());
    QCOMPARE(scale.back(), 1.0);

    for (int i = 0; i < 5; ++i)
        scale.step(i % 2 == 0, 1e9, 800);
    QVERIFY(scale.canGoBack());
    const double before = scale.scale();
    QCOMPARE(scale.toDefault() * before, 9.0);
    QCOMPARE(scale.scale(), 9.0);
    QVERIFY(!scale.canGoBack());
    // Within 0.001 of 9 counts as the default.
    scale.setScale(9.0009);
    QVERIFY(scale.isDefault());
    scale.setScale(9.002);
    QVERIFY(!scale.isDefault());
    // Restored nonsense is not taken.
    scale.setScale(0);
    scale.setScale(-3);
    scale.setScale(qInf());
    QCOMPARE(scale.scale(), 9.002);
}

void TestMultiView::zoomOutStopsWhenEverythingFits()
{
    // 100 units at 9 pixels need 900 of an 800-pixel viewport: one step out, then it fits.
    TimeScale scale;
    QVERIFY(scale.step(false, 100, 800) < 1);
    QCOMPARE(scale.scale(), 7.0);
    QCOMPARE(scale.step(false, 100, 800), 1.0);
    QCOMPARE(scale.scale(), 7.0);
    // However long the history, the scale never reaches 0.
    TimeScale endless;
    for (int i = 0; i < 1000; ++i)
        endless.step(false, 1e12, 800);
    QVERIFY(endless.scale() >= TimeScale::Floor * 0.9);
    QVERIFY(endless.scale() > 0);
}

void TestMultiView::areaZoom()
{
    // Viewport 800 at scale 9, a band of 200 from x 100: factor 4, so 36, even, so 37.
    const TimeScale::AreaZoom zoom = TimeScale::areaZoom(QRect(100, 10, 200, 50), 800, 9, 5000);
    QCOMPARE(zoom.factor, 4.0);
    QCOMPARE(zoom.offset, 0.0);
    TimeScale scale;
    const double applied = scale.apply(zoom.factor, true);
    QCOMPARE(scale.scale(), 37.0);
    QCOMPARE(applied, 37.0 / 9);
    // A scene narrower than the viewport leaves an empty offset at the left.
    QCOMPARE(TimeScale::areaZoom(QRect(100, 10, 200, 50), 800, 9, 500).offset, 300.0);
    // The band's zoom is capped so that one unit does not exceed the viewport.
    QCOMPARE(TimeScale::areaZoom(QRect(0, 0, 1, 1), 800, 400, 5000).factor, 2.0);
    // No width, no zoom.
    QCOMPARE(TimeScale::areaZoom(QRect(100, 10, 0, 50), 800, 9, 5000).factor, 0.0);
    QCOMPARE(TimeScale::areaZoom(QRect(100, 10, 200, 50), 0, 9, 5000).factor, 0.0);
}

void TestMultiView::historyIsCapped()
{
    TimeScale scale;
    for (int i = 0; i < 5 * TimeScale::MaxHistory; ++i)
        scale.step(i % 2 == 0, 1e9, 800);
    QCOMPARE(scale.history().size(), TimeScale::MaxHistory);
}

void TestMultiView::equalWidthsAcrossPanes()
{
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    EqualSizingWidgetItems lefts, rights;
    ESLayoutManager manager;
    Pane first(&window, 65, 30, &lefts, &rights, &manager);
    Pane second(&window, 45, 50, &lefts, &rights, &manager);
    column->addWidget(first.widget);
    column->addWidget(second.widget);
    // The time axis row: spacers as wide as the groups around the axis.
    auto *row = new QHBoxLayout;
    auto *timeAxis = new QWidget(&window);
    timeAxis->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    timeAxis->setFixedHeight(20);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addItem(new ESSpacerItem(&lefts));
    row->addWidget(timeAxis);
    row->addItem(new ESSpacerItem(&rights));
    column->addLayout(row);
    window.resize(800, 400);
    window.show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    QCOMPARE(lefts.width(), 65);
    QCOMPARE(first.leftAxis->width(), 65);
    QCOMPARE(second.leftAxis->width(), 65);
    QCOMPARE(first.rightAxis->width(), 50);
    QCOMPARE(second.rightAxis->width(), 50);
    QCOMPARE(timeAxis->x(), 65);
    QCOMPARE(first.plot->x(), 65);
    QCOMPARE(timeAxis->width(), first.plot->width());

    // A label grows in the second pane only: both panes follow, in one batch.
    const int batches = manager.batches();
    second.leftAxis->setWidth(90);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(first.leftAxis->width(), 90);
    QCOMPARE(second.leftAxis->width(), 90);
    QCOMPARE(timeAxis->x(), 90);
    QCOMPARE(manager.batches(), batches + 1);
    QVERIFY(!manager.isBatchPending());

    // A pane that goes leaves the groups.
    delete second.widget;
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(lefts.widgets().size(), 1);
    QCOMPARE(lefts.width(), 65);
    QCOMPARE(first.leftAxis->width(), 65);
    QCOMPARE(manager.layouts().size(), 1);
}

void TestMultiView::seriesDefaultsFromFactoryAndSettings()
{
    AppSettings ta(QStringLiteral("TechAnalysis"));
    ta.remove(QStringLiteral("SeriesDefaultProperty"));
    ta.remove(QStringLiteral("StudyDefaultProperty"));
    // No group: the factory values, written into the settings as well.
    const MapSettings first = SeriesDefaults::stored();
    QCOMPARE(TimeFrameValue::load(first), TimeFrameValue(180));
    QCOMPARE(first.value("daysBack").toInt(), 1);
    QCOMPARE(first.value("toCurrDate").toBool(), true);
    QCOMPARE(first.value("axisPos").toInt(), 1);
    QCOMPARE(first.value("autoScale").toInt(), 2);
    QCOMPARE(first.value("lineColor").value<QColor>(), QColor(114, 230, 169));
    QCOMPARE(first.value("wickColor").value<QColor>(), QColor(223, 223, 223));
    QVERIFY(ta.childGroups().contains(QStringLiteral("SeriesDefaultProperty")));
    // A stored group is taken as it stands.
    ta.setValue(QStringLiteral("SeriesDefaultProperty/daysBack"), 7);
    QCOMPARE(SeriesDefaults::stored().value("daysBack").toInt(), 7);
    // A group that names only some keys (a first start that set the days): the rest are
    // the factory values.
    ta.remove(QStringLiteral("SeriesDefaultProperty"));
    ta.setValue(QStringLiteral("SeriesDefaultProperty/daysBack"), 5);
    const MapSettings partial = SeriesDefaults::stored();
    QCOMPARE(partial.value("daysBack").toInt(), 5);
    QCOMPARE(TimeFrameValue::load(partial), TimeFrameValue(180));
    QCOMPARE(partial.value("wickColor").value<QColor>(), QColor(223, 223, 223));
    const MapSettings study = SeriesDefaults::storedStudy();
    QCOMPARE(study.value("color").value<QColor>(), QColor(255, 0, 0));
    QCOMPARE(study.value("axisPos").toInt(), 1);
}

void TestMultiView::seriesDefaultsJoinTheShownSeries()
{
    QVERIFY(SeriesDefaults::isCoarser(TimeFrameValue(1, Year), TimeFrameValue(1, Month)));
    QVERIFY(SeriesDefaults::isCoarser(TimeFrameValue(1, Month), TimeFrameValue(86400 * 7)));
    QVERIFY(SeriesDefaults::isCoarser(TimeFrameValue(3600), TimeFrameValue(300)));
    QVERIFY(!SeriesDefaults::isCoarser(TimeFrameValue(300), TimeFrameValue(300)));

    MapSettings defaults = SeriesDefaults::factory();
    // Nothing shown: the defaults stay.
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

TA_REGISTER_TEST(TestMultiView)

#include "tst_multiview.moc"
