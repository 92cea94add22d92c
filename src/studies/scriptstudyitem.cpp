#include "scriptstudyitem.h"

#include "mapsettings.h"
#include "scriptfilesmodel.h"
#include "scriptrunner.h"
#include "securitieswatchindex.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "seriesitem.h"
#include "settings.h"
#include "talogging.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QPointer>
#include <QTimer>
#include <QCursor>
#include <QGraphicsScene>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>

namespace {

// The most bars a pass evaluates under the update's time limit.
constexpr size_t UpdateBars = 1000;

QColor colorOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QColor)
        return value.value<QColor>();
    return QColor::fromString(value.toString());
}

// A whole number within [low, high]; false for anything else (text, fractions, out of range).
bool readInt(const QVariant &value, int low, int high, int *out)
{
    bool ok = false;
    const QString text = value.toString().trimmed();
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *out = v;
    return true;
}

QPen stylePen(const QColor &color, int width)
{
    QPen pen(color);
    pen.setCosmetic(true);
    pen.setWidth(width);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    return pen;
}

// Marks the item as running its script while in scope, whatever way the scope is left.
struct CalculationScope
{
    explicit CalculationScope(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~CalculationScope() { m_flag = false; }
    CalculationScope(const CalculationScope &) = delete;
    CalculationScope &operator=(const CalculationScope &) = delete;
    bool &m_flag;
};

QString unexpectedError(const char *what)
{
    return QStringLiteral("Ошибка при выполнении скрипта: %1").arg(QString::fromLocal8Bit(what));
}

// Runs a step of the script; the text of whatever it threw, empty when it did not throw.
template <typename Step>
QString errorOf(Step step)
{
    try {
        step();
    } catch (const QString &text) {
        return text;
    } catch (const std::exception &e) {
        return unexpectedError(e.what());
    } catch (...) {
        return unexpectedError("unknown exception");
    }
    return {};
}

// The range before an operation, to tell afterwards whether it changed.
struct RangeState
{
    double low;
    double high;
    bool empty;
    bool operator!=(const RangeState &o) const
    {
        return low != o.low || high != o.high || empty != o.empty;
    }
};

} // namespace

ScriptStudyItem::ScriptStudyItem(SeriesItem *series, QGraphicsObject *parentScale)
    : ChartItem(parentScale)
    , m_showErrorsAction(new QAction(QStringLiteral("Показать ошибки"), this))
    , m_showTraceAction(new QAction(QStringLiteral("Трассировка"), this))
{
    setCursor(Qt::PointingHandCursor);
    connect(m_showErrorsAction, &QAction::triggered, this, &ScriptStudyItem::showError);
    connect(m_showTraceAction, &QAction::triggered, this, &ScriptStudyItem::showTrace);
    if (StudyFilesModel *files = StudyFilesModel::instance())
        connect(files, &ScriptFilesModel::fileChanged, this, &ScriptStudyItem::scriptFileChanged);
    connect(this, &ChartItem::nameChanged, this, &ScriptStudyItem::nameChanged);
    setSeriesItem(series);
}

ScriptStudyItem::~ScriptStudyItem()
{
    // The context's engine may call back into the owner while it goes: it goes first.
    delete m_context;
    m_context = nullptr;
    if (m_seriesItem && m_seriesItem->model())
        m_seriesItem->model()->unwatchChanges(m_changeWatch);
}

// --- binding -----------------------------------------------------------------------------------

void ScriptStudyItem::disconnectSeries()
{
    for (const QMetaObject::Connection &c : std::as_const(m_seriesConnections))
        disconnect(c);
    m_seriesConnections.clear();
}

void ScriptStudyItem::connectSeries()
{
    SeriesItem *series = m_seriesItem.data();
    if (!series)
        return;
    m_seriesConnections
        << connect(series, &ChartItem::precisionChanged, this, &ChartItem::precisionChanged)
        << connect(series, &ChartItem::nameChanged, this, &ChartItem::nameChanged)
        << connect(series, &SeriesItem::seriesLocationChanged, this,
                   &ScriptStudyItem::seriesLocationChanged)
        << connect(series, &QObject::destroyed, this, &ScriptStudyItem::deleteItem)
        << connect(series, &SeriesItem::seriesCleared, this, &ScriptStudyItem::clear)
        << connect(series, &SeriesItem::seriesDataChanged, this,
                   &ScriptStudyItem::seriesDataChanged);
}

void ScriptStudyItem::setSeriesItem(SeriesItem *series)
{
    const bool rebind = m_seriesItem && m_seriesItem != series;
    disconnectSeries();
    if (m_seriesItem && m_seriesItem->model())
        m_seriesItem->model()->unwatchChanges(m_changeWatch);
    m_seriesItem = series;
    m_changeWatch = series && series->model() ? series->model()->watchChanges() : 0;
    connectSeries();
    if (series)
        setPos(series->pos().x(), 0);
    if (rebind && m_context) {
        // The context's series read the previous model: a new context over the new one, with
        // the same texts and parameter values.
        cancelPass();
        MapSettings state;
        m_context->saveState(state);
        delete m_context;
        m_context = nullptr;
        delete m_watch;
        m_watch = nullptr;
        ensureContext();
        try {
            m_context->restoreState(state, false);
            rearm();
        } catch (const QString &text) {
            fail(text);
        }
        scheduleRebuild();
        return;
    }
    nameChanged();
}

void ScriptStudyItem::ensureContext()
{
    if (m_context)
        return;
    m_context = new ScriptContext(this, this);
    if (m_limits[0] > 0)
        m_context->setTimeLimits(m_limits[0], m_limits[1]);
    connect(m_context, &ScriptContext::contextChanged, this, &ScriptStudyItem::rebuild);
}

void ScriptStudyItem::setTimeLimits(int rebuildMs, int updateMs)
{
    m_limits[0] = rebuildMs;
    m_limits[1] = updateMs;
    if (m_context)
        m_context->setTimeLimits(rebuildMs, updateMs);
}

// --- what the context asks ---------------------------------------------------------------------

SeriesDataModel *ScriptStudyItem::barModel() const
{
    return m_seriesItem ? m_seriesItem->model() : nullptr;
}

bool ScriptStudyItem::hasInstrument() const
{
    const SeriesDataModel *model = barModel();
    if (!model)
        return false;
    const SeriesKey key = model->seriesKey();
    return !SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull();
}

