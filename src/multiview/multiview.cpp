#include "multiview.h"

#include "appsettings.h"
#include "chartcolors.h"
#include "chartdefaults.h"
#include "chartitemmimedata.h"
#include "confirmationdialog.h"
#include "defaultsettings.h"
#include "colorsplitter.h"
#include "drawingitem.h"
#include "eslayout.h"
#include "graphicsscene.h"
#include "graphicsview.h"
#include "instrumentselectordialog.h"
#include "iwindow.h"
#include "multivertaxiswidget.h"
#include "parentscaleitem.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "seriesdefaults.h"
#include "seriesitem.h"
#include "settings.h"
#include "settingsvalues.h"
#include "stickyscrollbar.h"
#include "subchartwidget.h"
#include "taconstants.h"
#include "refusal.h"
#include "talogging.h"
#include "vertreferenceaxiswidget.h"
#include "tsynchronyzer.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace {

// Whole pixels of a scene length, capped as the time axis caps its width: a huge zoom must
// not overflow an int.
int pixelsCapped(double pixels)
{
    return int(qMin(std::ceil(pixels), double(std::numeric_limits<int>::max() / 2)));
}

MultiView::Services &serviceStore()
{
    static MultiView::Services services;
    return services;
}

int roundHalfAway(double value)
{
    return int(std::round(value));
}

} // namespace

// --- summary --------------------------------------------------------------------------------

