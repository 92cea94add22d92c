#pragma once

#include <QMainWindow>
#include <QPointer>

class Action;
class CommandContainer;
class MarketSimulator;
class QLabel;
class QListWidget;
class QMdiArea;
class WindowManager;

// The terminal's main window: the menu bar and tool bar built from the command containers,
// the window area with the views, the notifications list and the status bar.
class TerminalWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit TerminalWindow(WindowManager *windows, QWidget *parent = nullptr);
    ~TerminalWindow() override;

    QMdiArea *windowArea() const { return m_area; }
    void setSimulator(MarketSimulator *simulator);
    // Shows a problem to the user without stopping anything.
    void reportProblems(const QString &title, const QStringList &problems);

public Q_SLOTS:
    void showOptions();
    void showFavorites();
    void showShortcuts();
    void about();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setupCommands();
    void setupMenuBar();
    void setupToolBars();
    void setupEvents();
    void rebuildMenuBar();
    Action *bindCommand(const QByteArray &id, const QString &text, const QKeySequence &shortcut,
                        CommandContainer *container, const QByteArray &key);

    WindowManager *m_windows;
    QMdiArea *m_area;
    QListWidget *m_events;
    QLabel *m_tradesLabel;
    qint64 m_trades = 0;
};
