#include "subchartwidget.h"

#include "chartcolors.h"
#include "confirmationdialog.h"
#include "drawingitem.h"
#include "graphicsscene.h"
#include "graphicsview.h"
#include "mapsettings.h"
#include "multivertaxiswidget.h"
#include "parentscaleitem.h"
#include "seriesitem.h"
#include "settings.h"
#include "statusline.h"
#include "subchartowner.h"
#include "talogging.h"
#include "tsynchronyzer.h"
#include "vertreferenceaxiswidget.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

namespace {

SubChartWidget::StudyMaker &studyMaker()
{
    static SubChartWidget::StudyMaker maker;
    return maker;
}

SubChartWidget::DrawingMaker &drawingMaker()
{
    static SubChartWidget::DrawingMaker maker;
    return maker;
}

// An int in [low, high] under the key, or nothing.
bool readInt(Settings &settings, const QString &key, const QVariant &fallback, int low, int high,
             int *value)
{
    bool ok = false;
    *value = settings.value(key, fallback).toInt(&ok);
    return ok && *value >= low && *value <= high;
}

} // namespace

void SubChartWidget::setStudyMaker(StudyMaker maker)
{
    studyMaker() = std::move(maker);
}

void SubChartWidget::setDrawingMaker(DrawingMaker maker)
{
    drawingMaker() = std::move(maker);
}

QString SubChartWidget::badValue(const QString &key)
{
    return QStringLiteral("Некорректное значение в настройках графика: %1").arg(key);
}

SubChartWidget::SubChartWidget(SubChartOwner *owner, QWidget *splitter)
    : QWidget(splitter)
    , m_owner(owner)
    , m_scene(nullptr)
    , m_view(nullptr)
    , m_viewport(nullptr)
    , m_leftAxis(nullptr)
    , m_rightAxis(nullptr)
    , m_deleteAction(new QAction(QStringLiteral("Удалить"), this))
{
    if (QWidget *area = owner->ownerWidget())
        installEventFilter(area);
    TSynchronyzer *synchronizer = owner->synchronizer();

    m_scene = new GraphicsScene(synchronizer, this);
    m_scene->setSceneRect(0, 0, synchronizer ? synchronizer->sceneWidth() : 0, 0);
    if (synchronizer)
        synchronizer->addScene(m_scene);

    m_view = new GraphicsView(owner, this, m_scene);
    m_view->setTransform(QTransform::fromScale(owner->scaleX(), 1.0));
    connect(m_view, &GraphicsView::increaseSelectedArea, this,
            [this](const QRect &area) { m_owner->increaseArea(area); });
    connect(m_view, &GraphicsView::drawingAdded, this, [this] { m_owner->onDrawingAdded(); });
    connect(m_view, &GraphicsView::statusLinesHeightChanged, this, [this](int height) {
        for (ParentScaleItem *scale : scales())
            scale->setTopMargin(height);
    });
    m_viewport = m_view->viewport();

    m_leftAxis = new LeftMultiVertAxisWidget(this, this);
    m_rightAxis = new RightMultiVertAxisWidget(this, this);
    m_leftAxis->setPartner(m_rightAxis);
    m_rightAxis->setPartner(m_leftAxis);
    for (MultiVertAxisWidget *row : {static_cast<MultiVertAxisWidget *>(m_leftAxis),
                                     static_cast<MultiVertAxisWidget *>(m_rightAxis)})
        connect(row, &MultiVertAxisWidget::vertGridUpdated, m_viewport,
                qOverload<>(&QWidget::update));
    m_scene->setAxisRows(m_rightAxis, m_leftAxis);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addItem(owner->axisLayoutItem(m_leftAxis, VertReferenceAxisWidget::Left), 0, 0);
    layout->addWidget(m_view, 0, 1);
    layout->addItem(owner->axisLayoutItem(m_rightAxis, VertReferenceAxisWidget::Right), 0, 2);
    owner->manageLayout(layout);

    m_viewport->installEventFilter(this);
    updateViewScroll();

    connect(m_deleteAction, &QAction::triggered, this, &SubChartWidget::onDeleteAction);
    connect(this, &SubChartWidget::currItemChanged, this, [this] { m_owner->reportCurrItemChanged(); });
    applyColors();
}

