#include "terminalsession.h"

#include "appsettings.h"
#include "hdxtransport.h"
#include "hdxtransportpage.h"
#include "icore.h"
#include "referencedata.h"
#include "terminalwindow.h"

#include <QCoreApplication>

#include <algorithm>
#include <QEvent>

void TerminalSession::seedSchedules()
{
    AppSettings terminal(QStringLiteral("Terminal"));
    if (terminal.value(QStringLiteral("schedulesSeeded"), false).toBool())
        return;
    AppSettings settings(QStringLiteral("TechAnalysis"));
    const QStringList groups = settings.childGroups();
    const bool userHasSchedules = std::any_of(groups.cbegin(), groups.cend(), [](const QString &g) {
        return g.startsWith(QLatin1String("Schedule"));
    });
    if (!userHasSchedules)
        ReferenceData::writeScheduleSettings(settings);
    terminal.setValue(QStringLiteral("schedulesSeeded"), true);
}

TerminalSession::TerminalSession() = default;

TerminalSession::~TerminalSession()
{
    stop();
}

void TerminalSession::start(const Options &options, QStringList startProblems)
{
    m_options = options;
    ICore *core = ICore::instance();
    IWindowManager::setInstance(&m_windows);
    m_window = new TerminalWindow(&m_windows);

    if (options.history) {
        HdxTransport::ensureParameters(options.historyUrl);
        m_hdx = new HdxTransport;
        core->addPlugin(m_hdx);
        m_hdx->initialize(core);
        core->addOptionsPage(new HdxTransportPage(m_hdx));
    }
    startProblems += m_plugins.loadFolder(options.pluginFolder);
    startProblems += m_plugins.initializeAll(core);
    {
        AppSettings terminal(QStringLiteral("Terminal"));
        m_window->restoreGeometry(terminal.value(QStringLiteral("geometry")).toByteArray());
        m_window->restoreState(terminal.value(QStringLiteral("state")).toByteArray());
    }
    m_window->show();
    m_window->reportProblems(QObject::tr("Запуск терминала"), startProblems);
    if (options.workspace) {
        AppSettings workspace(QStringLiteral("Workspace"));
        m_window->reportProblems(QObject::tr("Восстановление окон"),
                                 m_windows.restoreWorkspace(workspace));
    }
    m_simulator = std::make_unique<MarketSimulator>(options.simulator);
    m_window->setSimulator(m_simulator.get());
    if (options.simulate)
        m_simulator->start();
    core->startDayWatch();
    m_running = true;
}

bool TerminalSession::openChart(const QString &key)
{
    if (m_windows.openView("TAMainWindow", key))
        return true;
    m_window->reportProblems(QObject::tr("Открытие окна"),
                             {QObject::tr("Окно для %1 не открыто: модуль графиков не "
                                          "загружен").arg(key)});
    return false;
}

void TerminalSession::stop()
{
    if (!m_running)
        return;
    m_running = false;
    if (m_options.workspace) {
        AppSettings workspace(QStringLiteral("Workspace"));
        m_windows.saveWorkspace(workspace);
    }
    m_windows.closeAll();
    delete m_window;
    m_window = nullptr;
    // Views are deleted later; let that happen while their modules are still loaded.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_simulator->stop();
    m_plugins.shutdownAll();
    delete m_hdx;
    m_hdx = nullptr;
    AppSettings::syncAll();
}
