#pragma once

#include "decimal.h"
#include "frameindex.h"
#include "scriptfile.h"
#include "scriptplan.h"
#include "scriptseries.h"
#include "serieskey.h"

#include <QHash>
#include <QJSValue>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>

#include <functional>
#include <limits>

class QJSEngine;
class SecuritiesWatchIndex;
class Settings;
class Table;

// What an indicator gives its evaluation context and takes from it: the bars, the
// instrument, and the outputs of its script.
class ScriptOwner
{
public:
    virtual ~ScriptOwner() = default;

    virtual SeriesDataModel *barModel() const = 0;
    // The indicator file the scripts come from (its name in the indicator registry).
    virtual QString studyFileName() const = 0;
    virtual bool hasInstrument() const = 0;
    virtual SeriesKey instrument() const = 0;
    // The watch of the instrument's record, created on first use.
    virtual SecuritiesWatchIndex *securitiesWatch() = 0;
    // Extension runs stop once the indicator is no longer shown.
    virtual bool isActive() const = 0;

    virtual void setPlotValue(const QString &name, double value) = 0;
    virtual void addCloud(const QString &plot1, const QString &plot2) = 0;
    virtual void setLevel(const QString &name, double value) = 0;
    virtual void setOutRunning(uint count) = 0;
    virtual void setDelay(uint count) = 0;
    // The computed instrument values changed: run the refresh pass.
    virtual void refreshPass() = 0;
};

class ScriptContext;

// The context as scripts see it ("ctx"): the functions of the runtime and nothing else; the
// context's signals and the rest of its interface stay out of the scripts' reach. Scripts
// can neither destroy it nor have it deleted later.
class ScriptContextApi : public QObject, public ScriptCursor
{
    Q_OBJECT
    Q_INTERFACES(ScriptCursor)
public:
    explicit ScriptContextApi(ScriptContext *context);

    FrameIndex position() const override;
    SeriesDataModel *barModel() const override;

    bool event(QEvent *event) override;

public Q_SLOTS:
    int currentBar() const override;
    double plot(double v, const QString &name);
    void cloud(const QString &plot1, const QString &plot2);
    double level(double value, const QString &name);
    // Scripts pass any number: negative, fractional and huge counts are refused with an
    // error rather than wrapped to unsigned values.
    void setOutRunning(double v);
    void setDelay(double v);
    void trace(const QString &msg);

private:
    ScriptContext *m_context;
};

// An instrument field that scripts may name ("bid", "price", ...): a column of the
// "securities" table, read from the watched record before every bar once a script used it.
struct SecurityField
{
    QString scriptName;
    QString columnName;
    int column = -1;
    bool watched = false;
};

// A value computed for the instrument before every bar ("theor_price", the price limits).
struct ComputedField
{
    QString name;
    std::function<decimal(const SeriesKey &)> getter;
    decimal last;
    int pricingModel = 1;
};

// Runs one indicator's scripts: builds the engine and the globals scripts see, assembles the
// preparation and per-bar texts from the code, declaration and parameters, evaluates them and
// hands what they produce to the owner. Undefined names are resolved lazily (function files,
// then instrument fields); a resolution ends the running pass and one rebuild follows once it
// has unwound. Every pass runs under a time limit. Errors leave as a thrown QString.
class ScriptContext : public QObject, public ScriptCursor
{
    Q_OBJECT
    Q_INTERFACES(ScriptCursor)
public:
    enum Pass { RebuildPass, UpdatePass };
    // The most slots beyond the last bar and the most bars recomputed before a changed one
    // that a script may ask for.
    static constexpr uint MaxDelay = 1000;
    static constexpr uint MaxOutRunning = 100000;

    // The most script code runs without a break, whatever the pass's limit: a bar, the
    // preparation, an extension run (the GUI thread is never held longer).
    static constexpr int StretchLimitMs = 200;

    ScriptContext(ScriptOwner *owner, QObject *parent);
    ~ScriptContext() override;

    ScriptOwner *owner() const { return m_owner; }
    QJSEngine *engine() const { return m_engine; }

