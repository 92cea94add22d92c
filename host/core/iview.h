#pragma once

#include "hostdata_global.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QVariant>

class IViewSettingsPage;
class IWindow;
class QMenu;
class Settings;

// A view the terminal shows in one of its windows. The terminal saves and restores it with
// the workspace, asks it for its settings pages and lets it fill the context menu.
class HOST_EXPORT IView
{
public:
    virtual ~IView();

    virtual void viewCreated() {}
    // New pages, each with the given parent; the caller owns them through the parent.
    virtual QList<IViewSettingsPage *> viewSettingsPages(QObject *parent)
    {
        Q_UNUSED(parent)
        return {};
    }
    virtual QVariant viewProperty() const { return {}; }
    virtual void fillViewContextMenu(const QPoint &pos, QMenu *menu)
    {
        Q_UNUSED(pos) Q_UNUSED(menu)
    }
    // Everything the view needs to come back after a restart.
    virtual void saveViewState(Settings &settings) = 0;
    // Display options only.
    virtual void saveViewSettings(Settings &settings) { saveViewState(settings); }
    // A new view: apply settings (and the view's "extraKey").
    virtual void applyViewSettings(Settings &settings) { restoreViewState(settings); }
    // A view reopened from the workspace. May throw a QString naming what was wrong.
    virtual void restoreViewState(Settings &settings) = 0;
    virtual void viewClosing() {}
    virtual QSize defaultViewSize() const { return {640, 480}; }
    virtual QVariant viewExtra() const { return {}; }
    // The terminal window around the view: the first parent widget that is an IWindow.
    virtual IWindow *hostWindow() const;
};

#define IView_iid "com.zorn.qvantor.Plugin.IView/1.0"
Q_DECLARE_INTERFACE(IView, IView_iid)
