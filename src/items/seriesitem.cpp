#include "seriesitem.h"

#include "boarddirectory.h"
#include "calendardirectory.h"
#include "refusal.h"
#include "instrumentselectordialog.h"
#include "securitydirectory.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "settings.h"
#include "tsynchronyzer.h"

#include <QAction>
#include <QCursor>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float NotValid = std::numeric_limits<float>::quiet_NaN();
const SeriesItem::Bar EmptyBar{NotValid, NotValid, NotValid, NotValid};

// How far the neighbour searches of the hit tests look for a valid bar.
constexpr int SearchLimit = 100000;

} // namespace

SeriesItem::SeriesItem(const QString &instrumentKey, TSynchronyzer *synchronizer,
                       QGraphicsObject *parentChartItem, int barOffset)
    : ChartItem(parentChartItem)
    , m_synchronizer(synchronizer)
    , m_currentView(&m_candles)
    , m_buildStudyAction(new QAction(QStringLiteral("Построить индикатор"), this))
    , m_barOffset(barOffset != 0 ? 1 : 0)
{
    const SeriesKey key = SeriesKey::fromString(instrumentKey);
    m_model = new SeriesDataModel(key);
    connect(m_buildStudyAction, &QAction::triggered, this, &SeriesItem::buildStudy);
    connect(CalendarDirectory::i(), &DirectoryBase::dataChanged, m_model,
            &SeriesDataModel::rebuild);
    connect(SecurityDirectory::i(), &DirectoryBase::dataChanged, this,
            &SeriesItem::onSecuritiesDataChanged, Qt::QueuedConnection);
    connect(m_model, &SeriesDataModel::dataChanged, this, &SeriesItem::onDataChanged);
    // Another time frame lays the model out anew: the window's time index follows.
    if (synchronizer)
        connect(m_model, &SeriesDataModel::timeFrameScaleChanged, synchronizer,
                &TSynchronyzer::requestUpdate);
    SeriesDataService *s = SeriesDataManager::service();
    if (auto *object = dynamic_cast<QObject *>(s);
        object && object->metaObject()->indexOfSignal("fillingFinished(SeriesDataModel*)") >= 0)
        connect(object, SIGNAL(fillingFinished(SeriesDataModel*)), this,
                SLOT(modelFilled(SeriesDataModel*)));
    s->registerModel(m_model);
    setDisplayName(SecurityDirectory::i()->nameById(key.stock_id, key.board_id, key.sec_id));
    setFlag(ItemSendsGeometryChanges);
    setCursor(Qt::PointingHandCursor);
    if (m_synchronizer)
        m_synchronizer->addSeries(this);
}

SeriesItem::~SeriesItem()
{
    if (m_synchronizer)
        m_synchronizer->removeSeries(this);
    releaseModel();
}

void SeriesItem::releaseModel()
{
    if (!m_model)
        return;
    disconnect(m_model, nullptr, this, nullptr);
    // The model's destructor cancels its fillers and leaves the service.
    delete m_model;
    m_model = nullptr;
}

int SeriesItem::view() const
{
    return m_currentView->viewType();
}

void SeriesItem::setView(int view)
{
    SeriesView *next = view == 1 ? static_cast<SeriesView *>(&m_barsView)
                       : view == 2 ? static_cast<SeriesView *>(&m_line)
                                   : static_cast<SeriesView *>(&m_candles);
    if (next == m_currentView)
        return;
    m_currentView = next;
    Q_EMIT colorChanged();
    update();
}

// --- placement ----------------------------------------------------------------------------

int SeriesItem::unitsPerBar() const
{
    if (!m_model || !m_synchronizer)
        return 1;
    const TimeFrameValue tf = m_model->timeFrame();
    const TimeFrameValue base = m_synchronizer->baseFrame();
    if (tf.kind < base.kind || (tf.kind == Interval && base.kind == Interval && tf.value < base.value))
        return 1;
    if (tf.kind == Interval && base.kind == Interval)
        return base.value > 0 ? tf.value / base.value : 1;
    if (tf.kind == base.kind)
        return 1;
    if (tf.kind == Year && base.kind == Month)
        return -12;
    if (base.kind == Interval && base.value > 0) {
        if (tf.kind == Month)
            return -2592000 / base.value;
        if (tf.kind == Year)
            return -31536000 / base.value;
    }
    return 1;
}

