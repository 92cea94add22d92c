#pragma once

#include "chartitem.h"
#include "frameindex.h"
#include "seriesview.h"
#include "timeframevalue.h"
#include "timeseriesitem.h"
#include "tsynchronyzer.h"

#include <QSet>

#include <vector>

class QAction;
class SeriesDataModel;

// The chart item of one instrument: it owns the instrument's bar model for one time frame,
// places the bars through the window's time synchroniser, keeps its price range current as
// data arrive and paints through one of three renderers (candles, bars, a line).
//
// The prices of every bar are mirrored in the item as it hears of them (onDataChanged), so that
// painting and hit tests read a plain array instead of locking the model bar by bar.
class SeriesItem : public ChartItem, public TimeSeriesItem
{
    Q_OBJECT
public:
    // One bar as the renderers see it; open is NaN for a bar that is not valid.
    struct Bar
    {
        float open;
        float high;
        float low;
        float close;
        bool isValid() const { return open == open; }
    };

    // barOffset is the window's "barOnEnd" flag: 1 places a bar at the end of its interval,
    // 0 at its start.
    SeriesItem(const QString &instrumentKey, TSynchronyzer *synchronizer,
               QGraphicsObject *parentChartItem, int barOffset);
    ~SeriesItem() override;

    SeriesDataModel *model() const { return m_model; }
    TSynchronyzer *synchronizer() const { return m_synchronizer.data(); }
    int barOffset() const { return m_barOffset; }
    int view() const;
    void setView(int view);
    SeriesView *currentView() const { return m_currentView; }
    CandleSeriesView &candleView() { return m_candles; }
    BarSeriesView &barView() { return m_barsView; }
    LineSeriesView &lineView() { return m_line; }
    QAction *buildStudyAction() const { return m_buildStudyAction; }
    double width() const { return m_width; }

    // Time units per bar; negative for bars of no fixed length (months, years over a finer
    // base), whose absolute value is then the bar width.
    int unitsPerBar() const;
    // x of a bar in item coordinates, and the bar at an x (invalid when none).
    double xOf(const FrameIndex &index) const;
    FrameIndex frameIndexAt(double x) const;
    // Half the width of a bar body, in scene units, for the current horizontal scale.
    double barHalfWidth() const;
    // How far right of its interval's start a bar is drawn: a whole bar when bars stand at
    // the end of their interval (for bars of no fixed length, their nominal width).
    double barShift() const;
    // Where a paint walk over a strip from x on starts: in the first chunk whose last bar
    // reaches into the strip, barsBack bars before the bar drawn at x, so that a body or a
    // segment reaching in from the left is painted too; the last bar beyond every chunk.
    FrameIndex paintStart(double x, int barsBack) const;
    // Two per chunk: its first and last time index relative to the first chunk, sorted.
    const QList<int> &chunkSpans() const { return m_chunkSpans; }
    // unitsPerBar() as of the last location update (painting asks it for every bar).
    int unitsPerBarCached() const { return m_unitsPerBar; }

    // The horizontal scale of the view changed: bodies and margins are sized in pixels.
    void viewScaleChanged();
    // The scene x range on screen (the view calls it on every scroll and zoom); the first and
    // last bar with data in it follow, invalid when none is.
    void setScreenRange(double left, double right);
    FrameIndex firstOnScreen() const { return m_firstOnScreen; }
    FrameIndex lastOnScreen() const { return m_lastOnScreen; }

