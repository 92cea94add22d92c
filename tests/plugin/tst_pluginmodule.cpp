#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "icore.h"
#include "iplugin.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "pluginloader.h"
#include "referencedata.h"
#include "terminalwindow.h"
#include "testenvironment.h"
#include "windowmanager.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QMenuBar>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The plug-in as the terminal sees it: a module file found beside the terminal.
class TestPluginModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void metadata();
    void instanceAndInterfaces();
    void initializeWithToolBar();
    void reloadWithoutToolBar();
    void unloadLeavesNoMenu();

private:
    QString modulePath() const;
    QTemporaryDir m_dir;
};

QString TestPluginModule::modulePath() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/plugins/libtaplugin.so");
}

void TestPluginModule::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "settings.ini");
    QVERIFY2(QFile::exists(modulePath()), qPrintable(modulePath()));
}

void TestPluginModule::metadata()
{
    QPluginLoader loader(modulePath());
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QLatin1String("IID")).toString(), QStringLiteral("qdsk.plugin.taplugin"));
    QCOMPARE(meta.value(QLatin1String("className")).toString(), QStringLiteral("TAPlugin"));
    // No JSON metadata object of our own.
    QVERIFY(meta.value(QLatin1String("MetaData")).toObject().isEmpty());
}

void TestPluginModule::instanceAndInterfaces()
{
    QPluginLoader loader(modulePath());
    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    // The same object while it lives.
    QCOMPARE(loader.instance(), instance);
    auto *plugin = qobject_cast<IPlugin *>(instance);
    QVERIFY(plugin);
    QCOMPARE(plugin->name(), QLatin1String("taplugin"));
    QVERIFY(instance->qt_metacast("com.zorn.qvantor.Plugin.IPlugin/1.0"));
    QVERIFY(instance->qt_metacast("com.zorn.qvantor.Plugin.IViewProvider/1.0"));
    auto *provider = qobject_cast<IViewProvider *>(instance);
    QVERIFY(provider);
    QVERIFY(provider->factory("TAMainWindow"));
    QVERIFY(!provider->factory("TAMainWindow2"));
    QVERIFY(loader.unload());
}

void TestPluginModule::initializeWithToolBar()
{
    auto menuBar = std::make_unique<CommandContainer>("MenuBar");
    auto toolBar = std::make_unique<CommandContainer>("ToolBar");
    QPluginLoader loader(modulePath());
    auto *plugin = qobject_cast<IPlugin *>(loader.instance());
    QVERIFY(plugin);
    ICore::instance()->addPlugin(loader.instance());
    QVERIFY(plugin->initialize(ICore::instance()));
    ActionManager *am = ActionManager::instance();
    QVERIFY(am->container("TA.Security"));
    QVERIFY(am->container("ToolBar.TA.Security"));
    // The menu-bar menu is made and filled at once (its action carries the shortcut), the
    // tool bar's on demand.
    QCOMPARE(am->command("TA.TAWindow")->boundActions().size(), 1);
    QMenu *one = am->container("TA.Security")->menu();
    QMenu *two = am->container("ToolBar.TA.Security")->menu();
    QVERIFY(one && two && one != two);
    QCOMPARE(am->command("TA.TAWindow")->boundActions().size(), 2);
    QCOMPARE(ICore::instance()->optionsPages().size(), 6);
    plugin->shutdown();
    QVERIFY(loader.unload());
    // Everything the plug-in registered went with it.
    QVERIFY(!am->container("TA.Security"));
    QVERIFY(!am->command("TA.TAWindow"));
    QVERIFY(ICore::instance()->optionsPages().isEmpty());
    QVERIFY(ICore::instance()->plugins().isEmpty());
}

void TestPluginModule::reloadWithoutToolBar()
{
    auto menuBar = std::make_unique<CommandContainer>("MenuBar");
    QVERIFY(!ActionManager::instance()->container("ToolBar"));
    QPluginLoader loader(modulePath());
    auto *plugin = qobject_cast<IPlugin *>(loader.instance());
    QVERIFY(plugin);
    QVERIFY(plugin->initialize(ICore::instance()));
    QVERIFY(ActionManager::instance()->container("TA.Security"));
    QVERIFY(!ActionManager::instance()->container("ToolBar.TA.Security"));
    plugin->shutdown();
    QVERIFY(loader.unload());
}

void TestPluginModule::unloadLeavesNoMenu()
{
    // The terminal's window and loader: the plug-in's menu is in the menu bar while the module
    // is loaded, and nothing of it stays there after the module is gone.
    WindowManager windows;
    TerminalWindow window(&windows);
    const auto menuTitles = [&window] {
        QStringList titles;
        for (const QAction *action : window.menuBar()->actions())
            titles.append(action->text());
        return titles;
    };
    PluginLoader plugins;
    QCOMPARE(plugins.loadFolder(QFileInfo(modulePath()).path()), QStringList());
    QCOMPARE(plugins.initializeAll(ICore::instance()), QStringList());
    QVERIFY2(menuTitles().contains(QStringLiteral("Тех. &анализ")),
             qPrintable(menuTitles().join(u' ')));
    plugins.shutdownAll();
    QVERIFY2(!menuTitles().contains(QStringLiteral("Тех. &анализ")),
             qPrintable(menuTitles().join(u' ')));
    QCOMPARE(menuTitles().size(), 4);
    QVERIFY(!ActionManager::instance()->container("TA"));
    QVERIFY(!ActionManager::instance()->container("TAToolBar"));
}

QTEST_MAIN(TestPluginModule)
#include "tst_pluginmodule.moc"