double SeriesItem::xOf(const FrameIndex &index) const
{
    if (index.chunk < 0 || size_t(index.chunk) >= m_chunkFirst.size())
        return 0;
    const int u = unitsPerBarCached();
    if (u > 0)
        return double(m_barOffset + index.bar) * u + m_chunkFirst[size_t(index.chunk)];
    if (!m_synchronizer || !m_model)
        return 0;
    return m_synchronizer->indexOf(m_model->frameTime(index, m_barOffset == 1))
           - m_synchronizer->indexOf(m_model->frameTime({0, 0}, false));
}

FrameIndex SeriesItem::frameIndexAt(double x) const
{
    const int u = unitsPerBarCached();
    if (u > 0) {
        // Chunks are laid out by the starts of their bars' intervals: a bar standing at the
        // end of its interval is looked up one slot to the left.
        const double start = x - double(m_barOffset) * u;
        for (size_t c = 0; c < m_chunkFirst.size(); ++c) {
            if (m_chunkLast[c] < start)
                continue;
            if (m_chunkFirst[c] > start)
                return {};
            const int bar = int(std::ceil((start - m_chunkFirst[c]) / u));
            if (bar >= 0 && bar < m_chunkSize[c])
                return {int(c), bar};
            return {};
        }
        return {};
    }
    // Bars of no fixed length: the first bar drawn at or right of x, as above, found by its
    // drawn x (the synchroniser has no time for the end of the last period).
    FrameIndex found;
    for (size_t c = 0; c < m_chunkSize.size() && !found.isValid(); ++c) {
        int low = 0, high = m_chunkSize[c];
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (xOf({int(c), middle}) < x)
                low = middle + 1;
            else
                high = middle;
        }
        if (low < m_chunkSize[c])
            found = {int(c), low};
    }
    return found;
}

double SeriesItem::barHalfWidth() const
{
    const double p = pixelWidth();
    const double u = std::abs(unitsPerBarCached());
    const double s = u / p;
    double h;
    if (s <= 5)
        h = (u - p) / 2;
    else if (s <= 11)
        h = (u - 3 * p) / 2;
    else if (s <= 15)
        h = (u - 5 * p) / 2;
    else if (s <= 19)
        h = (u - 7 * p) / 2;
    else if (s < 57)
        h = std::round(u / 4 / p) * p;
    else
        h = 16 * p;
    // Below a pixel per bar the slot is narrower than the one-pixel gap: no negative bodies.
    return std::max(0.0, h);
}

double SeriesItem::barShift() const
{
    return double(m_barOffset) * std::abs(unitsPerBarCached());
}

FrameIndex SeriesItem::paintStart(double x, int barsBack) const
{
    const int u = std::max(1, std::abs(unitsPerBarCached()));
    const double shift = barShift();
    for (qsizetype i = 0; i + 1 < m_chunkSpans.size(); i += 2) {
        // The chunk whose last bar's slot reaches into the strip.
        if (m_chunkSpans.at(i + 1) + shift + u > x) {
            const int bar = int((x - shift - m_chunkSpans.at(i)) / u) - barsBack;
            return {int(i / 2), std::max(0, bar)};
        }
    }
    return lastIndex();
}

void SeriesItem::updateLocation()
{
    m_unitsPerBar = unitsPerBar();
    m_chunkSpans.clear();
    m_chunkFirst.clear();
    m_chunkLast.clear();
    m_chunkSize.clear();
    m_dayBoundaries.clear();
    if (m_model && m_synchronizer) {
        const int chunks = m_model->chunkCount();
        const bool shortFrame = m_model->timeFrame().kind == Interval
                                && m_model->timeFrame().value < 86400;
        int origin = 0;
        for (int c = 0; c < chunks; ++c) {
            const int size = m_model->chunkSize(c);
            const int first = m_synchronizer->indexOf(m_model->frameTime({c, 0}, false));
            const int last = m_synchronizer->indexOf(
                m_model->frameTime({c, std::max(0, size - 1)}, false));
            if (c == 0)
                origin = first;
            m_chunkFirst.push_back(first - origin);
            m_chunkSize.push_back(size);
            m_chunkLast.push_back(last - origin);
            // The pair at its sorted place.
            const auto it = std::upper_bound(m_chunkSpans.begin(), m_chunkSpans.end(),
                                             first - origin);
            const qsizetype pos = (it - m_chunkSpans.begin()) & ~qsizetype(1);
            m_chunkSpans.insert(pos, last - origin);
            m_chunkSpans.insert(pos, first - origin);
            if (shortFrame) {
                m_dayBoundaries.insert(first);
                m_dayBoundaries.insert(last);
            }
        }
    }
    m_sortedBoundaries.assign(m_dayBoundaries.cbegin(), m_dayBoundaries.cend());
    std::sort(m_sortedBoundaries.begin(), m_sortedBoundaries.end());
    m_spansGeneration = m_model ? m_model->layoutGeneration() : -1;
    updateGeometry();
    Q_EMIT seriesLocationChanged();
    // A layout that was refused (or no longer is) says so in the status line.
    const QString error = m_model ? m_model->layoutError() : QString();
    if (error != m_layoutError) {
        m_layoutError = error;
        Q_EMIT statusChanged();
    }
}

