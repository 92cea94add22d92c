#pragma once

#include "frameindex.h"
#include "seriesdatamodel.h"
#include "seriesvalue.h"

#include <QObject>
#include <QPointer>
#include <QVariant>

#include <optional>
#include <vector>

struct TimeFrame;

// Where an indicator's evaluation stands: the bar being evaluated (its number in the bar
// model's valid list, -1 outside a per-bar run), the slot beyond the last bar during an
// extension run (invalid otherwise) and the model of the indicator's price series.
class ScriptCursor
{
public:
    virtual ~ScriptCursor() = default;
    virtual int currentBar() const = 0;
    virtual FrameIndex position() const = 0;
    virtual SeriesDataModel *barModel() const = 0;
};

#define ScriptCursor_iid "ta.scripts.ScriptCursor/1.0"
Q_DECLARE_INTERFACE(ScriptCursor, ScriptCursor_iid)

// A series as indicator scripts see it, indexed by bars back from the bar being evaluated:
// at(0) the current bar, at(1) the one before it. The context (a QObject that is a
// ScriptCursor) is the parent; once it is gone every read is undefined and every write ignored.
class ScriptSeries : public QObject
{
    Q_OBJECT
public:
    // parented: the context is the QObject parent too (the built-in series); script-made
    // series belong to the engine and only keep a guarded pointer to it.
    ScriptSeries(QObject *context, SeriesDataModel *model, bool parented = true);

    // Series that the context deletes itself ignore deleteLater() from anyone else.
    void setIndestructible(bool on) { m_indestructible = on; }
    bool event(QEvent *event) override;

    ScriptCursor *cursor() const;
    SeriesDataModel *model() const { return m_model.data(); }
    // The slot that an index names now; invalid when it names none.
    FrameIndex target(int index) const;

public Q_SLOTS:
    virtual void clear() {}
    virtual QString name() const = 0;
    virtual QVariant at(int index) const = 0;
    virtual void setAt(int index, const QVariant &value)
    {
        Q_UNUSED(index) Q_UNUSED(value)
    }

private:
    QPointer<QObject> m_context;
    ScriptCursor *m_cursor;
    QPointer<SeriesDataModel> m_model;
    bool m_indestructible = false;
};

// A read-only series over one field of the price series' bars.
class DealValuesSeries : public ScriptSeries
{
    Q_OBJECT
public:
    using ScriptSeries::ScriptSeries;

    // The field of a bar record.
    virtual double get(const TimeFrame &tf) const = 0;

public Q_SLOTS:
    QString name() const override { return QStringLiteral("Abstract ScriptSeries"); }
    // The field of the target bar; undefined without a target or a bar there.
    QVariant at(int index) const override;
};

#define TA_DEAL_VALUES_SERIES(Class, Name)                                                         \
    class Class : public DealValuesSeries                                                          \
    {                                                                                              \
        Q_OBJECT                                                                                   \
    public:                                                                                        \
        using DealValuesSeries::DealValuesSeries;                                                  \
        double get(const TimeFrame &tf) const override;                                            \
    public Q_SLOTS:                                                                                \
        QString name() const override { return QStringLiteral(Name); }                             \
    };

TA_DEAL_VALUES_SERIES(CloseScriptObj, "Close")
TA_DEAL_VALUES_SERIES(OpenScriptObj, "Open")
TA_DEAL_VALUES_SERIES(HighScriptObj, "High")
TA_DEAL_VALUES_SERIES(LowScriptObj, "Low")
TA_DEAL_VALUES_SERIES(ValueScriptObj, "Value")
TA_DEAL_VALUES_SERIES(VolumeScriptObj, "Volume")
TA_DEAL_VALUES_SERIES(OIScriptObj, "OI")

#undef TA_DEAL_VALUES_SERIES


// A writable series that a script creates with "new Series(ctx)": a cell for every slot of the
// price series' model (its shape as it was when the series was made or last written), stored
// as it is written: a few cells in a sorted list, more in one array per chunk, made when a
// cell of that chunk is first written. A series made on every bar costs its object, not a
// copy of the chart.
class CustomScriptSeries : public ScriptSeries
{
    Q_OBJECT
public:
    // Scripts pass the context; anything that is not an evaluation context gives an inert
    // series (no model: reads are undefined, writes are ignored).
    Q_INVOKABLE explicit CustomScriptSeries(QObject *scriptContext);
    CustomScriptSeries(QObject *context, SeriesDataModel *model, bool parented = true);
    ~CustomScriptSeries() override;

    // How many exist now, for leak checks.
    static int liveCount();

    bool isInert() const { return !model(); }
    // Slots per chunk as the series sees them; cells stored.
    const std::vector<int> &shape() const { return m_shape; }
    size_t storedCells() const;

public Q_SLOTS:
    void clear() override;
    QString name() const override { return QStringLiteral("Custom"); }
    QVariant at(int index) const override;
    void setAt(int index, const QVariant &value) override;
    // "Series: <address> [ [0][0] : INV, [0][1] : 1.5, ... ]"
    QString toString() const;

private:
    // The model's slots per chunk; cells beyond a chunk that shrank go.
    void fitStorage();
    std::optional<double> cell(int chunk, int bar) const;

    struct Cell
    {
        int chunk;
        int bar;
        double value;
    };
    static constexpr size_t SparseCells = 32;
    std::vector<int> m_shape;
    std::vector<Cell> m_sparse;
    std::vector<std::vector<SeriesValue>> m_dense;
    bool m_isDense = false;
};
