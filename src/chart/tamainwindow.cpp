#include "tamainwindow.h"

#include "action.h"
#include "actionmanager.h"
#include "colorbutton.h"
#include "command.h"
#include "favsecmodelproxyrecent.h"
#include "graphicsscene.h"
#include "icore.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "iwindow.h"
#include "mainsettingspage.h"
#include "multivertaxiswidget.h"
#include "seriesdatamodel.h"
#include "securitydirectory.h"
#include "seriesitem.h"
#include "serieskey.h"
#include "settings.h"
#include "subchartwidget.h"
#include "taconstants.h"
#include "tacolorsettingspage.h"
#include "talogging.h"
#include "tamarginssettingspage.h"
#include "timeaxisscrollarea.h"
#include "timeframevalue.h"
#include "vertreferenceaxiswidget.h"
#include "visualevent.h"

#include <QActionGroup>
#include <QMenu>
#include <QModelIndex>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

using namespace TA::Constants;

namespace {

constexpr int ScreenMode = 2;

void makeBold(QAction *action)
{
    QFont font = action->font();
    font.setBold(true);
    action->setFont(font);
}

QIcon icon(const char *path)
{
    return QIcon(QString::fromLatin1(path));
}

} // namespace

// --- the add-instrument menu ----------------------------------------------------------------

TAAddSecurityMenu::TAAddSecurityMenu(QWidget *parent)
    : ModelMenu(parent)
{
    setTextRole(MenuTextRole);
}

bool TAAddSecurityMenu::prePopulated()
{
    if (!model())
        setModel(new FavSecModelProxyRecent(this));
    return false;
}

void TAAddSecurityMenu::postPopulated()
{
    addSeparator();
    if (!m_chooseAction) {
        m_chooseAction = new Action(QStringLiteral("Выбрать инструмент..."), AddInstrument, this);
        connect(m_chooseAction, &QAction::triggered, this, &TAAddSecurityMenu::addUnknownItem);
    }
    addAction(m_chooseAction);
}

// --- construction ---------------------------------------------------------------------------

TAMainWindow::TAMainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_view(new MultiView(this))
    , m_events(new VisualEvent(this))
{
    setCentralWidget(m_view);
    createActions();
    createToolBars();
    connectActions();
    setUserTitle(QString());
    updateToolBar();
}

TAMainWindow::~TAMainWindow() = default;