QList<int> SeriesItem::dayBoundariesBetween(int from, int to) const
{
    QList<int> list;
    for (auto it = std::lower_bound(m_sortedBoundaries.begin(), m_sortedBoundaries.end(), from);
         it != m_sortedBoundaries.end() && *it <= to; ++it)
        list.append(*it);
    return list;
}

datetime SeriesItem::firstBarTime() const
{
    if (!m_model || m_model->chunkCount() == 0)
        return {};
    return m_model->frameTime({0, 0}, false);
}

void SeriesItem::setIndexPosition(int index)
{
    setPos(index, pos().y());
}

double SeriesItem::unitsUpToLastBar() const
{
    return m_synchronizer->unitsTo(m_model->frameTime(m_model->lastIndex(), false));
}

double SeriesItem::lastBarShift() const
{
    if (!m_barOffset)
        return 0;
    const int u = unitsPerBarCached();
    if (u > 0)
        return u;
    const FrameIndex last = m_model->lastIndex();
    return m_synchronizer->unitsTo(m_model->frameTime(last, true))
           - m_synchronizer->unitsTo(m_model->frameTime(last, false));
}

void SeriesItem::updateGeometry()
{
    if (!m_model || !m_synchronizer) {
        prepareGeometryChange();
        return;
    }
    if (!m_model->lastIndex().isValid()) {
        prepareGeometryChange();
        m_width = 0;
        m_countedUnits = -1;
        m_synchronizer->updateSceneRectAndItemsPos();
        return;
    }
    const double count = unitsUpToLastBar();
    const double first = m_synchronizer->indexOf(m_model->frameTime({0, 0}, false));
    m_lastBarShift = lastBarShift();
    // The newest bar stands at the end of its interval when bars are placed there: the item
    // (and the scene) reach its body too.
    const double width = count + m_lastBarShift - first + barHalfWidth();
    // An unchanged width keeps the geometry: a trade in the last bar repaints only its strip.
    if (width != m_width) {
        prepareGeometryChange();
        m_width = width;
    }
    if (count == m_countedUnits)
        return;
    m_countedUnits = count;
    m_synchronizer->growRightEdge(pos().x() + boundingRect().right());
}

void SeriesItem::viewScaleChanged()
{
    // Bodies and the margins of the bounding rectangle are sized in pixels.
    prepareGeometryChange();
    if (m_model && m_model->lastIndex().isValid())
        m_width = m_countedUnits + m_lastBarShift
                  - (m_synchronizer ? m_synchronizer->indexOf(m_model->frameTime({0, 0}, false)) : 0)
                  + barHalfWidth();
    update();
}

void SeriesItem::setScreenRange(double left, double right)
{
    m_firstOnScreen = {};
    m_lastOnScreen = {};
    const double from = mapFromScene(left, 0).x();
    const double to = mapFromScene(right, 0).x();
    FrameIndex i = paintStart(from, 1);
    if (i.isValid() && !barAt(i).isValid())
        i = nextValid(i);
    for (; i.isValid() && !(m_lastIndex < i); i = nextValid(i)) {
        const double x = xOf(i);
        if (x > to)
            break;
        if (x < from)
            continue;
        if (!m_firstOnScreen.isValid())
            m_firstOnScreen = i;
        m_lastOnScreen = i;
    }
}

// --- mirrored bars ------------------------------------------------------------------------

SeriesItem::Bar SeriesItem::barAt(const FrameIndex &index) const
{
    if (index.chunk < 0 || index.bar < 0 || size_t(index.chunk) >= m_bars.size()
        || size_t(index.bar) >= m_bars[size_t(index.chunk)].size())
        return EmptyBar;
    return m_bars[size_t(index.chunk)][size_t(index.bar)];
}

