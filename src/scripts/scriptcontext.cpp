#include "scriptcontext.h"

#include "appsettings.h"
#include "record.h"
#include "scriptfilesmodel.h"
#include "scriptlimits.h"
#include "scripttext.h"
#include "scriptwatchdog.h"
#include "securitieswatchindex.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "settings.h"
#include "table.h"
#include "tableregistry.h"
#include "talogging.h"
#include "timeframe.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QJSEngine>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

const QString CurKey = QStringLiteral("cur");

// The state the shims and the pass scripts share: the bars of the pass, the bar being
// evaluated, the cached fields of the seven bar series by bar number (null until loaded) and
// the field values set before every bar. The built-ins it uses are taken before any script
// runs: a script that replaces Math.max or a typed array's methods changes its own world, not
// the bars it reads.
const char *StateFactory = R"((function () {
    var F64 = Float64Array, max = Math.max, apply = Reflect.apply;
    var typed = Object.getPrototypeOf(Float64Array.prototype);
    var setOf = typed.set, subarrayOf = typed.subarray;
    var lengthOf = Object.getOwnPropertyDescriptor(typed, "length").get;
    var st = { from: 0, till: -1, cur: -1, n: 0, ext: false,
               a: [null, null, null, null, null, null, null],
               want: [false, false, false, false, false, false, false], f: [],
               set: [] };
    st.put = function (k, buf, from, count) {
        var a = st.a[k];
        var length = a === null ? 0 : apply(lengthOf, a, []);
        if (a === null || length < count) {
            var grown = new F64(max(count, length * 2, 64));
            if (a !== null && from > 0)
                apply(setOf, grown, [apply(subarrayOf, a, [0, from < length ? from : length])]);
            a = st.a[k] = grown;
        }
        apply(setOf, a, [new F64(buf), from]);
        st.set[k](a);
    };
    return st;
}))";

// A bar series as scripts see it: the wrapped object, with an "at" that reads the cached
// field. It falls back to the object's own "at" (same answer, slower) in extension runs and
// while the field is not cached; the argument is converted as the slot converts it, and a
// missing one reads as 0 (the function never looks at its arguments object, which the
// engine would build on every call).
const char *ShimFactory = R"((function (st, k, series) {
    var a = null;
    st.set[k] = function (cached) { a = cached; };
    var shim = Object.create(series);
    Object.defineProperty(shim, "at", { value: function (i) {
        var c = st.cur;
        var b = c - (i | 0);
        if (b >= 0 && b < st.n && c >= 0 && a !== null)
            return a[b];
        if (a === null || st.ext) {
            st.want[k] = true;
            return series.at(i);
        }
        return undefined;
    } });
    return shim;
}))";

// "Series" as scripts call it: the native constructor only with an argument (anything that is
// not the context gives an inert series).
const char *SeriesGuard = R"js((function (Native) {
    return function Series(context) {
        if (arguments.length < 1)
            throw new TypeError("Series: нужен контекст вычисления, new Series(ctx)");
        return new Native(context);
    };
}))js";

const QStringList &securityFieldNames()
{
    static const QStringList names{
        QStringLiteral("ask"),          QStringLiteral("bid"),
        QStringLiteral("max_price"),    QStringLiteral("min_price"),
        QStringLiteral("price"),        QStringLiteral("avg_price"),
        QStringLiteral("market_price"), QStringLiteral("settlement_price_open"),
        QStringLiteral("open_price"),   QStringLiteral("close_price"),
        QStringLiteral("settlement_price")};
    return names;
}

QString scriptErrorText(const QString &detail)
{
    return QStringLiteral("Ошибка при выполнении скрипта: %1").arg(detail);
}

} // namespace

// --- the face scripts see ---------------------------------------------------------------------

ScriptContextApi::ScriptContextApi(ScriptContext *context)
    : QObject(context)
    , m_context(context)
{
}

int ScriptContextApi::currentBar() const { return m_context->currentBar(); }
FrameIndex ScriptContextApi::position() const { return m_context->position(); }
SeriesDataModel *ScriptContextApi::barModel() const { return m_context->barModel(); }

bool ScriptContextApi::event(QEvent *event)
{
    // The context deletes its face itself; nothing else may have it deleted later.
    if (event->type() == QEvent::DeferredDelete)
        return true;
    return QObject::event(event);
}

double ScriptContextApi::plot(double v, const QString &name) { return m_context->plot(v, name); }
void ScriptContextApi::cloud(const QString &plot1, const QString &plot2)
{
    m_context->cloud(plot1, plot2);
}
double ScriptContextApi::level(double value, const QString &name)
{
    return m_context->level(value, name);
}
void ScriptContextApi::setOutRunning(double v) { m_context->setOutRunning(v); }
void ScriptContextApi::setDelay(double v) { m_context->setDelay(v); }
void ScriptContextApi::trace(const QString &msg) { m_context->trace(msg); }

// --- passes -------------------------------------------------------------------------------------