SummaryWidget::SummaryWidget(QWidget *parent)
    : QLabel(parent)
{
    setFrameShape(QFrame::Box);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void SummaryWidget::setBackground(const QColor &color)
{
    setStyleSheet(QStringLiteral("QLabel { background-color: rgb(%1, %2, %3); color: rgb(%4, %5, %6); }")
                      .arg(color.red())
                      .arg(color.green())
                      .arg(color.blue())
                      .arg(255 - color.red())
                      .arg(255 - color.green())
                      .arg(255 - color.blue()));
}

// --- construction ---------------------------------------------------------------------------

void MultiView::setServices(const Services &services)
{
    serviceStore() = services;
}

const MultiView::Services &MultiView::services()
{
    return serviceStore();
}

QString MultiView::drawingsRemovedText()
{
    return QStringLiteral("Некоторые объекты рисования были удалены, так как располагались за "
                          "границами отображаемого периода.");
}

MultiView::MultiView(QWidget *parent)
    : QWidget(parent)
    , SubChartOwner(new TSynchronyzer(this))
    , m_splitter(new ColorSplitter(Qt::Vertical, this))
    , m_scrollBar(new StickyScrollBar(this))
    , m_timeAxis(new TimeAxisScrollArea(this, synchronizer(), this))
    , m_leftWidths(new EqualSizingWidgetItems(this))
    , m_rightWidths(new EqualSizingWidgetItems(this))
    , m_layouts(new ESLayoutManager(this))
    , m_summary(new SummaryWidget(this))
    , m_placeholder(new QWidget(this))
    , m_grid(new QGridLayout(this))
{
    setFocusPolicy(Qt::StrongFocus);
    m_splitter->setChildrenCollapsible(false);
    m_scrollBar->setOrientation(Qt::Horizontal);

    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(0);
    auto *placeholderGrid = new QGridLayout(m_placeholder);
    placeholderGrid->setContentsMargins(3, 3, 3, 3);
    placeholderGrid->setSpacing(3);
    auto *text = new QLabel(QStringLiteral("Все графики скрыты.\nВы можете использовать менеджер "
                                           "объектов для того,\nчтобы настроить видимость графиков"),
                            m_placeholder);
    text->setAlignment(Qt::AlignCenter);
    auto *managerButton = new QPushButton(QStringLiteral("Менеджер объектов"), m_placeholder);
    managerButton->setEnabled(canShowItemsManager());
    connect(managerButton, &QPushButton::clicked, this, &MultiView::showItemsManager);
    placeholderGrid->addWidget(text, 0, 0, Qt::AlignCenter);
    placeholderGrid->addWidget(managerButton, 1, 0, Qt::AlignCenter);
    m_placeholder->hide();

    // The time-axis row is a widget of its own: the layout manager then answers the row's
    // requests only, while the area's own layout (splitter, scroll bar) handles its own.
    auto *axisRowWidget = new QWidget(this);
    auto *axisRow = new QHBoxLayout(axisRowWidget);
    axisRow->setContentsMargins(0, 0, 0, 0);
    axisRow->setSpacing(0);
    axisRow->addItem(new ESSpacerItem(m_leftWidths));
    axisRow->addWidget(m_timeAxis);
    axisRow->addItem(new ESSpacerItem(m_rightWidths));
    m_grid->addWidget(m_placeholder, 0, 0);
    m_grid->addWidget(m_splitter, 1, 0);
    m_grid->addWidget(axisRowWidget, 2, 0);
    m_grid->addWidget(m_scrollBar, 3, 0);
    m_grid->setRowStretch(1, 1);
    m_layouts->addLayout(axisRow);

    // The bar under the axis mirrors the time axis' own (hidden) bar, which the views follow.
    QScrollBar *axisBar = m_timeAxis->horizontalScrollBar();
    auto mirror = [this, axisBar] {
        if (m_mirroring)
            return;
        m_mirroring = true;
        m_scrollBar->setRange(axisBar->minimum(), axisBar->maximum());
        m_scrollBar->setPageStep(axisBar->pageStep());
        m_scrollBar->setSingleStep(qMax(1, pixelsCapped(scaleX())));
        m_scrollBar->setValue(axisBar->value());
        m_mirroring = false;
    };
    connect(axisBar, &QScrollBar::rangeChanged, this, mirror);
    connect(axisBar, &QScrollBar::valueChanged, this, mirror);
    // The axis bar may never change from its empty start (a chart narrower than the window):
    // the bar under the axis starts out as it is, not with a range of its own.
    mirror();
    connect(m_scrollBar, &QScrollBar::valueChanged, this, [this, axisBar](int value) {
        if (!m_mirroring)
            axisBar->setValue(value);
    });
    if (auto *sticky = qobject_cast<StickyScrollBar *>(axisBar))
        connect(sticky, &StickyScrollBar::sliderChanged, this, &MultiView::horScrollChanged);
    else
        connect(axisBar, &QScrollBar::valueChanged, this, &MultiView::horScrollChanged);
    connect(synchronizer(), &TSynchronyzer::sceneWidthChanged, this, &MultiView::sceneWidthChanged);
    // The time axis follows the day change with the window's models.
    SeriesDataManager::service()->registerSynchronizer(synchronizer());

    AppSettings general(QStringLiteral("TechAnalysis/General"));
    setBarOnEnd(SettingsValues::boolOr(general.value(QStringLiteral("barOnEnd")), ChartDefaults::BarOnEnd));
    m_summary->setBackground(color(QStringLiteral("subChartColor")));
    updatePlaceholder();
}

MultiView::~MultiView()
{
    // The sub-charts and their items go while the synchroniser they report to is still there.
    deleteAllSubCharts();
}

void MultiView::deleteAllSubCharts()
{
    const QList<SubChartWidget *> list = subCharts();
    for (SubChartWidget *subChart : list)
        delete subChart;
}

// --- shared state ---------------------------------------------------------------------------

int MultiView::scenePixelWidth() const
{
    if (subCharts().isEmpty() || !synchronizer())
        return 0;
    return pixelsCapped(scaleX() * synchronizer()->sceneWidth());
}

int MultiView::emptyOffset() const
{
    return m_timeAxis->padding();
}

QPair<int, int> MultiView::visibleIndexRange() const
{
    const double edge = synchronizer() ? synchronizer()->sceneWidth() : 0;
    const int width = m_timeAxis->viewport()->width();
    const double s = scaleX();
    if (scenePixelWidth() >= width && s > 0) {
        const int value = timeScrollBar()->value();
        const double left = qMin(value / s, edge);
        const double right = qMin((value + width) / s, edge);
        return {roundHalfAway(left), roundHalfAway(right)};
    }
    return {0, roundHalfAway(edge)};
}

MapSettings MultiView::seriesDefaults() const
{
    MapSettings defaults = SeriesDefaults::stored();
    QList<SeriesDefaults::Shown> shown;
    for (SeriesItem *series : seriesItems()) {
        SeriesDataModel *model = series->model();
        if (!model)
            continue;
        shown.append({model->timeFrame(), model->dateFrom(), model->dateTo(), model->toCurrDate()});
    }
    SeriesDefaults::alignWith(defaults, shown);
    return defaults;
}

QScrollBar *MultiView::timeScrollBar() const
{
    return m_timeAxis->horizontalScrollBar();
}

QLayoutItem *MultiView::axisLayoutItem(QWidget *axisRow, int side)
{
    return new ESWidgetItem(axisRow, side == VertReferenceAxisWidget::Left ? m_leftWidths
                                                                           : m_rightWidths);
}

void MultiView::manageLayout(QLayout *layout)
{
    m_layouts->addLayout(layout);
}

QList<SubChartWidget *> MultiView::subCharts() const
{
    QList<SubChartWidget *> list;
    for (int i = 0; i < m_splitter->count(); ++i) {
        if (auto *subChart = qobject_cast<SubChartWidget *>(m_splitter->widget(i)))
            list.append(subChart);
    }
    return list;
}

void MultiView::clearItemsSelection()
{
    SubChartOwner::clearItemsSelection();
}

QList<SeriesItem *> MultiView::seriesItems() const
{
    QList<SeriesItem *> list;
    for (SubChartWidget *subChart : subCharts())
        list += subChart->seriesItems();
    return list;
}

QStringList MultiView::seriesNames() const
{
    QStringList names;
    for (SeriesItem *series : seriesItems())
        names.append(series->displayName());
    return names;
}

GraphicsItem *MultiView::selectedItem() const
{
    for (SubChartWidget *subChart : subCharts()) {
        for (QGraphicsItem *item : subChart->scene()->selectedItems()) {
            if (auto *graphics = qobject_cast<GraphicsItem *>(item->toGraphicsObject()))
                return graphics;
        }
    }
    return nullptr;
}

ChartItem *MultiView::currentItem() const
{
    if (auto *chart = qobject_cast<ChartItem *>(selectedItem()))
        return chart;
    for (SeriesItem *series : seriesItems()) {
        if (series->isVisible())
            return series;
    }
    return nullptr;
}

SeriesItem *MultiView::currentSeries() const
{
    return qobject_cast<SeriesItem *>(currentItem());
}

SubChartWidget *MultiView::subChartAt(const QPoint &point) const
{
    for (SubChartWidget *subChart : subCharts()) {
        if (subChart->isHidden())
            continue;
        const QPoint local = subChart->mapFrom(this, point);
        if (local.y() >= 0 && local.y() < subChart->height())
            return subChart;
    }
    return nullptr;
}

// --- sub-charts -----------------------------------------------------------------------------

SubChartWidget *MultiView::addSubChart()
{
    const QList<int> before = m_splitter->sizes();
    auto *subChart = new SubChartWidget(this, m_splitter);
    m_splitter->addWidget(subChart);
    subChart->scene()->setGridShown(isGridShown());
    watchSubChart(subChart);
    subChart->show();
    shareHeightWithNewPane(before);
    updatePlaceholder();
    return subChart;
}

void MultiView::shareHeightWithNewPane(const QList<int> &before)
{
    // Once its sizes were set (a restore, a dragged handle) the splitter gives a widget added
    // later no more than its minimum: the new pane takes an equal share of the shown panes'
    // height, and they give it up in proportion to their heights.
    qint64 total = 0;
    int shown = 0;
    for (const int height : before) {
        total += height;
        shown += height > 0 ? 1 : 0;
    }
    if (total <= 0)
        return;
    const qint64 share = total / (shown + 1);
    QList<int> sizes;
    for (const int height : before)
        sizes.append(int(height * (total - share) / total));
    sizes.append(int(share));
    m_splitter->setSizes(sizes);
}

void MultiView::watchSubChart(SubChartWidget *subChart)
{
    subChart->installEventFilter(this);
    connect(subChart, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, &MultiView::updatePlaceholder);
    });
}

void MultiView::updatePlaceholder()
{
    const QList<SubChartWidget *> list = subCharts();
    bool anyShown = false;
    for (SubChartWidget *subChart : list)
        anyShown = anyShown || !subChart->isHidden();
    // Also a window without any area says how to get one back.
    m_placeholder->setVisible(!anyShown);
    if (auto *button = m_placeholder->findChild<QPushButton *>())
        button->setEnabled(canShowItemsManager());
}