FrameIndex SeriesItem::nextValid(FrameIndex index) const
{
    for (int steps = 0; steps < SearchLimit; ++steps) {
        if (index.chunk < 0 || size_t(index.chunk) >= m_bars.size())
            return {};
        if (++index.bar >= int(m_bars[size_t(index.chunk)].size())) {
            index = {index.chunk + 1, -1};
            continue;
        }
        if (m_bars[size_t(index.chunk)][size_t(index.bar)].isValid())
            return index;
    }
    return {};
}

FrameIndex SeriesItem::previousValid(FrameIndex index) const
{
    for (int steps = 0; steps < SearchLimit; ++steps) {
        if (--index.bar < 0) {
            if (index.chunk <= 0)
                return {};
            index.chunk -= 1;
            if (size_t(index.chunk) >= m_bars.size())
                return {};
            index.bar = int(m_bars[size_t(index.chunk)].size());
            continue;
        }
        if (size_t(index.chunk) < m_bars.size()
            && size_t(index.bar) < m_bars[size_t(index.chunk)].size()
            && m_bars[size_t(index.chunk)][size_t(index.bar)].isValid())
            return index;
    }
    return {};
}

bool SeriesItem::isModelReady() const
{
    return m_model && !m_bars.empty();
}

void SeriesItem::clearMirror()
{
    for (std::vector<Bar> &chunk : m_bars)
        std::fill(chunk.begin(), chunk.end(), EmptyBar);
    m_lastIndex = {};
}

bool SeriesItem::mirror(FrameIndex from, FrameIndex till, double *low, double *high)
{
    const int generation = m_model->layoutGeneration();
    if (generation != m_mirroredGeneration) {
        // Another layout: the indices of a queued change may name other bars; every bar is
        // read again.
        m_bars.assign(size_t(m_model->chunkCount()), {});
        for (size_t c = 0; c < m_bars.size(); ++c)
            m_bars[c].assign(size_t(m_model->chunkSize(int(c))), EmptyBar);
        m_mirroredGeneration = generation;
        from = {0, 0};
        till = m_bars.empty() ? FrameIndex()
                              : FrameIndex(int(m_bars.size()) - 1,
                                           int(m_bars.back().size()) - 1);
    }
    m_lastIndex = m_model->lastIndex();
    bool any = false;
    if (m_bars.empty() || !from.isValid() || !till.isValid())
        return false;
    // Clamp to the layout: a change announced before a re-layout may reach past its end.
    from.chunk = std::clamp(from.chunk, 0, int(m_bars.size()) - 1);
    till.chunk = std::clamp(till.chunk, 0, int(m_bars.size()) - 1);
    for (int c = from.chunk; c <= till.chunk; ++c) {
        std::vector<Bar> &chunk = m_bars[size_t(c)];
        const int first = c == from.chunk ? std::max(0, from.bar) : 0;
        const int end = c == till.chunk ? std::min(int(chunk.size()), till.bar + 1)
                                        : int(chunk.size());
        if (first >= end)
            continue;
        const std::vector<TimeFrame> read = m_model->bars(c, first, end - first);
        for (size_t k = 0; k < read.size(); ++k) {
            const TimeFrame &tf = read[k];
            Bar &bar = chunk[size_t(first) + k];
            if (!tf.valid) {
                bar = EmptyBar;
                continue;
            }
            const double l = tf.low.toDouble();
            const double h = tf.high.toDouble();
            bar = {float(tf.open.toDouble()), float(h), float(l), float(tf.close.toDouble())};
            if (!any) {
                *low = l;
                *high = h;
                any = true;
            } else {
                *low = std::min(*low, l);
                *high = std::max(*high, h);
            }
        }
    }
    return any;
}

void SeriesItem::afterRangeReset()
{
    resetRange();
    m_width = 0;
    m_countedUnits = -1;
    Q_EMIT rangeChanged();
    Q_EMIT seriesCleared();
}