// One stretch of script code: the outermost arms the watchdog with what is left of the pass's
// time (never more than StretchLimitMs at once) and memory; when it unwinds, the time and the
// memory growth are added to the pass's, the engine is left interrupted and a rebuild that a
// lazy resolution asked for is scheduled.
class PassScope
{
public:
    PassScope(ScriptContext *context, ScriptContext::Pass pass)
        : m_context(context)
    {
        if (m_context->m_passDepth++ != 0)
            return;
        ScriptContext &c = *m_context;
        c.refreshLimits();
        c.m_pass = pass;
        c.m_interruption = ScriptWatchdog::None;
        const qint64 left = std::max<qint64>(1, c.m_limits[pass] - c.m_passNanos / 1000000);
        c.m_stretchIsPassLimit = left <= ScriptContext::StretchLimitMs;
        c.m_stretchLimit = int(std::min<qint64>(left, ScriptContext::StretchLimitMs));
        const qint64 memory =
            c.m_memoryLimit > 0 ? std::max<qint64>(1, c.m_memoryLimit - c.m_passGrowth) : 0;
        m_base = memory > 0 ? ScriptWatchdog::residentBytes() : -1;
        c.m_engine->setInterrupted(false);
        c.m_watchToken = ScriptWatchdog::instance().arm(c.m_engine, c.m_stretchLimit, memory, m_base);
        m_start = ScriptWatchdog::threadNanos();
    }
    ~PassScope()
    {
        if (--m_context->m_passDepth != 0)
            return;
        ScriptContext &c = *m_context;
        const ScriptWatchdog::Reason fired = ScriptWatchdog::instance().disarm(c.m_watchToken);
        if (c.m_interruption == ScriptWatchdog::None)
            c.m_interruption = fired;
        // The time the thread ran, as the watchdog counts it: waiting for a core on a busy
        // machine does not use up the pass's time.
        c.m_passNanos += std::max<qint64>(0, ScriptWatchdog::threadNanos() - m_start);
        if (m_base > 0) {
            const qint64 now = ScriptWatchdog::residentBytes();
            if (now > 0)
                c.m_passGrowth += now - m_base;
        }
        // Between stretches the engine stays interrupted: whatever a script left queued
        // (a promise's callbacks, an async function's continuation) that the event loop
        // would run later, outside any time limit, stops at its first instruction.
        c.m_engine->setInterrupted(true);
        if (c.m_restartPending)
            c.scheduleRestart();
    }
    PassScope(const PassScope &) = delete;
    PassScope &operator=(const PassScope &) = delete;

private:
    ScriptContext *m_context;
    qint64 m_base = -1;
    qint64 m_start = 0;
};

void ScriptContext::refreshLimits()
{
    // Set by the caller, or read already since the last change of the stored values.
    if (m_limitsFixed || m_limitsGeneration == ScriptLimits::generation())
        return;
    m_limitsGeneration = ScriptLimits::generation();
    m_limits[RebuildPass] = ScriptLimits::stored(ScriptLimits::RebuildTime);
    m_limits[UpdatePass] = ScriptLimits::stored(ScriptLimits::UpdateTime);
    m_memoryLimit = qint64(ScriptLimits::stored(ScriptLimits::Memory)) << 20;
}

// --- construction -------------------------------------------------------------------------------

ScriptContext::ScriptContext(ScriptOwner *owner, QObject *parent)
    : QObject(parent)
    , m_owner(owner)
{
    refreshLimits();

    m_securities = TableRegistry::instance()->table(QStringLiteral("securities"));
    SeriesDataModel *model = barModel();
    m_seriesObjects = {new CloseScriptObj(this, model),  new OpenScriptObj(this, model),
                       new HighScriptObj(this, model),   new LowScriptObj(this, model),
                       new ValueScriptObj(this, model),  new VolumeScriptObj(this, model),
                       new OIScriptObj(this, model)};
    for (ScriptSeries *series : std::as_const(m_seriesObjects)) {
        series->setIndestructible(true);
        QJSEngine::setObjectOwnership(series, QJSEngine::CppOwnership);
        m_fieldLoaded.append(false);
    }
    m_api = new ScriptContextApi(this);
    QJSEngine::setObjectOwnership(m_api, QJSEngine::CppOwnership);

    for (const QString &name : securityFieldNames()) {
        m_securityFields.append(
            {name, name, m_securities ? m_securities->columnIndex(name) : -1, false});
    }
    SecurityDirectory *directory = SecurityDirectory::i();
    m_computedFields = {
        {QStringLiteral("theor_price"),
         [directory](const SeriesKey &key) {
             return directory->getTheorPriceBySecId(key.sec_id,
                                                    Enums::ExchangeTheoreticalPrice);
         },
         {}, 1},
        {QStringLiteral("price_lmt_high"),
         [directory](const SeriesKey &key) {
             return directory->getPriceLimitHighByFullId(key.stock_id, key.board_id, key.sec_id);
         },
         {}, 1},
        {QStringLiteral("price_lmt_low"),
         [directory](const SeriesKey &key) {
             return directory->getPriceLimitLowByFullId(key.stock_id, key.board_id, key.sec_id);
         },
         {}, 1}};
    connect(directory->getCalcVolatTimer(), &QTimer::timeout, this,
            &ScriptContext::refreshComputedFields);
    createEngine();
}

