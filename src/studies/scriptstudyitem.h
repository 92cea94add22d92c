#pragma once

#include "chartitem.h"
#include "frameindex.h"
#include "scriptcontext.h"
#include "seriesitem.h"
#include "studyview.h"

#include <QColor>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPointer>

#include <vector>

class QAction;
class SecuritiesWatchIndex;

// The chart item of one indicator: bound to a price series item of the same sub-chart, it
// runs the indicator's scripts through its own evaluation context, keeps what they produce
// (plots per bar slot, levels, clouds) and draws them through the study renderers. It
// recalculates only what a change of the series' bars touches, persists itself with the
// window and shows its script errors.
class ScriptStudyItem : public ChartItem, public ScriptOwner
{
    Q_OBJECT
public:
    // One output line: per chunk of the bar model one cell per slot (the last chunk has
    // delay more), and the newest slot written.
    struct PlotData
    {
        StudyValues cells;
        FrameIndex last;
    };
    struct PlotStyle
    {
        int view = 0; // 0 line, 1 histogram, 2 points
        QColor color;
        int lineWidth = 1;
    };

    ScriptStudyItem(SeriesItem *series, QGraphicsObject *parentScale);
    ~ScriptStudyItem() override;

    SeriesItem *seriesItem() const { return m_seriesItem.data(); }
    // Binds the indicator to another series item (disconnecting the previous one) and
    // recalculates it for the series' instrument.
    void setSeriesItem(SeriesItem *series);
    ScriptContext *context() const { return m_context; }

    const QMap<QString, PlotData> &plots() const { return m_plots; }
    const QMap<QString, double> &levels() const { return m_levels; }
    const QList<QPair<QString, QString>> &clouds() const { return m_clouds; }
    const QMap<QString, PlotStyle> &styles() const { return m_styles; }
    QString fileName() const { return m_fileName; }
    bool scriptOk() const { return m_scriptOk; }
    bool fileChanged() const { return m_fileChanged; }
    quint64 crc() const { return m_crc; }
    QString errorText() const { return m_errorText; }
    QColor defaultColor() const { return m_defaultColor; }
    int defaultView() const { return m_defaultView; }
    int defaultLineWidth() const { return m_defaultLineWidth; }
    uint outRunning() const { return m_outRunning; }
    uint delay() const { return m_delay; }
    bool customPrecision() const { return m_customPrecision; }
    bool changeScaleRange() const { return m_changeScaleRange; }
    QAction *showErrorsAction() const { return m_showErrorsAction; }
    QAction *showTraceAction() const { return m_showTraceAction; }
    // What the script wrote with Trace() in its last evaluation from the first bar and the
    // updates since.
    QStringList traceLines() const;
    // The value of a plot at a slot; invalid when it holds none or the slot is not there.
    SeriesValue valueAt(const QString &plot, const FrameIndex &index) const;
    // The outputs as text: "time,<plots...>,<levels...>", a line per bar and extension slot.
    QByteArray csv() const;
    // How many bars the script evaluated since the item was made (tests and benchmarks).
    qint64 evaluatedBars() const { return m_evaluatedBars; }
    // Time limits of its passes and the fastest evaluation way (tests and benchmarks).
    void setTimeLimits(int rebuildMs, int updateMs);
    // True while a pass or a rebuild is under way: they run in slices between event-loop
    // turns (none holds the thread longer than a fraction of a second); calculationFinished()
    // follows when the last one is done.
    bool isCalculating() const { return m_rebuildDue || m_work != NoWork; }
    // Test hook: milliseconds of script work per event-loop turn (default 40).
    void setTurnBudget(int ms) { m_turnBudget = ms; }

