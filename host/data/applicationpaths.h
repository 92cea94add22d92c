#pragma once

#include "hostdata_global.h"

#include <QString>

// Where the programs find the files that ship with them and where they keep the user's.
//
// In a build tree everything lies in the application directory, the folder of the executable
// (QCoreApplication::applicationDirPath()): "reference.json", "tascripts/", "plugins/" and the
// user's files. An installed copy has a file ".installed" in its application directory; the
// files that ship with it then lie in a data folder at a path relative to that directory
// (fixed when the build is configured, so that an installed tree works wherever it is put),
// and the user's files go to the per-user data location, so that nothing is ever written
// into the installation. The terminal and ta-tool share that location: the indicators and
// cache files of the one are those of the other, as they are in a build tree.
//
// The functions taking an application directory answer for a copy of the programs that lies
// there (tests point them at folders of their own); the others for the running executable.
// They only read the file system and may be called from any thread.
namespace ApplicationPaths {

HOST_EXPORT QString applicationDirectory();

// Whether the application directory holds the file ".installed".
HOST_EXPORT bool isInstalled(const QString &applicationDirectory);
HOST_EXPORT bool isInstalled();

// The folder holding "reference.json" and "tascripts/".
HOST_EXPORT QString dataDirectory(const QString &applicationDirectory);
HOST_EXPORT QString dataDirectory();

// The base of the user's files: the per-user data location ("ta-terminal" in the user's data
// directory) when installed, else the application directory. Not created here.
HOST_EXPORT QString userDataBase(const QString &applicationDirectory);
HOST_EXPORT QString userDataBase();

} // namespace ApplicationPaths
