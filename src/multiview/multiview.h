#pragma once

#include "seriesitem.h"
#include "subchartowner.h"
#include "timeaxisscrollarea.h"
#include "timeframevalue.h"
#include "timescale.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <functional>

class ColorSplitter;
class ESLayoutManager;
class EqualSizingWidgetItems;
class ParentScaleItem;
class QAction;
class QGridLayout;
class QScrollBar;
class Settings;
class StickyScrollBar;

// The chart summary shown beside the cursor: the date, the time and the items' values there.
class SummaryWidget : public QLabel
{
    Q_OBJECT
public:
    explicit SummaryWidget(QWidget *parent = nullptr);
    // Background the sub-chart colour, text its inverse.
    void setBackground(const QColor &color);
};

// The central area of a chart window: sub-charts stacked in a splitter over one time axis and
// its scroll bar, sharing the horizontal zoom, the colours and the drawing state. Every
// sub-chart's axes of a side are one width, so that the plot areas line up with the time axis.
//
// Indicators, their selector, the property dialogs and the items manager are provided by the
// subsystems that define them through the services below; until one is set, the entry points
// that need it do nothing and the window keeps their menus disabled.
class MultiView : public QWidget, public SubChartOwner, public TimeAxisHost
{
    Q_OBJECT
public:
    // One indicator chosen in the selector: the index of its series in seriesNames() and the
    // indicator's settings (its definition merged into the indicator defaults).
    struct ChosenStudy
    {
        int series = 0;
        MapSettings settings;
    };
    struct Services
    {
        // The indicator selector over the series names with one preselected.
        std::function<QList<ChosenStudy>(QWidget *parent, const QStringList &seriesNames,
                                         int preselected, const MapSettings &defaults)>
            chooseStudies;
        // Merges the named indicator file's definition into the settings; false when there is
        // no such file (the file list is refreshed first).
        std::function<bool(const QString &name, MapSettings &settings)> findStudy;
        // The property dialog of a chart item; true and the result map on acceptance.
        std::function<bool(ChartItem *item, MultiView *view, MapSettings &result)> editProperties;
        // Moves an indicator onto another series of the window (nothing when it is its own).
        std::function<void(ChartItem *study, SeriesItem *series)> rebaseStudy;
        std::function<void(MultiView *view)> showItemsManager;
        // The instrument selector; the chosen key, empty when cancelled. The host's selector
        // dialog when not set.
        std::function<QString(QWidget *parent)> chooseInstrument;
    };
    static void setServices(const Services &services);
    static const Services &services();
    static bool canAddStudies() { return bool(services().chooseStudies); }
    static bool canEditProperties() { return bool(services().editProperties); }
    static bool canShowItemsManager() { return bool(services().showItemsManager); }

    // The text of a restore that dropped drawings outside the shown period.
    static QString drawingsRemovedText();

    explicit MultiView(QWidget *parent = nullptr);
    ~MultiView() override;

    ColorSplitter *splitter() const { return m_splitter; }
    StickyScrollBar *scrollBar() const { return m_scrollBar; }
    TimeAxisScrollArea *timeAxis() const { return m_timeAxis; }
    EqualSizingWidgetItems *leftWidths() const { return m_leftWidths; }
    EqualSizingWidgetItems *rightWidths() const { return m_rightWidths; }
    ESLayoutManager *layouts() const { return m_layouts; }
    QWidget *placeholder() const { return m_placeholder; }
    SummaryWidget *summary() const { return m_summary; }
    const TimeScale &timeScale() const { return m_timeScale; }
    bool isSummaryShown() const { return m_showSummary; }
    // The scene's width in pixels at the current zoom; 0 without sub-charts.
    int scenePixelWidth() const;
    // The empty strip at the left of a scene narrower than the time axis, in pixels.
    int emptyOffset() const;