void TAMainWindow::createActions()
{
    m_addInstrument = new Action(icon(":ta/icons/addInstrument.png"),
                                 QStringLiteral("Добавить график инструмента"), AddInstrument, this);
    m_addStudy = new Action(icon(":ta/icons/addStudy.png"), QStringLiteral("Добавить индикатор"),
                            AddStudy, this);
    m_itemsManager = new Action(icon(":ta/icons/itemsmanager.png"),
                                QStringLiteral("Менеджер объектов"), ItemsManager, this);
    m_refresh = new Action(icon(":/icons/refresh.png"), QStringLiteral("Перестроить"), Refresh, this);
    m_delStudies = new Action(icon(":ta/icons/delAllStudies.png"),
                              QStringLiteral("Удалить все индикаторы"), DelAllStudies, this);
    m_delDrawings = new Action(icon(":ta/icons/delDrawings.png"),
                               QStringLiteral("Удалить всё рисование"), DelDrawings, this);
    m_delSelected = new QAction(icon(":ta/icons/delSelected.png"),
                                QStringLiteral("Удалить выделенный объект (Delete)"), this);

    m_viewModes = new QActionGroup(this);
    m_viewModes->setExclusive(true);
    const struct
    {
        const char *text;
        const char *icon;
    } modes[] = {{"Свечки", ":ta/icons/candles.png"},
                 {"Бары", ":ta/icons/bars.png"},
                 {"Линия", ":ta/icons/line.png"}};
    for (int i = 0; i < 3; ++i) {
        QAction *action = m_viewModes->addAction(icon(modes[i].icon), QString::fromUtf8(modes[i].text));
        action->setCheckable(true);
        action->setData(i);
    }

    m_timeFrames = new QActionGroup(this);
    m_timeFrames->setExclusive(true);
    for (const TimeFrameValue &frame : standardTimeFrames()) {
        QAction *action = m_timeFrames->addAction(frame.toString());
        action->setCheckable(true);
        action->setData(QVariant::fromValue(frame));
        if (frame == TimeFrameValue(180))
            makeBold(action);
    }

    m_selectArea = new QAction(icon(":ta/icons/rectView.png"),
                               QStringLiteral("Увеличить выделенную область"), this);
    m_selectArea->setCheckable(true);
    m_backScale = new Action(icon(":ta/icons/backViewScale.png"),
                             QStringLiteral("Откатить масштабирование по оси времени"), BackViewScale, this);
    m_backScale->setEnabled(false);
    m_defaultScale = new Action(icon(":ta/icons/defView.png"),
                                QStringLiteral("Масштабировать по умолчанию по оси времени"),
                                DefaultScaleX, this);
    m_defaultScale->setEnabled(false);
    m_incView = new Action(icon(":ta/icons/incView.png"),
                           QStringLiteral("Увеличить масштаб по оси времени"), IncView, this);
    m_incView->setData(true);
    m_decView = new Action(icon(":ta/icons/decView.png"),
                           QStringLiteral("Уменьшить масштаб по оси времени"), DecView, this);
    m_decView->setData(false);
    m_incScale = new QAction(icon(":ta/icons/incScale.png"),
                             QStringLiteral("Увеличить масштаб по вертикальной оси"), this);
    m_incScale->setData(1.2);
    m_decScale = new QAction(icon(":ta/icons/decScale.png"),
                             QStringLiteral("Уменьшить масштаб по вертикальной оси"), this);
    m_decScale->setData(0.8);
    m_seriesAutoScale = new Action(QStringLiteral("По всей серии"), SeriesAutoScale, this);
    m_seriesAutoScale->setCheckable(true);
    m_seriesAutoScale->setData(1);
    m_screenAutoScale = new Action(QStringLiteral("По экрану"), ScreenAutoScale, this);
    m_screenAutoScale->setCheckable(true);
    m_screenAutoScale->setData(ScreenMode);
    makeBold(m_screenAutoScale);
    m_upScale = new QAction(icon(":ta/icons/upScale.png"), QStringLiteral("Поднять"), this);
    m_upScale->setData(true);
    m_downScale = new QAction(icon(":ta/icons/downScale.png"), QStringLiteral("Опустить"), this);
    m_downScale->setData(false);
    m_grid = new Action(icon(":ta/icons/grid.png"), QStringLiteral("Показывать сетку"), Grid, this);
    m_grid->setCheckable(true);
    m_grid->setChecked(true);

    const char *const projections[] = {"Перекрестие и значения", "Перекрестие", "Значения",
                                       "Горизонтальная линия и значение",
                                       "Вертикальная линия и значение"};
    for (int mode = 0; mode < 5; ++mode) {
        auto *action = new QAction(QString::fromUtf8(projections[mode]), this);
        action->setCheckable(true);
        action->setData(mode);
        m_projections.append(action);
    }
    makeBold(m_projections.first());
    m_summary = new Action(icon(":ta/icons/showSummary.png"),
                           QStringLiteral("Показывать характеристики графиков"), ShowSummary, this);
    m_summary->setCheckable(true);

    const struct
    {
        const char *text;
        const char *icon;
    } tools[] = {{"Линия тренда", ":ta/icons/trendLine.png"},
                 {"Горизонтальная линия", ":ta/icons/horLine.png"},
                 {"Уровни Фибоначчи", ":ta/icons/fibonacciLines.png"},
                 {"Дуги Фибоначчи", ":ta/icons/fibonacciArcs.png"},
                 {"Веер Фибоначчи", ":ta/icons/fibonacciFan.png"}};
    for (int tool = 0; tool < 5; ++tool) {
        auto *action = new QAction(icon(tools[tool].icon), QString::fromUtf8(tools[tool].text), this);
        action->setCheckable(true);
        action->setData(tool);
        m_drawings.append(action);
    }

    m_lineWidths = new QActionGroup(this);
    m_lineWidths->setExclusive(true);
    for (int width = 1; width <= 10; ++width) {
        QAction *action = m_lineWidths->addAction(QStringLiteral("%1 пикс.").arg(width));
        action->setCheckable(true);
        action->setData(width);
        action->setChecked(width == 1);
    }
}