SubChartWidget::~SubChartWidget()
{
    // The items go with the scene while this is still a sub-chart, and they no longer report
    // to it; the axes go first, so that none outlives the scale it listens to.
    for (QGraphicsItem *item : m_scene->items()) {
        if (QGraphicsObject *object = item->toGraphicsObject())
            object->disconnect(this);
    }
    delete m_leftAxis;
    delete m_rightAxis;
    m_leftAxis = nullptr;
    m_rightAxis = nullptr;
    delete m_scene;
    m_scene = nullptr;
}

SubChartWidget *SubChartWidget::of(const QGraphicsItem *item)
{
    if (!item || !item->scene())
        return nullptr;
    return qobject_cast<SubChartWidget *>(item->scene()->parent());
}

// --- adding items ---------------------------------------------------------------------------

void SubChartWidget::setUpItem(GraphicsItem *item, Settings *settings)
{
    if (settings) {
        try {
            item->restoreState(*settings);
        } catch (const QString &key) {
            throw badValue(key);
        }
    }
    item->setItemColor(m_owner->color(QStringLiteral("itemSelectionColor")));
    connect(item, &GraphicsItem::beforeSelection, this, [this] { m_owner->clearItemsSelection(); });
    connect(item, &GraphicsItem::selectionChanged, this, [this] { m_owner->reportCurrItemChanged(); });
    connect(item, &QObject::destroyed, this, [this] { m_owner->reportCurrItemChanged(); });
    connect(item, &QObject::destroyed, this, &SubChartWidget::itemDestroyed);
    connect(item, &GraphicsItem::visibilityChanged, this, &SubChartWidget::itemVisibilityChanged);
    if (auto *chart = qobject_cast<ChartItem *>(item)) {
        QPointer<ChartItem> guarded(chart);
        connect(chart, &ChartItem::askChangeProperties, this,
                [this, guarded] {
                    if (guarded)
                        m_owner->changeItemProperties(guarded);
                },
                Qt::QueuedConnection);
        connect(chart, &ChartItem::bringToFront, this, &SubChartWidget::bringItemToFront);
        if (auto *series = qobject_cast<SeriesItem *>(chart))
            connect(series, &SeriesItem::buildStudy, this,
                    [this, series] { m_owner->addStudyForSeries(series); });
        auto *label = new StatusLineLabel(chart, m_view);
        label->attachTo(m_view);
        connect(label, &StatusLineLabel::dragRequested, m_view, &GraphicsView::startDrag);
        m_view->invalidateStatusLinesLayout();
    }
    m_owner->reportItemAdded();
}

SeriesItem *SubChartWidget::addSeries(const QString &key, Settings &settings, ParentScaleItem *scale)
{
    TSynchronyzer *synchronizer = m_owner->synchronizer();
    auto *item = new SeriesItem(key, synchronizer, scale, m_owner->barOnEnd() ? 1 : 0);
    try {
        setUpItem(item, &settings);
    } catch (const QString &) {
        delete item;
        throw;
    }
    if (synchronizer) {
        synchronizer->addSeries(item);
        connect(item, &QObject::destroyed, synchronizer, &TSynchronyzer::removeItem);
    }
    connect(item, &ChartItem::nameChanged, this, [this] { m_owner->reportNameChanged(); });
    return item;
}

SeriesItem *SubChartWidget::addSeries(const QString &key)
{
    MapSettings defaults = m_owner->seriesDefaults();
    ParentScaleItem *scale = newScale(defaults);
    try {
        return addSeries(key, defaults, scale);
    } catch (const QString &) {
        m_scales.removeAll(scale);
        delete scale;
        throw;
    }
}

ChartItem *SubChartWidget::addStudy(Settings &settings, SeriesItem *series, ParentScaleItem *scale)
{
    if (!series)
        throw badValue(QStringLiteral("seriesItem"));
    if (!studyMaker())
        throw QStringLiteral("Индикаторы в этой сборке недоступны");
    ParentScaleItem *created = nullptr;
    if (!scale)
        scale = created = newScale(settings);
    ChartItem *item = nullptr;
    try {
        item = studyMaker()(series, scale);
        if (!item)
            throw badValue(QStringLiteral("type"));
        setUpItem(item, &settings);
    } catch (const QString &) {
        delete item;
        if (created) {
            m_scales.removeAll(created);
            delete created;
        }
        throw;
    }
    return item;
}

