#pragma once

#include "scriptcontext.h"
#include "scriptfile.h"
#include "scriptseries.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <vector>

#include <functional>

class SecuritiesWatchIndex;
class SeriesDataModel;

// An indicator's outputs as text: "time,<plots...>,<levels...>", one line per valid bar and
// per extension slot within the last chunk, a plot's field empty where value() is NaN.
// value(plot, slot, linear slot number).
QByteArray studyCsv(const SeriesDataModel &model, const QStringList &plots,
                    const QMap<QString, double> &levels, uint delay,
                    const std::function<double(int, const FrameIndex &, int)> &value);

// An indicator evaluated without a chart: its context over a bar model, every bar evaluated
// as an indicator on a chart evaluates them (preparation, bars, extension, refresh pass,
// lazy resolutions followed by a rebuild), the plots kept per bar slot. For tests,
// benchmarks and the command line.
class ScriptRunner : public QObject, public ScriptOwner
{
    Q_OBJECT
public:
    explicit ScriptRunner(SeriesDataModel *model, QObject *parent = nullptr);
    ~ScriptRunner() override;

    ScriptContext *context() const { return m_context; }
    SeriesDataModel *model() const { return m_model; }

    // The texts and parameters of an indicator file.
    void setStudy(const QString &fileName, const StudyFile &file);
    // False when the indicator has no parameter of that name.
    bool setParameterValue(const QString &name, const QString &value);

    // Rebuilds and evaluates every bar; false with the error text (the plots then hold what
    // the bars before the failing one produced).
    bool run(QString *error = nullptr);
    // The bars from a bar number on changed (a trade): they and the out-running bars before
    // them are evaluated again, then the extension slots.
    bool update(int fromBar, QString *error = nullptr);

    QStringList plotNames() const;
    QMap<QString, double> levels() const { return m_levels; }
    QList<QPair<QString, QString>> clouds() const { return m_clouds; }
    uint outRunning() const { return m_outRunning; }
    uint delay() const { return m_delay; }
    int rebuildCount() const { return m_rebuilds; }
    // The plot's value at a bar number (NaN when it holds none), or at the slot that many
    // slots after the last bar (extension, from 1).
    double value(const QString &plot, int bar) const;
    double extensionValue(const QString &plot, int slot) const;
    // "time,<plots...>,<levels...>", one line per bar (and per extension slot), empty where a
    // plot holds no value.
    QByteArray csv() const;

    // ScriptOwner
    SeriesDataModel *barModel() const override { return m_model; }
    QString studyFileName() const override { return m_fileName; }
    bool hasInstrument() const override;
    SeriesKey instrument() const override;
    SecuritiesWatchIndex *securitiesWatch() override;
    bool isActive() const override { return true; }
    void setPlotValue(const QString &name, double value) override;
    void addCloud(const QString &plot1, const QString &plot2) override;
    void setLevel(const QString &name, double value) override;
    void setOutRunning(uint count) override { m_outRunning = count; }
    void setDelay(uint count) override { m_delay = count; }
    void refreshPass() override;

private:
    // Empties the outputs and prepares; false with the error.
    bool rebuild(QString *error);
    bool evaluate(int first, QString *error, ScriptContext::Pass pass);
    double cell(const QString &plot, int linear) const;

    SeriesDataModel *m_model;
    ScriptContext *m_context = nullptr;
    SecuritiesWatchIndex *m_watch = nullptr;
    QString m_fileName;
    QHash<QString, std::vector<SeriesValue>> m_plots; // by linear slot number
    // The plot written last: a bar's plots come by name again and again.
    QString m_lastPlotName;
    std::vector<SeriesValue> *m_lastPlot = nullptr;
    QMap<QString, double> m_levels;
    QList<QPair<QString, QString>> m_clouds;
    uint m_outRunning = 0;
    uint m_delay = 0;
    int m_rebuilds = 0;
    QString m_refreshError;
};
