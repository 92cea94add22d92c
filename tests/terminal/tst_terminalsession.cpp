// The terminal as a trader starts it: the main window with the charting module loaded from the
// plug-in folder, driven with keys and the mouse the way a person drives it.

#include "terminalsession.h"
#include "terminalwindow.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

TerminalSession::Options sessionOptions()
{
    TerminalSession::Options options;
    options.history = false;
    options.pluginFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    options.simulate = false;
    return options;
}

} // namespace

class TestTerminalSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void chartShortcutWorksFromTheStart();

private:
    QTemporaryDir m_dir;
};

void TestTerminalSession::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "terminalsession.ini");
}

// Alt+C asks for an instrument to chart before anybody has opened the chart menu.
void TestTerminalSession::chartShortcutWorksFromTheStart()
{
    TerminalSession session;
    TerminalSession::Options options = sessionOptions();
    options.workspace = false;
    session.start(options);
    QWidget *main = session.window();
    QVERIFY(main);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));

    QString asked;
    QTimer::singleShot(0, this, [&asked] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            asked = dialog->windowTitle();
            dialog->reject();
        }
    });
    QTest::keyClick(main, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(asked, QStringLiteral("Выбор инструмента для открытия окна 'Тех. анализ'"));
    QVERIFY(session.windows().windows().isEmpty());
    session.stop();
}

TA_REGISTER_TEST(TestTerminalSession)
#include "tst_terminalsession.moc"