DrawingItem *SubChartWidget::createDrawing(int kind, ParentScaleItem *scale, const QPointF &scenePoint)
{
    if (!drawingMaker() || !scale || kind < 0 || kind >= DrawingItem::KindCount)
        return nullptr;
    return drawingMaker()(kind, scale, m_owner->synchronizer(), scenePoint,
                          m_owner->drawingColor(), m_owner->drawingWidth());
}

DrawingItem *SubChartWidget::addDrawing(Settings &settings, ParentScaleItem *scale)
{
    MapSettings map(settings);
    int kind = 0;
    if (!readInt(map, QStringLiteral("drawing"), 5, 0, DrawingItem::KindCount - 1, &kind))
        throw QStringLiteral("drawing");
    TSynchronyzer *synchronizer = m_owner->synchronizer();
    if (kind != DrawingItem::HorLine) {
        const QDateTime time1 = map.value(QStringLiteral("time1")).toDateTime();
        const QDateTime time2 = map.value(QStringLiteral("time2")).toDateTime();
        if (!time1.isValid() || !time2.isValid())
            return nullptr;
        // Without a shown period (its series holds no slots yet) the drawing waits for one.
        const QList<qint64> spans = synchronizer ? synchronizer->spans() : QList<qint64>();
        const qint64 t1 = time1.toMSecsSinceEpoch();
        const qint64 t2 = time2.toMSecsSinceEpoch();
        if (!spans.isEmpty()
            && !((t1 >= spans.front() || t2 >= spans.front())
                 && (t1 < spans.back() || t2 < spans.back())))
            return nullptr;
        // The stored moments stay as they are: a drawing places a moment outside the shown
        // period at its nearest shown moment, so that a longer history later finds it intact.
    }
    if (!drawingMaker() || !scale)
        return nullptr;
    DrawingItem *item = drawingMaker()(kind, scale, synchronizer, QPointF(), QColor(), -1);
    if (!item)
        return nullptr;
    try {
        setUpItem(item, &map);
    } catch (const QString &) {
        delete item;
        throw;
    }
    item->setCursor(Qt::PointingHandCursor);
    return item;
}

ParentScaleItem *SubChartWidget::scaleAt(const QPointF &scenePoint) const
{
    for (QGraphicsItem *item : m_scene->items(scenePoint)) {
        auto *chart = qobject_cast<ChartItem *>(item->toGraphicsObject());
        if (!chart)
            continue;
        if (auto *scale = qobject_cast<ParentScaleItem *>(chart->parentChartItem()))
            return scale;
    }
    const QList<ParentScaleItem *> list = scales();
    return list.isEmpty() ? nullptr : list.front();
}

// --- scales and axes ------------------------------------------------------------------------

ParentScaleItem *SubChartWidget::newScale(Settings &settings)
{
    const QPair<int, int> screen = m_owner->visibleIndexRange();
    settings.setValue(QStringLiteral("leftScreen"), screen.first);
    settings.setValue(QStringLiteral("rightScreen"), screen.second);
    int axisPos = 0;
    if (!readInt(settings, QStringLiteral("axisPos"), 2, 0, 3, &axisPos))
        throw badValue(QStringLiteral("axisPos"));
    auto *scale = new ParentScaleItem;
    m_scene->addItem(scale);
    try {
        scale->restoreState(settings);
    } catch (const QString &key) {
        delete scale;
        throw badValue(key);
    }
    scale->setGridColor(m_owner->color(QStringLiteral("gridColor")));
    scale->setTopMargin(m_view->statusLinesHeight());
    m_scales.append(scale);
    if (axisPos == 1 || axisPos == 3)
        m_leftAxis->attachScale(scale);
    if (axisPos == 2 || axisPos == 3)
        m_rightAxis->attachScale(scale);
    return scale;
}

int SubChartWidget::axisPosition(const ParentScaleItem *scale) const
{
    return (m_leftAxis->hasAxisFor(scale) ? 1 : 0) | (m_rightAxis->hasAxisFor(scale) ? 2 : 0);
}

