#pragma once

#include "hostdata_global.h"

#include <QLatin1String>
#include <QObject>
#include <QString>

class ICore;

// What the terminal asks of every plug-in module.
class HOST_EXPORT IPlugin
{
public:
    virtual ~IPlugin();

    virtual QLatin1String name() const = 0;
    virtual QString displayName() const = 0;
    virtual QString vendor() const = 0;
    virtual QString version() const = 0;
    virtual QString description() const = 0;
    // Called once after loading; the plug-in registers its menus, commands and pages.
    virtual bool initialize(ICore *core) = 0;
    // Called once before unloading.
    virtual void shutdown() = 0;
    // Called when every plug-in has been initialised.
    virtual void pluginsInitialized() {}
};

#define IPlugin_iid "com.zorn.qvantor.Plugin.IPlugin/1.0"
Q_DECLARE_INTERFACE(IPlugin, IPlugin_iid)
