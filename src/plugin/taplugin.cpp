#include "taplugin.h"

#include "action.h"
#include "actionmanager.h"
#include "command.h"
#include "commandcontainer.h"
#include "frameindex.h"
#include "icore.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "scriptfilesmanager.h"
#include "scriptfilesmodel.h"
#include "seriesitemdefaultpropertypage.h"
#include "sessionschedulepage.h"
#include "dialogservices.h"
#include "drawingservices.h"
#include "studyservices.h"
#include "studyitemdefaultpropertypage.h"
#include "tacolordefaultsettingspage.h"
#include "taconfirmationoptionspage.h"
#include "taconstants.h"
#include "tageneralsettingspage.h"
#include "tamainwindowfactory.h"
#include "tasecuriritycontainer.h"
#include "tasecuritiesmenu.h"
#include "tasharedobjects.h"

#include <QApplication>
#include <QIcon>

using namespace TA::Constants;

TAPlugin::TAPlugin(QObject *parent)
    : QObject(parent)
{
    Q_INIT_RESOURCE(ta);
    qRegisterMetaType<FrameIndex>("FrameIndex");
    qRegisterMetaType<SeriesDataModel *>("SeriesDataModel*");
    qRegisterMetaType<SeriesDataModel *>("SeriesDataModel*const");
    auto *factory = new TAMainWindowFactory(this);
    m_factories.append(factory);
}

TAPlugin::~TAPlugin() = default;

QLatin1String TAPlugin::name() const
{
    return QLatin1String("taplugin");
}

QString TAPlugin::displayName() const
{
    return tr("Тех. анализ");
}

QString TAPlugin::vendor() const
{
    return tr("Велмора");
}

QString TAPlugin::version() const
{
    return QStringLiteral("7.21.2082");
}

QString TAPlugin::description() const
{
    return tr("Технический анализ на графиках");
}

bool TAPlugin::initialize(ICore *core)
{
    StudyServices::install();
    DrawingServices::install();
    DialogServices::install();
    setupMenus();
    setupSettingsPages(core);
    setupScriptFiles();
    setupToolBarCommands();
    return true;
}

void TAPlugin::shutdown()
{
    // A fixed order, whichever object was used first: the two registries, then the data
    // manager; each one's pointer is cleared before the object goes.
    StudyFilesModel::destroyInstance();
    FunctionFilesModel::destroyInstance();
    SeriesDataManager::destroyInstance();
    // Then whatever else was made on first use.
    TASharedObjects::destroyAll();
}

void TAPlugin::pluginsInitialized() {}

QList<IViewFactory *> TAPlugin::factories() const
{
    return m_factories;
}

void TAPlugin::setupMenus()
{
    ActionManager *am = ActionManager::instance();
    CommandContainer *menu = am->container(MenuContainer, tr("Тех. &анализ"), MenuBar,
                                           QByteArray(), QByteArrayLiteral("25"));
    // The manager makes it its own child; it must leave the menu bar with the plug-in.
    menu->setParent(this);

    auto *securities = new TASecurirityContainer(SecurityContainer, this);
    securities->setTitle(tr("Построить &график"));
    menu->addContainer(securities, QByteArray(), QByteArray());

    auto *taWindow = new Command(TAWindow, this);
    taWindow->setCategory(tr("Технический анализ"));
    taWindow->setDefaultText(tr("&Выбрать инструмент..."));
    taWindow->setDefaultShortcut(QKeySequence(QStringLiteral("Alt+C")));
    taWindow->setContext(ApplicationContext);
    securities->addCommand(taWindow, QByteArray(), QByteArray());
    // Filled at once rather than when first opened: the command's own action, which carries
    // Alt+C, then sits in the menu from the start and the shortcut works at once.
    if (auto *securitiesMenu = qobject_cast<TASecuritiesMenu *>(securities->menu()))
        securitiesMenu->populate();

    auto *studyEditor = new Command(StudyEditor, this);
    studyEditor->setCategory(tr("Технический анализ"));
    studyEditor->setDefaultText(tr("Редактор &индикаторов"));
    studyEditor->setDefaultShortcut(QKeySequence(QStringLiteral("Shift+E")));
    studyEditor->setContext(ApplicationContext);
    menu->addCommand(studyEditor, QByteArrayLiteral("A"), QByteArray());
    auto *studyEditorAction = new Action(StudyEditor, this);
    connect(studyEditorAction, &QAction::triggered, this, &TAPlugin::showStudyEditor);

    if (CommandContainer *toolBar = am->container(ToolBar)) {
        auto *toolBarSecurities = new TASecurirityContainer(ToolBarSecurityContainer, this);
        toolBarSecurities->setTitle(tr("Построить &график"));
        toolBarSecurities->setIcon(QIcon(QString::fromLatin1(PluginIcon)));
        toolBar->addContainer(toolBarSecurities, QByteArrayLiteral("2.Tables"),
                              QByteArrayLiteral("2"));
    }
}