void SubChartWidget::changeAxisPosition(Settings &settings, ParentScaleItem *scale)
{
    int wanted = 0;
    if (!scale || !readInt(settings, QStringLiteral("axisPos"), 2, 0, 3, &wanted))
        return;
    const int current = axisPosition(scale);
    const auto left = [](int pos) { return pos == 1 || pos == 3; };
    const auto right = [](int pos) { return pos == 2 || pos == 3; };
    if (left(current) && !left(wanted))
        m_leftAxis->detachScale(scale);
    if (right(current) && !right(wanted))
        m_rightAxis->detachScale(scale);
    if (!left(current) && left(wanted))
        m_leftAxis->attachScale(scale);
    if (!right(current) && right(wanted))
        m_rightAxis->attachScale(scale);
}

// --- lists ----------------------------------------------------------------------------------

QList<ParentScaleItem *> SubChartWidget::scales() const
{
    QList<ParentScaleItem *> list;
    for (const QPointer<ParentScaleItem> &scale : m_scales) {
        if (scale && scale->scene() == m_scene)
            list.append(scale.data());
    }
    return list;
}

QList<ChartItem *> SubChartWidget::chartItems() const
{
    QList<ChartItem *> list;
    for (ParentScaleItem *scale : scales())
        list += scale->chartItems();
    return list;
}

QList<SeriesItem *> SubChartWidget::seriesItems() const
{
    QList<SeriesItem *> list;
    for (ChartItem *item : chartItems()) {
        if (auto *series = qobject_cast<SeriesItem *>(item))
            list.append(series);
    }
    return list;
}

QList<ChartItem *> SubChartWidget::studies() const
{
    QList<ChartItem *> list;
    for (ChartItem *item : chartItems()) {
        if (!qobject_cast<SeriesItem *>(item))
            list.append(item);
    }
    return list;
}

QList<DrawingItem *> SubChartWidget::drawings() const
{
    QList<DrawingItem *> list;
    for (ParentScaleItem *scale : scales()) {
        for (QGraphicsItem *child : scale->childItems()) {
            if (child->type() == DrawingItem::Type)
                list.append(static_cast<DrawingItem *>(child));
        }
    }
    return list;
}

bool SubChartWidget::hasVisibleItems() const
{
    for (ChartItem *item : chartItems()) {
        if (item->isVisible())
            return true;
    }
    return false;
}

// --- colours and menu -----------------------------------------------------------------------

void SubChartWidget::applyColors()
{
    m_scene->setBackgroundColor(m_owner->color(QStringLiteral("subChartColor")));
    const QColor grid = m_owner->color(QStringLiteral("gridColor"));
    m_scene->setGridColor(grid);
    for (ParentScaleItem *scale : scales())
        scale->setGridColor(grid);
    const QColor text = m_owner->color(QStringLiteral("vertAxisTextColor"));
    const QColor line = m_owner->color(QStringLiteral("vertAxisLineColor"));
    const QColor background = m_owner->color(QStringLiteral("vertAxisColor"));
    m_leftAxis->setColors(text, line, background);
    m_rightAxis->setColors(text, line, background);
    const QColor selection = m_owner->color(QStringLiteral("itemSelectionColor"));
    for (ChartItem *item : chartItems())
        item->setItemColor(selection);
    m_scene->update();
}

void SubChartWidget::fillContextMenu(const QPoint &ownerPoint, QMenu *menu)
{
    QWidget *area = m_owner->ownerWidget();
    const QPoint inSubChart = area ? mapFrom(area, ownerPoint) : ownerPoint;
    const QPoint inView = m_view->mapFrom(this, inSubChart);
    const QPoint inViewport = m_viewport->mapFrom(m_view, inView);
    if (QGraphicsItem *item = m_view->itemAt(inViewport)) {
        if (auto *graphics = qobject_cast<GraphicsItem *>(item->toGraphicsObject())) {
            graphics->fillContextMenu(menu);
            return;
        }
    }
    // Over an item's status label (or one of the lines it is made of): the item's menu.
    for (QWidget *w = m_view->childAt(inView); w && w != m_view; w = w->parentWidget()) {
        if (auto *label = qobject_cast<StatusLineLabel *>(w)) {
            if (ChartItem *item = label->item()) {
                item->fillContextMenu(menu);
                return;
            }
            break;
        }
    }
    // An area that holds every series of the window cannot go.
    const TSynchronyzer *synchronizer = m_owner->synchronizer();
    const int all = synchronizer ? int(synchronizer->series().size()) : 0;
    m_deleteAction->setEnabled(int(seriesItems().size()) < all);
    menu->addAction(m_deleteAction);
}