SeriesKey ScriptStudyItem::instrument() const
{
    const SeriesDataModel *model = barModel();
    return model ? model->seriesKey() : SeriesKey();
}

SecuritiesWatchIndex *ScriptStudyItem::securitiesWatch()
{
    if (!m_watch && barModel())
        m_watch = new SecuritiesWatchIndex(this, instrument());
    return m_watch;
}

bool ScriptStudyItem::isActive() const
{
    return m_seriesItem && isVisible();
}

ScriptStudyItem::PlotStyle ScriptStudyItem::newStyle() const
{
    PlotStyle style;
    style.view = m_defaultView;
    style.color = m_defaultColor;
    style.lineWidth = m_defaultLineWidth;
    return style;
}

void ScriptStudyItem::resetCells(PlotData &plot) const
{
    plot.last = FrameIndex();
    plot.cells.clear();
    const SeriesDataModel *model = barModel();
    if (!model)
        return;
    const int chunks = model->chunkCount();
    plot.cells.resize(size_t(std::max(0, chunks)));
    for (int c = 0; c < chunks; ++c) {
        const size_t size = size_t(std::max(0, model->chunkSize(c)))
                            + (c == chunks - 1 ? m_delay : 0u);
        plot.cells[size_t(c)].assign(size, SeriesValue());
    }
}

ScriptStudyItem::PlotData &ScriptStudyItem::plotFor(const QString &name)
{
    if (m_lastPlot && name == m_lastPlotName)
        return *m_lastPlot;
    auto it = m_plots.find(name);
    if (it == m_plots.end()) {
        if (!m_styles.contains(name))
            m_styles.insert(name, newStyle());
        const QColor before = color();
        it = m_plots.insert(name, PlotData());
        resetCells(it.value());
        // The item's colour is its first plot's: the status line and the axis follow once
        // the pass is over (a restored indicator shows its levels' colour until then).
        if (color() != before)
            QTimer::singleShot(0, this, [this] { Q_EMIT colorChanged(); });
    }
    m_lastPlotName = name;
    m_lastPlot = &it.value();
    return it.value();
}

void ScriptStudyItem::setPlotValue(const QString &name, double value)
{
    if (!m_context)
        return;
    FrameIndex target = m_context->position();
    if (!target.isValid()) {
        const int bar = m_context->currentBar();
        const qint64 k = qint64(bar) - m_passFirstBar;
        if (k >= 0 && k < qint64(m_passSlots.size()))
            target = m_passSlots[size_t(k)];
        else if (const SeriesDataModel *model = barModel())
            target = model->validBar(bar);
    }
    if (!target.isValid())
        return;
    PlotData &plot = plotFor(name);
    if (size_t(target.chunk) >= plot.cells.size())
        plot.cells.resize(size_t(target.chunk) + 1);
    std::vector<SeriesValue> &chunk = plot.cells[size_t(target.chunk)];
    if (size_t(target.bar) >= chunk.size())
        chunk.resize(size_t(target.bar) + 1);
    chunk[size_t(target.bar)] = {value, true};
    if (!plot.last.isValid() || plot.last < target)
        plot.last = target;
}

void ScriptStudyItem::addCloud(const QString &plot1, const QString &plot2)
{
    const QPair<QString, QString> pair(plot1, plot2);
    if (!m_clouds.contains(pair))
        m_clouds.append(pair);
}

void ScriptStudyItem::setLevel(const QString &name, double value)
{
    if (!std::isfinite(value))
        return;
    if (!m_styles.contains(name))
        m_styles.insert(name, newStyle());
    const auto it = m_levels.constFind(name);
    if (it != m_levels.cend() && it.value() == value)
        return;
    m_levels.insert(name, value);
    m_levelsChanged = true;
    if (!m_inCalculation) {
        // Outside the item's own passes (a script run by someone else): the range at once.
        prepareGeometryChange();
        recomputeRange();
        Q_EMIT rangeChanged();
        update();
    }
}

void ScriptStudyItem::setDelay(uint count)
{
    const uint delay = std::min(count, ScriptContext::MaxDelay);
    if (delay == m_delay)
        return;
    // The item is as wide as the bars and the delay's slots.
    prepareGeometryChange();
    m_delay = delay;
}

// --- range -------------------------------------------------------------------------------------

bool ScriptStudyItem::widenBy(double v)
{
    if (!std::isfinite(v))
        return false;
    if (m_rangeEmpty) {
        m_low = m_high = v;
        m_rangeEmpty = false;
        return true;
    }
    if (v < m_low) {
        m_low = v;
        return true;
    }
    if (v > m_high) {
        m_high = v;
        return true;
    }
    return false;
}

void ScriptStudyItem::rangeFromLevels()
{
    resetRange();
    for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it)
        widenBy(it.value());
    m_levelsChanged = false;
}

void ScriptStudyItem::recomputeRange()
{
    rangeFromLevels();
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        bool any = false;
        for (const std::vector<SeriesValue> &chunk : it.value().cells) {
            for (const SeriesValue &v : chunk) {
                if (v.valid) {
                    widenBy(v.value);
                    any = true;
                }
            }
        }
        if (any && isHistogram(it.key()))
            widenBy(0);
    }
}

bool ScriptStudyItem::isHistogram(const QString &plot) const
{
    const auto style = m_styles.constFind(plot);
    return style != m_styles.cend() && style.value().view == 1;
}

bool ScriptStudyItem::widenRange(const std::vector<FrameIndex> &bars, bool withExtension)
{
    bool changed = false;
    const SeriesDataModel *model = barModel();
    const FrameIndex last = model ? model->lastIndex() : FrameIndex();
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        const StudyValues &cells = it.value().cells;
        bool any = false;
        for (const FrameIndex &index : bars) {
            const SeriesValue v = StudyView::valueAt(cells, index);
            if (v.valid) {
                changed |= widenBy(v.value);
                any = true;
            }
        }
        if (withExtension && last.isValid()) {
            for (uint k = 1; k <= m_delay; ++k) {
                const SeriesValue v = StudyView::valueAt(cells, {last.chunk, last.bar + int(k)});
                if (v.valid) {
                    changed |= widenBy(v.value);
                    any = true;
                }
            }
        }
        // Columns stand on the zero line: it is part of what a histogram shows.
        if (any && isHistogram(it.key()))
            changed |= widenBy(0);
    }
    return changed;
}

// --- calculation -------------------------------------------------------------------------------

void ScriptStudyItem::rearm()
{
    const bool was = m_scriptOk;
    m_scriptOk = true;
    m_errorText.clear();
    if (!was)
        Q_EMIT statusChanged();
}

