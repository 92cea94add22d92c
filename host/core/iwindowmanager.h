#pragma once

#include "hostdata_global.h"

#include <QByteArray>
#include <QString>

class IView;

// Opens views in terminal windows.
class HOST_EXPORT IWindowManager
{
public:
    virtual ~IWindowManager();

    // The terminal's window manager, or null before the terminal set one up.
    static IWindowManager *instance();
    static void setInstance(IWindowManager *manager);

    // Creates a view through the named factory, gives it extraKey as its "extraKey" property
    // and shows it in a new window. Null when there is no such factory.
    virtual IView *openView(const QByteArray &factoryName, const QString &extraKey) = 0;
};