bool MultiView::eventFilter(QObject *watched, QEvent *event)
{
    auto *subChart = qobject_cast<SubChartWidget *>(watched);
    if (subChart && m_splitter->indexOf(subChart) >= 0) {
        if (event->type() == QEvent::ShowToParent) {
            if (subChart->view())
                subChart->view()->setFocus();
            updatePlaceholder();
        } else if (event->type() == QEvent::HideToParent) {
            updatePlaceholder();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MultiView::nudgeHostLayout()
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (!qobject_cast<IWindow *>(w))
            continue;
        QLayout *layout = w->layout();
        const QSize size = w->size();
        const QLayout::SizeConstraint constraint = layout ? layout->sizeConstraint()
                                                          : QLayout::SetDefaultConstraint;
        if (layout)
            layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
        w->resize(0, size.height());
        w->resize(size);
        if (layout)
            layout->setSizeConstraint(constraint);
        return;
    }
}

template <typename F>
bool MultiView::refusing(F &&f)
{
    try {
        f();
        return true;
    } catch (const QString &text) {
        showRefusal(text);
        return false;
    }
}

QVariant MultiView::senderData() const
{
    auto *action = qobject_cast<QAction *>(sender());
    return action ? action->data() : QVariant();
}

bool MultiView::confirm(const QString &title, const QString &text, const QString &key)
{
    QPointer<ConfirmationDialog> dialog(new ConfirmationDialog(this));
    dialog->setWindowTitle(title);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowOpacity(1.0);
    dialog->setText(text);
    dialog->setSettingsKey(key);
    const int answer = dialog->exec();
    delete dialog.data();
    return answer != 0;
}

// --- adding ---------------------------------------------------------------------------------

SeriesItem *MultiView::addUnknownItem(QWidget *modalParent)
{
    QWidget *parent = modalParent ? modalParent : this;
    QPointer<MultiView> self(this);
    QString key;
    if (services().chooseInstrument) {
        key = services().chooseInstrument(parent);
    } else {
        QPointer<InstrumentSelectorDialog> dialog(new InstrumentSelectorDialog(parent));
        dialog->setShowChartOnly(true);
        dialog->setWindowTitle(QStringLiteral("Выбор инструмента для добавления в окно 'Тех. анализ'"));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setWindowOpacity(1.0);
        if (dialog->exec() == QDialog::Accepted && dialog)
            key = dialog->currentText();
        delete dialog.data();
    }
    if (!self || key.isEmpty())
        return nullptr;
    return createDefaultSeriesItem(key);
}

SeriesItem *MultiView::createDefaultSeriesItem(const QString &key)
{
    SubChartWidget *subChart = addSubChart();
    SeriesItem *series = nullptr;
    try {
        series = subChart->addSeries(key);
    } catch (const QString &text) {
        delete subChart;
        updatePlaceholder();
        showRefusal(text);
        return nullptr;
    }
    if (!subChart->rightAxis()->axes().isEmpty())
        subChart->rightAxis()->updateGeometry();
    else
        subChart->leftAxis()->updateGeometry();
    nudgeHostLayout();
    Q_EMIT nameChanged();
    return series;
}

ChartItem *MultiView::addStudyFor(SeriesItem *series, MapSettings settings)
{
    if (!series)
        throw SubChartWidget::badValue(QStringLiteral("seriesItem"));
    SubChartWidget *own = SubChartWidget::of(series);
    bool ok = false;
    const bool onOwnScale = settings.contains(QStringLiteral("axis"))
                            && settings.value(QStringLiteral("axis")).toInt(&ok) == 1 && ok;
    SubChartWidget *target = onOwnScale ? own : nullptr;
    ParentScaleItem *scale = target ? qobject_cast<ParentScaleItem *>(series->parentChartItem())
                                    : nullptr;
    SubChartWidget *created = nullptr;
    if (!target)
        target = created = addSubChart();
    try {
        ChartItem *study = target->addStudy(settings, series, scale);
        if (created) {
            if (!created->rightAxis()->axes().isEmpty())
                created->rightAxis()->updateGeometry();
            else
                created->leftAxis()->updateGeometry();
        }
        nudgeHostLayout();
        return study;
    } catch (const QString &) {
        delete created;
        updatePlaceholder();
        throw;
    }
}

QList<ChartItem *> MultiView::addStudy(QWidget *modalParent, SeriesItem *baseOn)
{
    QList<ChartItem *> added;
    if (!services().chooseStudies)
        return added;
    const QList<SeriesItem *> series = seriesItems();
    if (series.isEmpty())
        return added;
    QPointer<MultiView> self(this);
    QList<QPointer<SeriesItem>> guardedSeries;
    for (SeriesItem *item : series)
        guardedSeries.append(item);
    const QList<ChosenStudy> chosen = services().chooseStudies(
        modalParent ? modalParent : this, seriesNames(), qMax(0, series.indexOf(baseOn)),
        SeriesDefaults::storedStudy());
    if (!self)
        return added;
    for (const ChosenStudy &study : chosen) {
        SeriesItem *base = guardedSeries.value(study.series);
        if (!base)
            continue;
        refusing([&] { added.append(addStudyFor(base, study.settings)); });
    }
    return added;
}

void MultiView::addStudyForSeries()
{
    addStudy(this, qobject_cast<SeriesItem *>(sender()));
}

void MultiView::addStudyForSeries(SeriesItem *series)
{
    addStudy(this, series);
}

ChartItem *MultiView::addVolume(SeriesItem *series)
{
    if (!series || !services().findStudy)
        return nullptr;
    MapSettings settings = SeriesDefaults::storedStudy();
    if (!services().findStudy(QStringLiteral("Volume"), settings))
        return nullptr;
    ChartItem *study = nullptr;
    refusing([&] { study = addStudyFor(series, settings); });
    return study;
}

void MultiView::refreshAll()
{
    const QList<SeriesItem *> list = seriesItems();
    // Each series on its own: one whose model cannot be rebuilt does not keep the others back.
    for (SeriesItem *series : list)
        refusing([&] { series->model()->reset(); });
    refusing([&] {
        if (synchronizer())
            synchronizer()->update();
        for (SeriesItem *series : list)
            series->fill();
    });
}

// --- deleting -------------------------------------------------------------------------------

bool MultiView::hasStudies() const
{
    for (SubChartWidget *subChart : subCharts()) {
        if (!subChart->studies().isEmpty())
            return true;
    }
    return false;
}

bool MultiView::hasDrawings() const
{
    for (SubChartWidget *subChart : subCharts()) {
        if (!subChart->drawings().isEmpty())
            return true;
    }
    return false;
}

void MultiView::delAllStudies()
{
    if (!confirm(QStringLiteral("Удаление всех индикаторов"),
                 QStringLiteral("Вы действительно хотите удалить \nвсе индикаторы из окна?"),
                 QStringLiteral("TechAnalysis/Confirmations/askDelAllStudies")))
        return;
    // Collected after the answer: the question's event loop may have taken some away.
    QList<QPointer<ChartItem>> studies;
    for (SubChartWidget *subChart : subCharts()) {
        for (ChartItem *study : subChart->studies())
            studies.append(study);
    }
    for (const QPointer<ChartItem> &study : studies) {
        if (study)
            study->deleteItem();
    }
}

void MultiView::delAllDrawings()
{
    if (!confirm(QStringLiteral("Удаление рисования"),
                 QStringLiteral("Вы действительно хотите удалить \nвсё рисование из окна?"),
                 QStringLiteral("TechAnalysis/Confirmations/askDelAllDrawings")))
        return;
    QList<QPointer<DrawingItem>> drawings;
    for (SubChartWidget *subChart : subCharts()) {
        for (DrawingItem *drawing : subChart->drawings())
            drawings.append(drawing);
    }
    for (const QPointer<DrawingItem> &drawing : drawings) {
        if (drawing)
            drawing->deleteItem();
    }
}

GraphicsItem *MultiView::selectedItemToDelete() const
{
    GraphicsItem *item = selectedItem();
    if (qobject_cast<SeriesItem *>(item) && synchronizer() && synchronizer()->series().size() == 1)
        return nullptr;
    return item;
}

void MultiView::delSelectedItem()
{
    if (GraphicsItem *item = selectedItemToDelete())
        item->onDeleteItemAction();
}

void MultiView::showItemsManager()
{
    if (services().showItemsManager)
        services().showItemsManager(this);
}

// --- horizontal zoom ------------------------------------------------------------------------

void MultiView::applyToViews(double factor, bool remembered)
{
    if (remembered && m_timeScale.history().size() == 1)
        Q_EMIT enableBackScaleX(true);
    setScaleX(m_timeScale.scale());
    const double s = m_timeScale.scale();
    for (SubChartWidget *subChart : subCharts()) {
        // The transform is set, not multiplied: a long run of zoom steps accumulates no error.
        subChart->view()->setTransform(QTransform::fromScale(s, 1.0));
        for (SeriesItem *series : subChart->seriesItems())
            series->viewScaleChanged();
    }
    // The bars' pixel margins changed with the scale: the right edge is measured again, so
    // that it depends on the data and the scale only, not on the zooms that led there.
    if (synchronizer())
        synchronizer()->updateSceneRectAndItemsPos();
    Q_UNUSED(factor);
    Q_EMIT enableDefaultScaleX(!m_timeScale.isDefault());
    m_timeAxis->scrollingAreaChanged();
    updateViewsScroll();
}

void MultiView::zoomX(bool in)
{
    const ScrollPosition position = scrollPosition();
    const bool hadHistory = m_timeScale.canGoBack();
    const double sceneUnits = synchronizer() ? synchronizer()->sceneWidth() : 0;
    const double factor = m_timeScale.step(in, sceneUnits, m_timeAxis->viewport()->width());
    if (factor == 1.0)
        return;
    if (!hadHistory)
        Q_EMIT enableBackScaleX(true);
    applyToViews(factor, false);
    restoreScrollPosition(position);
}

void MultiView::changeScaleX()
{
    const QVariant data = senderData();
    if (data.isValid())
        zoomX(data.toBool());
}

void MultiView::zoomStep(Zoom direction)
{
    zoomX(direction == Zoom::In);
}

Qt::DropAction MultiView::axisDropAction(const QMimeData *data)
{
    return ChartItemMimeData::acceptedAction(data, windowId());
}

void MultiView::dropOnAxis(const QMimeData *data)
{
    const Qt::DropAction action = axisDropAction(data);
    if (action == Qt::CopyAction) {
        createDefaultSeriesItem(DroppedSecurity::parse(data).key);
        return;
    }
    if (action != Qt::MoveAction)
        return;
    ChartItem *item = qobject_cast<const ChartItemMimeData *>(data)->item();
    auto *oldScale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
    const SubChartWidget *from = SubChartWidget::of(item);
    const int axisPos = from && oldScale ? from->axisPosition(oldScale) : 2;
    SubChartWidget *target = addSubChart();
    if (!refusing([&] { target->adoptItem(item, axisPos); })) {
        delete target;
        updatePlaceholder();
    }
}

void MultiView::backScaleX()
{
    if (!m_timeScale.canGoBack())
        return;
    const ScrollPosition position = scrollPosition();
    const double factor = m_timeScale.back();
    applyToViews(factor, false);
    if (!m_timeScale.canGoBack())
        Q_EMIT enableBackScaleX(false);
    restoreScrollPosition(position);
}

void MultiView::defaultScaleX()
{
    const ScrollPosition position = scrollPosition();
    const double factor = m_timeScale.toDefault();
    applyToViews(factor, false);
    Q_EMIT enableBackScaleX(false);
    restoreScrollPosition(position);
}

void MultiView::increaseArea(const QRect &area)
{
    const int width = m_timeAxis->viewport()->width();
    const TimeScale::AreaZoom zoom =
        TimeScale::areaZoom(area, width, scaleX(), double(scenePixelWidth()));
    if (!(zoom.factor > 0))
        return;
    const int value = timeScrollBar()->value();
    const bool hadHistory = m_timeScale.canGoBack();
    const double applied = m_timeScale.apply(zoom.factor, true);
    if (!hadHistory && m_timeScale.canGoBack())
        Q_EMIT enableBackScaleX(true);
    applyToViews(applied, false);
    // The band's left edge stays at the same scene position, at the factor actually applied.
    timeScrollBar()->setValue(roundHalfAway((value + area.left() - zoom.offset) * applied));
    updateViewsScroll();
    SubChartOwner::setSelectAreaMode(false);
    Q_EMIT checkSelAreaMode(false);
}

void MultiView::setSelectAreaMode(bool checked)
{
    SubChartOwner::setSelectAreaMode(checked);
}

MultiView::ScrollPosition MultiView::scrollPosition() const
{
    const QScrollBar *bar = timeScrollBar();
    ScrollPosition position;
    position.atMax = bar->value() == bar->maximum();
    const double total = double(bar->maximum()) + bar->pageStep();
    position.centre = total > 0 ? (bar->value() + bar->pageStep() / 2.0) / total : 0.0;
    return position;
}

void MultiView::restoreScrollPosition(const ScrollPosition &position)
{
    QScrollBar *bar = timeScrollBar();
    if (position.atMax) {
        bar->setValue(bar->maximum());
    } else {
        const double total = double(bar->maximum()) + bar->pageStep();
        bar->setValue(roundHalfAway(total * position.centre - bar->pageStep() / 2.0));
    }
    updateViewsScroll();
}

// --- scrolling ------------------------------------------------------------------------------

void MultiView::updateViewsScroll()
{
    for (SubChartWidget *subChart : subCharts())
        subChart->updateViewScroll();
    updateScreenRanges();
}

void MultiView::horScrollChanged()
{
    updateViewsScroll();
}

void MultiView::updateScreenRanges()
{
    const double s = scaleX();
    if (!(s > 0))
        return;
    const QPair<int, int> range = visibleIndexRange();
    for (SubChartWidget *subChart : subCharts()) {
        const QRectF shown = subChart->view()->mapToScene(subChart->view()->viewport()->rect())
                                 .boundingRect();
        for (SeriesItem *series : subChart->seriesItems())
            series->setScreenRange(shown.left(), shown.right());
        for (ParentScaleItem *scale : subChart->scales()) {
            const bool moved = scale->leftScreen() != range.first
                               || scale->rightScreen() != range.second;
            scale->setScreenRange(range.first, range.second);
            // A scale fitted to the screen follows what scrolls into view.
            if (moved && scale->autoScale() == ParentScaleItem::Screen)
                scale->refit();
        }
    }
}

void MultiView::sceneWidthChanged()
{
    const QScrollBar *bar = timeScrollBar();
    if (bar->minimum() == bar->maximum()) {
        updateViewsScroll();
        redrawProjections();
    }
}

void MultiView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
        delSelectedItem();
        break;
    case Qt::Key_End:
        timeScrollBar()->setValue(timeScrollBar()->maximum());
        break;
    case Qt::Key_Left:
        m_scrollBar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Right:
        m_scrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    redrawProjections();
}