// --- item notifications ---------------------------------------------------------------------

void SubChartWidget::itemVisibilityChanged()
{
    if (!isHidden())
        m_shownHeight = height();
    setVisible(hasVisibleItems());
}

void SubChartWidget::itemDestroyed()
{
    // The item is already out of the scene when it says it is destroyed.
    if (chartItems().isEmpty()) {
        deleteLater();
        return;
    }
    if (hasVisibleItems())
        m_viewport->update();
    else
        hide();
}

void SubChartWidget::bringItemToFront()
{
    auto *front = qobject_cast<ChartItem *>(sender());
    if (!front)
        return;
    for (ParentScaleItem *scale : scales()) {
        scale->setZValue(0);
        for (ChartItem *item : scale->chartItems())
            item->setZValue(0);
    }
    front->setZValue(1);
    auto *scale = qobject_cast<ParentScaleItem *>(front->parentChartItem());
    if (scale) {
        scale->setZValue(1);
        for (MultiVertAxisWidget *row : {static_cast<MultiVertAxisWidget *>(m_leftAxis),
                                         static_cast<MultiVertAxisWidget *>(m_rightAxis)}) {
            if (VertReferenceAxisWidget *axis = row->axisFor(scale))
                axis->update();
        }
    }
}

void SubChartWidget::onDeleteAction()
{
    ConfirmationDialog dialog(m_owner->ownerWidget());
    dialog.setWindowTitle(QStringLiteral("Внимание"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setWindowOpacity(1.0);
    dialog.setText(QStringLiteral("Вы действительно хотите удалить область?\nУдаление области "
                                  "приведет к удалению всех расположенных в ней объектов."));
    dialog.setSettingsKey(QStringLiteral("TechAnalysis/Confirmations/askDelSubChart"));
    // The question runs its own event loop, in which this area may already have gone.
    QPointer<SubChartWidget> self(this);
    if (dialog.exec() == 0 || !self)
        return;
    deleteLater();
    SubChartOwner *owner = m_owner;
    QPointer<QWidget> area = owner->ownerWidget();
    QTimer::singleShot(0, area, [owner, area] {
        if (area)
            owner->reportCurrItemChanged();
    });
}

// --- moving items between areas -------------------------------------------------------------

void SubChartWidget::adoptItem(ChartItem *item, int axisPos, ParentScaleItem *onto)
{
    if (!item)
        return;
    auto *oldScale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
    SubChartWidget *from = of(item);
    ParentScaleItem *scale = onto && scales().contains(onto) ? onto : nullptr;
    if (!scale) {
        MapSettings state;
        if (oldScale)
            oldScale->saveState(state);
        state.setValue(QStringLiteral("axisPos"), qBound(0, axisPos, 3));
        scale = newScale(state);
    }
    if (from && from != this) {
        disconnect(item, nullptr, from, nullptr);
        for (StatusLineLabel *label : from->m_view->findChildren<StatusLineLabel *>()) {
            if (label->item() == item)
                label->deleteLater();
        }
    }
    // Out of the old scene first: a change of parent across scenes is not safe in one step.
    if (item->scene() && item->scene() != m_scene)
        item->scene()->removeItem(item);
    item->setParentChartItem(scale);
    if (from != this) {
        setUpItem(item);
        // Its name went to the window through the old area, whose connections are gone.
        if (auto *series = qobject_cast<SeriesItem *>(item))
            connect(series, &ChartItem::nameChanged, this, [this] { m_owner->reportNameChanged(); });
    }
    show();
    m_viewport->update();
}

void SubChartWidget::afterItemMovedOut()
{
    if (chartItems().isEmpty()) {
        deleteLater();
        return;
    }
    if (!hasVisibleItems())
        hide();
    else
        m_viewport->update();
}

// --- height and scrolling -------------------------------------------------------------------

void SubChartWidget::updateViewScroll()
{
    QScrollBar *bar = m_owner->timeScrollBar();
    if (!bar)
        return;
    QScrollBar *own = m_view->horizontalScrollBar();
    own->setRange(bar->minimum(), bar->maximum());
    own->setSingleStep(bar->singleStep());
    own->setPageStep(bar->pageStep());
    own->setValue(bar->value());
}

void SubChartWidget::updateSceneHeight()
{
    const int height = qMax(m_viewport->height(), m_viewport->minimumHeight());
    const QRectF rect = m_scene->sceneRect();
    if (height == rect.height())
        return;
    m_scene->setSceneRect(rect.x(), rect.y(), rect.width(), height);
    // A fixed scale stretches from the last height it had; through a height of 0 it keeps its
    // factor instead of collapsing to 0 or growing without bound.
    const double ratio = m_lastHeight > 0 && height > 0 ? height / m_lastHeight : 0;
    for (ParentScaleItem *scale : scales())
        scale->heightChanged(ratio);
    if (height > 0)
        m_lastHeight = height;
    updateViewScroll();
}

bool SubChartWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport && event->type() == QEvent::Resize)
        updateSceneHeight();
    return QWidget::eventFilter(watched, event);
}