    // ScriptCursor (currentBar() is a slot below)
    FrameIndex position() const override { return m_position; }
    SeriesDataModel *barModel() const override;

    void setCurrentBar(int bar) { m_currentBar = bar; }
    QString code() const { return m_code; }
    void setCode(const QString &code) { m_code = code; }
    QString declaration() const { return m_declaration; }
    void setDeclaration(const QString &declaration)
    {
        m_declaration = declaration;
        ++m_planGeneration;
    }
    QMap<QString, ScriptParameter> parameters() const { return m_parameters; }
    void setParameters(const QMap<QString, ScriptParameter> &parameters);
    QMap<QString, QString> functions() const { return m_functions; }
    int resolveCount() const { return m_resolveCount; }
    QString barScript() const { return m_barScript; }
    const QList<ScriptSeries *> &seriesObjects() const { return m_seriesObjects; }
    QJSValue seriesValue(const QString &name) const { return m_seriesValues.value(name); }
    const QList<SecurityField> &securityFields() const { return m_securityFields; }

    // Reads the texts and parameters; prepareNow: runs the preparation at once (otherwise the
    // owner's next rebuild does).
    void restoreState(Settings &settings, bool prepareNow = true);
    void saveState(Settings &settings) const;
    bool applyParameterValues(Settings &settings);

    void assembleBarScript();
    // Runs the preparation text with CurrentBar -1 and the instrument globals set.
    void prepare();
    // One bar, or the refresh pass at -1 (plots store nothing, the rest applies).
    void evaluate(int bar);
    // The bars first..last (bar numbers of the model's valid list) in one pass; an error on
    // bar k names it, and what bars before k produced stays.
    void evaluateBars(int first, int last, Pass pass = RebuildPass);
    // The same pass in slices: beginPass() opens it, each runSlice() evaluates its next bars
    // for about `budgetMs` and tells whether the pass is over (every bar done, or a restart
    // due). Between slices the caller returns to the event loop and starts no other pass; the
    // values are those of one uninterrupted pass. An error closes the pass and is thrown.
    void beginPass(int first, int last, Pass pass);
    bool runSlice(int budgetMs);
    bool passOpen() const { return m_passOpen; }
    void cancelPass() { m_passOpen = false; }
    void evaluateExtension(const FrameIndex &from, const FrameIndex &till);
    // Inspects what a run gave; threw: the run ended by an exception (the value is what was
    // thrown). Resolves a missing name or throws the error text.
    void checkEvaluation(const QJSValue &result, bool threw = true);

    // A lazy resolution ended a pass and a rebuild is due; until then passes do nothing.
    bool restartPending() const { return m_restartPending; }
    // Takes the due rebuild over (no contextChanged() follows); false when none was due.
    bool takeRestart();

    // Test and benchmark hooks: the limits of the passes and the fastest way allowed.
    void setTimeLimits(int rebuildMs, int updateMs);
    // Otherwise a pass runs under the stored limits (ScriptLimits) as they stand when it starts.
    void setMemoryLimit(qint64 bytes)
    {
        refreshLimits();
        m_limitsFixed = true;
        m_memoryLimit = bytes;
    }
    qint64 memoryLimit() const { return m_memoryLimit; }
    // Frees the engine and everything scripts made (a failed indicator keeps only its texts
    // and parameters); the next pass builds a new one.
    void releaseEngine();
    bool hasEngine() const { return m_engine != nullptr; }
    // Takes the stored limits when they changed since they were last read.
    void refreshLimits();
    void setFastestPlan(ScriptPlan::Kind kind);
    ScriptPlan plan() const { return m_plan; }