QToolBar *TAMainWindow::newToolBar(const QString &title)
{
    auto *bar = new QToolBar(title, this);
    bar->setIconSize(QSize(24, 24));
    bar->setMovable(false);
    addToolBar(bar);
    m_toolBars.append(bar);
    return bar;
}

void TAMainWindow::createToolBars()
{
    // Items.
    QToolBar *items = newToolBar(QStringLiteral("Панель 'Управление объектами'"));
    m_addInstrumentButton = new QToolButton(items);
    m_addSecurityMenu = new TAAddSecurityMenu(m_addInstrumentButton);
    m_addInstrumentButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_addInstrumentButton->setMenu(m_addSecurityMenu);
    m_addInstrumentButton->setDefaultAction(m_addInstrument);
    items->addWidget(m_addInstrumentButton);
    items->addAction(m_addStudy);
    items->addAction(m_itemsManager);
    items->addSeparator();
    items->addAction(m_delStudies);
    items->addAction(m_delDrawings);
    items->addAction(m_delSelected);
    items->addSeparator();
    items->addAction(m_refresh);

    // View.
    QToolBar *view = newToolBar(QStringLiteral("Панель 'Вид'"));
    view->addActions(m_viewModes->actions());
    view->addSeparator();
    m_timeFrameButton = new QToolButton(view);
    auto *frames = new QMenu(QStringLiteral("Таймфрейм"), m_timeFrameButton);
    frames->addActions(m_timeFrames->actions());
    m_timeFrameButton->setMenu(frames);
    m_timeFrameButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_timeFrameButton->setIcon(icon(":ta/icons/clock.png"));
    m_timeFrameButton->setToolTip(QStringLiteral("Таймфрейм"));
    view->addWidget(m_timeFrameButton);

    // Time scale.
    QToolBar *time = newToolBar(QStringLiteral("Панель 'Горизонтальный масштаб'"));
    time->addAction(m_incView);
    time->addAction(m_decView);
    time->addAction(m_defaultScale);
    time->addAction(m_backScale);
    time->addAction(m_selectArea);

    // Price scale.
    QToolBar *price = newToolBar(QStringLiteral("Панель 'Вертикальный масштаб'"));
    m_autoScaleButton = new QToolButton(price);
    auto *autoScale = new QMenu(m_autoScaleButton);
    autoScale->addAction(m_screenAutoScale);
    autoScale->addAction(m_seriesAutoScale);
    m_autoScaleButton->setMenu(autoScale);
    m_autoScaleButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_autoScaleButton->setCheckable(true);
    m_autoScaleButton->setIcon(icon(":ta/icons/autoScale.png"));
    m_autoScaleButton->setToolTip(QStringLiteral("Автомасштабировать по вертикальной оси"));
    price->addWidget(m_autoScaleButton);
    price->addAction(m_incScale);
    price->addAction(m_decScale);
    price->addAction(m_upScale);
    price->addAction(m_downScale);

    // Window options.
    QToolBar *options = newToolBar(QStringLiteral("Панель 'Параметры окна'"));
    options->addAction(m_grid);
    m_projectionButton = new QToolButton(options);
    auto *projections = new QMenu(m_projectionButton);
    projections->addActions(m_projections);
    m_projectionButton->setMenu(projections);
    m_projectionButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_projectionButton->setCheckable(true);
    m_projectionButton->setIcon(icon(":ta/icons/crosshair.png"));
    m_projectionButton->setToolTip(QStringLiteral("Показывать проекции на оси"));
    options->addWidget(m_projectionButton);
    options->addAction(m_summary);

    // Drawing.
    QToolBar *drawing = newToolBar(QStringLiteral("Панель 'Рисование'"));
    drawing->addActions(m_drawings);
    m_colorButton = new ColorButton(drawing);
    m_colorButton->setColor(QColor(6, 197, 255));
    m_colorButton->setToolTip(QStringLiteral("Цвет"));
    drawing->addWidget(m_colorButton);
    m_lineWidthButton = new QToolButton(drawing);
    auto *widths = new QMenu(m_lineWidthButton);
    widths->addActions(m_lineWidths->actions());
    m_lineWidthButton->setMenu(widths);
    m_lineWidthButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_lineWidthButton->setIcon(icon(":ta/icons/lineWidth.png"));
    m_lineWidthButton->setToolTip(QStringLiteral("Толщина линий"));
    drawing->addWidget(m_lineWidthButton);

    for (QToolBar *bar : std::as_const(m_toolBars)) {
        bar->addSeparator();
        // The shortcuts work while the window has the focus.
        for (QAction *action : bar->actions()) {
            if (!action->isSeparator() && !qobject_cast<QWidgetAction *>(action))
                addAction(action);
        }
    }
    addAction(m_addInstrument);
    addAction(m_seriesAutoScale);
    addAction(m_screenAutoScale);
}

