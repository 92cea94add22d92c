#include "action.h"
#include "actionmanager.h"
#include "appsettings.h"
#include "command.h"

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestHostCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandShortcutIsRemembered();
    void actionFiresOnlyInActiveWindow();

private:
    QTemporaryDir m_dir;
};

void TestHostCore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("settings.ini")));
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

QTEST_MAIN(TestHostCore)
#include "tst_hostcore.moc"