    // SubChartOwner
    QWidget *ownerWidget() override { return this; }
    double scaleX() const override { return m_timeScale.scale(); }
    QPair<int, int> visibleIndexRange() const override;
    MapSettings seriesDefaults() const override;
    QScrollBar *timeScrollBar() const override;
    QLayoutItem *axisLayoutItem(QWidget *axisRow, int side) override;
    void manageLayout(QLayout *layout) override;
    QList<SubChartWidget *> subCharts() const override;
    void clearItemsSelection() override;
    void reportCurrItemChanged() override { Q_EMIT currItemChanged(); }
    void reportNameChanged() override { Q_EMIT nameChanged(); }
    void reportItemAdded() override { Q_EMIT itemAdded(); }
    void changeItemProperties(GraphicsItem *item) override;
    void addStudyForSeries(SeriesItem *series) override;
    void increaseArea(const QRect &area) override;
    void onDrawingAdded() override;
    void redrawProjections() override;
    void hideProjections() override;

    // TimeAxisHost
    double pixelsPerUnit() const override { return m_timeScale.scale(); }
    void zoomStep(Zoom direction) override;
    Qt::DropAction axisDropAction(const QMimeData *data) override;
    // An instrument opens in a new pane; a chart item moves into a new pane as in a drop on a
    // pane. A text thrown on the way is shown over the window.
    void dropOnAxis(const QMimeData *data) override;

    // A new empty sub-chart at the bottom of the splitter, shown.
    SubChartWidget *addSubChart();
    QList<SeriesItem *> seriesItems() const;
    QStringList seriesNames() const;
    // The selected item of the first sub-chart that has one.
    GraphicsItem *selectedItem() const;
    // The selected chart item, else the first visible series.
    ChartItem *currentItem() const;
    SeriesItem *currentSeries() const;
    // The sub-chart under a point of this widget, if any.
    SubChartWidget *subChartAt(const QPoint &point) const;

    // The projections and the summary for the cursor at a global position.
    void redrawProjectionsAt(const QPoint &globalPos);
    // The summary's text for a time index and a sub-chart point; empty when there is none.
    QString summaryText(int index, SubChartWidget *subChart, const QPointF &scenePoint) const;

    // An indicator for the series with its settings: on the series' own scale when "axis" is
    // 1, else in a new sub-chart. A text exception goes on to the caller; a sub-chart made for
    // the indicator is gone then.
    ChartItem *addStudyFor(SeriesItem *series, MapSettings settings);

    // Where a chart item can be placed: the property dialogs list these.
    struct Placement
    {
        QString text; // empty for a separator
        QPointer<SubChartWidget> subChart; // null for a new area
        QPointer<ParentScaleItem> scale;   // null for a separate (new) axis
    };
    QList<Placement> placementChoices(ChartItem *item) const;
    // Moves the item as the choice says; the map gives a new scale's settings.
    void applyPlacement(ChartItem *item, SubChartWidget *subChart, ParentScaleItem *scale,
                        Settings &settings);
    // The property dialog's result for an item: rebase, the item's own properties, placement.
    void applyItemProperties(ChartItem *item, MapSettings result);

    // "showDate", "showGrid", the ten colours and "rightMargin".
    void saveViewSettings(Settings &settings) const;
    // Throws "rightMargin"; the rest is applied before, the margin stays then.
    void applyViewSettings(Settings &settings);
    // The same from a settings page: a bad value is shown over the window, false.
    bool applyDisplayOptions(Settings &settings);
    void saveState(Settings &settings);
    // For a window without sub-charts. Throws the failing key's text; nothing of the window is
    // left then. Drawings outside the shown period are dropped with one notice.
    void restoreState(Settings &settings);
    // Items the last restore dropped, each with its error.
    QStringList restoreErrors() const { return m_restoreErrors; }

Q_SIGNALS:
    void enableBackScaleX(bool enable);
    void enableDefaultScaleX(bool enable);
    void currItemChanged();
    void nameChanged();
    void checkSelAreaMode(bool check);
    void drawingAdded();
    // An item joined one of the sub-charts (the items manager lists it at once).
    void itemAdded();
    // A message for the user that is not an error (dropped drawings after a restore).
    void notice(const QString &text);

public Q_SLOTS:
    SeriesItem *addUnknownItem(QWidget *modalParent);
    SeriesItem *addUnknownItem() { return addUnknownItem(this); }
    QList<ChartItem *> addStudy(QWidget *modalParent, SeriesItem *baseOn);
    QList<ChartItem *> addStudy(QWidget *modalParent) { return addStudy(modalParent, nullptr); }
    QList<ChartItem *> addStudy() { return addStudy(this, nullptr); }
    void addStudyForSeries();
    void refreshAll();
    void delAllStudies();
    void delAllDrawings();
    void delSelectedItem();
    // A new sub-chart with a series of the instrument; null, told over the window, when the
    // series cannot be made.
    SeriesItem *createDefaultSeriesItem(const QString &key);
    ChartItem *addVolume(SeriesItem *series);