void MultiView::wheelEvent(QWheelEvent *event)
{
    const QPoint pixels(8 * (event->pixelDelta().x() + event->pixelDelta().y()), 0);
    const QPoint angle(event->angleDelta().x() + event->angleDelta().y(), 0);
    QWheelEvent horizontal(m_scrollBar->mapFromGlobal(event->globalPosition()),
                           event->globalPosition(), pixels, angle, event->buttons(),
                           event->modifiers(), event->phase(), event->inverted(), event->source());
    QCoreApplication::sendEvent(m_scrollBar, &horizontal);
    event->accept();
    redrawProjections();
}

void MultiView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), color(QStringLiteral("vertAxisColor")));
}

// --- vertical scale and series --------------------------------------------------------------

void MultiView::scaleY(double factor)
{
    ChartItem *item = currentItem();
    if (auto *scale = item ? qobject_cast<ParentScaleItem *>(item->parentChartItem()) : nullptr)
        scale->zoomBy(factor);
    Q_EMIT currItemChanged();
}

void MultiView::changeScaleY()
{
    bool ok = false;
    const double factor = senderData().toDouble(&ok);
    if (ok)
        scaleY(factor);
}

void MultiView::autoScaleY(int mode)
{
    ChartItem *item = currentItem();
    if (auto *scale = item ? qobject_cast<ParentScaleItem *>(item->parentChartItem()) : nullptr) {
        if (scale->autoScale() != mode)
            scale->setAutoScale(mode);
    }
    Q_EMIT currItemChanged();
}