// --- saved state ----------------------------------------------------------------------------

void SubChartWidget::saveState(Settings &settings)
{
    const QList<ParentScaleItem *> list = scales();
    for (int i = 0; i < list.size(); ++i) {
        ParentScaleItem *scale = list[i];
        scale->setProperty("id", i);
        SettingsGroup group(settings, QStringLiteral("parentScale_%1").arg(i));
        scale->saveState(settings);
        qint64 count = 0;
        for (QGraphicsItem *child : scale->childItems()) {
            auto *item = qobject_cast<GraphicsItem *>(child->toGraphicsObject());
            if (!item)
                continue;
            SettingsGroup itemGroup(settings, QStringLiteral("item_%1").arg(count));
            item->saveState(settings);
            ++count;
        }
        settings.setValue(QStringLiteral("itemsCount"), count);
    }
    settings.setValue(QStringLiteral("parentScaleCount"), int(list.size()));
    m_leftAxis->saveState(settings);
    m_rightAxis->saveState(settings);
}

ParentScaleItem *SubChartWidget::restoredScale(int index) const
{
    if (index < 0 || index >= m_restored.size())
        return nullptr;
    ParentScaleItem *scale = m_restored[index].data();
    return scale && scale->scene() == m_scene ? scale : nullptr;
}

void SubChartWidget::dropItem(GraphicsItem *item, const QString &error)
{
    delete item;
    m_restoreErrors.append(error);
    qCWarning(lcChart) << "A chart item was dropped while restoring a window:" << error;
}

namespace {

// The count under the key, which must be at least 1 and no more than the groups of the given
// prefix that are present: a damaged count cannot make the restore walk groups that are not
// there.
qint64 readCount(Settings &settings, const QString &key, const QString &prefix)
{
    bool ok = false;
    const qint64 count = settings.value(key, 0).toLongLong(&ok);
    if (!ok || count < 1)
        throw key;
    const QStringList groups = settings.childGroups();
    if (count > groups.size())
        throw key;
    for (qint64 i = 0; i < count; ++i) {
        if (!groups.contains(prefix.arg(i)))
            throw key;
    }
    return count;
}

// The "type" of an item group: 0 series, 1 indicator, 2 drawing.
int readType(Settings &settings)
{
    int type = 0;
    if (!readInt(settings, QStringLiteral("type"), QVariant(), 0, 2, &type))
        throw QStringLiteral("type");
    return type;
}

} // namespace

