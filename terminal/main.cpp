#include "appsettings.h"
#include "referencedata.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPluginLoader>
#include <QTimer>

#include <cstdio>

namespace {

int reportFatal(const QString &text)
{
    std::fprintf(stderr, "terminal: %s\n", qPrintable(text));
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("offscreen"))
        QMessageBox::critical(nullptr, QObject::tr("Терминал"), text);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ta-terminal"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Trading terminal hosting the charting plug-in"));
    parser.addHelpOption();
    const QCommandLineOption referenceOption(
        QStringLiteral("reference"), QStringLiteral("Reference data file (JSON)."),
        QStringLiteral("file"));
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Settings file (INI)."),
                                            QStringLiteral("file"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Quit after so many milliseconds."),
                                        QStringLiteral("ms"));
    parser.addOptions({referenceOption, settingsOption, quitOption});
    parser.process(app);

    if (parser.isSet(settingsOption))
        AppSettings::setFileName(parser.value(settingsOption));

    QString error;
    const QString referencePath = parser.isSet(referenceOption) ? parser.value(referenceOption)
                                                                : ReferenceData::defaultPath();
    if (!ReferenceData::load(referencePath, &error))
        return reportFatal(error);

    QList<QPluginLoader *> plugins;
    const QDir pluginDir(QCoreApplication::applicationDirPath() + QStringLiteral("/plugins"));
    for (const QString &name : pluginDir.entryList(QDir::Files)) {
        auto *loader = new QPluginLoader(pluginDir.absoluteFilePath(name), &app);
        if (loader->instance())
            plugins.append(loader);
        else
            qWarning().noquote() << "terminal: cannot load" << name << ":" << loader->errorString();
    }

    QMainWindow window;
    window.setWindowTitle(QObject::tr("Терминал"));
    window.setCentralWidget(new QLabel(
        QObject::tr("Модулей загружено: %1").arg(plugins.size()), &window));
    window.resize(1024, 700);
    window.show();

    if (parser.isSet(quitOption))
        QTimer::singleShot(parser.value(quitOption).toInt(), &app, &QApplication::quit);
    const int rc = app.exec();
    for (QPluginLoader *loader : std::as_const(plugins))
        loader->unload();
    return rc;
}
