#include "action.h"
#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "frameindex.h"
#include "hostwindow.h"
#include "icore.h"
#include "ioptionspage.h"
#include "iviewfactory.h"
#include "mapsettings.h"
#include "processwide.h"
#include "referencedata.h"
#include "scriptfilesmodel.h"
#include "taconstants.h"
#include "tamainwindow.h"
#include "seriesdatamanager.h"
#include "taplugin.h"
#include "tasecuritiesmenu.h"
#include "tasharedobjects.h"
#include "testenvironment.h"
#include "windowmanager.h"

#include <QDialog>
#include <QFile>
#include <QSemaphore>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

#include <atomic>
#include <memory>

namespace {

// Records the windows the plug-in asks for.
class RecordingWindowManager : public IWindowManager
{
public:
    IView *openView(const QByteArray &factoryName, const QString &extraKey) override
    {
        opened.append({factoryName, extraKey});
        return nullptr;
    }
    QList<QPair<QByteArray, QString>> opened;
};

struct Counted
{
    static std::atomic<int> created;
    static std::atomic<int> destroyed;
    Counted() { ++created; }
    ~Counted() { ++destroyed; }
};
std::atomic<int> Counted::created{0};
std::atomic<int> Counted::destroyed{0};

} // namespace

class TestPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void identity();
    void factoryLookup_data();
    void factoryLookup();
    void menusAndContainers();
    void settingsPages();
    void bothSecurityMenusBindTheirOwnAction();
    void menuRowsOpenWindows();
    void iconsExist();
    void processWideUnderConcurrentFirstUse();
    void processWideAfterFailedCreation();
    void shutdownDestroysSharedObjects();
    void windowOpensForKeysOnce();
    void workspaceKeepsWindows();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TAPlugin> m_plugin;
    CommandContainer *m_menuBar = nullptr;
    CommandContainer *m_toolBar = nullptr;
};

void TestPlugin::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "settings.ini");
    ScriptFilesModel::setRegistryDirectory(m_dir.filePath(QStringLiteral("app")));
    // Linked into this test, the data manager is in use before the plug-in starts: what the
    // shutdown deletes, and in which order, must not follow the order of first use.
    QVERIFY(SeriesDataManager::instance());
    // What the terminal provides before it initialises plug-ins.
    m_menuBar = new CommandContainer("MenuBar", this);
    m_toolBar = new CommandContainer("ToolBar", this);
    new Command(TA::Constants::FavoriteSecurities, this);
    m_plugin = std::make_unique<TAPlugin>();
    ICore::instance()->addPlugin(m_plugin.get());
    QVERIFY(m_plugin->initialize(ICore::instance()));
}

void TestPlugin::cleanupTestCase()
{
    m_plugin->shutdown();
    m_plugin.reset();
    QVERIFY(!ActionManager::instance()->command(TA::Constants::TAWindow));
    QVERIFY(ICore::instance()->optionsPages().isEmpty());
}

void TestPlugin::identity()
{
    // The terminal finds the plug-in by name and its parts by interface id.
    QCOMPARE(m_plugin->name(), QLatin1String("taplugin"));
    QCOMPARE(m_plugin->qt_metacast("com.zorn.qvantor.Plugin.IPlugin/1.0"),
             static_cast<void *>(static_cast<IPlugin *>(m_plugin.get())));
    QCOMPARE(m_plugin->qt_metacast("com.zorn.qvantor.Plugin.IViewProvider/1.0"),
             static_cast<void *>(static_cast<IViewProvider *>(m_plugin.get())));
    QVERIFY(!m_plugin->qt_metacast("com.zorn.qvantor.Plugin.IView/1.0"));
    QCOMPARE(QMetaType::fromName("FrameIndex"), QMetaType::fromType<FrameIndex>());
}

void TestPlugin::factoryLookup_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("found");
    QTest::newRow("exact") << QByteArray("TAMainWindow") << true;
    QTest::newRow("shorter") << QByteArray("TAMainWindo") << false;
    QTest::newRow("longer") << QByteArray("TAMainWindowX") << false;
    QTest::newRow("trailing zero") << QByteArray("TAMainWindow\0", 13) << false;
    QTest::newRow("other case") << QByteArray("tamainwindow") << false;
}

