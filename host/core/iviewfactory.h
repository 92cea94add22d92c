#pragma once

#include "hostdata_global.h"

#include <QByteArray>
#include <QIcon>
#include <QObject>
#include <QVariant>

class IView;
class QWidget;

// Creates views of one kind; the window manager finds it by name.
class HOST_EXPORT IViewFactory
{
public:
    virtual ~IViewFactory();

    virtual QByteArray name() const = 0;
    virtual QString title() const = 0;
    virtual QString category() const { return {}; }
    virtual QIcon icon() const { return {}; }
    virtual QIcon secondIcon() const { return {}; }
    virtual bool flag() const { return false; }
    virtual IView *createView(const QVariant &argument, QWidget *parent) = 0;
};

#define IViewFactory_iid "com.zorn.qvantor.Plugin.IViewFactory/1.0"
Q_DECLARE_INTERFACE(IViewFactory, IViewFactory_iid)