void ScriptStudyItem::fail(const QString &text)
{
    m_scriptOk = false;
    m_errorText = text;
    Q_EMIT statusChanged();
    qCWarning(lcScripts).noquote() << QStringLiteral("Индикатор %1: %2").arg(m_fileName, text);
    prepareGeometryChange();
    // What the script made goes: the plots' values and the engine with everything in it
    // (the texts and parameters stay, for the next try).
    for (auto it = m_plots.begin(); it != m_plots.end(); ++it) {
        it.value().cells = StudyValues();
        it.value().last = FrameIndex();
    }
    m_lastPlot = nullptr;
    m_passSlots.clear();
    if (m_context)
        m_context->releaseEngine();
    rangeFromLevels();
    Q_EMIT activated(false);
    Q_EMIT rangeChanged();
    update();
}

bool ScriptStudyItem::rebuildOutputs()
{
    m_lastPlot = nullptr;
    m_passSlots.clear();
    if (m_context) {
        for (ScriptSeries *series : m_context->seriesObjects())
            series->clear();
        m_context->setCurrentBar(-1);
        // Trace lines of the last evaluation from the first bar on, and of the updates since.
        m_context->clearTrace();
    }
    if (m_dropOutputs) {
        m_dropOutputs = false;
        m_plots.clear();
        m_levels.clear();
        m_clouds.clear();
    }
    prepareGeometryChange();
    m_outRunning = 0;
    m_delay = 0;
    SeriesDataModel *model = barModel();
    m_layoutGeneration = model ? model->layoutGeneration() : -1;
    if (m_context && model) {
        const QString error = errorOf([this] {
            m_context->assembleBarScript();
            CalculationScope scope(m_inCalculation);
            m_context->prepare();
        });
        if (!error.isEmpty()) {
            fail(error);
            return false;
        }
    }
    // Cells sized after the preparation, which may have set the delay.
    for (auto it = m_plots.begin(); it != m_plots.end(); ++it)
        resetCells(it.value());
    rangeFromLevels();
    return true;
}

void ScriptStudyItem::invalidateFrom(const FrameIndex &start)
{
    for (auto it = m_plots.begin(); it != m_plots.end(); ++it) {
        StudyValues &cells = it.value().cells;
        FrameIndex &last = it.value().last;
        // No cell after the newest one written holds a value: the walk ends there.
        if (!last.isValid() || last < start)
            continue;
        for (size_t c = size_t(std::max(0, start.chunk));
             c < cells.size() && int(c) <= last.chunk; ++c) {
            std::vector<SeriesValue> &chunk = cells[c];
            const size_t end = int(c) == last.chunk
                                   ? std::min(chunk.size(), size_t(last.bar) + 1)
                                   : chunk.size();
            for (size_t b = int(c) == start.chunk ? size_t(std::max(0, start.bar)) : 0; b < end;
                 ++b)
                chunk[b].valid = false;
        }
        // Nothing at or after the start is written any more.
        if (start.bar > 0)
            last = FrameIndex(start.chunk, start.bar - 1);
        else if (start.chunk > 0 && size_t(start.chunk) <= cells.size()
                 && !cells[size_t(start.chunk) - 1].empty())
            last = FrameIndex(start.chunk - 1, int(cells[size_t(start.chunk) - 1].size()) - 1);
        else
            last = FrameIndex();
    }
}

void ScriptStudyItem::invalidate(const std::vector<FrameIndex> &bars, bool withExtension)
{
    const SeriesDataModel *model = barModel();
    const FrameIndex last = model ? model->lastIndex() : FrameIndex();
    for (auto it = m_plots.begin(); it != m_plots.end(); ++it) {
        StudyValues &cells = it.value().cells;
        for (const FrameIndex &index : bars) {
            if (size_t(index.chunk) < cells.size()
                && size_t(index.bar) < cells[size_t(index.chunk)].size())
                cells[size_t(index.chunk)][size_t(index.bar)].valid = false;
        }
        if (withExtension && last.isValid() && size_t(last.chunk) < cells.size()) {
            std::vector<SeriesValue> &chunk = cells[size_t(last.chunk)];
            const size_t end = std::min(chunk.size(), size_t(last.bar) + 1 + m_delay);
            for (size_t b = size_t(last.bar) + 1; b < end; ++b)
                chunk[b].valid = false;
        }
    }
}

bool ScriptStudyItem::calculate(FrameIndex from, FrameIndex till)
{
    SeriesDataModel *model = barModel();
    SeriesItem *series = m_seriesItem.data();
    if (!model || !series || !m_context || !m_scriptOk)
        return false;
    const FrameIndex lastIndex = model->lastIndex();
    const int nLast = model->linearIndex(lastIndex);
    int n0 = model->linearIndex(from);
    int n1 = model->linearIndex(till);
    // What changed since the last look, signalled or not yet: a bar that received deals or
    // came in among older ones changes it and every later bar (scripts keep their state by
    // bar number), so everything from there to the end is evaluated again.
    const int changed = model->takeChanges(m_changeWatch);
    if (changed >= 0) {
        // From the slot after the last bar that stayed: slots between it and the first
        // changed bar may hold cells of bars that went or of an earlier extension.
        const int after = changed > 0 ? model->validLinear(changed - 1) + 1 : 0;
        n0 = std::min(n0, std::max(0, after));
        n1 = std::max(nLast, n0);
    }
    m_lastPlot = nullptr;
    int firstBar = -1;
    std::vector<FrameIndex> bars = model->validBarsBetween(n0, n1, &firstBar);
    if (bars.empty() && changed >= 0 && lastIndex.isValid()) {
        // The bars at the end went: the new last bar is evaluated again for its extension.
        firstBar = model->validBarCount() - 1;
        bars = {lastIndex};
    }
    if (firstBar >= 0 && m_outRunning > 0) {
        const qint64 start = std::max<qint64>(0, qint64(firstBar) - qint64(m_outRunning));
        if (start < firstBar) {
            int adjusted = -1;
            std::vector<FrameIndex> more =
                model->validBarsBetween(model->validLinear(int(start)), n1, &adjusted);
            if (adjusted >= 0) {
                bars.swap(more);
                firstBar = adjusted;
            }
        }
    }
    const bool reachesEnd = n1 >= nLast && lastIndex.isValid();
    if (bars.empty()) {
        if (reachesEnd)
            Q_EMIT closePriceChanged();
        return false;
    }
    if (changed >= 0) {
        FrameIndex start = model->frameIndexOf(n0);
        if (!start.isValid())
            start = FrameIndex(lastIndex.chunk, lastIndex.bar + 1);
        invalidateFrom(bars.front() < start ? bars.front() : start);
    } else {
        invalidate(bars, reachesEnd);
    }
    m_passSlots = std::move(bars);
    m_passFirstBar = firstBar;
    m_passReachesEnd = reachesEnd;
    m_passLastIndex = lastIndex;
    const int lastBar = firstBar + int(m_passSlots.size()) - 1;
    // The short limit is for the update after a trade; a pass over much of the history (a
    // fill, older bars coming in) has the rebuild's.
    const bool whole = (firstBar == 0 && reachesEnd) || m_passSlots.size() > UpdateBars;
    m_context->beginPass(firstBar, lastBar,
                         whole ? ScriptContext::RebuildPass : ScriptContext::UpdatePass);
    m_work = Slicing;
    runSlices();
    return true;
}