void ScriptContext::createEngine()
{
    m_engine = new QJSEngine(this);
    QJSValue global = m_engine->globalObject();
    // The engine's web additions go: scripts see the language's own library and ours.
    global.deleteProperty(QStringLiteral("URL"));
    global.deleteProperty(QStringLiteral("URLSearchParams"));

    m_self = m_engine->newQObject(m_api);
    global.setProperty(QStringLiteral("ctx"), m_self);
    // "new Series(ctx)" through a guard: the engine's own constructor call of the native
    // series would crash the process on a call without the context.
    global.setProperty(QStringLiteral("Series"),
                       m_engine->evaluate(QString::fromUtf8(SeriesGuard))
                           .call({m_engine->newQMetaObject(&CustomScriptSeries::staticMetaObject)}));
    const QList<QPair<const char *, const char *>> aliases{
        {"Plot", "plot"},         {"Cloud", "cloud"},       {"Level", "level"},
        {"SetOutRunning", "setOutRunning"}, {"SetDelay", "setDelay"},
        {"CurrentBar", "currentBar"}, {"Trace", "trace"}};
    for (const auto &[global_, slot] : aliases)
        global.setProperty(QLatin1String(global_), m_self.property(QLatin1String(slot)));

    m_state = m_engine->evaluate(QLatin1String(StateFactory)).call();
    m_putFields = m_state.property(QStringLiteral("put"));
    const QJSValue shimFactory = m_engine->evaluate(QLatin1String(ShimFactory));
    for (int k = 0; k < m_seriesObjects.size(); ++k) {
        ScriptSeries *series = m_seriesObjects[k];
        const QJSValue wrapper = m_engine->newQObject(series);
        m_seriesValues.insert(series->name(), wrapper);
        global.setProperty(series->name(), shimFactory.call({m_state, k, wrapper}));
        m_fieldLoaded[k] = false;
    }
    // The plan's driver and the cached bar fields live in the engine: built again.
    m_planKey.clear();
    m_planCheckedGeneration = -1;
    if (m_cachedModel && m_changeWatch)
        m_cachedModel->unwatchChanges(m_changeWatch);
    m_cachedModel = nullptr;
    m_changeWatch = 0;
    m_cachedCount = 0;
    // No script code runs until the first pass (see PassScope).
    m_engine->setInterrupted(true);
}

void ScriptContext::ensureEngine()
{
    if (!m_engine)
        createEngine();
}

void ScriptContext::releaseEngine()
{
    // Never under a running stretch: its frames are on the stack.
    if (!m_engine || m_passDepth > 0)
        return;
    m_passOpen = false;
    m_self = QJSValue();
    m_state = QJSValue();
    m_putFields = QJSValue();
    m_driver = QJSValue();
    m_seriesValues.clear();
    delete m_engine;
    m_engine = nullptr;
    if (m_cachedModel && m_changeWatch)
        m_cachedModel->unwatchChanges(m_changeWatch);
    m_cachedModel = nullptr;
    m_changeWatch = 0;
}

ScriptContext::~ScriptContext()
{
    // The engine goes first (script-made series die with it while the context still exists),
    // after the values that live in it.
    releaseEngine();
    qDeleteAll(m_seriesObjects);
    m_seriesObjects.clear();
}

SeriesDataModel *ScriptContext::barModel() const
{
    return m_owner ? m_owner->barModel() : nullptr;
}

int ScriptContext::currentBar() const
{
    if (m_slotBar != NoSlotBar)
        return m_slotBar;
    return m_inFastPass ? m_state.property(CurKey).toInt() : m_currentBar;
}

void ScriptContext::setParameters(const QMap<QString, ScriptParameter> &parameters)
{
    m_parameters = parameters;
}

void ScriptContext::setTimeLimits(int rebuildMs, int updateMs)
{
    refreshLimits();
    m_limitsFixed = true;
    m_limits[RebuildPass] = rebuildMs;
    m_limits[UpdatePass] = updateMs;
}

void ScriptContext::setFastestPlan(ScriptPlan::Kind kind)
{
    m_fastest = kind;
    m_planKey.clear();
    ++m_planGeneration;
}

// --- the runtime functions ----------------------------------------------------------------------

double ScriptContext::plot(double v, const QString &name)
{
    // The bar is read from the pass once; the owner asks for it again.
    const int bar = currentBar();
    if (bar == -1 || !std::isfinite(v))
        return 0;
    const int outer = m_slotBar;
    m_slotBar = bar;
    m_owner->setPlotValue(name, v);
    m_slotBar = outer;
    return v;
}

void ScriptContext::cloud(const QString &plot1, const QString &plot2)
{
    m_owner->addCloud(plot1, plot2);
}

double ScriptContext::level(double value, const QString &name)
{
    m_owner->setLevel(name, value);
    return value;
}

