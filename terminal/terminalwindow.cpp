#include "terminalwindow.h"

#include "action.h"
#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "favoritesdialog.h"
#include "icore.h"
#include "ioptionspage.h"
#include "marketsimulator.h"
#include "optionsdialog.h"
#include "shortcutsdialog.h"
#include "visualeventcenter.h"
#include "windowmanager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>

namespace {

constexpr int ApplicationContext = 3;

} // namespace

TerminalWindow::TerminalWindow(WindowManager *windows, QWidget *parent)
    : QMainWindow(parent)
    , m_windows(windows)
    , m_area(new QMdiArea(this))
    , m_events(new QListWidget(this))
    , m_tradesLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("TerminalWindow"));
    setWindowTitle(tr("Терминал"));
    setWindowIcon(QIcon(QStringLiteral(":/terminal/icons/terminal.png")));
    m_area->setViewMode(QMdiArea::SubWindowView);
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_area);
    m_windows->setWindowArea(m_area);
    setupCommands();
    setupMenuBar();
    setupToolBars();
    setupEvents();
    statusBar()->addPermanentWidget(m_tradesLabel);
    resize(1400, 900);
}

TerminalWindow::~TerminalWindow() = default;

Action *TerminalWindow::bindCommand(const QByteArray &id, const QString &text,
                                    const QKeySequence &shortcut, CommandContainer *container,
                                    const QByteArray &key)
{
    auto *command = new Command(id, this);
    command->setCategory(tr("Терминал"));
    command->setDefaultText(text);
    command->setDefaultShortcut(shortcut);
    command->setContext(ApplicationContext);
    container->addCommand(command, key, QByteArray());
    // The command's own action answers the shortcut everywhere in the terminal.
    addAction(command->commandAction());
    return new Action(id, this);
}

void TerminalWindow::setupCommands()
{
    ActionManager *am = ActionManager::instance();
    auto *menuBar = new CommandContainer("MenuBar", this);
    CommandContainer *file = am->container("File", tr("&Файл"), "MenuBar", QByteArray(), "10");
    CommandContainer *tools = am->container("Tools", tr("&Сервис"), "MenuBar", QByteArray(),
                                            "30");
    CommandContainer *window = am->container("Window", tr("&Окна"), "MenuBar", QByteArray(),
                                             "40");
    CommandContainer *help = am->container("Help", tr("&Справка"), "MenuBar", QByteArray(), "90");
    Q_UNUSED(menuBar)
    auto *toolBar = new CommandContainer("ToolBar", this);
    toolBar->setTitle(tr("Панель инструментов"));

    Action *favorites = bindCommand("File.FavoriteSecurities", tr("&Избранные инструменты..."),
                                    QKeySequence(QStringLiteral("Ctrl+Shift+F")), file, "1");
    connect(favorites, &QAction::triggered, this, &TerminalWindow::showFavorites);
    Action *quit = bindCommand("File.Exit", tr("В&ыход"), QKeySequence::Quit, file, "9");
    connect(quit, &QAction::triggered, this, &QWidget::close);

    Action *options = bindCommand("Tools.Options", tr("&Параметры..."),
                                  QKeySequence(QStringLiteral("Ctrl+Alt+O")), tools, "1");
    connect(options, &QAction::triggered, this, &TerminalWindow::showOptions);
    Action *shortcuts = bindCommand("Tools.Shortcuts", tr("&Сочетания клавиш..."),
                                    QKeySequence(), tools, "1");
    connect(shortcuts, &QAction::triggered, this, &TerminalWindow::showShortcuts);
    Action *newDay = bindCommand("Tools.NewDay", tr("Начать &новый торговый день"),
                                 QKeySequence(), tools, "2");
    connect(newDay, &QAction::triggered, ICore::instance(), &ICore::announceNewDay);

    Action *cascade = bindCommand("Window.Cascade", tr("&Каскадом"), QKeySequence(), window, "1");
    connect(cascade, &QAction::triggered, m_area, &QMdiArea::cascadeSubWindows);
    Action *tile = bindCommand("Window.Tile", tr("&Мозаикой"), QKeySequence(), window, "1");
    connect(tile, &QAction::triggered, m_area, &QMdiArea::tileSubWindows);
    Action *closeAll = bindCommand("Window.CloseAll", tr("&Закрыть все"), QKeySequence(),
                                   window, "2");
    connect(closeAll, &QAction::triggered, m_area, &QMdiArea::closeAllSubWindows);

    Action *about = bindCommand("Help.About", tr("&О программе"), QKeySequence(), help, "1");
    connect(about, &QAction::triggered, this, &TerminalWindow::about);

    // The tool bar shows the most used terminal commands.
    am->command("File.FavoriteSecurities")->commandAction()->setIcon(
        QIcon(QStringLiteral(":/terminal/icons/favorites.png")));
    am->command("Tools.Options")->commandAction()->setIcon(
        QIcon(QStringLiteral(":/terminal/icons/options.png")));
    am->command("Tools.NewDay")->commandAction()->setIcon(
        QIcon(QStringLiteral(":/terminal/icons/newday.png")));
    am->command("File.Exit")->commandAction()->setIcon(
        QIcon(QStringLiteral(":/terminal/icons/quit.png")));
    toolBar->addCommand(am->command("File.FavoriteSecurities"), "1.File", "1");
    toolBar->addCommand(am->command("Tools.Options"), "3.Tools", "1");
    toolBar->addCommand(am->command("Tools.NewDay"), "3.Tools", "2");
}