void TAPlugin::setupSettingsPages(ICore *core)
{
    core->addOptionsPage(new SessionSchedulePage(this));
    core->addOptionsPage(new SeriesItemDefaultPropertyPage(this));
    core->addOptionsPage(new StudyItemDefaultPropertyPage(this));
    core->addOptionsPage(new TAColorDefaultSettingsPage(this));
    core->addOptionsPage(new TAConfirmationOptionsPage(this));
    core->addOptionsPage(new TAGeneralSettingsPage(this));
}

void TAPlugin::setupScriptFiles()
{
    // The registries of indicator and function files live from the start; one that is already
    // there (the plug-in started again) reads its folder anew.
    StudyFilesModel::instance()->reload();
    FunctionFilesModel::instance()->reload();
}

void TAPlugin::setupToolBarCommands()
{
    CommandContainer *toolBar = ActionManager::instance()->container(
        ToolBarContainer, tr("Тех. анализ: Панель инструментов"), QByteArray(), QByteArray(),
        QByteArray());
    toolBar->setParent(this); // as the menu
    const struct
    {
        const char *id;
        QString text;
        const char *shortcut;
    } commands[] = {
        {AddInstrument, tr("Добавить график инструмента"), "Ctrl+A"},
        {AddStudy, tr("Добавить индикатор"), "Ctrl+Shift+A"},
        {ItemsManager, tr("Менеджер объектов"), "Ctrl+J"},
        {Refresh, tr("Перестроить"), "Ctrl+R"},
        {DelAllStudies, tr("Удалить все индикаторы"), nullptr},
        {DelDrawings, tr("Удалить всё рисование"), nullptr},
        {IncView, tr("Увеличить масштаб по оси времени"), "Ctrl+="},
        {DecView, tr("Уменьшить масштаб по оси времени"), "Ctrl+-"},
        {DefaultScaleX, tr("Масштабировать по умолчанию по оси времени"), "Ctrl+0"},
        {BackViewScale, tr("Откатить масштабирование по оси времени"), "Ctrl+Backspace"},
        {SeriesAutoScale, tr("Автомасштабировать по всей серии"), "Ctrl+D"},
        {ScreenAutoScale, tr("Автомасштабировать по экрану"), "Ctrl+F"},
        {Grid, tr("Показывать сетку"), "Ctrl+G"},
        {Crosshair, tr("Показывать проекции на оси"), "Ctrl+P"},
        {ShowSummary, tr("Показывать характеристики графиков"), "Ctrl+U"},
    };
    for (const auto &c : commands) {
        auto *command = new Command(c.id, this);
        command->setCategory(tr("Технический анализ"));
        command->setDefaultText(c.text);
        if (c.shortcut)
            command->setDefaultShortcut(QKeySequence(QString::fromLatin1(c.shortcut)));
        command->setShortcutVisibleInToolTip(true);
        toolBar->addCommand(command, QByteArray(), QByteArray());
    }
}

void TAPlugin::showStudyEditor()
{
    ScriptFilesManager manager(QApplication::activeWindow());
    manager.exec();
}
