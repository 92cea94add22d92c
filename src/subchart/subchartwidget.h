#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class ChartItem;
class DrawingItem;
class GraphicsItem;
class GraphicsScene;
class GraphicsView;
class LeftMultiVertAxisWidget;
class ParentScaleItem;
class QAction;
class QGraphicsItem;
class QMenu;
class RightMultiVertAxisWidget;
class SeriesItem;
class Settings;
class SubChartOwner;
class TSynchronyzer;

// One band ("area") of a chart window: a scene with its scales and items, the view that shows
// it and a row of price axes on each side. It adds series, indicators and drawings, keeps the
// scales fitted to its height and saves and restores itself.
//
// Indicators and drawings are made by the subsystems that define them, through the makers
// registered here; until one is registered that kind cannot be added.
class SubChartWidget : public QWidget
{
    Q_OBJECT
public:
    // Makes an indicator for the series under the scale; the sub-chart then restores it from
    // the settings.
    using StudyMaker = std::function<ChartItem *(SeriesItem *series, ParentScaleItem *scale)>;
    // Makes a drawing of a kind under the scale at a scene point, in a colour and width
    // (invalid and -1 for the kind's defaults).
    using DrawingMaker = std::function<DrawingItem *(int kind, ParentScaleItem *scale,
                                                     TSynchronyzer *synchronizer,
                                                     const QPointF &scenePoint,
                                                     const QColor &color, int width)>;
    static void setStudyMaker(StudyMaker maker);
    static void setDrawingMaker(DrawingMaker maker);

    // "Некорректное значение в настройках графика: %1"
    static QString badValue(const QString &key);

    SubChartWidget(SubChartOwner *owner, QWidget *splitter);
    ~SubChartWidget() override;

    // The sub-chart an item is drawn in.
    static SubChartWidget *of(const QGraphicsItem *item);

    SubChartOwner *owner() const { return m_owner; }
    GraphicsView *view() const { return m_view; }
    GraphicsScene *scene() const { return m_scene; }
    LeftMultiVertAxisWidget *leftAxis() const { return m_leftAxis; }
    RightMultiVertAxisWidget *rightAxis() const { return m_rightAxis; }
    QAction *deleteAction() const { return m_deleteAction; }

    // A series of the instrument under the scale, set up from the settings. Throws the item's
    // error text; the item is gone then.
    SeriesItem *addSeries(const QString &key, Settings &settings, ParentScaleItem *scale);
    // A series with the window's series defaults on a new scale; the scale goes again when the
    // series cannot be made.
    SeriesItem *addSeries(const QString &key);
    // An indicator of the series, on a new scale made from the settings when none is given.
    ChartItem *addStudy(Settings &settings, SeriesItem *series, ParentScaleItem *scale = nullptr);
    // A drawing restored from the settings; null when it lies outside the shown period.
    // Throws "drawing" for a kind that does not exist.
    DrawingItem *addDrawing(Settings &settings, ParentScaleItem *scale);
    // A drawing begun with the mouse, not set up yet (the view does that when it is finished).
    DrawingItem *createDrawing(int kind, ParentScaleItem *scale, const QPointF &scenePoint);
    // The scale of the chart item at a scene point, else the first scale.
    ParentScaleItem *scaleAt(const QPointF &scenePoint) const;

    // A scale on the scene from the settings, with axes as "axisPos" says (0 none, 1 left,
    // 2 right, 3 both; 2 when absent).
    ParentScaleItem *newScale(Settings &settings);
    // Moves the scale's axes to the "axisPos" of the settings.
    void changeAxisPosition(Settings &settings, ParentScaleItem *scale);
    // 0 no axis, 1 left, 2 right, 3 both.
    int axisPosition(const ParentScaleItem *scale) const;

    QList<ParentScaleItem *> scales() const;
    QList<ChartItem *> chartItems() const;
    QList<SeriesItem *> seriesItems() const;
    QList<ChartItem *> studies() const;
    QList<DrawingItem *> drawings() const;
    bool hasVisibleItems() const;
    // The height the pane has, or had when its items were last shown (a pane hides with them).
    int shownHeight() const { return isHidden() ? m_shownHeight : height(); }

    // The window's colours onto the scene, the scales' grids, both axis rows and the items.
    void applyColors();
    // The entries for a point in the chart area's coordinates.
    void fillContextMenu(const QPoint &ownerPoint, QMenu *menu);

    // Wires an item into the window and gives it a status line; with settings, the item first
    // restores itself from them (an error comes back as badValue of the key).
    void setUpItem(GraphicsItem *item, Settings *settings = nullptr);
    // Takes a chart item from another sub-chart onto a scale of this one, or, without one, onto
    // a new scale made from the old scale's state, with axes at axisPos.
    void adoptItem(ChartItem *item, int axisPos, ParentScaleItem *onto = nullptr);
    // A chart item was dragged out of this sub-chart.
    void afterItemMovedOut();

    // The views follow the chart area's scroll bar.
    void updateViewScroll();
    // The scene takes the viewport's height; scales refit or stretch with it.
    void updateSceneHeight();

    void saveState(Settings &settings);
    // The three passes of a restore: scales and series, then indicators and the axes, then
    // drawings. Structural keys throw; an item whose own keys fail is dropped and its error
    // is kept in restoreErrors(). restoreDrawings tells whether a drawing was refused.
    // A window restoring several sub-charts brings the time index up to date once, after the
    // first pass of all of them (updateTimeIndex false).
    void restoreScales(Settings &settings, bool updateTimeIndex = true);
    void restoreItems(Settings &settings);
    bool restoreDrawings(Settings &settings);
    QStringList restoreErrors() const { return m_restoreErrors; }

Q_SIGNALS:
    void currItemChanged();

private Q_SLOTS:
    void itemVisibilityChanged();
    void bringItemToFront();
    void itemDestroyed();
    void onDeleteAction();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The scale restored as the index-th group, if it is still there.
    ParentScaleItem *restoredScale(int index) const;
    void dropItem(GraphicsItem *item, const QString &error);
    // Calls visit with the restored scale inside each item group of the type.
    void forEachRestored(Settings &settings, int type,
                         const std::function<void(ParentScaleItem *)> &visit);
    void deleteEmptyScales();

    SubChartOwner *m_owner;
    GraphicsScene *m_scene;
    GraphicsView *m_view;
    QWidget *m_viewport;
    LeftMultiVertAxisWidget *m_leftAxis;
    RightMultiVertAxisWidget *m_rightAxis;
    QAction *m_deleteAction;
    int m_shownHeight = 0;
    QList<QPointer<ParentScaleItem>> m_scales;   // creation order
    QList<QPointer<ParentScaleItem>> m_restored; // by their group index
    QStringList m_restoreErrors;
    double m_lastHeight = 0;                      // the last height above 0
};
