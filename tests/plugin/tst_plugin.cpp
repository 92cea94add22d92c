#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "hostwindow.h"
#include "icore.h"
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
#include <QLineEdit>
#include <QSemaphore>
#include <QStandardItemModel>
#include <QTableView>
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
    void menusAndContainers();
    void menuRowsOpenWindows();
    void processWideUnderConcurrentFirstUse();
    void processWideAfterFailedCreation();
    void shutdownDestroysSharedObjects();
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
    QVERIFY(own > 0);
    // The menu sits in the terminal's menu bar, the instrument list on its tool bar.
    const auto menuBarEntries = m_menuBar->entries();
    QVERIFY(std::any_of(menuBarEntries.begin(), menuBarEntries.end(),
                        [&](const auto &e) { return e.container == am->container("TA"); }));
    QCOMPARE(m_toolBar->entries().first().container.data(), am->container("ToolBar.TA.Security"));
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

    // The selector offers only instruments that can be charted (ARKT's board 7 cannot);
    // cancelled it opens nothing, accepted it opens the chosen instrument.
    QStringList offered;
    for (bool accept : {false, true}) {
        QTimer::singleShot(0, this, [&offered, accept] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *view = dialog->findChild<QTableView *>();
            QVERIFY(view);
            QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("ARKT"));
            offered.clear();
            for (int row = 0; row < view->model()->rowCount(); ++row)
                offered.append(view->model()->index(row, 0).data(Qt::UserRole).toString());
            accept ? dialog->accept() : dialog->reject();
        });
        menu.createTAWindow();
    }
    QCOMPARE(offered, QStringList({"1,1,1003", "2,2,2001", "2,5,2501"}));
    QCOMPARE(windows.opened.size(), 2);
    QCOMPARE(windows.opened.last().second, QStringLiteral("1,1,1003"));
    IWindowManager::setInstance(nullptr);
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