void SeriesItem::onDataChanged(const FrameIndex &from, const FrameIndex &till)
{
    if (!m_model)
        return;
    const QRectF before = boundingRect();
    bool whole = !from.isValid() || !till.isValid();
    if (m_model->layoutGeneration() != m_spansGeneration) {
        updateLocation();
        whole = true;
    }
    if (from.isValid() && till.isValid()) {
        double low = 0, high = 0;
        if (mirror(from, till, &low, &high)) {
            const double oldLow = m_low, oldHigh = m_high;
            if (m_rangeEmpty) {
                m_low = low;
                m_high = high;
                m_rangeEmpty = false;
            } else {
                m_low = std::min(m_low, low);
                m_high = std::max(m_high, high);
            }
            if (m_low != oldLow || m_high != oldHigh) {
                prepareGeometryChange();
                whole = true;
                Q_EMIT rangeChanged();
            }
        }
    } else {
        double unused = 0;
        mirror({}, {}, &unused, &unused);
        clearMirror();
        afterRangeReset();
    }
    updateGeometry();
    const FrameIndex last = m_model->lastIndex();
    if (till.isValid() && till == last)
        Q_EMIT closePriceChanged();
    if (!m_chunkSpans.isEmpty() && from.isValid() && till.isValid()) {
        const int base = int(pos().x());
        Q_EMIT dataChangedInSceneRange(base + int(xOf(from)), base + int(xOf(till)));
        Q_EMIT seriesDataChanged(from, till);
    }
    if (whole || boundingRect() != before || m_chunkSpans.isEmpty()) {
        update();
        return;
    }
    // Only the changed bars, with a bar on each side for the line joining them and the
    // bodies' pixel margins.
    const double margin = std::abs(double(unitsPerBarCached())) + barHalfWidth() + 1;
    const double left = std::min(xOf(from), xOf(till)) - margin;
    const double right = std::max(xOf(from), xOf(till)) + margin;
    update(QRectF(left, before.top(), right - left, before.height()));
}

void SeriesItem::onSecuritiesDataChanged()
{
    if (!m_model)
        return;
    const SeriesKey key = m_model->seriesKey();
    if (BoardDirectory::i()->isProxyById(key.stock_id, key.board_id)
        && !SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull())
        setDisplayName(SecurityDirectory::i()->nameById(key.stock_id, key.board_id, key.sec_id));
    Q_EMIT precisionChanged();
}

void SeriesItem::modelFilled(SeriesDataModel *model)
{
    if (model == m_model)
        Q_EMIT statusChanged();
}

// --- geometry and painting ----------------------------------------------------------------

QRectF SeriesItem::boundingRect() const
{
    const double q = pixelHeight();
    const int halfPen = (lineWidth() + 1) / 2;
    const double margin = (halfPen >= 8 ? halfPen : 7) * q;
    return QRectF(QPointF(0, -m_high - margin), QPointF(m_width, -m_low + margin));
}

void SeriesItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    if (!isModelReady())
        return;
    QList<QPointF> markers;
    painter->save();
    m_currentView->drawSeries(painter, option, this, markers);
    painter->restore();
    paintSelectionMarkers(painter, markers, boundingRect());
}

bool SeriesItem::collidesWithPath(const QPainterPath &path, Qt::ItemSelectionMode) const
{
    if (path.isEmpty() || !isModelReady())
        return false;
    const QRectF area = path.boundingRect();
    if (!area.intersects(boundingRect()))
        return false;
    for (double x = area.left(); x <= area.right(); x += 1.0) {
        if (m_currentView->hitTest(QPointF(x, area.top()), this, nullptr))
            return true;
    }
    return false;
}

QVariant SeriesItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionHasChanged)
        Q_EMIT seriesLocationChanged();
    return ChartItem::itemChange(change, value);
}

// --- state --------------------------------------------------------------------------------

void SeriesItem::saveState(Settings &settings) const
{
    ChartItem::saveState(settings);
    m_model->saveState(settings);
    m_barsView.saveState(settings);
    m_candles.saveState(settings);
    m_line.saveState(settings);
    settings.setValue(QStringLiteral("view"), view());
    settings.setValue(QStringLiteral("type"), 0);
    const QVariant id = property("id");
    if (id.isValid())
        settings.setValue(QStringLiteral("id"), id);
}