void ScriptStudyItem::runSlices()
{
    for (;;) {
        const qint64 spent = m_turn.isValid() ? m_turn.elapsed() : 0;
        if (spent >= m_turnBudget && spent > 0) {
            // This turn had its share: the event loop runs before the next slice.
            postWork();
            return;
        }
        bool done = false;
        const QString error = errorOf([&] {
            CalculationScope scope(m_inCalculation);
            done = m_context->runSlice(std::max(0, m_turnBudget - int(spent)));
        });
        if (!error.isEmpty()) {
            m_work = NoWork;
            m_passSlots.clear();
            fail(error);
            afterPass();
            return;
        }
        if (done)
            break;
    }
    m_work = Finishing;
    if (m_turn.isValid() && m_turn.elapsed() >= m_turnBudget && m_delay > 0) {
        // The extension runs script code too: in a turn of its own.
        postWork();
        return;
    }
    finishPass();
}

void ScriptStudyItem::finishPass()
{
    m_work = NoWork;
    SeriesDataModel *model = barModel();
    SeriesItem *series = m_seriesItem.data();
    m_evaluatedBars += qint64(m_passSlots.size());
    if (!model || !series || m_context->restartPending() || m_passSlots.empty()) {
        m_passSlots.clear();
        afterPass();
        return;
    }
    const bool reachesEnd = m_passReachesEnd;
    // The last bar as the pass began: a bar that came since is the next pass's.
    const FrameIndex lastIndex = m_passLastIndex;
    if (reachesEnd) {
        if (m_delay > 0) {
            for (auto it = m_plots.begin(); it != m_plots.end(); ++it) {
                StudyValues &cells = it.value().cells;
                if (size_t(lastIndex.chunk) < cells.size()) {
                    std::vector<SeriesValue> &chunk = cells[size_t(lastIndex.chunk)];
                    const size_t want = size_t(model->chunkSize(lastIndex.chunk)) + m_delay;
                    if (chunk.size() < want)
                        chunk.resize(want);
                }
            }
            try {
                CalculationScope scope(m_inCalculation);
                m_context->evaluateExtension(
                    lastIndex, FrameIndex(lastIndex.chunk, lastIndex.bar + int(m_delay) + 1));
            } catch (...) {
                // The extension's own errors end it quietly; the bars are what counts.
            }
        }
    }
    prepareGeometryChange();
    if (m_levelsChanged)
        recomputeRange();
    else
        widenRange(m_passSlots, reachesEnd);
    if (reachesEnd)
        Q_EMIT closePriceChanged();
    const int base = int(series->pos().x());
    const FrameIndex right = reachesEnd && m_delay > 0
                                 ? FrameIndex(lastIndex.chunk, lastIndex.bar + int(m_delay))
                                 : m_passSlots.back();
    Q_EMIT dataChangedInSceneRange(base + int(series->xOf(m_passSlots.front())),
                                   base + int(series->xOf(right)));
    m_passSlots.clear();
    afterPass();
}

void ScriptStudyItem::afterPass()
{
    if (m_passIsRebuild) {
        m_passIsRebuild = false;
        if (m_scriptOk && m_context && m_context->takeRestart() && ++m_rebuildAttempts < 300) {
            rebuild();
            return;
        }
        finishRebuild();
    } else {
        if (restartIfDue())
            return;
        if (RangeState{m_low, m_high, m_rangeEmpty} != RangeState{m_lowBefore, m_highBefore, m_emptyBefore})
            Q_EMIT rangeChanged();
        update();
    }
    if (isCalculating())
        return;
    // What came in while the pass was under way.
    if (m_changesDue && m_scriptOk) {
        m_changesDue = false;
        seriesDataChanged(m_dueFrom, m_dueTill);
        return;
    }
    m_changesDue = false;
    if (m_refreshDue) {
        m_refreshDue = false;
        refreshPass();
        if (isCalculating())
            return;
    }
    Q_EMIT calculationFinished();
}

void ScriptStudyItem::cancelPass()
{
    if (m_context)
        m_context->cancelPass();
    m_work = NoWork;
    m_passIsRebuild = false;
    m_passSlots.clear();
}

namespace {

// The indicators' work in slices, one piece per event-loop turn and in the order it was
// posted: between two pieces the window takes its input and paints, and one indicator's long
// pass does not keep the others waiting until it ends.
class TurnQueue : public QObject
{
public:
    static TurnQueue *instance()
    {
        static QPointer<TurnQueue> queue;
        if (!queue)
            queue = new TurnQueue(QCoreApplication::instance());
        return queue;
    }
    void post(QObject *owner, std::function<void()> job)
    {
        m_jobs.push_back({owner, std::move(job)});
        if (!m_timer.isActive())
            m_timer.start(0);
    }

private:
    explicit TurnQueue(QObject *parent)
        : QObject(parent)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &TurnQueue::runOne);
    }
    void runOne()
    {
        while (!m_jobs.empty()) {
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (!job.owner)
                continue;
            job.run();
            break;
        }
        if (!m_jobs.empty() && !m_timer.isActive())
            m_timer.start(0);
    }
    struct Job
    {
        QPointer<QObject> owner;
        std::function<void()> run;
    };
    std::deque<Job> m_jobs;
    QTimer m_timer;
};

} // namespace

void ScriptStudyItem::postWork()
{
    if (m_workPosted)
        return;
    m_workPosted = true;
    TurnQueue::instance()->post(this, [this] {
        m_workPosted = false;
        continueWork();
    });
}