void TerminalWindow::setupMenuBar()
{
    CommandContainer *menuBar = ActionManager::instance()->container("MenuBar");
    connect(menuBar, &CommandContainer::changed, this, &TerminalWindow::rebuildMenuBar);
    rebuildMenuBar();
}

void TerminalWindow::rebuildMenuBar()
{
    CommandContainer *container = ActionManager::instance()->container("MenuBar");
    QMenuBar *bar = menuBar();
    bar->clear();
    for (const CommandContainer::Entry &e : container->entries()) {
        if (e.container)
            bar->addMenu(e.container->menu());
        else if (e.command)
            bar->addAction(e.command->commandAction());
    }
}

void TerminalWindow::setupToolBars()
{
    QToolBar *main = ActionManager::instance()->container("ToolBar")->createToolBar(this);
    main->setObjectName(QStringLiteral("MainToolBar"));
    main->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, main);
}

void TerminalWindow::setupEvents()
{
    auto *dock = new QDockWidget(tr("События"), this);
    dock->setObjectName(QStringLiteral("EventsDock"));
    dock->setWidget(m_events);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    connect(VisualEventCenter::instance(), &VisualEventCenter::eventShown, this,
            [this, dock](int type, const QString &text, const QDateTime &when) {
                Q_UNUSED(type)
                const QString line = when.toString(QStringLiteral("hh:mm:ss ")) + text;
                m_events->addItem(line);
                m_events->scrollToBottom();
                dock->show();
                statusBar()->showMessage(line, 15000);
            });
}

void TerminalWindow::setSimulator(MarketSimulator *simulator)
{
    m_tradesLabel->setText(tr("Сделок: 0"));
    connect(simulator, &MarketSimulator::tradesAppended, this, [this](int count) {
        m_trades += count;
        m_tradesLabel->setText(tr("Сделок: %1").arg(m_trades));
    });
}

void TerminalWindow::reportProblems(const QString &title, const QStringList &problems)
{
    if (problems.isEmpty())
        return;
    for (const QString &p : problems)
        qWarning().noquote() << "terminal:" << p;
    QMessageBox box(QMessageBox::Warning, title, problems.join(u'\n'), QMessageBox::Ok, this);
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        box.exec();
}

void TerminalWindow::showOptions()
{
    AppSettings settings;
    OptionsDialog dialog(this);
    dialog.setPages(ICore::instance()->optionsPages(), &settings);
    dialog.exec();
}

void TerminalWindow::showFavorites()
{
    FavoritesDialog dialog(this);
    dialog.exec();
}

void TerminalWindow::showShortcuts()
{
    ShortcutsDialog dialog(this);
    dialog.exec();
}

void TerminalWindow::about()
{
    QMessageBox::about(this, tr("О программе"),
                       tr("Терминал для графиков технического анализа.\n"
                          "Загружено модулей: %1")
                           .arg(ICore::instance()->plugins().size()));
}

void TerminalWindow::closeEvent(QCloseEvent *event)
{
    AppSettings settings(QStringLiteral("Terminal"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState());
    QMainWindow::closeEvent(event);
}
