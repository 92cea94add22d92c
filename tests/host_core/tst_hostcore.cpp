#include "action.h"
#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"
#include "commandcontainer.h"
#include "hostwindow.h"
#include "icore.h"
#include "ioptionspage.h"
#include "iplugin.h"
#include "itransport.h"
#include "iview.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "mapsettings.h"
#include "modelmenu.h"
#include "optionsdialog.h"
#include "windowmanager.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
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

class NamePage : public QObject, public IOptionsPage
{
    Q_OBJECT
    Q_INTERFACES(IOptionsPage)
public:
    NamePage(const QString &id, const QString &category, QObject *parent = nullptr)
        : QObject(parent)
        , m_id(id)
        , m_category(category)
    {
    }
    QString id() const override { return m_id; }
    QString displayName() const override { return m_id; }
    QString category() const override { return m_category; }
    QString displayCategory() const override { return m_category; }
    QIcon categoryIcon() const override { return {}; }
    void finish() override
    {
        ++finished;
        m_edit = nullptr;
    }
    QWidget *createPage(const Settings &settings, QWidget *parent) override
    {
        m_edit = new QLineEdit(settings.value(m_id).toString(), parent);
        return m_edit;
    }
    void apply(Settings &settings) override
    {
        if (m_edit)
            settings.setValue(m_id, m_edit->text());
    }
    QLineEdit *edit() const { return m_edit; }
    int finished = 0;

private:
    QString m_id;
    QString m_category;
    QPointer<QLineEdit> m_edit;
};

} // namespace

class TestHostCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void coreFindsPluginsByExactName();
    void factoryLookupIsExact_data();
    void factoryLookupIsExact();
    void containersOrderByKeys();
    void containerDropsDeletedEntries();
    void commandShortcutIsRemembered();
    void actionFiresOnlyInActiveWindow();
    void actionFiresOnlyInActiveSubWindow();
    void applicationCommandServedOnce();
    void modelMenuHooksAndActivation();
    void optionsDialogApplyAndCancel();
    void workspaceRoundTrip();
    void workspaceDropsBrokenWindow();
    void hostWindowAnswersToIWindow();

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
    QVERIFY(!ICore::instance()->plugin(QStringLiteral("hdxplugi")));
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

void TestHostCore::factoryLookupIsExact_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("found");
    QTest::newRow("exact") << QByteArray("TextView") << true;
    QTest::newRow("shorter") << QByteArray("TextVie") << false;
    QTest::newRow("longer") << QByteArray("TextView ") << false;
    QTest::newRow("with a zero byte") << QByteArray("TextView\0", 9) << false;
    QTest::newRow("case") << QByteArray("textview") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestHostCore::factoryLookupIsExact()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, found);
    QCOMPARE(ICore::instance()->viewProvider()->factory(name) != nullptr, found);
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
    Command third("Test.rebind");
    third.setDefaultShortcut(QKeySequence(QStringLiteral("Ctrl+J")));
    QCOMPARE(third.shortcut(), QKeySequence(QStringLiteral("Ctrl+J")));
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
}

void TestHostCore::actionFiresOnlyInActiveSubWindow()
{
    Command command("Test.sub");
    QMainWindow frame;
    auto *area = new QMdiArea(&frame);
    frame.setCentralWidget(area);
    auto *one = new QWidget;
    auto *two = new QWidget;
    auto *a = new Action(QStringLiteral("one"), "Test.sub", one);
    auto *b = new Action(QStringLiteral("two"), "Test.sub", two);
    QMdiSubWindow *subOne = area->addSubWindow(one);
    QMdiSubWindow *subTwo = area->addSubWindow(two);
    QSignalSpy spyA(a, &QAction::triggered), spyB(b, &QAction::triggered);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QApplication::setActiveWindow(&frame);
    QTRY_VERIFY(frame.isActiveWindow());
    area->setActiveSubWindow(subOne);
    QVERIFY(command.invoke());
    QCOMPARE(spyA.count(), 1);
    QCOMPARE(spyB.count(), 0);
    area->setActiveSubWindow(subTwo);
    QVERIFY(command.invoke());
    QCOMPARE(spyA.count(), 1);
    QCOMPARE(spyB.count(), 1);
}

void TestHostCore::applicationCommandServedOnce()
{
    Command command("Test.app");
    command.setContext(Command::ApplicationContext);
    command.setDefaultShortcut(QKeySequence(QStringLiteral("Alt+C")));
    QCOMPARE(command.commandAction()->shortcut(), QKeySequence(QStringLiteral("Alt+C")));
    QObject owner;
    QMenu menuOne, menuTwo;
    auto *a = new Action("Test.app", &menuOne);
    auto *b = new Action("Test.app", &menuTwo);
    // Actions of application commands carry no shortcut: the command's own action does.
    QVERIFY(a->shortcut().isEmpty());
    QSignalSpy spyA(a, &QAction::triggered), spyB(b, &QAction::triggered);
    command.commandAction()->trigger();
    QCOMPARE(spyA.count() + spyB.count(), 1);
}

