#include "datetime.h"
#include "appsettings.h"
#include "hdxtransport.h"
#include "hdxtransportpage.h"
#include "icore.h"
#include "marketsimulator.h"
#include "pluginloader.h"
#include "referencedata.h"
#include "terminalwindow.h"
#include "windowmanager.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {

bool interactive()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

int reportFatal(const QString &text)
{
    std::fprintf(stderr, "terminal: %s\n", qPrintable(text));
    if (interactive())
        QMessageBox::critical(nullptr, QObject::tr("Терминал"), text);
    return 2;
}

// An unreadable settings file is kept aside rather than overwritten at exit, so nothing the
// user had is lost; the terminal goes on with defaults.
QString checkSettingsFile()
{
    const QString path = AppSettings::fileName();
    if (!QFileInfo::exists(path))
        return {};
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        return QObject::tr("Файл настроек %1 не читается: %2. Настройки не будут сохранены.")
            .arg(path, probe.errorString());
    probe.close();
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() == QSettings::FormatError) {
        const QString kept = path + QStringLiteral(".broken-")
                             + datetime::now().getDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        QFile::rename(path, kept);
        return QObject::tr("Файл настроек %1 повреждён и сохранён как %2; терминал запущен с "
                           "настройками по умолчанию.")
            .arg(path, kept);
    }
    return {};
}

