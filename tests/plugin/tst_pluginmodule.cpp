#include "actionmanager.h"
#include "icore.h"
#include "pluginloader.h"
#include "terminalwindow.h"
#include "testenvironment.h"
#include "windowmanager.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

// The plug-in as the terminal sees it: a module file found beside the terminal.
class TestPluginModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
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