void SeriesItem::restoreState(Settings &settings)
{
    // Every refusable key is checked before anything is applied.
    readLineWidth(settings, lineWidth());
    int viewType = 0;
    if (settings.contains(QStringLiteral("view"))) {
        bool ok = false;
        viewType = settings.value(QStringLiteral("view")).toInt(&ok);
        if (!ok || viewType < 0 || viewType >= 3)
            throw QStringLiteral("view");
    }
    ChartItem::restoreState(settings);
    const SeriesKey key = m_model->seriesKey();
    if (BoardDirectory::i()->isProxyById(key.stock_id, key.board_id)
        && !SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull())
        setDisplayName(SecurityDirectory::i()->nameById(key.stock_id, key.board_id, key.sec_id));
    m_model->restoreState(settings);
    m_barsView.restoreState(settings);
    m_candles.restoreState(settings);
    m_line.restoreState(settings);
    setView(viewType);
    if (settings.contains(QStringLiteral("id")))
        setProperty("id", settings.value(QStringLiteral("id")).toInt());
    updateLocation();
    fill();
}

void SeriesItem::fill()
{
    m_model->build();
}

void SeriesItem::fillContextMenu(QMenu *menu)
{
    ChartItem::fillContextMenu(menu);
    deleteAction()->setEnabled(m_synchronizer && m_synchronizer->series().size() >= 2);
    menu->addAction(m_buildStudyAction);
    const SeriesKey key = m_model->seriesKey();
    InstrumentSelectorDialog::addInstrumentSelectorToMenu(
        menu, SecurityDirectory::i()->textIdById(key.stock_id, key.board_id, key.sec_id), this,
        [this](const QString &textId) { changeInstrument(textId); });
}

void SeriesItem::changeInstrument(const QString &textId)
{
    const SeriesKey current = m_model->seriesKey();
    if (textId == SecurityDirectory::i()->textIdById(current.stock_id, current.board_id,
                                                     current.sec_id)) {
        return;
    }
    SeriesKey key;
    try {
        key = SeriesKey::fromString(textId);
    } catch (const QString &) {
        return;
    }
    SeriesDataService *s = SeriesDataManager::service();
    s->unregisterModel(m_model);
    try {
        m_model->setSeriesKey(key);
        m_model->clear();
    } catch (const QString &text) {
        // The series stays with the data manager under whatever key it kept; the user is told.
        s->registerModel(m_model);
        showRefusal(text);
        return;
    }
    s->registerModel(m_model);
    m_model->build();
    const QString name = SecurityDirectory::i()->nameById(key.stock_id, key.board_id, key.sec_id);
    setDisplayName(name);
    if (m_synchronizer)
        m_synchronizer->update();
    Q_EMIT precisionChanged();
}

void SeriesItem::showRefusal(const QString &text)
{
    QGraphicsScene *owner = scene();
    QWidget *window = owner && !owner->views().isEmpty() ? owner->views().constFirst()->window()
                                                          : nullptr;
    ::showRefusal(window, text);
}

void SeriesItem::changeTimeFrame(const TimeFrameValue &frame)
{
    if (!m_model->setTimeFrame(frame))
        return;
    clearMirror();
    afterRangeReset();
    m_model->build();
    if (m_synchronizer)
        m_synchronizer->update();
    updateLocation();
    Q_EMIT nameChanged();
    if (QObject *scale = parentChartItem();
        scale && scale->metaObject()->indexOfSlot("childRangeChanged()") >= 0)
        QMetaObject::invokeMethod(scale, "childRangeChanged");
}

void SeriesItem::applyProperties(Settings &settings)
{
    if (settings.contains(QStringLiteral("lineWidth"))) {
        const int width = settings.value(QStringLiteral("lineWidth")).toInt();
        if (width != lineWidth())
            setLineWidth(width);
    }
    if (settings.contains(QStringLiteral("displayName")))
        setDisplayName(settings.value(QStringLiteral("displayName")).toString());
    if (settings.contains(QStringLiteral("view"))) {
        bool ok = false;
        const int v = settings.value(QStringLiteral("view")).toInt(&ok);
        if (ok && v >= 0 && v < 3)
            setView(v);
    }
    if (settings.contains(QStringLiteral("toCurrDate")) && settings.contains(QStringLiteral("daysBack"))
        && m_model->applyRange(settings)) {
        clearMirror();
        afterRangeReset();
        if (m_synchronizer)
            m_synchronizer->update();
        updateLocation();
        m_model->build();
    }
    if (settings.contains(QStringLiteral("timeFrameValue"))) {
        const TimeFrameValue frame = TimeFrameValue::load(settings);
        if (!(frame == m_model->timeFrame()))
            changeTimeFrame(frame);
    }
    m_barsView.applyProperties(settings);
    m_candles.applyProperties(settings);
    m_line.applyProperties(settings);
    Q_EMIT colorChanged();
    update();
}