// Counts beyond the caps would recompute or append billions of cells (a negative count read
// as unsigned), so they end the script with an error.
void ScriptContext::setOutRunning(double v)
{
    if (!(v >= 0 && v <= MaxOutRunning) || v != std::floor(v)) {
        m_engine->throwError(
            QStringLiteral("SetOutRunning(%1): число баров пересчёта вне допустимого (0…%2)")
                .arg(v)
                .arg(MaxOutRunning));
        return;
    }
    m_owner->setOutRunning(uint(v));
}

void ScriptContext::setDelay(double v)
{
    if (!(v >= 0 && v <= MaxDelay) || v != std::floor(v)) {
        m_engine->throwError(
            QStringLiteral("SetDelay(%1): сдвиг вне допустимого (0…%2 баров)").arg(v).arg(MaxDelay));
        return;
    }
    m_owner->setDelay(uint(v));
}

void ScriptContext::trace(const QString &msg)
{
    qCDebug(lcScripts).noquote() << QStringLiteral("JScript message: ") + msg;
    const int bar = currentBar();
    // A script tracing on every bar of a long history keeps only the end of it, each line cut
    // to a readable length.
    if (m_traceLines.size() >= TraceLineLimit)
        m_traceLines.removeFirst();
    m_traceLines.append((bar < 0 ? QStringLiteral("Обновление: ") : QStringLiteral("Бар %1: ").arg(bar))
                        + msg.left(1000));
}

// --- assembly and evaluation --------------------------------------------------------------------

void ScriptContext::assembleBarScript()
{
    m_barScript = ScriptText::barScript(m_parameters, m_code);
    ++m_planGeneration;
}

QString ScriptContext::interruptionText() const
{
    ScriptWatchdog::Reason reason = ScriptWatchdog::Reason(m_interruption);
    if (reason == ScriptWatchdog::None)
        reason = ScriptWatchdog::instance().fired(m_watchToken);
    if (reason == ScriptWatchdog::Memory)
        return scriptErrorText(QStringLiteral("скрипт занял больше %1 МБ памяти и был прерван")
                                   .arg(m_memoryLimit >> 20));
    if (m_stretchIsPassLimit)
        return scriptErrorText(QStringLiteral("скрипт выполнялся дольше %1 с и был прерван")
                                   .arg(QString::number(m_limits[m_pass] / 1000.0, 'g', 3)));
    return scriptErrorText(QStringLiteral("скрипт выполнялся без перерыва дольше %1 с и был прерван")
                               .arg(QString::number(m_stretchLimit / 1000.0, 'g', 3)));
}

void ScriptContext::checkGrowth(int bar) const
{
    if (m_memoryLimit <= 0 || m_passGrowth <= m_memoryLimit)
        return;
    throw scriptErrorText(QStringLiteral("скрипт занял больше %1 МБ памяти и был прерван")
                              .arg(m_memoryLimit >> 20))
        + barSuffix(bar);
}

QJSValue ScriptContext::run(const QString &text, bool *threw)
{
    QStringList trace;
    const QJSValue result = m_engine->evaluate(text, QString(), 1, &trace);
    if (m_engine->isInterrupted())
        throw interruptionText();
    // Only a throw fails: a text whose last value is an error object ran fine.
    *threw = !trace.isEmpty();
    return result;
}

void ScriptContext::setPreparationGlobals()
{
    m_currentBar = -1;
    m_state.setProperty(CurKey, -1);
    QJSValue global = m_engine->globalObject();
    global.setProperty(QStringLiteral("CurrentBar"), -1);
    const QStringList names = fieldGlobals();
    const QJSValue values = fieldValues();
    for (int i = 0; i < names.size(); ++i)
        global.setProperty(names[i], values.property(quint32(i)));
}

void ScriptContext::setBarGlobals()
{
    QJSValue global = m_engine->globalObject();
    global.setProperty(QStringLiteral("CurrentBar"), m_currentBar);
    m_state.setProperty(CurKey, m_currentBar);
    const QStringList names = fieldGlobals();
    if (names.isEmpty())
        return;
    const QJSValue values = fieldValues();
    for (int i = 0; i < names.size(); ++i)
        global.setProperty(names[i], values.property(quint32(i)));
}

QStringList ScriptContext::fieldGlobals() const
{
    QStringList names;
    for (const SecurityField &field : m_securityFields) {
        if (field.watched)
            names.append(field.scriptName);
    }
    if (m_owner->hasInstrument()) {
        for (const ComputedField &field : m_computedFields)
            names.append(field.name);
    }
    return names;
}

QJSValue ScriptContext::fieldValues() const
{
    QJSValue values = m_engine->newArray();
    quint32 i = 0;
    Record record;
    bool recordRead = false;
    for (const SecurityField &field : m_securityFields) {
        if (!field.watched)
            continue;
        if (!recordRead) {
            if (SecuritiesWatchIndex *watch = m_owner->securitiesWatch())
                record = watch->record();
            recordRead = true;
        }
        values.setProperty(i++, record.isNull() || field.column < 0
                                    ? 0.0
                                    : record.data(field.column).toDouble());
    }
    if (m_owner->hasInstrument()) {
        const SeriesKey key = m_owner->instrument();
        for (const ComputedField &field : m_computedFields)
            values.setProperty(i++, field.getter ? field.getter(key).toDouble() : 0.0);
    }
    return values;
}

