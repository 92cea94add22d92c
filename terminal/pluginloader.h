#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class ICore;
class IPlugin;
class QPluginLoader;

// Loads the plug-in modules of a folder, initialises them with the core and shuts them down
// and unloads them at exit.
class PluginLoader : public QObject
{
    Q_OBJECT
public:
    explicit PluginLoader(QObject *parent = nullptr);
    ~PluginLoader() override;

    // Loads every module of the folder whose metadata carries one of our interface ids and
    // whose instance is an IPlugin; returns one line per module that could not be used.
    QStringList loadFolder(const QString &folder);
    // Initialises the loaded plug-ins in load order and registers them with the core.
    QStringList initializeAll(ICore *core);
    // Shuts the plug-ins down in reverse order and unloads their modules.
    void shutdownAll();

    QList<IPlugin *> plugins() const;

private:
    struct Loaded
    {
        QString file;
        QPluginLoader *loader;
        QObject *instance;
        IPlugin *plugin;
        bool initialized = false;
    };
    QList<Loaded> m_loaded;
};
