#pragma once

#include "hostdata_global.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class IViewFactory;

// A source of view factories.
class HOST_EXPORT IViewProvider
{
public:
    virtual ~IViewProvider();

    virtual QList<IViewFactory *> factories() const = 0;
    // The first factory whose name is exactly these bytes, or null.
    virtual IViewFactory *factory(const QByteArray &name) const;
};

#define IViewProvider_iid "com.zorn.qvantor.Plugin.IViewProvider/1.0"
Q_DECLARE_INTERFACE(IViewProvider, IViewProvider_iid)