bool ScriptContext::refuseNested(const char *what) const
{
    if (m_passDepth == 0)
        return false;
    // A pass started from inside a running one would change the state the running one reads.
    qCWarning(lcScripts) << what << "asked for while a pass runs: ignored";
    return true;
}

void ScriptContext::prepare()
{
    if (m_restartPending || refuseNested("the preparation"))
        return;
    const QString text = ScriptText::preparation(m_parameters, m_functions, m_declaration);
    ensureEngine();
    m_passOpen = false;
    m_passNanos = 0;
    m_passGrowth = 0;
    {
        PassScope scope(this, RebuildPass);
        setPreparationGlobals();
        bool threw = false;
        const QJSValue result = run(text, &threw);
        checkEvaluation(result, threw);
    }
    checkGrowth(-1);
}

void ScriptContext::evaluate(int bar)
{
    evaluateBars(bar, bar, RebuildPass);
}

void ScriptContext::evaluateBars(int first, int last, Pass pass)
{
    beginPass(first, last, pass);
    while (!runSlice(std::numeric_limits<int>::max())) {
    }
}

void ScriptContext::beginPass(int first, int last, Pass pass)
{
    m_passOpen = false;
    if (m_code.isEmpty() || m_restartPending || last < first || refuseNested("a pass"))
        return;
    ensureEngine();
    m_passOpen = true;
    m_passNext = first;
    m_passLast = last;
    m_pass = pass;
    m_passNanos = 0;
    m_passGrowth = 0;
    // From one bar up: a bar may take long.
    m_chunkBars = 1;
}

void ScriptContext::runChunk(int first, int last)
{
    if (m_plan.kind == ScriptPlan::PerBar)
        runBarsPerBar(first, last);
    else
        runBarsFast(first, last);
}

bool ScriptContext::runSlice(int budgetMs)
{
    if (!m_passOpen)
        return true;
    // A stretch of script code is sized to this many nanoseconds: short enough to look at
    // the clock often, long enough that arming the watchdog costs nothing.
    constexpr qint64 ChunkNanos = 4000000;
    constexpr int MaxChunkBars = 1 << 20;
    QElapsedTimer slice;
    slice.start();
    try {
        bool first = true;
        while (m_passNext <= m_passLast && !m_restartPending) {
            const int till =
                int(std::min<qint64>(m_passLast, qint64(m_passNext) + m_chunkBars - 1));
            QElapsedTimer chunk;
            chunk.start();
            {
                PassScope scope(this, m_pass);
                if (first) {
                    // The plan first: it tells which bar fields the texts read, cached from
                    // this pass on. The cache follows bars that changed since the last slice.
                    first = false;
                    choosePlan();
                    syncBarCache();
                    if (m_engine->isInterrupted())
                        throw interruptionText();
                }
                runChunk(m_passNext, till);
            }
            const qint64 bars = qint64(till) - m_passNext + 1;
            const qint64 spent = std::max<qint64>(1, chunk.nsecsElapsed());
            m_chunkBars = int(std::clamp<qint64>(std::min(bars * ChunkNanos / spent, bars * 4), 1,
                                                 MaxChunkBars));
            m_passNext = till + 1;
            checkGrowth(till);
            if (slice.elapsed() >= budgetMs)
                break;
        }
    } catch (const QString &error) {
        m_passOpen = false;
        qCWarning(lcScripts).noquote()
            << QStringLiteral("ERROR: ScriptContext::evaluate: QString while evaluating script:\n")
                   + m_barScript + QLatin1Char('\n') + error;
        throw;
    } catch (const std::exception &error) {
        m_passOpen = false;
        qCWarning(lcScripts).noquote()
            << QStringLiteral(
                   "ERROR: ScriptContext::evaluate: std::exception while evaluating script:\n")
                   + m_barScript + QLatin1Char('\n') + QString::fromLocal8Bit(error.what());
        throw;
    } catch (...) {
        m_passOpen = false;
        qCWarning(lcScripts).noquote()
            << QStringLiteral(
                   "ERROR: ScriptContext::evaluate: general exception while evaluating script:\n")
                   + m_barScript + QLatin1Char('\n');
        throw;
    }
    if (m_passNext <= m_passLast && !m_restartPending)
        return false;
    m_passOpen = false;
    return true;
}

QString ScriptContext::barSuffix(int bar) const
{
    if (bar < 0)
        return {};
    const SeriesDataModel *model = barModel();
    const FrameIndex index = model ? model->validBar(bar) : FrameIndex();
    const QString when = index.isValid()
                             ? model->frameTime(index, false).toString(
                                   QStringLiteral("dd.MM.yyyy hh:mm:ss"))
                             : QString();
    return when.isEmpty() ? QStringLiteral("\nБар %1").arg(bar)
                          : QStringLiteral("\nБар %1 (%2)").arg(bar).arg(when);
}