QString SeriesItem::deleteQuestion() const
{
    return QStringLiteral("Вы действительно хотите удалить график '%1'?\nУдаление графика "
                          "инструмента влечет за собой удаление всех его индикаторов.")
        .arg(displayName());
}

void SeriesItem::deleteItem()
{
    deleteLater();
}

// --- what the scale, the axis and the status line ask --------------------------------------

QPair<double, double> SeriesItem::priceRangeBetween(int xFrom, int xTo) const
{
    if (m_bars.empty() || xFrom == xTo || !m_lastIndex.isValid())
        return {0, 0};
    const double left = std::min(xFrom, xTo) - pos().x();
    const double right = std::max(xFrom, xTo) - pos().x();
    // The bar at the left end rounding left, at the right end rounding right.
    FrameIndex first = frameIndexAt(left);
    if (!first.isValid())
        first = m_currentView->firstVisibleIndex(left, this);
    FrameIndex last = frameIndexAt(right);
    if (!last.isValid() || m_lastIndex < last)
        last = m_lastIndex;
    if (!first.isValid() || m_lastIndex < first || last < first)
        return {0, 0};
    // Only valid bars count: a stretch without any says nothing (never a stale range).
    bool found = false;
    double low = m_high, high = m_low;
    for (FrameIndex i = barAt(first).isValid() ? first : nextValid(first);
         i.isValid() && !(last < i); i = nextValid(i)) {
        const Bar bar = barAt(i);
        low = found ? std::min(low, double(bar.low)) : double(bar.low);
        high = found ? std::max(high, double(bar.high)) : double(bar.high);
        found = true;
    }
    if (!found || low > high)
        return {0, 0};
    return {low, high};
}

QString SeriesItem::parametersText() const
{
    return m_model->timeFrame().toString();
}

int SeriesItem::decimals() const
{
    const SeriesKey key = m_model->seriesKey();
    return SecurityDirectory::i()->decimalsById(key.stock_id, key.board_id, key.sec_id);
}

QList<PriceMark> SeriesItem::priceMarks() const
{
    const FrameIndex last = m_model->lastIndex();
    if (!last.isValid())
        return {};
    const TimeFrame bar = m_model->bar(last);
    if (!bar.valid)
        return {};
    int direction = 0;
    if (m_currentView == &m_candles)
        direction = bar.open < bar.close ? 1 : bar.close < bar.open ? -1 : 0;
    return {{bar.close.toDouble(), m_currentView->markColor(direction),
             m_currentView->markFrameColor(direction)}};
}

QColor SeriesItem::color() const
{
    return m_currentView->color();
}

QString SeriesItem::infoTextAt(const QPointF &scenePoint) const
{
    const QPointF p = mapFromScene(scenePoint);
    FrameIndex index;
    if (p.x() < 0 || !m_currentView->hitTest(p, this, &index))
        return {};
    const TimeFrame bar = m_model->bar(index);
    if (!bar.valid)
        return {};
    return displayName() + QStringLiteral(":\n") + QStringLiteral("O=%1\n").arg(bar.open.toString())
           + QStringLiteral("H=%1\n").arg(bar.high.toString())
           + QStringLiteral("L=%1\n").arg(bar.low.toString())
           + QStringLiteral("C=%1\n").arg(bar.close.toString())
           + QStringLiteral("Vol=%1\n").arg(bar.volume, 0, 10)
           + QStringLiteral("Val=%1\n").arg(bar.value.toString());
}

datetime SeriesItem::barStartNear(double sceneX) const
{
    if (!isModelReady())
        return {};
    const TimeFrameValue frame = m_model->timeFrame();
    if (frame.kind == Interval && frame.value < 86400)
        return {};
    const double slot = std::abs(unitsPerBarCached());
    const FrameIndex index = SeriesView::barNear(QPointF(sceneX - pos().x(), 0), this, slot / 2,
                                                 pixelWidth());
    if (!index.isValid() || !barAt(index).isValid())
        return {};
    return m_model->frameTime(index, false);
}

QString SeriesItem::statusText() const
{
    if (!m_layoutError.isEmpty())
        return m_layoutError;
    return m_model && SeriesDataManager::service()->isFilling(m_model)
               ? QStringLiteral("Загрузка данных, ожидайте...")
               : QString();
}