    // What the scripts wrote with Trace() since clearTrace(), each line headed by its bar;
    // the newest TraceLineLimit lines are kept.
    static constexpr int TraceLineLimit = 500;
    const QStringList &traceLines() const { return m_traceLines; }
    void clearTrace() { m_traceLines.clear(); }

Q_SIGNALS:
    // A function or instrument field was resolved: the owner rebuilds. Emitted once the pass
    // that found the name has unwound.
    void contextChanged();

public Q_SLOTS:
    int currentBar() const override;
    double plot(double v, const QString &name);
    void cloud(const QString &plot1, const QString &plot2);
    double level(double value, const QString &name);
    void setOutRunning(double v);
    void setDelay(double v);
    void trace(const QString &msg);
    void refreshComputedFields();

private:
    friend class PassScope;
    void createEngine();
    void ensureEngine();
    // The text of an interruption: the time or memory limit that stopped the code.
    QString interruptionText() const;
    void runChunk(int first, int last);
    // Fails the pass when the memory it grew by passed the budget (bar: where it stands).
    void checkGrowth(int bar) const;
    bool loadFunction(const QString &name);
    bool watchSecurityField(const QString &name);
    void setBarGlobals();
    void setPreparationGlobals();
    // Evaluates a text as a script of its own; threw tells whether it ended by an exception.
    QJSValue run(const QString &text, bool *threw);
    void runBarsPerBar(int first, int last);
    void runBarsFast(int first, int last);
    void choosePlan();
    // Brings the cached bar fields of the fast ways up to date with the model.
    void syncBarCache();
    QStringList fieldGlobals() const;
    QJSValue fieldValues() const;
    QString barSuffix(int bar) const;
    void scheduleRestart();
    bool refuseNested(const char *what) const;

    ScriptOwner *m_owner;
    QString m_code;
    QString m_declaration;
    QMap<QString, ScriptParameter> m_parameters;
    QMap<QString, QString> m_functions;
    int m_resolveCount = 0;
    int m_currentBar = -1;
    QStringList m_traceLines;
    QString m_barScript;
    QList<ScriptSeries *> m_seriesObjects;
    ScriptContextApi *m_api = nullptr;
    QJSValue m_self;
    QHash<QString, QJSValue> m_seriesValues;
    FrameIndex m_position;
    QList<SecurityField> m_securityFields;
    QList<ComputedField> m_computedFields;
    QPointer<Table> m_securities;
    QJSEngine *m_engine = nullptr;

    // Passes and lazy resolution.
    int m_passDepth = 0;
    int m_watchToken = 0;
    // What the running stretch of code was armed with, and the limit that stopped it.
    int m_stretchLimit = 0;
    bool m_stretchIsPassLimit = false;
    int m_interruption = 0;
    // The open pass: its next and last bars, the script time and memory growth so far, the
    // bars evaluated in one stretch (sized to a few milliseconds).
    bool m_passOpen = false;
    int m_passNext = 0;
    int m_passLast = -1;
    qint64 m_passNanos = 0;
    qint64 m_passGrowth = 0;
    int m_chunkBars = 1;
    qint64 m_memoryLimit = 256ll << 20;
    bool m_restartPending = false;
    bool m_restartScheduled = false;
    int m_limits[2] = {5000, 1000};
    // The limits given by setTimeLimits()/setMemoryLimit() stay; otherwise the stored ones
    // of this generation apply.
    bool m_limitsFixed = false;
    int m_limitsGeneration = -1;
    Pass m_pass = RebuildPass;

    // The fast ways: the plan for the current texts, the state object the shims and the pass
    // scripts share, the cached fields, the compiled driver.
    ScriptPlan::Kind m_fastest = ScriptPlan::Function;
    ScriptPlan m_plan;
    QString m_planKey;
    // Bumped whenever a text the plan depends on changes.
    int m_planGeneration = 0;
    int m_planCheckedGeneration = -1;
    bool m_planHadInstrument = false;
    QJSValue m_state;
    QJSValue m_putFields;
    QJSValue m_driver;
    QStringList m_driverFields;
    bool m_inFastPass = false;
    static constexpr int NoSlotBar = std::numeric_limits<int>::min() + 1;
    int m_slotBar = NoSlotBar; // the bar while a runtime function runs
    int m_changeWatch = 0;
    QPointer<SeriesDataModel> m_cachedModel;
    int m_cachedCount = 0;
    QList<bool> m_fieldLoaded;
};