void ScriptStudyItem::continueWork()
{
    m_turn.start();
    if (m_rebuildDue) {
        rebuild();
        return;
    }
    if (!m_context) {
        m_work = NoWork;
        return;
    }
    if (m_work == Slicing) {
        if (m_context->passOpen())
            runSlices();
        else
            cancelPass();
    } else if (m_work == Finishing) {
        finishPass();
    }
}

void ScriptStudyItem::scheduleRebuild()
{
    m_rebuildDue = true;
    postWork();
}

bool ScriptStudyItem::restartIfDue()
{
    if (!m_context || !m_context->takeRestart())
        return false;
    rebuild();
    return true;
}

void ScriptStudyItem::refreshOnly()
{
    if (!m_context || !m_scriptOk || !m_seriesItem)
        return;
    m_lastPlot = nullptr;
    const QString error = errorOf([this] {
        CalculationScope scope(m_inCalculation);
        m_context->evaluate(-1);
    });
    if (!error.isEmpty()) {
        fail(error);
        return;
    }
    if (m_levelsChanged) {
        prepareGeometryChange();
        recomputeRange();
        Q_EMIT rangeChanged();
    }
    Q_EMIT closePriceChanged();
    update();
}

void ScriptStudyItem::rebuild()
{
    if (!m_turn.isValid())
        m_turn.start();
    m_rebuildDue = false;
    cancelPass();
    if (!m_seriesItem || !m_context || !m_scriptOk) {
        if (!isCalculating())
            Q_EMIT calculationFinished();
        return;
    }
    SeriesDataModel *model = barModel();
    if (!model)
        return;
    if (m_watch && !(m_watch->key() == instrument())) {
        m_watch->setKey(instrument());
        m_watch->restart();
    }
    if (m_rebuildAttempts == 0) {
        m_lowBefore = m_low;
        m_highBefore = m_high;
        m_emptyBefore = m_rangeEmpty;
    }
    // Each lazy resolution ends a pass and asks for a rebuild: taken here at once, so that
    // the indicator is complete when the pass ends. Resolutions are limited by the context.
    for (; m_rebuildAttempts < 300; ++m_rebuildAttempts) {
        if (m_context->restartPending())
            m_context->takeRestart();
        if (!rebuildOutputs())
            break;
        if (m_context->takeRestart())
            continue;
        const FrameIndex last = model->lastIndex();
        if (!last.isValid())
            break;
        m_passIsRebuild = true;
        if (!calculate(FrameIndex(0, 0), last)) {
            m_passIsRebuild = false;
            break;
        }
        // The pass goes on in slices, or it ended and afterPass() took over.
        return;
    }
    finishRebuild();
}

void ScriptStudyItem::finishRebuild()
{
    m_rebuildAttempts = 0;
    refreshOnly();
    if (m_context && m_context->takeRestart()) {
        rebuild();
        return;
    }
    SeriesDataModel *model = barModel();
    // Plots the script no longer writes (a file that renamed one) go; their styles stay.
    if (m_scriptOk && model && model->lastIndex().isValid()) {
        m_lastPlot = nullptr;
        for (auto it = m_plots.begin(); it != m_plots.end();) {
            if (it.value().last.isValid())
                ++it;
            else
                it = m_plots.erase(it);
        }
    }
    if (RangeState{m_low, m_high, m_rangeEmpty} != RangeState{m_lowBefore, m_highBefore, m_emptyBefore})
        Q_EMIT rangeChanged();
    update();
}

void ScriptStudyItem::seriesDataChanged(const FrameIndex &from, const FrameIndex &till)
{
    if (!m_scriptOk || !m_seriesItem || !m_context || m_inCalculation)
        return;
    SeriesDataModel *model = barModel();
    if (!model)
        return;
    m_turn.start();
    if (!from.isValid() || !till.isValid() || model->layoutGeneration() != m_layoutGeneration) {
        // The slots moved: whatever was under way starts over (a rebuild already due, in its
        // own turn).
        m_changesDue = false;
        if (!m_rebuildDue)
            rebuild();
        return;
    }
    if (isCalculating()) {
        // Taken up when the pass under way ends (the model's change watch knows from where).
        if (!m_changesDue || from < m_dueFrom)
            m_dueFrom = from;
        if (!m_changesDue || m_dueTill < till)
            m_dueTill = till;
        m_changesDue = true;
        return;
    }
    m_lowBefore = m_low;
    m_highBefore = m_high;
    m_emptyBefore = m_rangeEmpty;
    prepareGeometryChange();
    m_passIsRebuild = false;
    if (!calculate(from, till))
        afterPass(); // nothing to evaluate: the range and the repaint all the same
}

void ScriptStudyItem::refreshPass()
{
    if (m_inCalculation)
        return;
    if (isCalculating()) {
        m_refreshDue = true;
        return;
    }
    refreshOnly();
    restartIfDue();
}

void ScriptStudyItem::clear()
{
    if (!m_context)
        return;
    cancelPass();
    rebuildOutputs();
    Q_EMIT rangeChanged();
    update();
}

// --- slots -------------------------------------------------------------------------------------

void ScriptStudyItem::seriesLocationChanged()
{
    if (m_seriesItem)
        setPos(m_seriesItem->pos().x(), 0);
    prepareGeometryChange();
    update();
}

void ScriptStudyItem::deleteItem()
{
    ChartItem::deleteItem();
}

QStringList ScriptStudyItem::traceLines() const
{
    return m_context ? m_context->traceLines() : QStringList();
}

void ScriptStudyItem::showError()
{
    // The error with its bar; what the script traced before it, under "Show details".
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Ошибка"), m_errorText, QMessageBox::Ok,
                    viewWidget());
    const QStringList trace = traceLines();
    if (!trace.isEmpty())
        box.setDetailedText(trace.join(QLatin1Char('\n')));
    box.exec();
}

void ScriptStudyItem::showTrace()
{
    QDialog dialog(viewWidget());
    dialog.setWindowTitle(QStringLiteral("Трассировка: %1").arg(displayName()));
    auto *layout = new QVBoxLayout(&dialog);
    auto *text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QStringList trace = traceLines();
    text->setPlainText(trace.isEmpty() ? QStringLiteral("Скрипт ничего не вывел через Trace().")
                                       : trace.join(QLatin1Char('\n')));
    text->moveCursor(QTextCursor::End);
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(560, 360);
    dialog.exec();
}