void ScriptContext::runBarsPerBar(int first, int last)
{
    for (int bar = first; bar <= last; ++bar) {
        m_currentBar = bar;
        try {
            setBarGlobals();
            bool threw = false;
            const QJSValue result = run(m_barScript, &threw);
            checkEvaluation(result, threw);
        } catch (const QString &error) {
            throw error + barSuffix(bar);
        }
        if (m_restartPending)
            return;
    }
}

void ScriptContext::runBarsFast(int first, int last)
{
    m_state.setProperty(QStringLiteral("from"), first);
    m_state.setProperty(QStringLiteral("till"), last);
    m_state.setProperty(CurKey, std::numeric_limits<int>::min());
    m_state.setProperty(QStringLiteral("f"), fieldValues());
    QJSValue result;
    bool threw = false;
    m_inFastPass = true;
    try {
        if (m_plan.kind == ScriptPlan::Function) {
            result = m_driver.call({m_state, m_engine->globalObject()});
            if (m_engine->isInterrupted())
                throw interruptionText();
            threw = !result.strictlyEquals(m_state);
        } else {
            m_engine->globalObject().setProperty(QStringLiteral("__ta_state"), m_state);
            result = run(ScriptPlan::loopText(m_barScript, fieldGlobals()), &threw);
            m_engine->globalObject().deleteProperty(QStringLiteral("__ta_state"));
        }
    } catch (const QString &error) {
        m_inFastPass = false;
        m_engine->globalObject().deleteProperty(QStringLiteral("__ta_state"));
        const int bar = m_state.property(CurKey).toInt();
        m_currentBar = bar == std::numeric_limits<int>::min() ? first : bar;
        throw error + barSuffix(m_currentBar);
    }
    m_inFastPass = false;
    const int reached = m_state.property(CurKey).toInt();
    if (threw && reached == std::numeric_limits<int>::min()) {
        // The pass script did not start (it does not compile around this text): this text
        // runs bar by bar from now on, which reports its own errors.
        qCDebug(lcScripts) << "the pass script did not compile, bar by bar from now on:"
                           << result.toString();
        m_plan.kind = ScriptPlan::PerBar;
        m_plan.reason = QStringLiteral("the pass script did not compile: ") + result.toString();
        runBarsPerBar(first, last);
        return;
    }
    m_currentBar = threw ? reached : last;
    if (!threw)
        return;
    try {
        checkEvaluation(result, true);
    } catch (const QString &error) {
        throw error + barSuffix(m_currentBar);
    }
}

void ScriptContext::choosePlan()
{
    // Every pass asks; the texts (and whether the instrument's fields exist) change far less
    // often.
    const bool instrument = m_owner->hasInstrument();
    if (m_planGeneration == m_planCheckedGeneration && instrument == m_planHadInstrument)
        return;
    m_planCheckedGeneration = m_planGeneration;
    m_planHadInstrument = instrument;
    QString others = m_declaration;
    for (auto it = m_functions.cbegin(); it != m_functions.cend(); ++it)
        others += QLatin1Char('\n') + it.value();
    const QStringList fields = fieldGlobals();
    const QString key = m_barScript + QChar(0) + others + QChar(0) + fields.join(QLatin1Char(','));
    if (key == m_planKey)
        return;
    m_planKey = key;
    m_plan = ScriptPlan::analyse(m_barScript, others);
    if (m_plan.kind > m_fastest) {
        m_plan.kind = m_fastest;
        m_plan.reason = QStringLiteral("limited by the caller");
    }
    m_driver = QJSValue();
    if (m_plan.kind == ScriptPlan::Function) {
        QStringList trace;
        m_driver = m_engine->evaluate(ScriptPlan::driverText(m_barScript, m_plan.locals, fields),
                                      QString(), 1, &trace);
        if (!trace.isEmpty() || !m_driver.isCallable()) {
            m_plan.kind = ScriptPlan::Loop;
            m_plan.reason = QStringLiteral("the driver did not compile: ") + m_driver.toString();
            m_driver = QJSValue();
        } else {
            // The engine compiles a function to machine code from its third call on; the pass
            // loop runs inside one call, so three calls over no bar come first. They only copy
            // the text's variables in and out, creating those not there yet as undefined, as
            // the text's first evaluation would.
            m_state.setProperty(QStringLiteral("from"), 0);
            m_state.setProperty(QStringLiteral("till"), -1);
            for (int i = 0; i < 3; ++i)
                m_driver.call({m_state, m_engine->globalObject()});
        }
    }
    // The words of all texts tell which bar fields to cache from the first pass on.
    static const QRegularExpression word(QStringLiteral("[\\p{L}_$][\\p{L}\\p{N}_$]*"));
    QJSValue want = m_state.property(QStringLiteral("want"));
    for (auto it = word.globalMatch(m_barScript + QLatin1Char(' ') + others); it.hasNext();) {
        const QString w = it.next().captured();
        for (int k = 0; k < m_seriesObjects.size(); ++k) {
            if (m_seriesObjects[k]->name() == w)
                want.setProperty(quint32(k), true);
        }
    }
    qCDebug(lcScripts) << "evaluation plan" << int(m_plan.kind) << m_plan.reason;
}