    // ChartItem
    void saveState(Settings &settings) const override;
    void restoreState(Settings &settings) override;
    void applyProperties(Settings &settings) override;
    void fillContextMenu(QMenu *menu) override;
    QString deleteQuestion() const override;
    QPair<double, double> priceRangeBetween(int xFrom, int xTo) const override;
    QString parametersText() const override;
    // "Ошибка" while the script has failed.
    QString statusText() const override;
    int decimals() const override;
    QColor color() const override;
    QString infoTextAt(const QPointF &scenePoint) const override;
    bool takesPartInScale() const override { return m_changeScaleRange; }
    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget) override;
    bool collidesWithPath(const QPainterPath &path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;

    // ScriptOwner
    SeriesDataModel *barModel() const override;
    QString studyFileName() const override { return m_fileName; }
    bool hasInstrument() const override;
    SeriesKey instrument() const override;
    SecuritiesWatchIndex *securitiesWatch() override;
    bool isActive() const override;
    void setPlotValue(const QString &name, double value) override;
    void addCloud(const QString &plot1, const QString &plot2) override;
    void setLevel(const QString &name, double value) override;
    void setOutRunning(uint count) override { m_outRunning = count; }
    void setDelay(uint count) override;
    void refreshPass() override;

Q_SIGNALS:
    // False when the script failed.
    void activated(bool ok);
    void calculationFinished();

public Q_SLOTS:
    void seriesDataChanged(const FrameIndex &from, const FrameIndex &till);
    void seriesLocationChanged();
    void deleteItem() override;
    void clear();
    void showError();
    void showTrace();
    void rebuild();
    void scriptFileChanged(const QString &fileName);
    void nameChanged();

private:
    PlotStyle newStyle() const;
    PlotData &plotFor(const QString &name);
    // The plots emptied and laid out anew for the model; outputs of the script kept.
    void resetCells(PlotData &plot) const;
    // Empties the outputs and prepares the script; false when the preparation failed (the
    // item is then in its error state).
    bool rebuildOutputs();
    // The bars between the two slots, and the out-running bars before them, evaluated again:
    // the pass starts, and goes on in slices (runSlices) until finishPass() completes it.
    // False when there was nothing to evaluate.
    bool calculate(FrameIndex from, FrameIndex till);
    void runSlices();
    void finishPass();
    // What follows a pass: the rest of a rebuild, or the range and repaint of an update,
    // then the changes that came in meanwhile.
    void afterPass();
    void finishRebuild();
    void cancelPass();
    // The rest of the work in a later event-loop turn.
    void postWork();
    void continueWork();
    void scheduleRebuild();
    void fail(const QString &text);
    // Clears a failure: the next pass tries again.
    void rearm();
    // A pass asked for a rebuild (a function or field was resolved): true when one ran.
    bool restartIfDue();
    void refreshOnly();
    void fileCheck();
    // "*" behind the description while the file differs from the one saved with the window.
    void updateFileMark();
    // Levels and every valid cell.
    void recomputeRange();
    bool isHistogram(const QString &plot) const;
    // Reads the indicator file into the context when it is there and readable.
    bool reloadFromFile();
    void ensureContext();
    void invalidate(const std::vector<FrameIndex> &bars, bool withExtension);
    // Every cell from the slot on, in every later chunk too (extension cells included).
    void invalidateFrom(const FrameIndex &start);
    // Widens the range by the plots' valid cells at the slots (and the extension slots).
    bool widenRange(const std::vector<FrameIndex> &bars, bool withExtension);
    bool widenBy(double v);
    void rangeFromLevels();
    StudyView *viewFor(int view) const;
    int markerStep() const;
    void connectSeries();
    void disconnectSeries();

    QPointer<SeriesItem> m_seriesItem;
    ScriptContext *m_context = nullptr;
    QMap<QString, PlotData> m_plots;
    QMap<QString, double> m_levels;
    QList<QPair<QString, QString>> m_clouds;
    QMap<QString, PlotStyle> m_styles;
    QString m_fileName;
    bool m_scriptOk = true;
    mutable bool m_fileChanged = false;
    mutable quint64 m_crc = 0;
    QString m_errorText;
    QColor m_defaultColor{255, 0, 0};
    int m_defaultView = 0;
    int m_defaultLineWidth = 1;
    LineStudyView m_lineView;
    HistogramStudyView m_histogramView;
    PointsStudyView m_pointsView;
    uint m_outRunning = 0;
    uint m_delay = 0;
    bool m_customPrecision = false;
    int m_decimals = 0;
    SecuritiesWatchIndex *m_watch = nullptr;
    bool m_changeScaleRange = true;
    QAction *m_showErrorsAction;
    QAction *m_showTraceAction;

    // The slots of the bars of the running pass, fixed when it starts: a plot lands on the
    // slot its bar had then. A bar a filler inserts meanwhile marks the model's change watch,
    // and the next pass evaluates everything from it again.
    std::vector<FrameIndex> m_passSlots;
    int m_passFirstBar = 0;
    // The plot written last: a bar's plots come by name again and again.
    QString m_lastPlotName;
    PlotData *m_lastPlot = nullptr;
    int m_layoutGeneration = -1;
    int m_changeWatch = 0;
    bool m_inCalculation = false;
    bool m_levelsChanged = false;
    // The file changed: the next rebuild starts without the old plots, levels and clouds.
    bool m_dropOutputs = false;
    qint64 m_evaluatedBars = 0;
    int m_limits[2] = {-1, -1};

    // The work under way: a pass in slices, or its end (extension and range) still due.
    enum Work { NoWork, Slicing, Finishing };
    Work m_work = NoWork;
    bool m_passIsRebuild = false;
    bool m_passReachesEnd = false;
    FrameIndex m_passLastIndex;
    bool m_rebuildDue = false;
    bool m_workPosted = false;
    int m_rebuildAttempts = 0;
    // Bars that changed, and a refresh asked for, while a pass was under way.
    bool m_changesDue = false;
    FrameIndex m_dueFrom;
    FrameIndex m_dueTill;
    bool m_refreshDue = false;
    // The range when the running rebuild or update began.
    double m_lowBefore = 0;
    double m_highBefore = 0;
    bool m_emptyBefore = true;
    // This event-loop turn's share of script work.
    QElapsedTimer m_turn;
    int m_turnBudget = 40;
    QList<QMetaObject::Connection> m_seriesConnections;
};
