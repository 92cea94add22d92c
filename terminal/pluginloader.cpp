#include "pluginloader.h"

#include "icore.h"
#include "iplugin.h"

#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>

namespace {

// Interface ids of the plug-ins this terminal hosts.
bool isOurPlugin(const QString &iid)
{
    return iid.startsWith(QLatin1String("qdsk.plugin."));
}

} // namespace

PluginLoader::PluginLoader(QObject *parent)
    : QObject(parent)
{
}

PluginLoader::~PluginLoader()
{
    shutdownAll();
}

QStringList PluginLoader::loadFolder(const QString &folder)
{
    QStringList problems;
    const QDir dir(folder);
    if (!dir.exists()) {
        problems.append(tr("%1: папка модулей не найдена").arg(QDir::toNativeSeparators(folder)));
        return problems;
    }
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &name : files) {
        const QString path = dir.absoluteFilePath(name);
        if (!QLibrary::isLibrary(path))
            continue;
        auto *loader = new QPluginLoader(path, this);
        const QString iid = loader->metaData().value(QLatin1String("IID")).toString();
        if (iid.isEmpty()) {
            problems.append(tr("%1: не модуль Qt или модуль не читается: %2")
                                .arg(path, loader->errorString()));
            delete loader;
            continue;
        }
        if (!isOurPlugin(iid)) {
            problems.append(tr("%1: чужой модуль (интерфейс %2)").arg(path, iid));
            delete loader;
            continue;
        }
        QObject *instance = loader->instance();
        auto *plugin = qobject_cast<IPlugin *>(instance);
        if (!instance || !plugin) {
            problems.append(tr("%1: модуль несовместим с терминалом: %2")
                                .arg(path, instance ? tr("нет интерфейса IPlugin")
                                                    : loader->errorString()));
            loader->unload();
            delete loader;
            continue;
        }
        m_loaded.append({path, loader, instance, plugin});
    }
    return problems;
}

QStringList PluginLoader::initializeAll(ICore *core)
{
    QStringList problems;
    for (Loaded &l : m_loaded) {
        if (l.initialized)
            continue;
        core->addPlugin(l.instance);
        if (!l.plugin->initialize(core)) {
            problems.append(tr("%1: модуль %2 не инициализирован")
                                .arg(l.file, QString(l.plugin->name())));
            continue;
        }
        l.initialized = true;
    }
    for (Loaded &l : m_loaded) {
        if (l.initialized)
            l.plugin->pluginsInitialized();
    }
    return problems;
}

void PluginLoader::shutdownAll()
{
    for (auto it = m_loaded.rbegin(); it != m_loaded.rend(); ++it) {
        if (it->initialized)
            it->plugin->shutdown();
        ICore::instance()->removePlugin(it->instance);
        it->loader->unload();
        delete it->loader;
    }
    m_loaded.clear();
}

QList<IPlugin *> PluginLoader::plugins() const
{
    QList<IPlugin *> result;
    for (const Loaded &l : m_loaded)
        result.append(l.plugin);
    return result;
}
