#pragma once

// A chart window reduced to what its sub-charts need, and stand-ins for the drawings and
// indicators that other subsystems make: the sub-chart suite drives real sub-charts through
// them.

#include "appsettings.h"
#include "chartitemmimedata.h"
#include "charttesthelpers.h"
#include "drawingitem.h"
#include "graphicsscene.h"
#include "graphicsview.h"
#include "parentscaleitem.h"
#include "settings.h"
#include "subchartowner.h"
#include "subchartwidget.h"

#include <QDataStream>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

// A two-point drawing as far as the sub-chart's drawing gestures need one: it counts the moves
// of its second point.
class TestLineDrawing : public DrawingItem
{
    Q_OBJECT
public:
    TestLineDrawing(int kind, QGraphicsObject *scale, const QPointF &scenePoint, const QColor &color,
                    int width)
        : DrawingItem(scale, color, width)
        , m_kind(kind)
        , m_p1(scenePoint)
        , m_p2(scenePoint)
    {
    }
    int kind() const override { return m_kind; }
    bool isLineDrawing() const override { return true; }
    void setSceneP2(const QPointF &point) override
    {
        geometryChanging();
        m_p2 = point;
        ++p2Moves;
    }
    QRectF extent() const override
    {
        return QRectF(mapFromScene(m_p1), mapFromScene(m_p2)).normalized().adjusted(-1, -1, 1, 1);
    }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override
    {
        painter->setPen(QPen(drawingColor(), 0));
        painter->drawLine(mapFromScene(m_p1), mapFromScene(m_p2));
    }

    int p2Moves = 0;

private:
    int m_kind;
    QPointF m_p1;
    QPointF m_p2;
};

// An indicator of a series: its range is the series' range, and it saves which series it
// belongs to.
class TestStudy : public ChartItem
{
    Q_OBJECT
public:
    TestStudy(SeriesItem *series, QGraphicsObject *scale)
        : ChartItem(scale)
        , m_series(series)
    {
        setDisplayName(QStringLiteral("Study of ") + series->displayName());
    }
    SeriesItem *series() const { return m_series.data(); }
    void saveState(Settings &settings) const override
    {
        ChartItem::saveState(settings);
        settings.setValue(QStringLiteral("type"), 1);
        if (m_series)
            settings.setValue(QStringLiteral("seriesItem"), m_series->property("id"));
    }

private:
    QPointer<SeriesItem> m_series;
};

// The window's chart area as far as sub-charts see it: sub-charts stacked top to bottom, one
// synchroniser, the shared state and a record of what the sub-charts told it.
class TestOwner : public QWidget, public SubChartOwner
{
    Q_OBJECT
public:
    TestOwner()
        : SubChartOwner(new TSynchronyzer(this))
        , m_layout(new QVBoxLayout(this))
    {
        m_layout->setContentsMargins(0, 0, 0, 0);
        m_layout->setSpacing(0);
        MapSettings &defaults = m_seriesDefaults;
        TimeFrameValue(60).save(defaults);
        defaults.setValue(QStringLiteral("toCurrDate"), false);
        defaults.setValue(QStringLiteral("axisPos"), 2);
        defaults.setValue(QStringLiteral("autoScale"), 1);
    }
    ~TestOwner() override
    {
        // Sub-charts and their items go before the synchroniser.
        qDeleteAll(findChildren<SubChartWidget *>(Qt::FindDirectChildrenOnly));
    }

    QWidget *ownerWidget() override { return this; }
    MapSettings seriesDefaults() const override { return m_seriesDefaults; }
    // The series defaults cover [from, to].
    void setSeriesRange(const QDate &from, const QDate &to)
    {
        m_seriesDefaults.setValue(QStringLiteral("dateTo"), to.toString(Qt::ISODate));
        m_seriesDefaults.setValue(QStringLiteral("daysBack"), int(from.daysTo(to) + 1));
    }
    QList<SubChartWidget *> subCharts() const override
    {
        QList<SubChartWidget *> list;
        for (int i = 0; i < m_layout->count(); ++i) {
            if (auto *subChart = qobject_cast<SubChartWidget *>(m_layout->itemAt(i)->widget()))
                list.append(subChart);
        }
        return list;
    }
    SubChartWidget *addSubChart()
    {
        auto *subChart = new SubChartWidget(this, this);
        m_layout->addWidget(subChart);
        return subChart;
    }
    // A first sub-chart in a window of that size, shown and laid out.
    SubChartWidget *showWithArea(int width, int height)
    {
        SubChartWidget *subChart = addSubChart();
        resize(width, height);
        show();
        QCoreApplication::processEvents();
        return subChart;
    }

