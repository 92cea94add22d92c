#include "scriptrunner.h"

#include "securitieswatchindex.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"

#include <QLocale>

#include <cmath>
#include <limits>

ScriptRunner::ScriptRunner(SeriesDataModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    m_context = new ScriptContext(this, this);
}

ScriptRunner::~ScriptRunner()
{
    delete m_context;
    m_context = nullptr;
}

void ScriptRunner::setStudy(const QString &fileName, const StudyFile &file)
{
    m_fileName = fileName;
    m_context->setCode(file.code);
    m_context->setDeclaration(file.declaration);
    m_context->setParameters(file.parameters);
}

bool ScriptRunner::setParameterValue(const QString &name, const QString &value)
{
    QMap<QString, ScriptParameter> parameters = m_context->parameters();
    const auto it = parameters.find(name);
    if (it == parameters.end())
        return false;
    it->value = value;
    m_context->setParameters(parameters);
    return true;
}

bool ScriptRunner::hasInstrument() const
{
    const SeriesKey key = m_model->seriesKey();
    return !SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull();
}

SeriesKey ScriptRunner::instrument() const
{
    return m_model->seriesKey();
}

SecuritiesWatchIndex *ScriptRunner::securitiesWatch()
{
    if (!m_watch)
        m_watch = new SecuritiesWatchIndex(this, m_model->seriesKey());
    return m_watch;
}

void ScriptRunner::setPlotValue(const QString &name, double value)
{
    const FrameIndex position = m_context->position();
    const int linear = position.isValid() ? m_model->linearIndex(position)
                                          : m_model->validLinear(m_context->currentBar());
    if (linear < 0)
        return;
    if (name != m_lastPlotName || !m_lastPlot) {
        m_lastPlotName = name;
        m_lastPlot = &m_plots[name];
    }
    std::vector<SeriesValue> &cells = *m_lastPlot;
    if (cells.size() <= size_t(linear))
        cells.resize(std::max(size_t(linear) + 1, size_t(m_model->totalBarCount()) + m_delay));
    cells[size_t(linear)] = {value, true};
}

void ScriptRunner::addCloud(const QString &plot1, const QString &plot2)
{
    const QPair<QString, QString> pair(plot1, plot2);
    if (!m_clouds.contains(pair))
        m_clouds.append(pair);
}

void ScriptRunner::setLevel(const QString &name, double value)
{
    m_levels.insert(name, value);
}

void ScriptRunner::refreshPass()
{
    try {
        m_context->evaluate(-1);
    } catch (const QString &error) {
        m_refreshError = error;
    }
}

bool ScriptRunner::rebuild(QString *error)
{
    ++m_rebuilds;
    for (ScriptSeries *series : m_context->seriesObjects())
        series->clear();
    m_context->setCurrentBar(-1);
    m_outRunning = 0;
    m_delay = 0;
    m_plots.clear();
    m_lastPlot = nullptr;
    m_levels.clear();
    m_clouds.clear();
    try {
        m_context->assembleBarScript();
        m_context->prepare();
    } catch (const QString &text) {
        if (error)
            *error = text;
        return false;
    }
    return true;
}

bool ScriptRunner::evaluate(int first, QString *error, ScriptContext::Pass pass)
{
    try {
        const int count = m_model->validBarCount();
        if (count > 0)
            m_context->evaluateBars(std::max(0, first), count - 1, pass);
        if (m_context->restartPending())
            return true;
        const FrameIndex last = m_model->lastIndex();
        if (m_delay > 0 && last.isValid())
            m_context->evaluateExtension(last, FrameIndex(last.chunk, last.bar + int(m_delay) + 1));
        m_context->evaluate(-1);
    } catch (const QString &text) {
        if (error)
            *error = text;
        return false;
    }
    return true;
}