    // The sending action's data says in (true) or out.
    void changeScaleX();
    void backScaleX();
    void defaultScaleX();
    void setSelectAreaMode(bool checked);
    void changeScaleY();
    void changeAutoScaleY();
    void moveScaleY();
    void updateViewsScroll();
    void horScrollChanged();
    void changeInstrumentViewMode(QAction *action);
    void changeInstrumentTimeFrame(QAction *action);
    void showGrid(bool show);
    void changeProjectionType(int type);
    void showSummary(bool show);
    bool hasStudies() const;
    bool hasDrawings() const;
    GraphicsItem *selectedItemToDelete() const;
    void showItemsManager();
    void setAddDrawingMode(bool on);
    void drawingColorChanged(const QColor &color);
    void changeItemProperties();
    void sceneWidthChanged();

    // The same commands with their argument given directly (the window's bound actions and
    // tests), instead of through the sending action.
    void zoomX(bool in);
    void scaleY(double factor);
    void autoScaleY(int mode);
    void moveY(bool up);
    void selectDrawingTool(int tool);
    void setViewMode(int view);
    void setTimeFrame(const TimeFrameValue &frame);
    // The one path of a time-frame change (tool bar, dialogs, items manager): the scroll
    // position is kept and the items follow once. False when the series already has it, or
    // when its range would hold too many bars in that frame (the user is told).
    bool setSeriesTimeFrame(SeriesItem *series, const TimeFrameValue &frame);
    // A refused user action told in a message box over the window, without waiting for it.
    void showRefusal(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Scales every view by the applied factor and tells the tool bar what it may undo.
    void applyToViews(double factor, bool remembered);
    void watchSubChart(SubChartWidget *subChart);
    // Gives the pane just added to the splitter its share of the height the panes had.
    void shareHeightWithNewPane(const QList<int> &before);
    void updatePlaceholder();
    // Where the scroll bar stands before a zoom, and putting it back around the same centre.
    struct ScrollPosition
    {
        bool atMax = true;
        double centre = 0;
    };
    ScrollPosition scrollPosition() const;
    void restoreScrollPosition(const ScrollPosition &position);
    // The scene x range on screen goes to the series and the scales.
    void updateScreenRanges();
    void showSummaryFor(int index, const QPoint &globalPos);
    void hideSummary();
    void nudgeHostLayout();
    // Runs a confirmation; true when the answer is yes.
    bool confirm(const QString &title, const QString &text, const QString &key);
    // Runs a command the user gave; a text it throws is shown over the window and the chart
    // goes on as it is. False when it threw.
    template <typename F>
    bool refusing(F &&f);
    QVariant senderData() const;
    void deleteAllSubCharts();

    ColorSplitter *m_splitter;
    StickyScrollBar *m_scrollBar;
    TimeAxisScrollArea *m_timeAxis;
    EqualSizingWidgetItems *m_leftWidths;
    EqualSizingWidgetItems *m_rightWidths;
    ESLayoutManager *m_layouts;
    SummaryWidget *m_summary;
    QWidget *m_placeholder;
    QGridLayout *m_grid;
    TimeScale m_timeScale;
    bool m_showSummary = false;
    bool m_mirroring = false;
    QStringList m_restoreErrors;
};
