#include "action.h"
#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "hostwindow.h"
#include "icore.h"
#include "iplugin.h"
#include "itransport.h"
#include "iview.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "mapsettings.h"
#include "windowmanager.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A view that keeps one text; its restore throws when the saved text says so.
class TextView : public QLabel, public IView
{
    Q_OBJECT
    Q_INTERFACES(IView)
public:
    using QLabel::QLabel;
    void saveViewState(Settings &settings) override { settings.setValue("text", text()); }
    void applyViewSettings(Settings &settings) override
    {
        Q_UNUSED(settings)
        setText(property("extraKey").toString());
    }
    void restoreViewState(Settings &settings) override
    {
        const QString t = settings.value("text").toString();
        if (t == QLatin1String("broken"))
            throw QStringLiteral("text");
        setText(t);
    }
    QSize defaultViewSize() const override { return {300, 200}; }
};

class TextViewFactory : public QObject, public IViewFactory
{
    Q_OBJECT
    Q_INTERFACES(IViewFactory)
public:
    using QObject::QObject;
    QByteArray name() const override { return "TextView"; }
    QString title() const override { return QStringLiteral("Текст"); }
    IView *createView(const QVariant &, QWidget *parent) override { return new TextView(parent); }
};

class FakePlugin : public QObject, public IPlugin, public IViewProvider, public ITransport
{
    Q_OBJECT
    Q_INTERFACES(IPlugin IViewProvider ITransport)
public:
    explicit FakePlugin(const char *name)
        : m_name(name)
        , m_factory(new TextViewFactory(this))
    {
    }
    QLatin1String name() const override { return QLatin1String(m_name); }
    QString displayName() const override { return {}; }
    QString vendor() const override { return {}; }
    QString version() const override { return {}; }
    QString description() const override { return {}; }
    bool initialize(ICore *) override { return true; }
    void shutdown() override {}
    QList<IViewFactory *> factories() const override { return {m_factory}; }
    QString parametersGroup() const override { return {}; }
    bool isConnected() const override { return true; }

private:
    const char *m_name;
    TextViewFactory *m_factory;
};

} // namespace

class TestHostCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void coreFindsPluginsByExactName();
    void containersOrderByKeys();
    void containerDropsDeletedEntries();
    void commandShortcutIsRemembered();
    void actionFiresOnlyInActiveWindow();
    void applicationCommandServedOnce();
    void workspaceDropsBrokenWindow();

private:
    QTemporaryDir m_dir;
    FakePlugin *m_plugin = nullptr;
};

void TestHostCore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("settings.ini")));
    m_plugin = new FakePlugin("textplugin");
    ICore::instance()->addPlugin(m_plugin);
}

void TestHostCore::coreFindsPluginsByExactName()
{
    FakePlugin hdx("hdxplugin");
    ICore::instance()->addPlugin(&hdx);
    QObject *found = ICore::instance()->plugin(QStringLiteral("hdxplugin"));
    QCOMPARE(found, &hdx);
    QVERIFY(found->qt_metacast(ITransport_iid));
    QVERIFY(!ICore::instance()->plugin(QStringLiteral("HDXplugin")));
    // A destroyed plug-in leaves the list.
    const int before = int(ICore::instance()->plugins().size());
    {
        FakePlugin temporary("temporary");
        ICore::instance()->addPlugin(&temporary);
        QCOMPARE(ICore::instance()->plugins().size(), before + 1);
    }
    QCOMPARE(ICore::instance()->plugins().size(), before);
    ICore::instance()->removePlugin(&hdx);
}

void TestHostCore::containersOrderByKeys()
{
    CommandContainer menu("Test.Menu");
    Command a("Test.a"), b("Test.b"), c("Test.c");
    CommandContainer sub("Test.Sub");
    menu.addCommand(&a, "B", "");
    menu.addCommand(&b, "A", "2");
    menu.addContainer(&sub, "", "");
    menu.addCommand(&c, "A", "1");
    const QList<CommandContainer::Entry> entries = menu.entries();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.at(0).container.data(), &sub);
    QCOMPARE(entries.at(1).command.data(), &c);
    QCOMPARE(entries.at(2).command.data(), &b);
    QCOMPARE(entries.at(3).command.data(), &a);
    QCOMPARE(ActionManager::instance()->container("Test.Menu"), &menu);

    // The creating form puts a new container into its parent and returns the same one later.
    CommandContainer *created = ActionManager::instance()->container("Test.Created", "Создан",
                                                                     "Test.Menu", "", "0");
    QVERIFY(created);
    QCOMPARE(menu.entries().at(1).container.data(), created); // ("", "0") after ("", "")
    QCOMPARE(ActionManager::instance()->container("Test.Created", QString(), "Test.Menu", "", ""),
             created);
    QCOMPARE(menu.entries().size(), 5);
    delete created;
}

void TestHostCore::containerDropsDeletedEntries()
{
    CommandContainer menu("Test.Drops");
    QSignalSpy changed(&menu, &CommandContainer::changed);
    auto *command = new Command("Test.drop");
    menu.addCommand(command, "", "");
    QMenu *m = menu.menu();
    QCOMPARE(m->actions().size(), 1);
    delete command;
    QVERIFY(menu.entries().isEmpty());
    QVERIFY(m->actions().isEmpty());
    QVERIFY(!ActionManager::instance()->command("Test.drop"));
    QVERIFY(changed.count() >= 2);
}

