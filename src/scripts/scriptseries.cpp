#include "scriptseries.h"

#include "seriesdatamodel.h"
#include "talogging.h"
#include "timeframe.h"

#include <QEvent>

#include <algorithm>
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
    if (m_shape.size() < size_t(std::max(0, chunks)))
        m_shape.resize(size_t(chunks), 0);
    for (int c = 0; c < chunks; ++c) {
        const int size = std::max(0, m->chunkSize(c));
        if (size >= m_shape[size_t(c)]) {
            m_shape[size_t(c)] = size;
            continue;
        }
        // The chunk shrank: its cells beyond the new end go.
        m_shape[size_t(c)] = size;
        if (m_isDense) {
            if (size_t(c) < m_dense.size() && m_dense[size_t(c)].size() > size_t(size))
                m_dense[size_t(c)].resize(size_t(size));
        } else {
            m_sparse.erase(std::remove_if(m_sparse.begin(), m_sparse.end(),
                                          [c, size](const Cell &x) {
                                              return x.chunk == c && x.bar >= size;
                                          }),
                           m_sparse.end());
        }
    }
}

void CustomScriptSeries::clear()
{
    m_shape.clear();
    m_sparse.clear();
    m_dense.clear();
    m_isDense = false;
}

size_t CustomScriptSeries::storedCells() const
{
    if (!m_isDense)
        return m_sparse.size();
    size_t n = 0;
    for (const std::vector<SeriesValue> &chunk : m_dense)
        n += chunk.size();
    return n;
}

std::optional<double> CustomScriptSeries::cell(int chunk, int bar) const
{
    if (chunk < 0 || bar < 0 || size_t(chunk) >= m_shape.size() || bar >= m_shape[size_t(chunk)])
        return std::nullopt;
    if (m_isDense) {
        if (size_t(chunk) >= m_dense.size() || size_t(bar) >= m_dense[size_t(chunk)].size())
            return std::nullopt;
        const SeriesValue &v = m_dense[size_t(chunk)][size_t(bar)];
        return v.valid ? std::optional<double>(v.value) : std::nullopt;
    }
    const auto it = std::lower_bound(m_sparse.begin(), m_sparse.end(), std::make_pair(chunk, bar),
                                     [](const Cell &x, const std::pair<int, int> &key) {
                                         return std::make_pair(x.chunk, x.bar) < key;
                                     });
    if (it == m_sparse.end() || it->chunk != chunk || it->bar != bar)
        return std::nullopt;
    return it->value;
}

QVariant CustomScriptSeries::at(int index) const
{
    const FrameIndex where = target(index);
    if (!where.isValid())
        return {};
    const std::optional<double> v = cell(where.chunk, where.bar);
    return v ? QVariant(*v) : QVariant();
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
    const int c = where.chunk;
    const int b = where.bar;
    if (c < 0 || b < 0 || size_t(c) >= m_shape.size() || b >= m_shape[size_t(c)])
        return;
    if (!m_isDense) {
        const auto it = std::lower_bound(m_sparse.begin(), m_sparse.end(), std::make_pair(c, b),
                                         [](const Cell &x, const std::pair<int, int> &key) {
                                             return std::make_pair(x.chunk, x.bar) < key;
                                         });
        if (it != m_sparse.end() && it->chunk == c && it->bar == b) {
            it->value = v;
            return;
        }
        if (m_sparse.size() < SparseCells) {
            m_sparse.insert(it, Cell{c, b, v});
            return;
        }
        // Written on many bars: one array per chunk from now on.
        m_isDense = true;
        std::vector<Cell> cells;
        cells.swap(m_sparse);
        for (const Cell &x : cells) {
            if (m_dense.size() <= size_t(x.chunk))
                m_dense.resize(size_t(x.chunk) + 1);
            std::vector<SeriesValue> &chunk = m_dense[size_t(x.chunk)];
            if (chunk.size() < size_t(m_shape[size_t(x.chunk)]))
                chunk.resize(size_t(m_shape[size_t(x.chunk)]));
            chunk[size_t(x.bar)] = {x.value, true};
        }
    }
    if (m_dense.size() <= size_t(c))
        m_dense.resize(size_t(c) + 1);
    std::vector<SeriesValue> &chunk = m_dense[size_t(c)];
    if (chunk.size() < size_t(m_shape[size_t(c)]))
        chunk.resize(size_t(m_shape[size_t(c)]));
    chunk[size_t(b)] = {v, true};
}

QString CustomScriptSeries::toString() const
{
    QString text = QStringLiteral("Series: %1 [ ").arg(quintptr(this));
    for (size_t i = 0; i < m_shape.size(); ++i) {
        for (int j = 0; j < m_shape[i]; ++j) {
            const std::optional<double> v = cell(int(i), j);
            text += QStringLiteral("[%1][%2] : ").arg(i).arg(j)
                    + (v ? QString::number(*v, 'g', 6) : QStringLiteral("INV"))
                    + QStringLiteral(", ");
        }
    }
    return text + QStringLiteral(" ]");
}