void TestPlugin::factoryLookup()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, found);
    IViewFactory *factory = m_plugin->factory(name);
    QCOMPARE(factory != nullptr, found);
    QCOMPARE(m_plugin->factories().size(), 1);
    if (factory)
        QVERIFY(dynamic_cast<QObject *>(factory)->qt_metacast("com.zorn.qvantor.Plugin.IViewFactory/1.0"));
}

void TestPlugin::menusAndContainers()
{
    // Every command of the plug-in: its category, owned by the plug-in, reachable from one of
    // its containers, and no two of them share a shortcut.
    ActionManager *am = ActionManager::instance();
    QSet<QByteArray> inContainers;
    std::function<void(CommandContainer *)> collect = [&](CommandContainer *container) {
        for (const auto &e : container->entries()) {
            if (e.command)
                inContainers.insert(e.command->id());
            if (e.container)
                collect(e.container);
        }
    };
    for (const char *id : {"TA", "TAToolBar", "ToolBar.TA.Security"})
        collect(am->container(id));
    QSet<QKeySequence> shortcuts;
    int own = 0;
    for (Command *command : am->commands()) {
        if (command->parent() != m_plugin.get())
            continue;
        ++own;
        QCOMPARE(command->category(), QStringLiteral("Технический анализ"));
        QVERIFY2(inContainers.contains(command->id()), command->id().constData());
        const QKeySequence key = command->defaultShortcut();
        if (!key.isEmpty()) {
            QVERIFY2(!shortcuts.contains(key), command->id().constData());
            shortcuts.insert(key);
        }
    }
    QCOMPARE(own, 17);
    // The menu sits in the terminal's menu bar, the instrument list on its tool bar.
    const auto menuBarEntries = m_menuBar->entries();
    QVERIFY(std::any_of(menuBarEntries.begin(), menuBarEntries.end(),
                        [&](const auto &e) { return e.container == am->container("TA"); }));
    QCOMPARE(m_toolBar->entries().first().container.data(), am->container("ToolBar.TA.Security"));
    QCOMPARE(am->container("TAToolBar")->entries().size(), 15);
}

void TestPlugin::settingsPages()
{
    // Six pages under one category, distinct ids, each of them able to build its widget.
    const QList<IOptionsPage *> pages = ICore::instance()->optionsPages();
    QCOMPARE(pages.size(), 6);
    QSet<QString> ids;
    for (IOptionsPage *page : pages) {
        ids.insert(page->id());
        QCOMPARE(page->category(), QStringLiteral("TechAnalysis"));
        MapSettings settings;
        QWidget parent;
        QVERIFY(page->createPage(settings, &parent));
        page->finish();
    }
    QCOMPARE(ids.size(), 6);
}

void TestPlugin::bothSecurityMenusBindTheirOwnAction()
{
    ActionManager *am = ActionManager::instance();
    auto *menu = qobject_cast<TASecuritiesMenu *>(am->container("TA.Security")->menu());
    auto *toolBarMenu = qobject_cast<TASecuritiesMenu *>(
        am->container("ToolBar.TA.Security")->menu());
    QVERIFY(menu && toolBarMenu && menu != toolBarMenu);
    QCOMPARE(menu->windowAction()->commandId(), QByteArray("TA.TAWindow"));
    QVERIFY(menu->windowAction() != toolBarMenu->windowAction());
    const QList<Action *> bound = am->command("TA.TAWindow")->boundActions();
    QVERIFY(bound.contains(menu->windowAction()));
    QVERIFY(bound.contains(toolBarMenu->windowAction()));

    // Filling: the favourites model, then the favourites command and the window command.
    menu->populate();
    QVERIFY(menu->model());
    QCOMPARE(menu->model()->parent(), menu);
    const QList<QAction *> actions = menu->actions();
    QVERIFY(actions.size() >= 3);
    QCOMPARE(actions.at(actions.size() - 2), am->command("File.FavoriteSecurities")->commandAction());
    QCOMPARE(actions.last(), am->command("TA.TAWindow")->commandAction());
    QVERIFY(actions.at(actions.size() - 3)->isSeparator());
}