void ScriptContext::syncBarCache()
{
    SeriesDataModel *model = barModel();
    if (!model) {
        m_state.setProperty(QStringLiteral("n"), 0);
        return;
    }
    if (model != m_cachedModel) {
        if (m_cachedModel && m_changeWatch)
            m_cachedModel->unwatchChanges(m_changeWatch);
        m_cachedModel = model;
        m_changeWatch = model->watchChanges();
        m_cachedCount = 0;
        for (bool &loaded : m_fieldLoaded)
            loaded = false;
    }
    const int changed = model->takeChanges(m_changeWatch);
    const int count = model->validBarCount();
    const int kept = changed < 0 ? std::min(m_cachedCount, count)
                                 : std::min({changed, m_cachedCount, count});
    const QJSValue want = m_state.property(QStringLiteral("want"));
    QList<int> fields;
    QList<int> froms;
    int lowest = count;
    for (int k = 0; k < m_seriesObjects.size(); ++k) {
        if (!m_fieldLoaded[k] && !want.property(quint32(k)).toBool())
            continue;
        const int from = m_fieldLoaded[k] ? kept : 0;
        if (from >= count && m_fieldLoaded[k])
            continue;
        fields.append(k);
        froms.append(from);
        lowest = std::min(lowest, from);
    }
    if (!fields.isEmpty()) {
        QList<QByteArray> buffers;
        for (int i = 0; i < fields.size(); ++i)
            buffers.append(QByteArray(qsizetype(count - froms[i]) * qsizetype(sizeof(double)),
                                      Qt::Uninitialized));
        QList<const DealValuesSeries *> series;
        for (int k : std::as_const(fields))
            series.append(static_cast<const DealValuesSeries *>(m_seriesObjects[k]));
        model->forValidBars(lowest, count - lowest, [&](int bar, const TimeFrame &record) {
            for (int i = 0; i < fields.size(); ++i) {
                if (bar < froms[i])
                    continue;
                const double v = series[i]->get(record);
                memcpy(buffers[i].data() + qsizetype(bar - froms[i]) * qsizetype(sizeof(double)),
                       &v, sizeof(double));
            }
        });
        for (int i = 0; i < fields.size(); ++i) {
            const QJSValue put =
                m_putFields.call({fields[i], m_engine->toScriptValue(buffers[i]), froms[i], count});
            if (m_engine->isInterrupted())
                throw interruptionText();
            if (put.isError())
                throw scriptErrorText(put.toString());
            m_fieldLoaded[fields[i]] = true;
        }
    }
    m_cachedCount = count;
    m_state.setProperty(QStringLiteral("n"), count);
}

void ScriptContext::evaluateExtension(const FrameIndex &from, const FrameIndex &till)
{
    if (m_code.isEmpty() || m_restartPending || refuseNested("an extension run"))
        return;
    struct Reset
    {
        ScriptContext *context;
        ~Reset()
        {
            context->m_position = FrameIndex();
            context->m_state.setProperty(QStringLiteral("ext"), false);
            context->m_state.setProperty(QStringLiteral("n"), context->m_cachedCount);
        }
    } reset{this};
    ensureEngine();
    m_passOpen = false;
    m_passNanos = 0;
    m_passGrowth = 0;
    try {
        PassScope scope(this, UpdatePass);
        // No cached read applies beyond the last bar: the shims ask the series objects.
        m_state.setProperty(QStringLiteral("ext"), true);
        m_state.setProperty(QStringLiteral("n"), 0);
        m_state.setProperty(CurKey, m_currentBar);
        FrameIndex position = from;
        for (;;) {
            position = FrameIndex(position.chunk, std::max(0, position.bar + 1));
            if (!(position < till))
                break;
            m_position = position;
            bool threw = false;
            run(m_barScript, &threw);
            if (threw || !m_owner->isActive())
                break;
        }
    } catch (const QString &) {
        // An extension run that fails or runs too long ends quietly.
    }
}

// --- errors and lazy resolution -----------------------------------------------------------------

void ScriptContext::checkEvaluation(const QJSValue &result, bool threw)
{
    if (!threw)
        return;
    if (result.isError() && result.property(QStringLiteral("name")).toString()
                                == QLatin1String("ReferenceError")) {
        if (m_resolveCount > 255) {
            qCCritical(lcScripts).noquote()
                << QStringLiteral("ScriptContext::checkEvaluation : Maximum recursion definition "
                                  "level reached (255). ERROR ")
                       + result.toString();
            throw scriptErrorText(result.toString());
        }
        static const QRegularExpression notDefined(QStringLiteral("(\\w+) is not defined"));
        const QRegularExpressionMatch match =
            notDefined.match(result.property(QStringLiteral("message")).toString());
        if (match.hasMatch()) {
            ++m_resolveCount;
            const QString name = match.captured(1);
            if (loadFunction(name) || watchSecurityField(name))
                return;
        }
    }
    throw scriptErrorText(result.toString());
}