void MultiView::changeAutoScaleY()
{
    bool ok = false;
    const int mode = senderData().toInt(&ok);
    if (ok)
        autoScaleY(mode);
}

void MultiView::moveY(bool up)
{
    ChartItem *item = currentItem();
    if (auto *scale = item ? qobject_cast<ParentScaleItem *>(item->parentChartItem()) : nullptr) {
        const bool modeChanged = scale->autoScale() != ParentScaleItem::Fixed;
        scale->shiftBy(up);
        if (modeChanged)
            Q_EMIT scale->scaleModeChanged();
    }
    Q_EMIT currItemChanged();
}

void MultiView::moveScaleY()
{
    const QVariant data = senderData();
    if (data.isValid())
        moveY(data.toBool());
}

void MultiView::setViewMode(int view)
{
    SeriesItem *series = currentSeries();
    if (!series)
        return;
    const ScrollPosition position = scrollPosition();
    series->setView(view);
    Q_EMIT currItemChanged();
    restoreScrollPosition(position);
}

void MultiView::changeInstrumentViewMode(QAction *action)
{
    bool ok = false;
    const int view = action ? action->data().toInt(&ok) : 0;
    if (ok)
        setViewMode(view);
}

void MultiView::setTimeFrame(const TimeFrameValue &frame)
{
    setSeriesTimeFrame(currentSeries(), frame);
}

bool MultiView::setSeriesTimeFrame(SeriesItem *series, const TimeFrameValue &frame)
{
    if (!series || series->model()->timeFrame() == frame)
        return false;
    SeriesDataModel *model = series->model();
    const QString refused = SeriesDataModel::rangeRefusal(model->seriesKey(), frame,
                                                          model->dateFrom(), model->dateTo());
    if (!refused.isEmpty()) {
        showRefusal(refused);
        // The tool bar and the items manager show the frame the series kept.
        Q_EMIT currItemChanged();
        return false;
    }
    const ScrollPosition position = scrollPosition();
    if (!refusing([&] { series->changeTimeFrame(frame); })) {
        Q_EMIT currItemChanged();
        return false;
    }
    Q_EMIT currItemChanged();
    if (synchronizer())
        synchronizer()->update();
    restoreScrollPosition(position);
    return true;
}

void MultiView::showRefusal(const QString &text)
{
    ::showRefusal(this, text);
}

void MultiView::changeInstrumentTimeFrame(QAction *action)
{
    if (action && action->data().canConvert<TimeFrameValue>())
        setTimeFrame(action->data().value<TimeFrameValue>());
}

void MultiView::showGrid(bool show)
{
    setGridShown(show);
    for (SubChartWidget *subChart : subCharts()) {
        subChart->scene()->setGridShown(show);
        subChart->view()->viewport()->update();
    }
}

// --- projections and summary ----------------------------------------------------------------

void MultiView::changeProjectionType(int type)
{
    if (type == NoProjection) {
        hideProjections();
        setProjectionMode(NoProjection);
        return;
    }
    setProjectionMode(type);
    redrawProjections();
}