bool ScriptStudyItem::reloadFromFile()
{
    if (!m_context)
        return false;
    // The saved texts and parameter values stay; the file's texts replace the texts when it
    // is there and readable.
    MapSettings state;
    m_context->saveState(state);
    try {
        m_context->restoreState(state, false);
    } catch (const QString &text) {
        fail(text);
        return false;
    }
    return true;
}

void ScriptStudyItem::scriptFileChanged(const QString &fileName)
{
    if (fileName != m_fileName)
        return;
    updateFileMark();
    if (!m_context)
        return;
    // A new version of the file: the indicator runs it, whatever state it was in, and shows
    // only what it makes (a level or plot the file no longer sets goes).
    rearm();
    m_dropOutputs = true;
    if (!reloadFromFile())
        return;
    if (m_watch) {
        m_watch->setKey(instrument());
        m_watch->restart();
    }
    // Every chart of the file runs it again, each in a turn of its own.
    scheduleRebuild();
}

void ScriptStudyItem::updateFileMark()
{
    StudyFilesModel *files = StudyFilesModel::instance();
    const bool changed =
        !(files && files->exists(m_fileName) && files->checksum(m_fileName) == m_crc);
    if (changed == m_fileChanged)
        return;
    m_fileChanged = changed;
    Q_EMIT parametersTextChanged();
}

void ScriptStudyItem::fileCheck()
{
    updateFileMark();
    nameChanged();
}

void ScriptStudyItem::nameChanged()
{
    // A new display name alone changes nothing the scripts read.
    if (!m_watch || m_watch->key() == instrument())
        return;
    m_watch->setKey(instrument());
    m_watch->restart();
    rebuild();
}

// --- persistence -------------------------------------------------------------------------------

void ScriptStudyItem::saveState(Settings &settings) const
{
    ChartItem::saveState(settings);
    settings.setValue(QStringLiteral("type"), 1);
    settings.setValue(QStringLiteral("name"), m_fileName);
    // The window now holds the indicator as its file is: the mark goes.
    if (StudyFilesModel *files = StudyFilesModel::instance()) {
        if (files->exists(m_fileName)) {
            m_crc = files->checksum(m_fileName);
            if (m_fileChanged) {
                m_fileChanged = false;
                Q_EMIT const_cast<ScriptStudyItem *>(this)->parametersTextChanged();
            }
        }
    }
    settings.setValue(QStringLiteral("crc"), m_crc);
    settings.setValue(QStringLiteral("styleCount"), int(m_styles.size()));
    int i = 0;
    for (auto it = m_styles.cbegin(); it != m_styles.cend(); ++it, ++i) {
        SettingsGroup group(settings, QStringLiteral("style_%1").arg(i));
        settings.setValue(QStringLiteral("name"), it.key());
        settings.setValue(QStringLiteral("view"), it.value().view);
        settings.setValue(QStringLiteral("color"), it.value().color.name());
        settings.setValue(QStringLiteral("lineWidth"), it.value().lineWidth);
    }
    settings.setValue(QStringLiteral("customPrecision"), m_customPrecision);
    settings.setValue(QStringLiteral("decimals"), m_decimals);
    settings.setValue(QStringLiteral("changeScaleRange"), m_changeScaleRange);
    if (m_context)
        m_context->saveState(settings);
    if (m_seriesItem) {
        bool ok = false;
        const int id = m_seriesItem->property("id").toInt(&ok);
        if (ok)
            settings.setValue(QStringLiteral("seriesItem"), id);
    }
}

void ScriptStudyItem::restoreState(Settings &settings)
{
    int lineWidth = 1;
    if (settings.contains(QStringLiteral("lineWidth"))
        && !readInt(settings.value(QStringLiteral("lineWidth")), 1, 10, &lineWidth))
        throw QStringLiteral("default lineWidth");
    ChartItem::restoreState(settings);
    m_fileName = settings.value(QStringLiteral("name"), QStringLiteral("Индикатор")).toString();
    if (displayName().isEmpty())
        setDisplayName(m_fileName);
    m_crc = settings.value(QStringLiteral("crc"), 0).toULongLong();
    const QColor color = colorOf(settings.value(QStringLiteral("color")));
    if (color.isValid())
        m_defaultColor = color;
    m_defaultLineWidth = lineWidth;
    int view = 0;
    if (settings.contains(QStringLiteral("view"))
        && !readInt(settings.value(QStringLiteral("view")), 0, 2, &view))
        throw QStringLiteral("default view");
    m_defaultView = view;
    // The mark only: the recalculation follows once the texts are read.
    updateFileMark();
    int styleCount = 0;
    readInt(settings.value(QStringLiteral("styleCount"), 0), 0, 10000, &styleCount);
    for (int i = 0; i < styleCount; ++i) {
        SettingsGroup group(settings, QStringLiteral("style_%1").arg(i));
        const QString name = settings.value(QStringLiteral("name")).toString();
        PlotStyle style = m_styles.value(name, newStyle());
        const QColor c = colorOf(settings.value(QStringLiteral("color")));
        if (c.isValid())
            style.color = c;
        if (settings.contains(QStringLiteral("lineWidth"))
            && !readInt(settings.value(QStringLiteral("lineWidth")), 1, 10, &style.lineWidth))
            throw QStringLiteral("plot style lineWidth");
        if (settings.contains(QStringLiteral("view"))
            && !readInt(settings.value(QStringLiteral("view")), 0, 2, &style.view))
            throw QStringLiteral("plot style view");
        m_styles.insert(name, style);
    }
    m_customPrecision = settings.value(QStringLiteral("customPrecision"), false).toBool();
    if (m_customPrecision) {
        int decimals = 0;
        if (!readInt(settings.value(QStringLiteral("decimals"), 0), 0, 5, &decimals))
            throw QStringLiteral("decimals");
        m_decimals = decimals;
    }
    m_changeScaleRange = settings.value(QStringLiteral("changeScaleRange"), true).toBool();
    ensureContext();
    try {
        m_context->restoreState(settings, false);
        rearm();
    } catch (const QString &text) {
        fail(text);
        return;
    }
    // The window opens at once: the scripts run from the next event-loop turn, one indicator
    // after another, in slices.
    scheduleRebuild();
}