    // Numbers the series of all sub-charts and writes the sub-charts, as the chart area does.
    void saveWindow(Settings &settings)
    {
        int id = 0;
        for (SubChartWidget *subChart : subCharts()) {
            for (SeriesItem *series : subChart->seriesItems())
                series->setProperty("id", id++);
        }
        const QList<SubChartWidget *> list = subCharts();
        settings.setValue(QStringLiteral("viewCount"), int(list.size()));
        for (int i = 0; i < list.size(); ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            list[i]->saveState(settings);
        }
    }
    // The three passes over every sub-chart; whether a drawing was refused.
    bool restoreWindow(Settings &settings)
    {
        const int count = settings.value(QStringLiteral("viewCount")).toInt();
        for (int i = 0; i < count; ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            addSubChart()->restoreScales(settings);
        }
        const QList<SubChartWidget *> list = subCharts();
        for (int i = 0; i < count; ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            list[i]->restoreItems(settings);
        }
        bool dropped = false;
        for (int i = 0; i < count; ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            dropped = list[i]->restoreDrawings(settings) || dropped;
        }
        return dropped;
    }

    void reportCurrItemChanged() override { ++currentChanges; }
    void increaseArea(const QRect &area) override { areas.append(area); }
    void onDrawingAdded() override { ++drawingsAdded; }
    void reportNameChanged() override { ++nameChanges; }
    void redrawProjections() override { ++projectionRedraws; }

    int currentChanges = 0;
    int drawingsAdded = 0;
    int nameChanges = 0;
    int projectionRedraws = 0;
    QList<QRect> areas;

private:
    QVBoxLayout *m_layout;
    MapSettings m_seriesDefaults;
};

// New series of a chart window: one-minute bars over [dateTo - days + 1, dateTo], on the
// right axis, with the auto-scale mode given.
inline void storeSeriesDefaults(const QDate &dateTo, int days, int autoScale)
{
    AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    defaults.remove(QString());
    TimeFrameValue(60).save(defaults);
    defaults.setValue(QStringLiteral("toCurrDate"), false);
    defaults.setValue(QStringLiteral("dateTo"), dateTo.toString(Qt::ISODate));
    defaults.setValue(QStringLiteral("daysBack"), days);
    defaults.setValue(QStringLiteral("axisPos"), 2);
    defaults.setValue(QStringLiteral("autoScale"), autoScale);
}

// Every delete question answered yes without being shown.
inline void answerDeleteQuestionsYes()
{
    AppSettings confirmations(QStringLiteral("TechAnalysis/Confirmations"));
    for (const char *key : {"askDelSubChart", "askDelItem", "askDelAllStudies", "askDelAllDrawings"})
        confirmations.setValue(QString::fromLatin1(key), false);
}

// The stand-ins registered as the makers of indicators and drawings.
inline void registerTestMakers()
{
    SubChartWidget::setStudyMaker([](SeriesItem *series, ParentScaleItem *scale) -> ChartItem * {
        return new TestStudy(series, scale);
    });
    SubChartWidget::setDrawingMaker([](int kind, ParentScaleItem *scale, TSynchronyzer *,
                                       const QPointF &point, const QColor &color,
                                       int width) -> DrawingItem * {
        return new TestLineDrawing(kind, scale, point, color, width);
    });
}

// The text the host's tables drag for an instrument.
inline QMimeData *securityData(const QString &text)
{
    auto *data = new QMimeData;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << text;
    data->setData(ChartItemMimeData::securityFormat(), bytes);
    return data;
}

// Offers the data to a view (a pane's or the time axis) as a drag entering it; the action it
// takes (IgnoreAction when it refuses).
inline Qt::DropAction offer(QAbstractScrollArea *view, const QMimeData *data, QEvent::Type type = QEvent::DragEnter)
{
    const QPoint point(view->viewport()->width() / 2, view->viewport()->height() / 2);
    if (type == QEvent::DragEnter) {
        QDragEnterEvent event(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &event);
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }
    // A drop comes after the drag entered, as in a real drag.
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view->viewport(), &enter);
    QDropEvent event(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view->viewport(), &event);
    return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
}