void MultiView::showSummary(bool show)
{
    if (!show && m_summary->isVisible())
        m_summary->hide();
    m_showSummary = show;
    if (show)
        redrawProjections();
}

void MultiView::redrawProjections()
{
    redrawProjectionsAt(QCursor::pos());
}

void MultiView::redrawProjectionsAt(const QPoint &globalPos)
{
    SubChartWidget *focused = nullptr;
    for (SubChartWidget *subChart : subCharts()) {
        if (subChart->view()->hasFocus()) {
            focused = subChart;
            break;
        }
    }
    const int mode = projectionMode();
    if (!focused || (mode == NoProjection && !m_showSummary))
        return;
    QWidget *axisViewport = m_timeAxis->viewport();
    const QPoint onAxis = axisViewport->mapFromGlobal(globalPos);
    if (onAxis.x() < 0 || onAxis.x() >= axisViewport->width()) {
        hideProjections();
        return;
    }
    const double s = scaleX();
    const double units = (timeScrollBar()->value() + onAxis.x() - emptyOffset()) / (s > 0 ? s : 1);
    if (units < 0) {
        hideProjections();
        return;
    }
    const int index = roundHalfAway(units);
    // The price at the cursor goes with the horizontal line, its time with the vertical one;
    // the full crosshair with values and the values alone show both.
    const bool priceValue = mode == 0 || mode == 2 || mode == 3;
    const bool timeValue = mode == 0 || mode == 2 || mode == 4;
    for (SubChartWidget *subChart : subCharts()) {
        GraphicsView *view = subChart->view();
        const QPoint inViewport = view->viewport()->mapFromGlobal(globalPos);
        const double y = view->mapToScene(inViewport).y();
        if (mode == NoProjection)
            subChart->scene()->hideProjection();
        else
            subChart->scene()->setProjection(mode, index, roundHalfAway(y));
        const bool inside = inViewport.y() >= 0 && inViewport.y() < view->viewport()->height();
        for (MultiVertAxisWidget *row : {static_cast<MultiVertAxisWidget *>(subChart->leftAxis()),
                                         static_cast<MultiVertAxisWidget *>(subChart->rightAxis())}) {
            if (priceValue && inside)
                row->setCursorMark(row->mapFromGlobal(globalPos).y());
            else
                row->clearCursorMark();
        }
    }
    if (timeValue)
        m_timeAxis->showCursorLabel(index, m_timeAxis->xOfIndex(index));
    else
        m_timeAxis->hideCursorLabel();
    if (m_showSummary)
        showSummaryFor(index, globalPos);
}

void MultiView::hideProjections()
{
    for (SubChartWidget *subChart : subCharts()) {
        subChart->scene()->hideProjection();
        subChart->leftAxis()->clearCursorMark();
        subChart->rightAxis()->clearCursorMark();
    }
    m_timeAxis->hideCursorLabel();
    if (m_showSummary && m_summary->isVisible())
        hideSummary();
}

QString MultiView::summaryText(int index, SubChartWidget *subChart, const QPointF &scenePoint) const
{
    if (!synchronizer() || !subChart)
        return {};
    const datetime time = synchronizer()->momentAt(index);
    const QDateTime moment = time.getDateTime();
    if (!moment.isValid())
        return {};
    QString items;
    for (ChartItem *item : subChart->chartItems()) {
        if (item->isVisible())
            items += item->infoTextAt(scenePoint);
    }
    if (items.isEmpty())
        return {};
    items.chop(1);
    // A bar of a day or longer names its own day, also where it stands at its interval's end.
    QDate date = moment.date();
    for (SeriesItem *series : subChart->seriesItems() + seriesItems()) {
        const datetime start = series->isVisible() ? series->barStartNear(scenePoint.x()) : datetime();
        if (!start.isNull()) {
            date = start.getDate();
            break;
        }
    }
    return QStringLiteral("%1=%2\n%3=%4\n%5")
        .arg(QStringLiteral("Дата"), date.toString(QStringLiteral("d.MM.yyyy")),
             QStringLiteral("Время"), moment.time().toString(QStringLiteral("hh:mm:ss")), items);
}

void MultiView::showSummaryFor(int index, const QPoint &globalPos)
{
    const QPoint local = mapFromGlobal(globalPos);
    SubChartWidget *subChart = subChartAt(local);
    if (!subChart) {
        hideSummary();
        return;
    }
    GraphicsView *view = subChart->view();
    const QPointF scenePoint = view->mapToScene(view->viewport()->mapFromGlobal(globalPos));
    const QString text = summaryText(index, subChart, QPointF(index, scenePoint.y()));
    if (text.isEmpty()) {
        hideSummary();
        return;
    }
    if (m_summary->text() != text)
        m_summary->setText(text);
    m_summary->resize(m_summary->sizeHint());
    m_summary->move(local.x() - 6 - m_summary->width(), local.y() + 5);
    m_summary->raise();
    m_summary->show();
}

void MultiView::hideSummary()
{
    m_summary->hide();
}

// --- drawing --------------------------------------------------------------------------------

void MultiView::selectDrawingTool(int tool)
{
    SubChartOwner::setDrawingTool(tool);
    for (SubChartWidget *subChart : subCharts()) {
        subChart->view()->updateCursor();
        if (tool < 0)
            subChart->view()->cancelDrawing();
    }
}

void MultiView::setAddDrawingMode(bool on)
{
    bool ok = false;
    const int tool = senderData().toInt(&ok);
    selectDrawingTool(on && ok ? tool : -1);
}

void MultiView::onDrawingAdded()
{
    selectDrawingTool(-1);
    Q_EMIT drawingAdded();
}

void MultiView::drawingColorChanged(const QColor &color)
{
    setDrawingColor(color);
}

// --- properties and placement ---------------------------------------------------------------

void MultiView::changeItemProperties()
{
    changeItemProperties(qobject_cast<GraphicsItem *>(sender()));
}

void MultiView::changeItemProperties(GraphicsItem *item)
{
    if (!item)
        return;
    auto *chart = qobject_cast<ChartItem *>(item);
    if (!chart) {
        if (auto *drawing = qobject_cast<DrawingItem *>(item))
            drawing->showPropertyDialog(this);
        return;
    }
    if (!services().editProperties)
        return;
    QPointer<ChartItem> guard(chart);
    QPointer<MultiView> self(this);
    MapSettings result;
    const bool accepted = services().editProperties(chart, this, result);
    if (!self)
        return;
    if (!guard) {
        if (accepted)
            showRefusal(QStringLiteral("Объект был удалён, пока открыт диалог свойств"));
        return;
    }
    if (accepted)
        refusing([&] { applyItemProperties(chart, result); });
}

