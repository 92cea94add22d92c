#pragma once

#include "scriptfilesmodel.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

// Points the indicator and function registries at a copy of the shipped files under dir/app.
inline void useCopyOfLibrary(const QTemporaryDir &dir)
{
    const QString from = QCoreApplication::applicationDirPath() + QStringLiteral("/tascripts");
    const QString to = dir.filePath(QStringLiteral("app/tascripts"));
    QDir().mkpath(to + QStringLiteral("/indicators"));
    QDir().mkpath(to + QStringLiteral("/functions"));
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        QFile::remove(target);
        QFile::copy(path, target);
    }
    ScriptFilesModel::setRegistryDirectory(dir.filePath(QStringLiteral("app")));
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
}