void SubChartWidget::restoreScales(Settings &settings, bool updateTimeIndex)
{
    m_restoreErrors.clear();
    m_restored.clear();
    const qint64 scaleCount = readCount(settings, QStringLiteral("parentScaleCount"),
                                        QStringLiteral("parentScale_%1"));
    QList<ParentScaleItem *> created;
    try {
        for (qint64 i = 0; i < scaleCount; ++i) {
            SettingsGroup group(settings, QStringLiteral("parentScale_%1").arg(i));
            const qint64 itemCount = readCount(settings, QStringLiteral("itemsCount"),
                                               QStringLiteral("item_%1"));
            auto *scale = new ParentScaleItem;
            m_scene->addItem(scale);
            created.append(scale);
            scale->setProperty("id", int(i));
            try {
                scale->restoreState(settings);
            } catch (const QString &key) {
                throw badValue(key);
            }
            scale->setGridColor(m_owner->color(QStringLiteral("gridColor")));
            m_scales.append(scale);
            m_restored.append(scale);
            for (qint64 j = 0; j < itemCount; ++j) {
                SettingsGroup itemGroup(settings, QStringLiteral("item_%1").arg(j));
                if (readType(settings) != 0)
                    continue;
                const QString key = settings.value(QStringLiteral("key")).toString();
                try {
                    addSeries(key, settings, scale);
                } catch (const QString &error) {
                    dropItem(nullptr, error);
                }
            }
        }
    } catch (...) {
        for (ParentScaleItem *scale : created) {
            m_scales.removeAll(scale);
            delete scale;
        }
        m_restored.clear();
        throw;
    }
    // Indicators and drawings place themselves by the time index: bring it up to date.
    TSynchronyzer *synchronizer = m_owner->synchronizer();
    if (synchronizer && updateTimeIndex)
        synchronizer->update();
}

void SubChartWidget::forEachRestored(Settings &settings, int type,
                                     const std::function<void(ParentScaleItem *)> &visit)
{
    const qint64 scaleCount = qMin<qint64>(settings.value(QStringLiteral("parentScaleCount"), 0)
                                               .toLongLong(),
                                           m_restored.size());
    for (qint64 i = 0; i < scaleCount; ++i) {
        SettingsGroup group(settings, QStringLiteral("parentScale_%1").arg(i));
        ParentScaleItem *scale = restoredScale(int(i));
        const qint64 itemCount = readCount(settings, QStringLiteral("itemsCount"),
                                           QStringLiteral("item_%1"));
        for (qint64 j = 0; j < itemCount; ++j) {
            SettingsGroup itemGroup(settings, QStringLiteral("item_%1").arg(j));
            if (readType(settings) == type)
                visit(scale);
        }
    }
}

void SubChartWidget::restoreItems(Settings &settings)
{
    forEachRestored(settings, 1, [&](ParentScaleItem *scale) {
        bool ok = false;
        const int seriesId = settings.value(QStringLiteral("seriesItem")).toInt(&ok);
        SeriesItem *series = ok ? m_owner->seriesById(seriesId) : nullptr;
        try {
            if (!series)
                throw badValue(QStringLiteral("seriesItem"));
            if (!scale)
                throw badValue(QStringLiteral("parentScale"));
            addStudy(settings, series, scale);
        } catch (const QString &error) {
            dropItem(nullptr, error);
        }
    });
    QList<ParentScaleItem *> restored;
    for (const QPointer<ParentScaleItem> &scale : std::as_const(m_restored)) {
        if (scale)
            restored.append(scale.data());
    }
    m_leftAxis->restoreState(settings, restored);
    m_rightAxis->restoreState(settings, restored);
    QTimer::singleShot(0, this, &SubChartWidget::itemVisibilityChanged);
}

bool SubChartWidget::restoreDrawings(Settings &settings)
{
    bool dropped = false;
    forEachRestored(settings, 2, [&](ParentScaleItem *scale) {
        try {
            if (!scale || !addDrawing(settings, scale))
                dropped = true;
        } catch (const QString &error) {
            if (error == QLatin1String("drawing"))
                throw;
            // A drawing whose own keys fail is dropped like one outside the period.
            dropped = true;
            m_restoreErrors.append(error);
            qCWarning(lcChart) << "A drawing was dropped while restoring a window:" << error;
        }
    });
    deleteEmptyScales();
    return dropped;
}

void SubChartWidget::deleteEmptyScales()
{
    // A scale whose items were all dropped holds nothing to show.
    for (ParentScaleItem *scale : scales()) {
        if (scale->chartItems().isEmpty()) {
            m_scales.removeAll(scale);
            delete scale;
        }
    }
}
