#pragma once

#include "hostdata_global.h"

#include <QObject>

class IView;
class QWidget;

// The terminal's window that contains a view.
class HOST_EXPORT IWindow
{
public:
    virtual ~IWindow();

    virtual QWidget *widget() = 0;
    virtual IView *view() const = 0;
};

#define IWindow_iid "com.zorn.qvantor.Plugin.IWindow/1.0"
Q_DECLARE_INTERFACE(IWindow, IWindow_iid)
