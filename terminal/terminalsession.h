#pragma once

#include "marketsimulator.h"
#include "pluginloader.h"
#include "windowmanager.h"

#include <QString>
#include <QStringList>

#include <memory>

class HdxTransport;
class TerminalWindow;

// One run of the terminal between its start and its exit: the window manager, the main
// window, the history transport, the plug-ins and the market simulator, set up and torn down
// in the order they depend on each other. The program and the end-to-end test run the same
// steps. GUI thread only; the reference data and the settings file are chosen before.
class TerminalSession
{
public:
    struct Options
    {
        bool history = true;       // the history service connection
        QString historyUrl;        // its base address; empty keeps the stored one
        QString pluginFolder;      // the modules to load
        bool workspace = true;     // restore the windows at start, save them at exit
        MarketSimulator::Options simulator;
        bool simulate = true;
    };

    // On the first start the terminal stores the schedules its reference data ships, in the
    // charting plug-in's settings ("TechAnalysis/Schedule_<stock>[_<board>]"), so that charts
    // show the markets' real session gaps. Later the user's edits rule.
    static void seedSchedules();

    TerminalSession();
    ~TerminalSession();

    // Everything up to the restored workspace; the problems met on the way, one line each.
    // The main window is shown and reports them itself.
    void start(const Options &options, QStringList startProblems = {});
    // Saves the workspace (when the options say so) and takes everything down.
    void stop();

    WindowManager &windows() { return m_windows; }
    TerminalWindow *window() const { return m_window; }
    MarketSimulator &simulator() { return *m_simulator; }
    PluginLoader &plugins() { return m_plugins; }

    // The charting plug-in's window for an instrument key; false when no module offers it.
    bool openChart(const QString &key);

private:
    Options m_options;
    WindowManager m_windows;
    TerminalWindow *m_window = nullptr;
    HdxTransport *m_hdx = nullptr;
    PluginLoader m_plugins;
    std::unique_ptr<MarketSimulator> m_simulator;
    bool m_running = false;
};