void TestPlugin::menuRowsOpenWindows()
{
    RecordingWindowManager windows;
    IWindowManager::setInstance(&windows);
    TASecuritiesMenu menu;
    QStandardItemModel model;
    auto *withKey = new QStandardItem(QStringLiteral("ARKT"));
    withKey->setData(QStringLiteral("2,2,2001"), 256);
    withKey->setData(QStringLiteral("ARKT — Арктик Нефть ао"), 260);
    auto *withoutKey = new QStandardItem(QStringLiteral("пусто"));
    withoutKey->setData(QStringLiteral("без ключа"), 260);
    model.appendRow(withKey);
    model.appendRow(withoutKey);
    menu.setModel(&model);
    menu.populate();
    QCOMPARE(menu.actions().at(0)->text(), QStringLiteral("ARKT — Арктик Нефть ао"));
    menu.actions().at(1)->trigger();
    QVERIFY(windows.opened.isEmpty());
    menu.actions().at(0)->trigger();
    QCOMPARE(windows.opened.size(), 1);
    QCOMPARE(windows.opened.first().first, QByteArray("TAMainWindow"));
    QCOMPARE(windows.opened.first().second, QStringLiteral("2,2,2001"));
    // An index without a model opens nothing.
    menu.createTAWindow(QModelIndex());
    QCOMPARE(windows.opened.size(), 1);

    // The selector: cancelled opens nothing, accepted opens the chosen instrument.
    QTimer::singleShot(0, this, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(),
                 QStringLiteral("Выбор инструмента для открытия окна 'Тех. анализ'"));
        static_cast<QDialog *>(dialog)->reject();
    });
    menu.createTAWindow();
    QCOMPARE(windows.opened.size(), 1);
    IWindowManager::setInstance(nullptr);
}

void TestPlugin::iconsExist()
{
    const char *paths[] = {":/ta/icons/ta.png", ":/icons/preferences/ta.png",
                           ":ta/icons/candles.png", ":ta/icons/fibonacciFan.png"};
    for (const char *path : paths) {
        const QImage image(QString::fromLatin1(path));
        QVERIFY2(!image.isNull(), path);
        QCOMPARE(image.size(), QSize(24, 24));
    }
}

void TestPlugin::processWideUnderConcurrentFirstUse()
{
    Counted::created = 0;
    Counted::destroyed = 0;
    ProcessWide<Counted> shared([] {
        QThread::msleep(50); // long enough for every thread to arrive while it is made
        return new Counted;
    });
    QSemaphore go;
    QList<QThread *> threads;
    std::atomic<Counted *> seen[8] = {};
    for (int i = 0; i < 8; ++i) {
        threads.append(QThread::create([&, i] {
            go.acquire();
            seen[i] = shared.instance();
        }));
        threads.last()->start();
    }
    go.release(8);
    for (QThread *t : threads) {
        QVERIFY(t->wait(10000));
        delete t;
    }
    QCOMPARE(Counted::created.load(), 1);
    for (auto &s : seen)
        QCOMPARE(s.load(), shared.existing());
    QCOMPARE(shared.state(), ProcessWide<Counted>::Created);
    shared.destroy();
    QCOMPARE(Counted::destroyed.load(), 1);
    QVERIFY(!shared.existing());
    QVERIFY(shared.instance());
    QCOMPARE(Counted::created.load(), 2);
    shared.destroy();
}

void TestPlugin::processWideAfterFailedCreation()
{
    int attempts = 0;
    ProcessWide<Counted> shared([&attempts]() -> Counted * {
        if (++attempts == 1)
            throw QStringLiteral("no resources");
        return new Counted;
    });
    bool thrown = false;
    try {
        shared.instance();
    } catch (const QString &e) {
        thrown = e == QLatin1String("no resources");
    }
    QVERIFY(thrown);
    QCOMPARE(shared.state(), ProcessWide<Counted>::Failed);
    QVERIFY(!shared.existing());
    QVERIFY(shared.instance());
    QCOMPARE(attempts, 2);
    QCOMPARE(shared.state(), ProcessWide<Counted>::Created);
    shared.destroy();
}