void TestHostCore::commandShortcutIsRemembered()
{
    {
        Command command("Test.rebind");
        command.setDefaultShortcut(QKeySequence(QStringLiteral("Ctrl+J")));
        QCOMPARE(command.shortcut(), QKeySequence(QStringLiteral("Ctrl+J")));
        QMainWindow window;
        auto *action = new Action("Test.rebind", &window);
        QCOMPARE(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+J")));
        QSignalSpy spy(&command, &Command::shortcutChanged);
        command.setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+K")));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+K")));
    }
    // A command created later (next start) finds the user's choice.
    {
        Command again("Test.rebind");
        again.setDefaultShortcut(QKeySequence(QStringLiteral("Ctrl+J")));
        QCOMPARE(again.shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+K")));
        again.resetShortcut();
        QCOMPARE(again.shortcut(), QKeySequence(QStringLiteral("Ctrl+J")));
    }
}

void TestHostCore::actionFiresOnlyInActiveWindow()
{
    Command command("Test.window");
    command.setDefaultShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
    QMainWindow first, second;
    // Chart windows have focusable content; the shortcut follows the focus.
    first.setCentralWidget(new QLineEdit(&first));
    second.setCentralWidget(new QLineEdit(&second));
    auto *a = new Action(QStringLiteral("A"), "Test.window", &first);
    auto *b = new Action(QStringLiteral("B"), "Test.window", &second);
    first.addAction(a);
    second.addAction(b);
    QSignalSpy spyA(a, &QAction::triggered), spyB(b, &QAction::triggered);
    first.show();
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));

    QApplication::setActiveWindow(&second);
    QTRY_VERIFY(second.isActiveWindow());
    QVERIFY(command.invoke());
    QCOMPARE(spyA.count(), 0);
    QCOMPARE(spyB.count(), 1);

    QApplication::setActiveWindow(&first);
    QTRY_VERIFY(first.isActiveWindow());
    first.centralWidget()->setFocus();
    QTRY_VERIFY(first.centralWidget()->hasFocus());
    QTest::keyClick(first.centralWidget(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(spyA.count(), 1);
    QCOMPARE(spyB.count(), 1);

    // A disabled action is not triggered, and no other window's action stands in for it.
    a->setEnabled(false);
    QVERIFY(!command.invoke());
    QCOMPARE(spyB.count(), 1);

    // Within one window, the action of the active sub-window fires.
    Command sub("Test.sub");
    QMainWindow frame;
    auto *area = new QMdiArea(&frame);
    frame.setCentralWidget(area);
    auto *one = new Action(QStringLiteral("one"), "Test.sub", new QWidget);
    auto *two = new Action(QStringLiteral("two"), "Test.sub", new QWidget);
    QMdiSubWindow *subOne = area->addSubWindow(qobject_cast<QWidget *>(one->parent()));
    QMdiSubWindow *subTwo = area->addSubWindow(qobject_cast<QWidget *>(two->parent()));
    QSignalSpy spyOne(one, &QAction::triggered), spyTwo(two, &QAction::triggered);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QApplication::setActiveWindow(&frame);
    QTRY_VERIFY(frame.isActiveWindow());
    area->setActiveSubWindow(subOne);
    QVERIFY(sub.invoke());
    area->setActiveSubWindow(subTwo);
    QVERIFY(sub.invoke());
    QCOMPARE(spyOne.count(), 1);
    QCOMPARE(spyTwo.count(), 1);
}

void TestHostCore::applicationCommandServedOnce()
{
    Command command("Test.app");
    command.setContext(Command::ApplicationContext);
    command.setDefaultShortcut(QKeySequence(QStringLiteral("Alt+C")));
    QMenu menuOne, menuTwo;
    auto *a = new Action("Test.app", &menuOne);
    auto *b = new Action("Test.app", &menuTwo);
    // Actions of application commands carry no shortcut: the command's own action does.
    QVERIFY(a->shortcut().isEmpty());
    QSignalSpy spyA(a, &QAction::triggered), spyB(b, &QAction::triggered);
    command.commandAction()->trigger();
    QCOMPARE(spyA.count() + spyB.count(), 1);
}

void TestHostCore::workspaceDropsBrokenWindow()
{
    MapSettings workspace;
    workspace.setValue(QStringLiteral("count"), 3);
    workspace.setValue(QStringLiteral("window_0/factory"), QStringLiteral("TextView"));
    workspace.setValue(QStringLiteral("window_0/state/text"), QStringLiteral("broken"));
    workspace.setValue(QStringLiteral("window_1/factory"), QStringLiteral("TextView"));
    workspace.setValue(QStringLiteral("window_1/state/text"), QStringLiteral("good"));
    workspace.setValue(QStringLiteral("window_2/factory"), QStringLiteral("Unknown"));
    WindowManager manager;
    const QStringList problems = manager.restoreWorkspace(workspace);
    QCOMPARE(problems.size(), 2);
    QVERIFY2(problems.at(0).contains(QLatin1String("text")), qPrintable(problems.at(0)));
    QVERIFY2(problems.at(1).contains(QLatin1String("Unknown")), qPrintable(problems.at(1)));
    QCOMPARE(manager.windows().size(), 1);
    QCOMPARE(static_cast<QLabel *>(manager.windows().first()->viewWidget())->text(),
             QStringLiteral("good"));
    manager.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TestHostCore)
#include "tst_hostcore.moc"
