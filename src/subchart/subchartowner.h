#pragma once

#include "mapsettings.h"
#include "tsynchronyzer.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QRect>

class ChartItem;
class GraphicsItem;
class QLayout;
class QLayoutItem;
class QScrollBar;
class QWidget;
class SeriesItem;
class SubChartWidget;

// What the sub-charts of one chart window share and whom they tell: the window's chart area
// stacks them and derives from this. The state lives here with plain setters; the
// notifications do nothing unless the chart area overrides them.
class SubChartOwner
{
public:
    // Projection (crosshair) modes: 0 both lines with values, 1 both lines, 2 values only,
    // 3 the horizontal line, 4 the vertical line, 5 none.
    static constexpr int NoProjection = 5;

    explicit SubChartOwner(TSynchronyzer *synchronizer);
    virtual ~SubChartOwner();
    SubChartOwner(const SubChartOwner &) = delete;
    SubChartOwner &operator=(const SubChartOwner &) = delete;

    // The chart area's widget: the parent of its dialogs, the event filter of its sub-charts
    // and the frame of context-menu points.
    virtual QWidget *ownerWidget() = 0;
    TSynchronyzer *synchronizer() const { return m_synchronizer.data(); }

    // Pixels per time unit of the views.
    virtual double scaleX() const { return m_scaleX; }
    void setScaleX(double scale) { m_scaleX = scale; }
    bool barOnEnd() const { return m_barOnEnd; }
    void setBarOnEnd(bool onEnd) { m_barOnEnd = onEnd; }
    int drawingTool() const { return m_drawingTool; }
    void setDrawingTool(int tool) { m_drawingTool = tool; }
    QColor drawingColor() const { return m_drawingColor; }
    void setDrawingColor(const QColor &color) { m_drawingColor = color; }
    int drawingWidth() const { return m_drawingWidth; }
    void setDrawingWidth(int width) { m_drawingWidth = width; }
    bool isSelectAreaMode() const { return m_selectAreaMode; }
    void setSelectAreaMode(bool on) { m_selectAreaMode = on; }
    bool isGridShown() const { return m_showGrid; }
    void setGridShown(bool show) { m_showGrid = show; }
    int projectionMode() const { return m_projectionMode; }
    void setProjectionMode(int mode) { m_projectionMode = mode; }

    // A window colour by its settings key, the built-in value until one is set.
    QColor color(const QString &key) const;
    void setColor(const QString &key, const QColor &color);

    // The time indices on screen, as new scales take them for their "on screen" fit.
    virtual QPair<int, int> visibleIndexRange() const;
    // The properties a new series starts with.
    virtual MapSettings seriesDefaults() const { return {}; }
    // The time axis' scroll bar the views follow; none by default.
    virtual QScrollBar *timeScrollBar() const { return nullptr; }
    // How a sub-chart's axis row sits in its layout; the chart area wraps it so that every
    // sub-chart's axes of a side are equally wide.
    virtual QLayoutItem *axisLayoutItem(QWidget *axisRow, int side);
    virtual void manageLayout(QLayout *) {}
    // The sub-charts, top to bottom.
    virtual QList<SubChartWidget *> subCharts() const;
    // The address that names the window in drag data: its chart area's.
    virtual quint64 windowId();

    // The series whose "id" property is id, over every sub-chart of the window.
    SeriesItem *seriesById(int id) const;

    // Notifications from the sub-charts.
    virtual void clearItemsSelection();
    // The current item may have changed; a series name changed.
    virtual void reportCurrItemChanged() {}
    virtual void changeItemProperties(GraphicsItem *) {}
    virtual void addStudyForSeries(SeriesItem *) {}
    virtual void reportNameChanged() {}
    // An item was wired into a sub-chart (added, restored or moved there).
    virtual void reportItemAdded() {}
    virtual void increaseArea(const QRect &) {}
    virtual void onDrawingAdded() {}
    virtual void redrawProjections() {}
    virtual void hideProjections() {}
    // A chart item dropped on another sub-chart moves there onto a new scale made from its old
    // scale's state, with the same axis position.
    virtual void moveItemToSubChart(ChartItem *item, SubChartWidget *target, int axisPos);

private:
    QPointer<TSynchronyzer> m_synchronizer;
    double m_scaleX = 9.0;
    bool m_barOnEnd = true;
    int m_drawingTool = -1;
    QColor m_drawingColor;
    int m_drawingWidth = -1;
    bool m_selectAreaMode = false;
    bool m_showGrid = true;
    int m_projectionMode = NoProjection;
    QHash<QString, QColor> m_colors;
};