void TAMainWindow::connectActions()
{
    MultiView *view = m_view;
    connect(m_addInstrument, &QAction::triggered, view, [view] { view->addUnknownItem(); });
    connect(m_addSecurityMenu, &TAAddSecurityMenu::addUnknownItem, view,
            [view] { view->addUnknownItem(); });
    connect(m_addSecurityMenu, &ModelMenu::activated, this, &TAMainWindow::addSecurity);
    connect(m_addStudy, &QAction::triggered, view, [view] { view->addStudy(); });
    connect(m_itemsManager, &QAction::triggered, view, &MultiView::showItemsManager);
    connect(m_delStudies, &QAction::triggered, view, &MultiView::delAllStudies);
    connect(m_delDrawings, &QAction::triggered, view, &MultiView::delAllDrawings);
    connect(m_delSelected, &QAction::triggered, view, &MultiView::delSelectedItem);
    connect(m_refresh, &QAction::triggered, view, &MultiView::refreshAll);

    connect(m_viewModes, &QActionGroup::triggered, view, &MultiView::changeInstrumentViewMode);
    connect(m_timeFrames, &QActionGroup::triggered, view, &MultiView::changeInstrumentTimeFrame);
    connect(m_timeFrameButton, &QToolButton::clicked, this, [this] {
        for (QAction *action : m_timeFrames->actions()) {
            if (action->data().value<TimeFrameValue>() == TimeFrameValue(180) && action->isEnabled())
                action->trigger();
        }
    });

    connect(m_incView, &QAction::triggered, view, &MultiView::changeScaleX);
    connect(m_decView, &QAction::triggered, view, &MultiView::changeScaleX);
    connect(m_defaultScale, &QAction::triggered, view, &MultiView::defaultScaleX);
    connect(m_backScale, &QAction::triggered, view, &MultiView::backScaleX);
    connect(m_selectArea, &QAction::triggered, view, &MultiView::setSelectAreaMode);

    connect(m_autoScaleButton, &QToolButton::clicked, this, [this] { m_screenAutoScale->trigger(); });
    connect(m_seriesAutoScale, &QAction::triggered, view, &MultiView::changeAutoScaleY);
    connect(m_screenAutoScale, &QAction::triggered, view, &MultiView::changeAutoScaleY);
    connect(m_incScale, &QAction::triggered, view, &MultiView::changeScaleY);
    connect(m_decScale, &QAction::triggered, view, &MultiView::changeScaleY);
    connect(m_upScale, &QAction::triggered, view, &MultiView::moveScaleY);
    connect(m_downScale, &QAction::triggered, view, &MultiView::moveScaleY);

    connect(m_grid, &QAction::triggered, view, &MultiView::showGrid);
    connect(m_projectionButton->menu(), &QMenu::triggered, this, &TAMainWindow::projectionTriggered);
    connect(m_projectionButton, &QToolButton::clicked, this, &TAMainWindow::projectionButtonClicked);
    connect(m_summary, &QAction::triggered, view, &MultiView::showSummary);

    for (QAction *tool : std::as_const(m_drawings)) {
        connect(tool, &QAction::triggered, view, &MultiView::setAddDrawingMode);
        connect(tool, &QAction::triggered, this, &TAMainWindow::emulateExclusiveDrawingMode);
    }
    connect(m_colorButton, &ColorButton::colorChanged, view, &MultiView::drawingColorChanged);
    connect(m_lineWidthButton->menu(), &QMenu::triggered, this, &TAMainWindow::drawingsWidthChanged);

    connect(view, &MultiView::enableBackScaleX, m_backScale, &QAction::setEnabled);
    connect(view, &MultiView::enableDefaultScaleX, m_defaultScale, &QAction::setEnabled);
    connect(view, &MultiView::checkSelAreaMode, m_selectArea, &QAction::setChecked);
    connect(view, &MultiView::drawingAdded, this, &TAMainWindow::uncheckDrawings);
    // A new drawing is not selected: the current item stays, but "delete drawings" has work now.
    connect(view, &MultiView::drawingAdded, this, &TAMainWindow::updateToolBar);
    connect(view, &MultiView::currItemChanged, this, &TAMainWindow::updateToolBar);
    connect(view, &MultiView::nameChanged, this, &TAMainWindow::onSeriesItemNameChange);
    connect(view, &MultiView::notice, this, &TAMainWindow::notify);

    view->setDrawingColor(m_colorButton->color());
    view->setDrawingWidth(1);
}