    // The mirrored bars, per chunk of the model's layout, and the last bar with data.
    const std::vector<std::vector<Bar>> &bars() const { return m_bars; }
    FrameIndex lastIndex() const { return m_lastIndex; }
    Bar barAt(const FrameIndex &index) const;
    // The next valid bar after the index (across chunks), invalid when none.
    FrameIndex nextValid(FrameIndex index) const;
    FrameIndex previousValid(FrameIndex index) const;
    bool isModelReady() const;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget) override;
    bool collidesWithPath(const QPainterPath &path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;

    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;
    void fillContextMenu(QMenu *menu) override;
    void applyProperties(Settings &settings) override;
    QString deleteQuestion() const override;
    void deleteItem() override;

    QPair<double, double> priceRangeBetween(int xFrom, int xTo) const override;
    QString parametersText() const override;
    int decimals() const override;
    QList<PriceMark> priceMarks() const override;
    QColor color() const override;
    QSet<int> dayBoundaries() const override { return m_dayBoundaries; }
    // A binary search in the sorted boundaries: painting a day's worth of screen costs the
    // same with five years of history as with one day.
    QList<int> dayBoundariesBetween(int from, int to) const override;
    QString infoTextAt(const QPointF &scenePoint) const override;
    // For bars of a day or longer, the start of the bar drawn nearest the scene x within its
    // slot, so that the summary names the bar's own day wherever the bar stands; null for
    // shorter bars and where no bar is.
    datetime barStartNear(double sceneX) const;
    QString statusText() const override;

    // Another instrument for the series, as the selector sub-menu chooses it. A text the model
    // throws is shown in a message box over the window; the series keeps its instrument.
    void changeInstrument(const QString &textId);
    // Lays the model out for another frame and fills it again.
    void changeTimeFrame(const TimeFrameValue &frame);
    // Starts filling the model (after a restore).
    void fill();

    // TimeSeriesItem
    SeriesDataModel *barModel() const override { return m_model; }
    datetime firstBarTime() const override;
    double barsWidth() const override { return m_width; }
    void setIndexPosition(int index) override;
    void rebuildSpans() override { updateLocation(); }
    QObject *itemObject() override { return this; }

Q_SIGNALS:
    void seriesDataChanged(const FrameIndex &from, const FrameIndex &till);
    void seriesLocationChanged();
    void seriesCleared();
    void buildStudy();

public Q_SLOTS:
    void updateLocation();
    void onDataChanged(const FrameIndex &from, const FrameIndex &till);
    void onSecuritiesDataChanged();
    void modelFilled(SeriesDataModel *model);

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    // A refused user command, told over the window the item is shown in.
    void showRefusal(const QString &text);
    void updateGeometry();
    // Mirrors the model's bars from..till (clamped to its layout); all of them when the
    // layout changed since the last call. Returns the range the mirrored bars now span
    // between from and till as low/high, and whether any valid bar was seen.
    bool mirror(FrameIndex from, FrameIndex till, double *low, double *high);
    void clearMirror();
    void afterRangeReset();
    // The units up to the model's last bar, counted by the synchroniser's base frame.
    double unitsUpToLastBar() const;
    // How far right of the last bar's start it is drawn, in units.
    double lastBarShift() const;
    void releaseModel();

    QPointer<TSynchronyzer> m_synchronizer; // the window's, which may go first
    SeriesDataModel *m_model = nullptr;
    QSet<int> m_dayBoundaries;
    std::vector<int> m_sortedBoundaries;
    QList<int> m_chunkSpans;
    std::vector<int> m_chunkFirst; // per chunk, relative to the first chunk's first index
    std::vector<int> m_chunkLast;
    std::vector<int> m_chunkSize;
    int m_unitsPerBar = 1;
    int m_spansGeneration = -1;
    FrameIndex m_firstOnScreen;
    FrameIndex m_lastOnScreen;
    BarSeriesView m_barsView;
    CandleSeriesView m_candles;
    LineSeriesView m_line;
    SeriesView *m_currentView;
    QAction *m_buildStudyAction;
    int m_barOffset;
    double m_width = 0;
    double m_countedUnits = -1;
    double m_lastBarShift = 0;
    QString m_layoutError; // the model's, as the status line shows it

    std::vector<std::vector<Bar>> m_bars;
    FrameIndex m_lastIndex;
    int m_mirroredGeneration = -1;
};