bool ScriptContext::loadFunction(const QString &name)
{
    if (m_functions.contains(name))
        throw QStringLiteral("Невозможно загрузить функцию %1 из-за циклической зависимости")
            .arg(name);
    FunctionFilesModel *files = FunctionFilesModel::instance();
    if (!files)
        return false;
    const FunctionFile file = files->read(name);
    if (file.code.isNull())
        return false;
    m_functions.insert(name, file.code);
    ++m_planGeneration;
    m_restartPending = true;
    return true;
}

bool ScriptContext::watchSecurityField(const QString &name)
{
    for (SecurityField &field : m_securityFields) {
        if (field.columnName != name)
            continue;
        SecuritiesWatchIndex *watch = m_owner->securitiesWatch();
        if (!watch)
            return false;
        watch->addColumn(field.column);
        field.watched = true;
        ++m_planGeneration;
        m_restartPending = true;
        return true;
    }
    return false;
}

void ScriptContext::scheduleRestart()
{
    if (m_restartScheduled)
        return;
    m_restartScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_restartScheduled = false;
            if (!m_restartPending)
                return;
            m_restartPending = false;
            Q_EMIT contextChanged();
        },
        Qt::QueuedConnection);
}

bool ScriptContext::takeRestart()
{
    const bool due = m_restartPending;
    m_restartPending = false;
    return due;
}

void ScriptContext::refreshComputedFields()
{
    if (!m_owner->hasInstrument())
        return;
    if (!m_engine)
        return; // a failed indicator: its next pass reads the values afresh
    const SeriesKey key = m_owner->instrument();
    bool changed = false;
    {
        QJSValue global = m_engine->globalObject();
        for (ComputedField &field : m_computedFields) {
            const decimal value = field.getter ? field.getter(key) : decimal();
            if (value == field.last)
                continue;
            field.last = value;
            global.setProperty(field.name, value.toDouble());
            changed = true;
        }
    }
    // After the engine's values are let go: the pass may fail and release the engine.
    if (changed)
        m_owner->refreshPass();
}

// --- persistence --------------------------------------------------------------------------------

void ScriptContext::restoreState(Settings &settings, bool prepareNow)
{
    StudyFile file;
    if (StudyFilesModel *studies = StudyFilesModel::instance()) {
        try {
            file = studies->read(m_owner->studyFileName());
        } catch (const QString &error) {
            // The window keeps the texts it was saved with.
            qCWarning(lcScripts).noquote()
                << QStringLiteral("indicator file %1: %2; the saved texts are used")
                       .arg(m_owner->studyFileName(), error);
        }
    }
    m_code = !file.code.isNull() ? file.code
                                 : settings.value(QStringLiteral("code")).toString();
    ++m_planGeneration;
    m_declaration = !file.declaration.isNull()
                        ? file.declaration
                        : settings.value(QStringLiteral("declaration")).toString();
    QMap<QString, ScriptParameter> saved;
    const int count = settings.value(QStringLiteral("parametersCount"), 0).toInt();
    for (int i = 0; i < count; ++i) {
        settings.beginGroup(QStringLiteral("parameter_%1").arg(i));
        const QString name = settings.value(QStringLiteral("name")).toString();
        ScriptParameter parameter{settings.value(QStringLiteral("value")).toString(),
                                  settings.value(QStringLiteral("isFormula"), false).toBool()};
        settings.endGroup();
        saved.insert(name, parameter);
    }
    if (file.code.isNull()) {
        m_parameters = saved;
    } else {
        // The file's parameters, the saved values of those it still has: one new in the file
        // takes its default, one gone from it goes with the code that used it.
        m_parameters = file.parameters;
        for (auto it = m_parameters.begin(); it != m_parameters.end(); ++it) {
            const auto kept = saved.constFind(it.key());
            if (kept != saved.cend())
                it.value() = kept.value();
        }
    }
    assembleBarScript();
    if (prepareNow)
        prepare();
}

void ScriptContext::saveState(Settings &settings) const
{
    settings.setValue(QStringLiteral("declaration"), m_declaration);
    settings.setValue(QStringLiteral("code"), m_code);
    settings.setValue(QStringLiteral("parametersCount"), m_parameters.size());
    int i = 0;
    for (auto it = m_parameters.cbegin(); it != m_parameters.cend(); ++it, ++i) {
        settings.beginGroup(QStringLiteral("parameter_%1").arg(i));
        settings.setValue(QStringLiteral("name"), it.key());
        settings.setValue(QStringLiteral("value"), it.value().value);
        settings.setValue(QStringLiteral("isFormula"), it.value().isFormula);
        settings.endGroup();
    }
}

bool ScriptContext::applyParameterValues(Settings &settings)
{
    bool changed = false;
    const int count = settings.value(QStringLiteral("parametersCount"), 0).toInt();
    for (int i = 0; i < count; ++i) {
        settings.beginGroup(QStringLiteral("parameter_%1").arg(i));
        const QString name = settings.value(QStringLiteral("name")).toString();
        const QString value = settings.value(QStringLiteral("value")).toString();
        settings.endGroup();
        auto it = m_parameters.find(name);
        if (it == m_parameters.end())
            it = m_parameters.insert(name, ScriptParameter{QStringLiteral("0"), false});
        if (it->value != value) {
            it->value = value;
            changed = true;
        }
    }
    return changed;
}