void ScriptStudyItem::applyProperties(Settings &settings)
{
    GraphicsItem::applyProperties(settings);
    const QString name = settings.value(QStringLiteral("displayName")).toString();
    if (!name.isEmpty())
        setDisplayName(name);
    int styleCount = 0;
    readInt(settings.value(QStringLiteral("styleCount"), 0), 0, 10000, &styleCount);
    for (int i = 0; i < styleCount; ++i) {
        SettingsGroup group(settings, QStringLiteral("style_%1").arg(i));
        const QString styleName = settings.value(QStringLiteral("name")).toString();
        PlotStyle style = m_styles.value(styleName, newStyle());
        const QColor c = colorOf(settings.value(QStringLiteral("color")));
        if (c.isValid())
            style.color = c;
        readInt(settings.value(QStringLiteral("lineWidth")), 1, 10, &style.lineWidth);
        readInt(settings.value(QStringLiteral("view")), 0, 2, &style.view);
        m_styles.insert(styleName, style);
    }
    bool changed = false;
    if (m_context) {
        try {
            changed = m_context->applyParameterValues(settings);
        } catch (const QString &text) {
            fail(text);
        }
    }
    if (changed) {
        // New values re-arm an indicator that failed with the old ones.
        rearm();
        rebuild();
    }
    m_customPrecision = settings.value(QStringLiteral("customPrecision"), false).toBool();
    if (m_customPrecision) {
        int decimals = 0;
        if (readInt(settings.value(QStringLiteral("decimals"), 0), 0, 5, &decimals))
            m_decimals = decimals;
    }
    Q_EMIT precisionChanged();
    if (settings.contains(QStringLiteral("changeScaleRange"))) {
        const bool on = settings.value(QStringLiteral("changeScaleRange")).toBool();
        if (on != m_changeScaleRange) {
            m_changeScaleRange = on;
            Q_EMIT rangeChanged();
        }
    }
    Q_EMIT colorChanged();
    update();
}

// --- what the window asks ----------------------------------------------------------------------

void ScriptStudyItem::fillContextMenu(QMenu *menu)
{
    ChartItem::fillContextMenu(menu);
    menu->addAction(m_scriptOk ? m_showTraceAction : m_showErrorsAction);
}

QString ScriptStudyItem::statusText() const
{
    return m_scriptOk ? QString() : QStringLiteral("Ошибка");
}

QString ScriptStudyItem::deleteQuestion() const
{
    return QStringLiteral("Вы действительно хотите удалить индикатор '%1'?").arg(displayName());
}

QString ScriptStudyItem::parametersText() const
{
    if (!m_seriesItem)
        return {};
    QString text = QStringLiteral("%1, %2").arg(m_seriesItem->displayName(),
                                                 m_seriesItem->parametersText());
    if (m_fileChanged)
        text += QLatin1Char('*');
    return text;
}

int ScriptStudyItem::decimals() const
{
    if (m_customPrecision)
        return m_decimals;
    return m_seriesItem ? m_seriesItem->decimals() : 2;
}

QColor ScriptStudyItem::color() const
{
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        const auto style = m_styles.constFind(it.key());
        if (style != m_styles.cend())
            return style.value().color;
    }
    return m_styles.isEmpty() ? m_defaultColor : m_styles.cbegin().value().color;
}

SeriesValue ScriptStudyItem::valueAt(const QString &plot, const FrameIndex &index) const
{
    const auto it = m_plots.constFind(plot);
    return it == m_plots.cend() ? SeriesValue() : StudyView::valueAt(it.value().cells, index);
}

QByteArray ScriptStudyItem::csv() const
{
    const SeriesDataModel *model = barModel();
    if (!model)
        return {};
    // Every plot the styles name, written to or not yet.
    QStringList names = m_plots.keys();
    for (auto it = m_styles.cbegin(); it != m_styles.cend(); ++it) {
        if (!m_levels.contains(it.key()) && !m_plots.contains(it.key()))
            names.append(it.key());
    }
    names.sort();
    static const StudyValues none;
    std::vector<const StudyValues *> cells;
    for (const QString &name : names) {
        const auto it = m_plots.constFind(name);
        cells.push_back(it == m_plots.cend() ? &none : &it.value().cells);
    }
    return studyCsv(*model, names, m_levels, m_delay,
                    [&](int plot, const FrameIndex &index, int) {
                        const SeriesValue v = StudyView::valueAt(*cells[size_t(plot)], index);
                        return v.valid ? v.value : std::nan("");
                    });
}

QString ScriptStudyItem::infoTextAt(const QPointF &scenePoint) const
{
    const SeriesItem *series = m_seriesItem.data();
    if (!series)
        return {};
    const QPointF p = mapFromScene(scenePoint);
    if (p.x() < 0)
        return {};
    const FrameIndex index = series->frameIndexAt(p.x());
    if (!index.isValid())
        return {};
    const QLocale locale = QLocale::system();
    const int precision = decimals();
    QString lines;
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        const SeriesValue v = StudyView::valueAt(it.value().cells, index);
        if (v.valid)
            lines += QStringLiteral("%1=%2\n").arg(it.key(),
                                                  locale.toString(v.value, 'f', precision));
    }
    if (lines.isEmpty())
        return {};
    return QStringLiteral("%1 (%2):\n").arg(displayName(), series->displayName()) + lines;
}

QPair<double, double> ScriptStudyItem::priceRangeBetween(int xFrom, int xTo) const
{
    const SeriesItem *series = m_seriesItem.data();
    if (!series || xFrom == xTo)
        return {0, 0};
    const double left = std::min(xFrom, xTo) - pos().x();
    const double right = std::max(xFrom, xTo) - pos().x();
    bool found = false;
    double low = 0, high = 0;
    auto take = [&](double v) {
        low = found ? std::min(low, v) : v;
        high = found ? std::max(high, v) : v;
        found = true;
    };
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        const StudyValues &cells = it.value().cells;
        const FrameIndex last = it.value().last;
        if (!last.isValid())
            continue;
        const bool histogram = isHistogram(it.key());
        const FrameIndex first = m_lineView.StudyView::firstVisibleIndex(left, cells, series);
        if (!first.isValid())
            continue;
        for (int c = first.chunk; c <= last.chunk && size_t(c) < cells.size(); ++c) {
            const std::vector<SeriesValue> &chunk = cells[size_t(c)];
            const int end = c == last.chunk ? std::min(int(chunk.size()), last.bar + 1)
                                            : int(chunk.size());
            bool beyond = false;
            for (int b = c == first.chunk ? first.bar : 0; b < end; ++b) {
                if (!chunk[size_t(b)].valid)
                    continue;
                const double x = series->xOf({c, b});
                if (x > right) {
                    beyond = true;
                    break;
                }
                if (x >= left) {
                    take(chunk[size_t(b)].value);
                    if (histogram)
                        take(0);
                }
            }
            if (beyond)
                break;
        }
    }
    if (!found)
        return {0, 0};
    for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it)
        take(it.value());
    if (low == 0 && high == 0)
        return {0, 1e-12};
    return {low, high};
}

