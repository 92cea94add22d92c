#include "datetime.h"
#include "appsettings.h"
#include "icore.h"
#include "referencedata.h"
#include "terminalsession.h"
#include "terminalwindow.h"

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
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <optional>

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

const QString Description = QStringLiteral("Trading terminal hosting the charting plug-in");

// Answers --help and refuses unknown options before the application needs a display, so that
// both work on a machine without one. Qt's own options (-platform, -style, ...) pass.
// Returns an exit code when the terminal should stop here.
std::optional<int> answerWithoutDisplay(int argc, char *argv[],
                                        const QList<QCommandLineOption> &options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help"),
                                              QStringLiteral("?"), QStringLiteral("help-all")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    parser.addOptions(options);
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                             "qwindowgeometry", "qwindowicon", "qwindowtitle", "style",
                             "stylesheet", "session", "display", "geometry"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "terminal: %s\nSee terminal --help.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        // The help text names the program from the application, which there is none of yet.
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S*")),
                     QStringLiteral("Usage: terminal"));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
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
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the simulated market (default 1): "
                                                       "the same seed trades the same on the "
                                                       "same day."),
                                        QStringLiteral("n"));
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
    const QList<QCommandLineOption> commandLine{
        referenceOption, settingsOption, openOption, noHdxOption, hdxUrlOption,
        noSimulatorOption, alwaysOpenOption, noWorkspaceOption, newDayOption, screenshotOption,
        pluginsOption, quitOption, logOption, defaultWindowOption, chartDaysOption, seedOption};
    if (const std::optional<int> code = answerWithoutDisplay(argc, argv, commandLine))
        return *code;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ta-terminal"));
    Q_INIT_RESOURCE(terminal);
    // Qt's own texts (dialog buttons and the like) in Russian, like the rest of the terminal.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    parser.addHelpOption();
    parser.addOptions(commandLine);
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

    TerminalSession::seedSchedules();

    TerminalSession session;
    TerminalSession::Options options;
    options.history = !parser.isSet(noHdxOption);
    options.historyUrl = parser.value(hdxUrlOption);
    options.pluginFolder = parser.value(pluginsOption);
    if (options.pluginFolder.isEmpty())
        options.pluginFolder = qEnvironmentVariable("TA_PLUGIN_DIR");
    if (options.pluginFolder.isEmpty())
        options.pluginFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    options.workspace = !parser.isSet(noWorkspaceOption);
    options.simulator.alwaysOpen = parser.isSet(alwaysOpenOption);
    if (parser.isSet(seedOption)) {
        bool ok = false;
        options.simulator.seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            return reportFatal(QStringLiteral("--seed: %1 is not a number").arg(parser.value(seedOption)));
    }
    options.simulate = !parser.isSet(noSimulatorOption);
    session.start(options, startProblems);
    TerminalWindow *window = session.window();
    ICore *core = ICore::instance();

    if (parser.isSet(chartDaysOption)) {
        AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
        const int days = parser.value(chartDaysOption).toInt();
        if (!defaults.contains(QStringLiteral("daysBack")) && days > 0 && days <= 366)
            defaults.setValue(QStringLiteral("daysBack"), days);
    }
    QStringList keys = parser.values(openOption);
    if (keys.isEmpty() && session.windows().windows().isEmpty() && parser.isSet(defaultWindowOption))
        keys.append(parser.value(defaultWindowOption));
    for (const QString &key : std::as_const(keys))
        session.openChart(key);

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
    session.stop();
    return rc;
}