void MultiView::applyItemProperties(ChartItem *item, MapSettings result)
{
    if (!item)
        return;
    const ScrollPosition position = scrollPosition();
    QPointer<ChartItem> guard(item);
    if (!qobject_cast<SeriesItem *>(item) && result.contains(QStringLiteral("series"))
        && services().rebaseStudy) {
        // The series is given as the item itself (the property dialog) or by its name.
        const QVariant chosen = result.value(QStringLiteral("series"));
        auto *target = qobject_cast<SeriesItem *>(chosen.value<QObject *>());
        const QList<SeriesItem *> all = seriesItems();
        if (!all.contains(target)) {
            target = nullptr;
            for (SeriesItem *series : all) {
                if (series->displayName() == chosen.toString()) {
                    target = series;
                    break;
                }
            }
        }
        if (target)
            services().rebaseStudy(item, target);
    }
    if (!guard)
        return;
    // A new time frame takes the tool bar's path, so that it happens once; a refused one is
    // not tried again by the item, the rest of the result still applies.
    if (auto *series = qobject_cast<SeriesItem *>(item);
        series && result.contains(QStringLiteral("timeFrameValue"))) {
        const TimeFrameValue frame = TimeFrameValue::load(result);
        if (!setSeriesTimeFrame(series, frame) && series->model()->timeFrame() != frame) {
            result.remove(QStringLiteral("timeFrameType"));
            result.remove(QStringLiteral("timeFrameValue"));
        }
    }
    if (!guard)
        return;
    item->applyProperties(result);
    if (item->isVisible() && result.contains(QStringLiteral("subChart"))) {
        auto *subChart = qobject_cast<SubChartWidget *>(
            result.value(QStringLiteral("subChart")).value<QObject *>());
        auto *scale = qobject_cast<ParentScaleItem *>(
            result.value(QStringLiteral("parentscale")).value<QObject *>());
        applyPlacement(item, subChart, scale, result);
    }
    // The axis side and the scaling mode chosen in the dialog go to the scale the item is on
    // now; a value outside the lists (the indicator's "series axis") leaves them as they are.
    if (item->isVisible()) {
        auto *scale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
        SubChartWidget *own = SubChartWidget::of(item);
        bool ok = false;
        const int axisPos = result.value(QStringLiteral("axisPos")).toInt(&ok);
        if (scale && own && ok && axisPos >= 0 && axisPos <= 3)
            own->changeAxisPosition(result, scale);
        const int mode = result.value(QStringLiteral("autoScale")).toInt(&ok);
        if (scale && ok && mode >= ParentScaleItem::Fixed && mode <= ParentScaleItem::Screen)
            scale->setAutoScale(mode);
    }
    Q_EMIT currItemChanged();
    restoreScrollPosition(position);
}

QList<MultiView::Placement> MultiView::placementChoices(ChartItem *item) const
{
    QList<Placement> list;
    if (!item)
        return list;
    SubChartWidget *own = SubChartWidget::of(item);
    auto *ownScale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
    int visibleOnScale = 0;
    if (ownScale) {
        for (ChartItem *sibling : ownScale->chartItems())
            visibleOnScale += sibling->isVisible() ? 1 : 0;
    }
    int area = 0;
    for (SubChartWidget *subChart : subCharts()) {
        ++area;
        if (subChart != own || visibleOnScale >= 2)
            list.append({QStringLiteral("Область %1 - отдельная ось").arg(area), subChart, nullptr});
        for (ParentScaleItem *scale : subChart->scales()) {
            list.append({QStringLiteral("Область %1 - ось %2").arg(area).arg(scale->label()),
                         subChart, scale});
        }
        list.append({QString(), nullptr, nullptr});
    }
    if (own && own->chartItems().size() < 2) {
        if (!list.isEmpty() && list.last().text.isEmpty())
            list.removeLast();
    } else {
        list.append({QStringLiteral("Новая область - отдельная ось"), nullptr, nullptr});
    }
    return list;
}

void MultiView::applyPlacement(ChartItem *item, SubChartWidget *subChart, ParentScaleItem *scale,
                               Settings &settings)
{
    SubChartWidget *own = SubChartWidget::of(item);
    auto *oldScale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
    if (subChart && subChart == own) {
        if (scale == oldScale)
            return;
        if (!scale)
            scale = own->newScale(settings);
        item->setParentChartItem(scale);
        return;
    }
    // Another or a new area: moved there like a drop, onto the chosen scale or onto a new one
    // made from the old scale's state.
    SubChartWidget *target = subChart ? subChart : addSubChart();
    const int axisPos = own && oldScale ? own->axisPosition(oldScale) : 2;
    target->adoptItem(item, axisPos, scale && SubChartWidget::of(scale) == target ? scale : nullptr);
    if (own && own != target)
        own->afterItemMovedOut();
}

// --- display options and state --------------------------------------------------------------

void MultiView::saveViewSettings(Settings &settings) const
{
    settings.setValue(QStringLiteral("showDate"), m_timeAxis->showDate());
    settings.setValue(QStringLiteral("showGrid"), isGridShown());
    for (const ChartColors::Entry &entry : ChartColors::All) {
        const QString key = QString::fromLatin1(entry.key);
        settings.setValue(key, color(key));
    }
    settings.setValue(QStringLiteral("rightMargin"),
                      uint(synchronizer() ? synchronizer()->rightMargin() : 10));
}

