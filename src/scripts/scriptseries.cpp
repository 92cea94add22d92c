#include "scriptseries.h"

#include "seriesdatamodel.h"
#include "talogging.h"
#include "timeframe.h"

#include <QEvent>

#include <atomic>
#include <cmath>

// --- indexing -------------------------------------------------------------------------------

ScriptSeries::ScriptSeries(QObject *context, SeriesDataModel *model, bool parented)
    : QObject(parented ? context : nullptr)
    , m_context(context)
    , m_cursor(qobject_cast<ScriptCursor *>(context))
    , m_model(model)
{
}

bool ScriptSeries::event(QEvent *event)
{
    if (m_indestructible && event->type() == QEvent::DeferredDelete)
        return true;
    return QObject::event(event);
}

ScriptCursor *ScriptSeries::cursor() const
{
    return m_context ? m_cursor : nullptr;
}

FrameIndex ScriptSeries::target(int index) const
{
    const ScriptCursor *c = cursor();
    const SeriesDataModel *m = m_model.data();
    if (!c || !m)
        return {};
    const FrameIndex position = c->position();
    if (!position.isValid()) {
        // A per-bar run: bars back from the current one.
        const int current = c->currentBar();
        if (current < 0)
            return {};
        const qint64 b = qint64(current) - index;
        if (b < 0 || b >= m->validBarCount())
            return {};
        return m->validBar(int(b));
    }
    // An extension run at a slot beyond the last bar.
    if (index < 0 || position.bar >= m->chunkSize(position.chunk))
        return {};
    const int p = m->linearIndex(position);
    const int last = m->linearIndex(m->lastIndex());
    if (p <= last)
        return {};
    const int k = p - last;
    if (index > k) {
        const qint64 b = qint64(m->validPosition(last)) - (index - k);
        if (b < 0 || b >= m->validBarCount())
            return {};
        return m->validBar(int(b));
    }
    return m->frameIndexOf(p - index);
}

// --- the bar fields -------------------------------------------------------------------------

QVariant DealValuesSeries::at(int index) const
{
    const FrameIndex where = target(index);
    if (!where.isValid() || !model())
        return {};
    const TimeFrame bar = model()->bar(where);
    if (!bar.valid)
        return {};
    return get(bar);
}

double CloseScriptObj::get(const TimeFrame &tf) const { return tf.close.toDouble(); }
double OpenScriptObj::get(const TimeFrame &tf) const { return tf.open.toDouble(); }
double HighScriptObj::get(const TimeFrame &tf) const { return tf.high.toDouble(); }
double LowScriptObj::get(const TimeFrame &tf) const { return tf.low.toDouble(); }
double ValueScriptObj::get(const TimeFrame &tf) const { return tf.value.toDouble(); }
double VolumeScriptObj::get(const TimeFrame &tf) const { return double(tf.volume); }
double OIScriptObj::get(const TimeFrame &tf) const { return double(tf.openInterest); }

// --- script-made series ---------------------------------------------------------------------

namespace {

SeriesDataModel *modelOf(QObject *context)
{
    auto *cursor = qobject_cast<ScriptCursor *>(context);
    return cursor ? cursor->barModel() : nullptr;
}

} // namespace

namespace {
std::atomic<int> liveCustomSeries{0};
} // namespace

int CustomScriptSeries::liveCount()
{
    return liveCustomSeries.load();
}

CustomScriptSeries::~CustomScriptSeries()
{
    --liveCustomSeries;
}

CustomScriptSeries::CustomScriptSeries(QObject *scriptContext)
    : CustomScriptSeries(scriptContext, modelOf(scriptContext), false)
{
    if (!qobject_cast<ScriptCursor *>(scriptContext))
        qCWarning(lcScripts) << "Series: the argument is not the evaluation context (ctx); the series stays empty";
}

CustomScriptSeries::CustomScriptSeries(QObject *context, SeriesDataModel *model, bool parented)
    : ScriptSeries(qobject_cast<ScriptCursor *>(context) ? context : nullptr,
                   qobject_cast<ScriptCursor *>(context) ? model : nullptr, parented)
{
    ++liveCustomSeries;
    fitStorage();
}

void CustomScriptSeries::fitStorage()
{
    const SeriesDataModel *m = model();
    if (!m)
        return;
    const int chunks = m->chunkCount();
    for (int c = 0; c < chunks; ++c) {
        const size_t size = size_t(std::max(0, m->chunkSize(c)));
        if (size_t(c) < m_storage.size())
            m_storage[size_t(c)].resize(size);
        else
            m_storage.emplace_back(size);
    }
}

QVariant CustomScriptSeries::at(int index) const
{
    const FrameIndex where = target(index);
    if (!where.isValid() || where.chunk < 0 || size_t(where.chunk) >= m_storage.size())
        return {};
    const std::vector<SeriesValue> &cells = m_storage[size_t(where.chunk)];
    if (where.bar < 0 || size_t(where.bar) >= cells.size() || !cells[size_t(where.bar)].valid)
        return {};
    return cells[size_t(where.bar)].value;
}

void CustomScriptSeries::setAt(int index, const QVariant &value)
{
    if (value.isNull() || !value.isValid() || index < 0)
        return;
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return;
    const FrameIndex where = target(index);
    if (!where.isValid())
        return;
    fitStorage();
    if (where.chunk < 0 || size_t(where.chunk) >= m_storage.size())
        return;
    std::vector<SeriesValue> &cells = m_storage[size_t(where.chunk)];
    if (where.bar < 0 || size_t(where.bar) >= cells.size())
        return;
    cells[size_t(where.bar)] = {v, true};
}

QString CustomScriptSeries::toString() const
{
    QString text = QStringLiteral("Series: %1 [ ").arg(quintptr(this));
    for (size_t i = 0; i < m_storage.size(); ++i) {
        for (size_t j = 0; j < m_storage[i].size(); ++j) {
            const SeriesValue &cell = m_storage[i][j];
            text += QStringLiteral("[%1][%2] : ").arg(i).arg(j)
                    + (cell.valid ? QString::number(cell.value, 'g', 6) : QStringLiteral("INV"))
                    + QStringLiteral(", ");
        }
    }
    return text + QStringLiteral(" ]");
}
