#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "icore.h"
#include "iplugin.h"
#include "pluginloader.h"
#include "referencedata.h"
#include "terminalwindow.h"
#include "testenvironment.h"
#include "windowmanager.h"

#include <QCoreApplication>
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
    void loadedWithAndWithoutToolBar();
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

void TestPluginModule::loadedWithAndWithoutToolBar()
{
    ActionManager *am = ActionManager::instance();
    for (bool withToolBar : {true, false}) {
        auto menuBar = std::make_unique<CommandContainer>("MenuBar");
        std::unique_ptr<CommandContainer> toolBar;
        if (withToolBar)
            toolBar = std::make_unique<CommandContainer>("ToolBar");
        QPluginLoader loader(modulePath());
        auto *plugin = qobject_cast<IPlugin *>(loader.instance());
        QVERIFY(plugin);
        ICore::instance()->addPlugin(loader.instance());
        QVERIFY(plugin->initialize(ICore::instance()));
        QVERIFY(am->container("TA.Security"));
        QCOMPARE(am->container("ToolBar.TA.Security") != nullptr, withToolBar);
        QVERIFY(!ICore::instance()->optionsPages().isEmpty());
        // The menu-bar menu is made and filled at once (its action carries the shortcut), the
        // tool bar's on demand.
        QCOMPARE(am->command("TA.TAWindow")->boundActions().size(), 1);
        if (withToolBar) {
            QMenu *menu = am->container("ToolBar.TA.Security")->menu();
            QVERIFY(menu && menu != am->container("TA.Security")->menu());
            QCOMPARE(am->command("TA.TAWindow")->boundActions().size(), 2);
        }
        plugin->shutdown();
        QVERIFY(loader.unload());
        // Everything the plug-in registered went with it.
        QVERIFY(!am->container("TA.Security"));
        QVERIFY(!am->command("TA.TAWindow"));
        QVERIFY(ICore::instance()->optionsPages().isEmpty());
        QVERIFY(ICore::instance()->plugins().isEmpty());
    }
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