void MultiView::applyViewSettings(Settings &settings)
{
    m_timeAxis->changeShowDate(settings.value(QStringLiteral("showDate"), true).toBool());
    showGrid(settings.value(QStringLiteral("showGrid"), true).toBool());
    // A colour the window does not hold (a new window) is the default colour of chart
    // windows, else the built-in one; one that does not parse is treated alike.
    const std::unique_ptr<DefaultSettings> defaults =
        DefaultSettings::createReadOnly(QString::fromLatin1(TA::Constants::WindowDefaultsPath));
    for (const ChartColors::Entry &entry : ChartColors::All) {
        const QString key = QString::fromLatin1(entry.key);
        const QColor standard = SettingsValues::colorOr(defaults->value(key), QColor::fromRgb(entry.rgb));
        setColor(key, SettingsValues::colorOr(settings.value(key), standard));
    }
    m_timeAxis->setBackgroundColor(color(QStringLiteral("timeAxisColor")));
    m_timeAxis->setTextColor(color(QStringLiteral("timeAxisTextColor")));
    m_timeAxis->setLineColor(color(QStringLiteral("timeAxisLineColor")));
    m_splitter->setColor(color(QStringLiteral("splitterColor")));
    m_summary->setBackground(color(QStringLiteral("subChartColor")));
    for (SubChartWidget *subChart : subCharts())
        subChart->applyColors();
    update();

    bool ok = false;
    const uint margin = settings.value(QStringLiteral("rightMargin"), uint(ChartDefaults::RightMargin))
                            .toUInt(&ok);
    if (!ok || margin > uint(ChartDefaults::MaxRightMargin))
        throw QStringLiteral("rightMargin");
    if (synchronizer()) {
        synchronizer()->setRightMargin(int(margin));
        synchronizer()->updateSceneRectAndItemsPos();
    }
}

bool MultiView::applyDisplayOptions(Settings &settings)
{
    return refusing([&] { applyViewSettings(settings); });
}

void MultiView::saveState(Settings &settings)
{
    saveViewSettings(settings);
    settings.setValue(QStringLiteral("projectionType"), projectionMode());
    settings.setValue(QStringLiteral("showSummary"), m_showSummary);
    const QList<SubChartWidget *> list = subCharts();
    settings.setValue(QStringLiteral("viewCount"), int(list.size()));
    // A pane hidden with its items keeps the height it had, and the shown panes, which share
    // its room meanwhile, the heights they had beside it: after a restart the pane comes back
    // as it does without one (the splitter reports a hidden pane as 0 high).
    const QList<int> sizes = m_splitter->sizes();
    qint64 shown = 0;
    qint64 hidden = 0;
    QList<int> kept = sizes;
    for (int i = 0; i < sizes.size(); ++i) {
        const auto *pane = qobject_cast<const SubChartWidget *>(m_splitter->widget(i));
        if (pane && pane->isHidden())
            hidden += kept[i] = pane->shownHeight();
        else
            shown += sizes.at(i);
    }
    QStringList heights;
    for (int i = 0; i < sizes.size(); ++i) {
        const QWidget *pane = m_splitter->widget(i);
        const bool scaled = hidden > 0 && shown > hidden && pane && !pane->isHidden();
        heights.append(QString::number(scaled ? int(kept[i] * (shown - hidden) / shown) : kept[i]));
    }
    settings.setValue(QStringLiteral("viewHeights"), heights);
    int id = 0;
    for (SubChartWidget *subChart : list) {
        for (SeriesItem *series : subChart->seriesItems())
            series->setProperty("id", id++);
    }
    for (int i = 0; i < list.size(); ++i) {
        SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
        list[i]->saveState(settings);
        if (i == 0)
            settings.setValue(QStringLiteral("scaleX"), scaleX());
    }
}

void MultiView::restoreState(Settings &settings)
{
    m_restoreErrors.clear();
    try {
        applyViewSettings(settings);
        bool ok = false;
        const int projection = settings.value(QStringLiteral("projectionType"), 5).toInt(&ok);
        if (!ok || projection < 0 || projection > 5)
            throw QStringLiteral("projectionType");
        setProjectionMode(projection);
        m_showSummary = settings.value(QStringLiteral("showSummary"), false).toBool();
        const int count = settings.value(QStringLiteral("viewCount"), 0).toInt(&ok);
        if (!ok || count < 1)
            throw QStringLiteral("viewCount");
        // The count must name groups that are there: a huge number in a damaged file neither
        // loops nor allocates.
        const QStringList groups = settings.childGroups();
        for (int i = 0; i < count; ++i) {
            if (!groups.contains(QStringLiteral("view_%1").arg(i)))
                throw QStringLiteral("viewCount");
        }
        QList<int> heights;
        if (settings.contains(QStringLiteral("viewHeights"))) {
            const QVariant stored = settings.value(QStringLiteral("viewHeights"));
            const QStringList texts = stored.typeId() == QMetaType::QString
                                          ? QStringList{stored.toString()}
                                          : stored.toStringList();
            for (const QString &text : texts) {
                const int height = text.toInt(&ok, 10);
                if (!ok || height < 0)
                    throw QStringLiteral("viewHeights");
                heights.append(height);
            }
        }

        QList<SubChartWidget *> created;
        for (int i = 0; i < count; ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            SubChartWidget *subChart = addSubChart();
            created.append(subChart);
            subChart->setObjectName(QString::number(i));
            subChart->restoreScales(settings, false);
            if (i == 0) {
                const double scale = settings.value(QStringLiteral("scaleX"), 9.0).toDouble(&ok);
                const double wanted = ok && scale > 0 && std::isfinite(scale) ? scale : 9.0;
                m_timeScale = TimeScale();
                m_timeScale.setScale(wanted);
                applyToViews(wanted / TimeScale::Default, false);
                Q_EMIT enableBackScaleX(false);
            }
        }
        // Indicators and drawings place themselves by the time index: one update for all.
        if (synchronizer())
            synchronizer()->update();
        bool dropped = false;
        for (int i = 0; i < count; ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            if (created[i])
                created[i]->restoreItems(settings);
        }
        for (int i = 0; i < count; ++i) {
            SettingsGroup group(settings, QStringLiteral("view_%1").arg(i));
            if (created[i])
                dropped = created[i]->restoreDrawings(settings) || dropped;
        }
        for (SubChartWidget *subChart : created) {
            if (subChart)
                m_restoreErrors += subChart->restoreErrors();
        }
        // A height per area; a list of another length is ignored, the splitter keeps its own.
        if (heights.size() == count)
            m_splitter->setSizes(heights);
        clearItemsSelection();
        applyViewSettings(settings);
        redrawProjections();
        if (dropped) {
            AppSettings confirmations(QStringLiteral("TechAnalysis/Confirmations"));
            if (SettingsValues::boolOr(confirmations.value(QStringLiteral("sayDrawingsRemoved")),
                                       ChartDefaults::Confirm))
                Q_EMIT notice(drawingsRemovedText());
        }
    } catch (const QString &) {
        // Nothing half built stays: the window is empty and usable.
        deleteAllSubCharts();
        m_timeScale = TimeScale();
        setScaleX(m_timeScale.scale());
        updatePlaceholder();
        throw;
    }
}