bool ScriptRunner::run(QString *error)
{
    // Each lazy resolution asks for one more rebuild; the context allows 256 of them.
    for (int round = 0; round < 300; ++round) {
        m_context->takeRestart();
        if (!rebuild(error))
            return false;
        if (!m_context->restartPending() && !evaluate(0, error, ScriptContext::RebuildPass))
            return false;
        if (!m_context->takeRestart())
            return true;
    }
    if (error)
        *error = QStringLiteral("the indicator kept asking for rebuilds");
    return false;
}

bool ScriptRunner::update(int fromBar, QString *error)
{
    int first = fromBar;
    if (m_outRunning > 0)
        first = std::max(0, fromBar - int(m_outRunning));
    if (!evaluate(first, error, ScriptContext::UpdatePass))
        return false;
    if (m_context->takeRestart())
        return run(error);
    return true;
}

QStringList ScriptRunner::plotNames() const
{
    QStringList names = m_plots.keys();
    names.sort();
    return names;
}

double ScriptRunner::cell(const QString &plot, int linear) const
{
    const auto it = m_plots.constFind(plot);
    if (it == m_plots.cend() || linear < 0 || size_t(linear) >= it->size()
        || !(*it)[size_t(linear)].valid)
        return std::numeric_limits<double>::quiet_NaN();
    return (*it)[size_t(linear)].value;
}

double ScriptRunner::value(const QString &plot, int bar) const
{
    const FrameIndex index = m_model->validBar(bar);
    return index.isValid() ? cell(plot, m_model->linearIndex(index))
                           : std::numeric_limits<double>::quiet_NaN();
}

double ScriptRunner::extensionValue(const QString &plot, int slot) const
{
    const FrameIndex last = m_model->lastIndex();
    if (!last.isValid() || slot < 1)
        return std::numeric_limits<double>::quiet_NaN();
    return cell(plot, m_model->linearIndex(last) + slot);
}

namespace {

// A name as a CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a
// line break.
QByteArray csvField(const QString &name)
{
    QByteArray text = name.toUtf8();
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    text.replace("\"", "\"\"");
    return '"' + text + '"';
}

} // namespace

QByteArray studyCsv(const SeriesDataModel &model, const QStringList &plots,
                    const QMap<QString, double> &levels, uint delay,
                    const std::function<double(int, const FrameIndex &, int)> &value)
{
    QByteArray text("time");
    for (const QString &name : plots)
        text.append(',').append(csvField(name));
    for (auto it = levels.cbegin(); it != levels.cend(); ++it)
        text.append(',').append(csvField(it.key()));
    text.append('\n');
    QByteArray levelText;
    for (double v : levels)
        levelText.append(',').append(QByteArray::number(v, 'g', QLocale::FloatingPointShortest));
    auto row = [&](const FrameIndex &index, int linear) {
        text.append(model.frameTime(index, false)
                        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                        .toLatin1());
        for (int i = 0; i < plots.size(); ++i) {
            text.append(',');
            const double v = value(i, index, linear);
            if (!std::isnan(v))
                text.append(QByteArray::number(v, 'g', QLocale::FloatingPointShortest));
        }
        text.append(levelText).append('\n');
    };
    const int count = model.validBarCount();
    for (int k = 0; k < count; ++k) {
        const FrameIndex index = model.validBar(k);
        row(index, model.linearIndex(index));
    }
    const FrameIndex last = model.lastIndex();
    if (last.isValid()) {
        for (uint s = 1; s <= delay; ++s) {
            const FrameIndex index(last.chunk, last.bar + int(s));
            if (index.bar >= model.chunkSize(last.chunk))
                break;
            row(index, model.linearIndex(last) + int(s));
        }
    }
    return text;
}

QByteArray ScriptRunner::csv() const
{
    const QStringList plots = plotNames();
    return studyCsv(*m_model, plots, m_levels, m_delay,
                    [&](int plot, const FrameIndex &, int linear) { return cell(plots.at(plot), linear); });
}
