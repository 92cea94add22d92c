#include "actionmanager.h"
#include "command.h"
#include "commandcontainer.h"
#include "icore.h"
#include "iwindowmanager.h"
#include "processwide.h"
#include "scriptfilesmodel.h"
#include "taconstants.h"
#include "seriesdatamanager.h"
#include "taplugin.h"
#include "tasecuritiesmenu.h"
#include "testenvironment.h"

#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSemaphore>
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
    void selectorOpensAWindow();
    void processWideUnderConcurrentFirstUse();
    void shutdownDestroysSharedObjects();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TAPlugin> m_plugin;
};

void TestPlugin::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "settings.ini");
    ScriptFilesModel::setRegistryDirectory(m_dir.filePath(QStringLiteral("app")));
    // Linked into this test, the data manager is in use before the plug-in starts: what the
    // shutdown deletes, and in which order, must not follow the order of first use.
    QVERIFY(SeriesDataManager::instance());
    // What the terminal provides before it initialises plug-ins.
    new CommandContainer("MenuBar", this);
    new CommandContainer("ToolBar", this);
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
    // Every command of the plug-in is reachable from one of its containers, and no two of them
    // share a shortcut.
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
        QVERIFY2(inContainers.contains(command->id()), command->id().constData());
        const QKeySequence key = command->defaultShortcut();
        if (!key.isEmpty()) {
            QVERIFY2(!shortcuts.contains(key), command->id().constData());
            shortcuts.insert(key);
        }
    }
    QVERIFY(own > 0);
}

void TestPlugin::selectorOpensAWindow()
{
    RecordingWindowManager windows;
    IWindowManager::setInstance(&windows);
    TASecuritiesMenu menu;
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
    QCOMPARE(windows.opened.size(), 1);
    QCOMPARE(windows.opened.last().first, QByteArray("TAMainWindow"));
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

void TestPlugin::shutdownDestroysSharedObjects()
{
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
    // Shutting down deletes the shared objects, the registries before the data manager.
    m_plugin->shutdown();
    QCOMPARE(deleted, QStringList({"indicators", "functions", "data manager"}));
    QVERIFY(!SeriesDataService::instance());
}

QTEST_MAIN(TestPlugin)
#include "tst_plugin.moc"
