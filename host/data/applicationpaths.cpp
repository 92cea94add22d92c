#include "applicationpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#ifndef TA_INSTALLED_DATA_DIR
#error "TA_INSTALLED_DATA_DIR: the data folder relative to the installed executables"
#endif

namespace ApplicationPaths {

QString applicationDirectory()
{
    return QCoreApplication::applicationDirPath();
}

bool isInstalled(const QString &applicationDirectory)
{
    return QFile::exists(applicationDirectory + QStringLiteral("/.installed"));
}

bool isInstalled()
{
    return isInstalled(applicationDirectory());
}

QString dataDirectory(const QString &applicationDirectory)
{
    if (!isInstalled(applicationDirectory))
        return applicationDirectory;
    return QDir::cleanPath(applicationDirectory + u'/'
                           + QStringLiteral(TA_INSTALLED_DATA_DIR));
}

QString dataDirectory()
{
    return dataDirectory(applicationDirectory());
}

QString userDataBase(const QString &applicationDirectory)
{
    if (!isInstalled(applicationDirectory))
        return applicationDirectory;
    // Named after the terminal rather than after the running program, so that ta-tool reads
    // the indicators and cache files the terminal wrote.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/ta-terminal");
}

QString userDataBase()
{
    return userDataBase(applicationDirectory());
}

} // namespace ApplicationPaths