void TAMainWindow::notify(const QString &text)
{
    qCInfo(lcChart).noquote() << text;
    m_events->showEvent(text);
    Q_EMIT noticeShown(text);
}

// --- what the tests and the window read ------------------------------------------------------

QList<QAction *> TAMainWindow::viewModeActions() const
{
    return m_viewModes->actions();
}

QList<QAction *> TAMainWindow::timeFrameActions() const
{
    return m_timeFrames->actions();
}

QList<QAction *> TAMainWindow::lineWidthActions() const
{
    return m_lineWidths->actions();
}

QAction *TAMainWindow::autoScaleSeriesAction() const
{
    return m_seriesAutoScale;
}

QAction *TAMainWindow::autoScaleScreenAction() const
{
    return m_screenAutoScale;
}

QList<QAction *> TAMainWindow::verticalScaleActions() const
{
    return {m_seriesAutoScale, m_screenAutoScale, m_upScale, m_downScale, m_incScale, m_decScale};
}

QAction *TAMainWindow::backScaleAction() const
{
    return m_backScale;
}

QAction *TAMainWindow::defaultScaleAction() const
{
    return m_defaultScale;
}

QAction *TAMainWindow::gridAction() const
{
    return m_grid;
}

QAction *TAMainWindow::summaryAction() const
{
    return m_summary;
}

int TAMainWindow::currentLineWidth() const
{
    QAction *checked = m_lineWidths->checkedAction();
    return checked ? checked->data().toInt() : 1;
}

QStringList TAMainWindow::instrumentKeys() const
{
    QStringList keys;
    for (SeriesItem *series : m_view->seriesItems())
        keys.append(series->model()->seriesKey().toString());
    return keys;
}

// --- tool-bar state -------------------------------------------------------------------------

void TAMainWindow::updateToolBar()
{
    ChartItem *item = m_view->currentItem();
    for (QAction *action : verticalScaleActions())
        action->setEnabled(item != nullptr);

    auto *series = qobject_cast<SeriesItem *>(item);
    if (!series) {
        for (QAction *action : m_viewModes->actions()) {
            action->setChecked(false);
            action->setEnabled(false);
        }
        for (QAction *action : m_timeFrames->actions()) {
            action->setChecked(false);
            action->setEnabled(false);
        }
        m_timeFrameButton->setEnabled(false);
    } else {
        for (QAction *action : m_viewModes->actions()) {
            action->setEnabled(true);
            action->setChecked(action->data().toInt() == series->view());
        }
        m_timeFrameButton->setEnabled(true);
        // A frame outside the standard list leaves every frame unchecked.
        const TimeFrameValue frame = series->model()->timeFrame();
        QAction *match = nullptr;
        for (QAction *action : m_timeFrames->actions()) {
            action->setEnabled(true);
            if (action->data().value<TimeFrameValue>() == frame)
                match = action;
        }
        if (match) {
            match->setChecked(true);
        } else if (QAction *checked = m_timeFrames->checkedAction()) {
            m_timeFrames->setExclusive(false);
            checked->setChecked(false);
            m_timeFrames->setExclusive(true);
        }
    }

    auto *scale = item ? qobject_cast<ParentScaleItem *>(item->parentChartItem()) : nullptr;
    const int mode = scale ? scale->autoScale() : 0;
    m_autoScaleButton->setChecked(scale && mode != 0);
    m_seriesAutoScale->setChecked(scale && mode == 1);
    m_screenAutoScale->setChecked(scale && mode == ScreenMode);

    m_delStudies->setEnabled(m_view->hasStudies());
    m_delDrawings->setEnabled(m_view->hasDrawings());
    m_delSelected->setEnabled(m_view->selectedItemToDelete() != nullptr);
    m_addStudy->setEnabled(MultiView::canAddStudies() && !m_view->seriesItems().isEmpty());
    m_itemsManager->setEnabled(MultiView::canShowItemsManager());
    onSeriesItemNameChange();
}