void TestHostCore::modelMenuHooksAndActivation()
{
    class CountingMenu : public ModelMenu
    {
    public:
        bool prePopulated() override
        {
            ++pre;
            if (!model())
                setModel(&rows);
            return false;
        }
        void postPopulated() override
        {
            ++post;
            addSeparator();
            addAction(QStringLiteral("last"));
        }
        QStandardItemModel rows;
        int pre = 0;
        int post = 0;
    };
    CountingMenu menu;
    menu.setTextRole(Qt::UserRole + 4);
    auto *item = new QStandardItem(QStringLiteral("display"));
    item->setData(QStringLiteral("menu text"), Qt::UserRole + 4);
    item->setData(QStringLiteral("2,2,2001"), Qt::UserRole);
    menu.rows.appendRow(item);
    menu.populate();
    QCOMPARE(menu.pre, 1);
    QCOMPARE(menu.post, 1);
    QCOMPARE(menu.model(), &menu.rows);
    const QList<QAction *> actions = menu.actions();
    QCOMPARE(actions.size(), 3);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("menu text"));
    QCOMPARE(actions.at(2)->text(), QStringLiteral("last"));
    QSignalSpy activated(&menu, &ModelMenu::activated);
    actions.at(0)->trigger();
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.first().first().value<QModelIndex>().data(Qt::UserRole).toString(),
             QStringLiteral("2,2,2001"));
    // Rebuilt on every opening, not appended to.
    menu.populate();
    QCOMPARE(menu.actions().size(), 3);
}

void TestHostCore::optionsDialogApplyAndCancel()
{
    MapSettings settings;
    settings.setValue(QStringLiteral("one"), QStringLiteral("first"));
    NamePage one(QStringLiteral("one"), QStringLiteral("A"));
    NamePage two(QStringLiteral("two"), QStringLiteral("B"));
    {
        OptionsDialog dialog;
        dialog.setPages({&one, &two}, &settings);
        QVERIFY(one.edit());
        QCOMPARE(one.edit()->text(), QStringLiteral("first"));
        one.edit()->setText(QStringLiteral("changed"));
        two.edit()->setText(QStringLiteral("second"));
        QVERIFY(dialog.showPage(QStringLiteral("two")));
        QVERIFY(!dialog.showPage(QStringLiteral("none")));
        dialog.reject();
    }
    // Cancel wrote nothing; closing the dialog made the pages forget their widgets.
    QCOMPARE(settings.value(QStringLiteral("one")).toString(), QStringLiteral("first"));
    QVERIFY(!settings.contains(QStringLiteral("two")));
    QCOMPARE(one.finished, 1);
    {
        OptionsDialog dialog;
        QSignalSpy applied(&dialog, &OptionsDialog::applied);
        dialog.setPages({&one, &two}, &settings);
        one.edit()->setText(QStringLiteral("changed"));
        dialog.apply();
        QCOMPARE(applied.count(), 1);
    }
    QCOMPARE(settings.value(QStringLiteral("one")).toString(), QStringLiteral("changed"));
    QCOMPARE(settings.value(QStringLiteral("two")).toString(), QString());
}

void TestHostCore::workspaceRoundTrip()
{
    WindowManager manager;
    IWindowManager::setInstance(&manager);
    QVERIFY(manager.openView("TextView", QStringLiteral("первое")));
    QVERIFY(manager.openView("TextView", QStringLiteral("второе")));
    QVERIFY(!manager.openView("NoSuchView", QStringLiteral("x")));
    QCOMPARE(manager.windows().size(), 2);
    manager.windows().at(1)->setCaption(QStringLiteral("Моё окно"));
    {
        AppSettings workspace(QStringLiteral("Workspace"));
        manager.saveWorkspace(workspace);
        workspace.sync();
    }
    manager.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(manager.windows().isEmpty());

    AppSettings workspace(QStringLiteral("Workspace"));
    const QStringList problems = manager.restoreWorkspace(workspace);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    const QList<HostWindow *> windows = manager.windows();
    QCOMPARE(windows.size(), 2);
    QCOMPARE(static_cast<QLabel *>(windows.at(0)->viewWidget())->text(), QStringLiteral("первое"));
    QCOMPARE(static_cast<QLabel *>(windows.at(1)->viewWidget())->text(), QStringLiteral("второе"));
    QCOMPARE(windows.at(1)->windowTitle(), QStringLiteral("Моё окно"));
    QCOMPARE(windows.at(0)->viewWidget()->property("windowName").toString(),
             QStringLiteral("TextView"));
    manager.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    IWindowManager::setInstance(nullptr);
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

void TestHostCore::hostWindowAnswersToIWindow()
{
    WindowManager manager;
    IView *view = manager.openView("TextView", QStringLiteral("key"));
    QVERIFY(view);
    IWindow *window = view->hostWindow();
    QVERIFY(window);
    QCOMPARE(window->view(), view);
    QVERIFY(window->widget()->qt_metacast(IWindow_iid));
    auto *lonely = new TextView;
    QVERIFY(!lonely->hostWindow());
    delete lonely;
    manager.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TestHostCore)
#include "tst_hostcore.moc"