void TestPlugin::shutdownDestroysSharedObjects()
{
    static ProcessWide<Counted> shared([] { return new Counted; });
    static bool registered = false;
    if (!registered) {
        TASharedObjects::add("counted", [] { shared.destroy(); });
        registered = true;
    }
    Counted::destroyed = 0;
    Counted *first = shared.instance();
    QVERIFY(first);
    // The start made both script-file registries, with the user's folders for their files.
    for (const char *folder : {"data/tascripts/indicators", "data/tascripts/functions"})
        QVERIFY2(QFileInfo(m_dir.filePath(QLatin1String(folder))).isDir(), folder);
    // The data manager, once used, serves the bar models until the plug-in shuts down.
    SeriesDataManager *manager = SeriesDataManager::instance();
    QCOMPARE(SeriesDataService::instance(), static_cast<SeriesDataService *>(manager));
    QStringList deleted;
    QObject watching;
    const auto watch = [&](QObject *object, const QString &name) {
        connect(object, &QObject::destroyed, &watching, [&deleted, name] { deleted << name; });
    };
    watch(manager, QStringLiteral("data manager"));
    watch(FunctionFilesModel::instance(), QStringLiteral("functions"));
    watch(StudyFilesModel::instance(), QStringLiteral("indicators"));
    // Shutting down clears and deletes the shared objects, the registries before the data
    // manager; the next use makes a fresh one.
    m_plugin->shutdown();
    QCOMPARE(deleted, QStringList({"indicators", "functions", "data manager"}));
    QCOMPARE(Counted::destroyed.load(), 1);
    QVERIFY(!SeriesDataService::instance());
    QVERIFY(!shared.existing());
    QVERIFY(shared.instance());
}

void TestPlugin::windowOpensForKeysOnce()
{
    TAMainWindow window;
    window.setProperty("windowName", QStringLiteral("TAMainWindow"));
    window.setProperty("extraKey", QStringLiteral("2,2,2001||1,1,1001"));
    MapSettings settings;
    window.applyViewSettings(settings);
    QCOMPARE(window.instrumentKeys(), QStringList({"2,2,2001", "1,1,1001"}));
    QCOMPARE(window.property("extraKey").toString(), QString());
    window.applyViewSettings(settings);
    QCOMPARE(window.instrumentKeys().size(), 2);
    QCOMPARE(window.defaultViewSize(), QSize(900, 600));
    QCOMPARE(window.windowTitle(), QStringLiteral("Арктик Нефть ао, VLMR-3.27 - Тех. анализ"));
    QCOMPARE(window.viewSettingsPages(&window).size(), 3);
}

void TestPlugin::workspaceKeepsWindows()
{
    WindowManager windows;
    IWindowManager::setInstance(&windows);
    QVERIFY(windows.openView("TAMainWindow", QStringLiteral("2,2,2001")));
    QVERIFY(windows.openView("TAMainWindow", QStringLiteral("3,4,3001|1,1,1001")));
    MapSettings workspace;
    windows.saveWorkspace(workspace);
    windows.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A window whose saved structure is broken is dropped with the key; the other stays.
    workspace.setValue(QStringLiteral("window_0/state/viewCount"), QStringLiteral("x"));
    const QStringList problems = windows.restoreWorkspace(workspace);
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().contains(QLatin1String("viewCount")), qPrintable(problems.first()));
    QCOMPARE(windows.windows().size(), 1);
    auto *window = dynamic_cast<TAMainWindow *>(windows.windows().first()->view());
    QVERIFY(window);
    QCOMPARE(window->instrumentKeys(), QStringList({"3,4,3001", "1,1,1001"}));
    windows.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    IWindowManager::setInstance(nullptr);
}

QTEST_MAIN(TestPlugin)
#include "tst_plugin.moc"