void TAMainWindow::onSeriesItemNameChange()
{
    setUserTitle(m_view->seriesNames().join(QStringLiteral(", ")));
}

void TAMainWindow::setUserTitle(const QString &title)
{
    setProperty("userTitle", title);
    QString base;
    const QByteArray factoryName = property("windowName").toString().toUtf8();
    if (ICore *core = ICore::instance()) {
        if (IViewProvider *provider = core->viewProvider()) {
            if (IViewFactory *factory = provider->factory(factoryName))
                base = factory->title();
        }
    }
    const QString full = title.isEmpty() ? base : title + QStringLiteral(" - ") + base;
    setWindowTitle(full);
    if (IWindow *window = hostWindow(); window && window->widget())
        window->widget()->setWindowTitle(full);
}

// --- projections, drawing -------------------------------------------------------------------

void TAMainWindow::switchProjectionsOff()
{
    m_projectionButton->setChecked(false);
    m_view->changeProjectionType(SubChartOwner::NoProjection);
}

void TAMainWindow::projectionTriggered(QAction *action)
{
    if (!action)
        return;
    if (!action->isChecked()) {
        switchProjectionsOff();
        return;
    }
    m_projectionButton->setChecked(true);
    for (QAction *other : std::as_const(m_projections)) {
        if (other != action)
            other->setChecked(false);
    }
    bool ok = false;
    const int mode = action->data().toInt(&ok);
    if (!ok || mode == SubChartOwner::NoProjection) {
        switchProjectionsOff();
        return;
    }
    m_view->changeProjectionType(mode);
}

void TAMainWindow::projectionButtonClicked(bool checked)
{
    if (checked) {
        m_projections.first()->trigger();
        return;
    }
    for (QAction *action : std::as_const(m_projections))
        action->setChecked(false);
    if (m_view->projectionMode() != SubChartOwner::NoProjection) {
        for (SubChartWidget *subChart : m_view->subCharts()) {
            subChart->scene()->hideProjection();
            subChart->leftAxis()->clearCursorMark();
            subChart->rightAxis()->clearCursorMark();
        }
        m_view->timeAxis()->hideCursorLabel();
        m_view->timeAxis()->viewport()->update();
    }
    m_view->changeProjectionType(SubChartOwner::NoProjection);
}

void TAMainWindow::drawingsWidthChanged(QAction *action)
{
    bool ok = false;
    const int width = action ? action->data().toInt(&ok) : 0;
    if (ok)
        m_view->setDrawingWidth(width);
}

void TAMainWindow::uncheckDrawings()
{
    for (QAction *tool : std::as_const(m_drawings))
        tool->setChecked(false);
}

void TAMainWindow::emulateExclusiveDrawingMode(bool checked)
{
    if (!checked)
        return;
    QObject *from = sender();
    for (QAction *tool : std::as_const(m_drawings)) {
        if (tool != from)
            tool->setChecked(false);
    }
}

void TAMainWindow::addSecurity(const QModelIndex &index)
{
    const QString key = index.isValid() ? index.data(InstrumentKeyRole).toString() : QString();
    if (!key.isEmpty())
        m_view->createDefaultSeriesItem(key);
}

// --- IView ----------------------------------------------------------------------------------

QList<IViewSettingsPage *> TAMainWindow::viewSettingsPages(QObject *parent)
{
    return {new MainSettingsPage(parent), new TAColorSettingsPage(parent),
            new TAMarginsSettingsPage(parent)};
}