// --- painting ----------------------------------------------------------------------------------

StudyView *ScriptStudyItem::viewFor(int view) const
{
    auto *self = const_cast<ScriptStudyItem *>(this);
    switch (view) {
    case 1:
        return &self->m_histogramView;
    case 2:
        return &self->m_pointsView;
    default:
        return &self->m_lineView;
    }
}

int ScriptStudyItem::markerStep() const
{
    if (!isSelected() || !m_seriesItem)
        return 0;
    const int u = std::abs(m_seriesItem->unitsPerBarCached());
    const double pixel = pixelWidth();
    if (u == 0 || pixel <= 0)
        return 1;
    return std::max(1, int(std::ceil(50 * pixel / u)));
}

QRectF ScriptStudyItem::boundingRect() const
{
    const SeriesItem *series = m_seriesItem.data();
    if (!series)
        return {};
    const double width = series->width()
                         + double(m_delay) * std::max(1, std::abs(series->unitsPerBarCached()));
    if (m_rangeEmpty)
        return QRectF(0, 0, width, 0);
    QRectF rect;
    bool histogram = false;
    for (auto it = m_styles.cbegin(); it != m_styles.cend(); ++it)
        histogram |= it.value().view == 1 && m_plots.contains(it.key());
    rect = m_lineView.boundingRect(width, m_low, m_high);
    if (histogram)
        rect |= m_histogramView.boundingRect(width, m_low, m_high);
    return rect;
}

void ScriptStudyItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const SeriesItem *series = m_seriesItem.data();
    if (!series)
        return;
    const QRectF exposed = option->exposedRect;
    painter->save();
    // Clouds: one vertical line per bar between the two plots, in the colour of the upper one.
    for (const QPair<QString, QString> &cloud : std::as_const(m_clouds)) {
        const auto p1 = m_plots.constFind(cloud.first);
        const auto p2 = m_plots.constFind(cloud.second);
        if (p1 == m_plots.cend() || p2 == m_plots.cend())
            continue;
        const FrameIndex end = p1.value().last < p2.value().last ? p1.value().last
                                                                   : p2.value().last;
        if (!end.isValid())
            continue;
        const QPen pen1 = stylePen(m_styles.value(cloud.first, newStyle()).color, 0);
        const QPen pen2 = stylePen(m_styles.value(cloud.second, newStyle()).color, 0);
        const QList<int> &spans = series->chunkSpans();
        const int u = std::max(1, std::abs(series->unitsPerBarCached()));
        FrameIndex start = series->lastIndex();
        for (qsizetype i = 0; i + 1 < spans.size(); i += 2) {
            if (spans.at(i + 1) > exposed.left()) {
                start = FrameIndex(int(i / 2), std::max(0, int((exposed.left() - spans.at(i)) / u) - 1));
                break;
            }
        }
        if (!start.isValid())
            continue;
        const StudyValues &a = p1.value().cells;
        const StudyValues &b = p2.value().cells;
        bool done = false;
        for (int c = start.chunk; c <= end.chunk && !done; ++c) {
            const size_t chunkSize = std::min(c < int(a.size()) ? a[size_t(c)].size() : 0,
                                              c < int(b.size()) ? b[size_t(c)].size() : 0);
            const int stop = c == end.chunk ? std::min(int(chunkSize), end.bar + 1)
                                            : int(chunkSize);
            for (int bar = c == start.chunk ? start.bar : 0; bar < stop; ++bar) {
                const SeriesValue v1 = a[size_t(c)][size_t(bar)];
                const SeriesValue v2 = b[size_t(c)][size_t(bar)];
                if (!v1.valid || !v2.valid)
                    continue;
                const double x = series->xOf({c, bar});
                if (x > exposed.right()) {
                    done = true;
                    break;
                }
                painter->setPen(v1.value > v2.value ? pen1 : pen2);
                painter->drawLine(QPointF(x, -v2.value), QPointF(x, -v1.value));
            }
        }
    }
    QList<QPointF> markers;
    const int step = markerStep();
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        const PlotStyle style = m_styles.value(it.key(), newStyle());
        const QPen pen = stylePen(style.color, style.lineWidth);
        painter->setPen(pen);
        painter->setBrush(style.color);
        // Lines are smoothed; histogram columns and points stay on whole pixels.
        painter->setRenderHint(QPainter::Antialiasing, false);
        viewFor(style.view)->drawStudy(painter, option, it.value().cells, series, it.value().last,
                                       step, markers);
    }
    painter->setBrush(Qt::NoBrush);
    painter->setClipRect(exposed);
    // Levels are exact horizontal lines: one crisp row of pixels, not two half-tone rows.
    painter->setRenderHint(QPainter::Antialiasing, false);
    for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it) {
        const PlotStyle style = m_styles.value(it.key(), newStyle());
        painter->setPen(stylePen(style.color, style.lineWidth));
        painter->drawLine(QPointF(exposed.left(), -it.value()),
                          QPointF(exposed.right(), -it.value()));
    }
    painter->restore();
    paintSelectionMarkers(painter, markers, exposed);
}

bool ScriptStudyItem::collidesWithPath(const QPainterPath &path, Qt::ItemSelectionMode) const
{
    const SeriesItem *series = m_seriesItem.data();
    if (path.isEmpty() || !series)
        return false;
    const QRectF area = path.boundingRect();
    const QPointF pixel(pixelWidth(), pixelHeight());
    for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it) {
        if (std::abs(area.center().y() + it.value()) <= 3 * pixel.y() + area.height() / 2)
            return true;
    }
    const double stepX = std::max(1e-9, std::max(1.0, pixel.x()));
    for (auto it = m_plots.cbegin(); it != m_plots.cend(); ++it) {
        const PlotStyle style = m_styles.value(it.key(), newStyle());
        const StudyView *view = viewFor(style.view);
        for (double x = area.left(); x <= area.right(); x += stepX) {
            if (view->hitTest(QPointF(x, area.center().y()), it.value().cells, series, pixel,
                              style.lineWidth, nullptr))
                return true;
        }
    }
    return false;
}
