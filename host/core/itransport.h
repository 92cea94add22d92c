#pragma once

#include "hostdata_global.h"

#include <QObject>
#include <QString>

// A plug-in that connects the terminal to an outside service.
class HOST_EXPORT ITransport
{
public:
    virtual ~ITransport();

    // The settings group of the transport's parameters.
    virtual QString parametersGroup() const = 0;
    virtual bool isConnected() const = 0;
};

#define ITransport_iid "com.zorn.qvantor.Plugin.ITransport/1.0"
Q_DECLARE_INTERFACE(ITransport, ITransport_iid)