void TAMainWindow::fillViewContextMenu(const QPoint &pos, QMenu *menu)
{
    if (!menu)
        return;
    // Over a tool bar or a gap there is no widget of the chart area under the point.
    const QPoint inView = m_view->mapFrom(this, pos);
    QWidget *child = m_view->rect().contains(inView) ? m_view->childAt(inView) : nullptr;
    if (auto *axis = qobject_cast<VertReferenceAxisWidget *>(child)) {
        axis->fillContextMenu(menu);
    } else if (child && qobject_cast<TimeAxisScrollArea *>(child->parentWidget())) {
        QAction *dates = m_view->timeAxis()->showDateAction();
        dates->setChecked(m_view->timeAxis()->showDate());
        menu->addAction(dates);
    } else {
        // Any widget of a pane: its viewport, its status labels and the lines inside them.
        for (QWidget *w = child; w && w != m_view; w = w->parentWidget()) {
            if (auto *subChart = qobject_cast<SubChartWidget *>(w)) {
                subChart->fillContextMenu(m_view->mapFrom(this, pos), menu);
                break;
            }
        }
    }
    menu->addSeparator();
    menu->addAction(m_itemsManager);
    menu->addSeparator();
    if (QMenu *toggles = createPopupMenu()) {
        toggles->setParent(menu, toggles->windowFlags());
        menu->addActions(toggles->actions());
    }
    menu->addSeparator();
    menu->setFocus();
}

void TAMainWindow::saveViewState(Settings &settings)
{
    m_view->saveState(settings);
    settings.setValue(QStringLiteral("drawingsColor"), m_colorButton->color());
    settings.setValue(QStringLiteral("drawingsWidth"), currentLineWidth());
}

void TAMainWindow::saveViewSettings(Settings &settings)
{
    m_view->saveViewSettings(settings);
}

void TAMainWindow::applyViewSettings(Settings &settings)
{
    const QStringList keys = property("extraKey").toString().split(u'|', Qt::SkipEmptyParts);
    // A second call must not open the instruments again.
    setProperty("extraKey", QString());
    for (const QString &part : keys) {
        const QString key = part.trimmed();
        try {
            const SeriesKey parsed = SeriesKey::fromString(key);
            if (SecurityDirectory::i()->recordById(parsed.stock_id, parsed.board_id, parsed.sec_id).isNull())
                throw QStringLiteral("нет в справочнике инструментов");
        } catch (const QString &error) {
            notify(QStringLiteral("Инструмент %1 не открыт: %2").arg(key, error));
            continue;
        }
        if (SeriesItem *series = m_view->createDefaultSeriesItem(key))
            m_view->addVolume(series);
        m_view->clearItemsSelection();
    }
    m_view->applyDisplayOptions(settings);
    m_grid->setChecked(m_view->isGridShown());
    updateToolBar();
}

void TAMainWindow::restoreViewState(Settings &settings)
{
    if (!m_view->subCharts().isEmpty()) {
        // Nobody is there to answer a box: a bad value goes to the events.
        try {
            m_view->applyViewSettings(settings);
        } catch (const QString &error) {
            notify(error);
        }
        return;
    }
    m_view->restoreState(settings);
    // Items that could not come back went alone; the user hears which and why.
    for (const QString &error : m_view->restoreErrors())
        notify(error);
    m_grid->setChecked(m_view->isGridShown());
    m_summary->setChecked(m_view->isSummaryShown());
    const int mode = m_view->projectionMode();
    m_projectionButton->setChecked(mode != SubChartOwner::NoProjection);
    for (QAction *action : std::as_const(m_projections))
        action->setChecked(action->data().toInt() == mode);

    const QVariant stored = settings.value(QStringLiteral("drawingsColor"));
    QColor color = stored.value<QColor>();
    if (!color.isValid() && stored.typeId() == QMetaType::QString)
        color = QColor::fromString(stored.toString());
    if (color.isValid())
        m_colorButton->setColor(color);
    m_view->setDrawingColor(m_colorButton->color());

    // A width outside 1..10 or no number leaves the checked one.
    bool ok = false;
    const int width = settings.value(QStringLiteral("drawingsWidth")).toInt(&ok);
    if (ok) {
        for (QAction *action : m_lineWidths->actions()) {
            if (action->data().toInt() == width)
                action->setChecked(true);
        }
    }
    m_view->setDrawingWidth(currentLineWidth());
    updateToolBar();
}

QSize TAMainWindow::defaultViewSize() const
{
    return {900, 600};
}