// On the first start the terminal stores the schedules its reference data ships, in the
// charting plug-in's settings ("TechAnalysis/Schedule_<stock>[_<board>]"), so that charts show
// the markets' real session gaps. Later the user's edits rule.
void seedSchedules()
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ta-terminal"));
    Q_INIT_RESOURCE(terminal);
    // Qt's own texts (dialog buttons and the like) in Russian, like the rest of the terminal.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Trading terminal hosting the charting plug-in"));
    parser.addHelpOption();
    const QCommandLineOption referenceOption(
        QStringLiteral("reference"), QStringLiteral("Reference data file (JSON)."),
        QStringLiteral("file"));
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Settings file (INI)."),
                                            QStringLiteral("file"));
    const QCommandLineOption openOption(QStringLiteral("open"),
                                        QStringLiteral("Open a chart window for an instrument "
                                                       "key (stock,board,security); repeatable."),
                                        QStringLiteral("key"));
    const QCommandLineOption defaultWindowOption(
        QStringLiteral("default-window"),
        QStringLiteral("Open a chart window for the instrument when no window was restored."),
        QStringLiteral("key"));
    const QCommandLineOption chartDaysOption(
        QStringLiteral("chart-days"),
        QStringLiteral("Days of history new charts show, when the settings name none yet."),
        QStringLiteral("n"));
    const QCommandLineOption noHdxOption(QStringLiteral("no-hdx"),
                                         QStringLiteral("Start without the history service "
                                                        "connection."));
    const QCommandLineOption hdxUrlOption(QStringLiteral("hdx-url"),
                                          QStringLiteral("Base address of the history service."),
                                          QStringLiteral("url"));
    const QCommandLineOption noSimulatorOption(QStringLiteral("no-simulator"),
                                               QStringLiteral("Do not invent market trades."));
    const QCommandLineOption alwaysOpenOption(QStringLiteral("always-open"),
                                              QStringLiteral("Let the simulated markets trade "
                                                             "around the clock."));
    const QCommandLineOption noWorkspaceOption(QStringLiteral("no-workspace"),
                                               QStringLiteral("Neither restore nor save the "
                                                              "open windows."));
    const QCommandLineOption newDayOption(QStringLiteral("new-day-after"),
                                          QStringLiteral("Announce a new trading day after so "
                                                         "many milliseconds."),
                                          QStringLiteral("ms"));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Write a picture of the main window "
                                                             "to a PNG file (after 1.5 s)."),
                                              QStringLiteral("file"));
    const QCommandLineOption pluginsOption(QStringLiteral("plugins"),
                                           QStringLiteral("Folder of plug-in modules (default: "
                                                          "$TA_PLUGIN_DIR, else plugins/ beside "
                                                          "the terminal)."),
                                           QStringLiteral("dir"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Quit after so many milliseconds."),
                                        QStringLiteral("ms"));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Print the charting module's progress (requests, fillers, the day "
                       "change); warnings are printed anyway."));
    parser.addOptions({referenceOption, settingsOption, openOption, noHdxOption, hdxUrlOption,
                       noSimulatorOption, alwaysOpenOption, noWorkspaceOption, newDayOption,
                       screenshotOption, pluginsOption, quitOption, logOption,
                       defaultWindowOption, chartDaysOption});
    parser.process(app);
    if (parser.isSet(logOption))
        QLoggingCategory::setFilterRules(QStringLiteral("ta.*=true"));

    if (parser.isSet(settingsOption))
        AppSettings::setFileName(QFileInfo(parser.value(settingsOption)).absoluteFilePath());
    QStringList startProblems;
    if (const QString problem = checkSettingsFile(); !problem.isEmpty())
        startProblems.append(problem);

    QString error;
    const QString referencePath = parser.isSet(referenceOption) ? parser.value(referenceOption)
                                                                : ReferenceData::defaultPath();
    if (!ReferenceData::load(referencePath, &error))
        return reportFatal(error);

    seedSchedules();

    ICore *core = ICore::instance();
    WindowManager windows;
    IWindowManager::setInstance(&windows);
    auto *window = new TerminalWindow(&windows);

    HdxTransport *hdx = nullptr;
    if (!parser.isSet(noHdxOption)) {
        HdxTransport::ensureParameters(parser.value(hdxUrlOption));
        hdx = new HdxTransport(&app);
        core->addPlugin(hdx);
        hdx->initialize(core);
        core->addOptionsPage(new HdxTransportPage(hdx));
    }

    PluginLoader plugins;
    QString pluginFolder = parser.value(pluginsOption);
    if (pluginFolder.isEmpty())
        pluginFolder = qEnvironmentVariable("TA_PLUGIN_DIR");
    if (pluginFolder.isEmpty())
        pluginFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    startProblems += plugins.loadFolder(pluginFolder);
    startProblems += plugins.initializeAll(core);

    {
        AppSettings terminal(QStringLiteral("Terminal"));
        window->restoreGeometry(terminal.value(QStringLiteral("geometry")).toByteArray());
        window->restoreState(terminal.value(QStringLiteral("state")).toByteArray());
    }
    window->show();
    window->reportProblems(QObject::tr("Запуск терминала"), startProblems);

    if (!parser.isSet(noWorkspaceOption)) {
        AppSettings workspace(QStringLiteral("Workspace"));
        window->reportProblems(QObject::tr("Восстановление окон"),
                               windows.restoreWorkspace(workspace));
    }
    if (parser.isSet(chartDaysOption)) {
        AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
        const int days = parser.value(chartDaysOption).toInt();
        if (!defaults.contains(QStringLiteral("daysBack")) && days > 0 && days <= 366)
            defaults.setValue(QStringLiteral("daysBack"), days);
    }
    QStringList keys = parser.values(openOption);
    if (keys.isEmpty() && windows.windows().isEmpty() && parser.isSet(defaultWindowOption))
        keys.append(parser.value(defaultWindowOption));
    for (const QString &key : std::as_const(keys)) {
        if (!windows.openView("TAMainWindow", key))
            window->reportProblems(QObject::tr("Открытие окна"),
                                   {QObject::tr("Окно для %1 не открыто: модуль графиков не "
                                                "загружен").arg(key)});
    }

    MarketSimulator::Options simulatorOptions;
    simulatorOptions.alwaysOpen = parser.isSet(alwaysOpenOption);
    MarketSimulator simulator(simulatorOptions);
    window->setSimulator(&simulator);
    if (!parser.isSet(noSimulatorOption))
        simulator.start();

    core->startDayWatch();
    if (parser.isSet(newDayOption))
        QTimer::singleShot(parser.value(newDayOption).toInt(), core, &ICore::announceNewDay);
    if (parser.isSet(screenshotOption)) {
        const QString file = parser.value(screenshotOption);
        QTimer::singleShot(1500, window, [window, file] {
            if (!window->grab().save(file))
                std::fprintf(stderr, "terminal: cannot write %s\n", qPrintable(file));
        });
    }
    if (parser.isSet(quitOption))
        QTimer::singleShot(parser.value(quitOption).toInt(), &app, &QApplication::quit);

    const int rc = app.exec();

    if (!parser.isSet(noWorkspaceOption)) {
        AppSettings workspace(QStringLiteral("Workspace"));
        windows.saveWorkspace(workspace);
    }
    windows.closeAll();
    delete window;
    // Views are deleted later; let that happen while their modules are still loaded.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    simulator.stop();
    plugins.shutdownAll();
    delete hdx;
    AppSettings::syncAll();
    return rc;
}
