#pragma once

#include "hostdata_global.h"
#include "iwindowmanager.h"

#include <QList>
#include <QObject>
#include <QPointer>

class HostWindow;
class QMdiArea;
class Settings;

// Opens views in host windows, inside a window area when one is set (the terminal's), else as
// top-level windows (tests), and saves and restores them as the workspace.
class HOST_EXPORT WindowManager : public QObject, public IWindowManager
{
    Q_OBJECT
public:
    explicit WindowManager(QObject *parent = nullptr);
    ~WindowManager() override;

    void setWindowArea(QMdiArea *area);

    IView *openView(const QByteArray &factoryName, const QString &extraKey) override;
    QList<HostWindow *> windows() const;

    // One group "window_<n>" per open window: the factory, the geometry and, in its "state"
    // group, what the view saves. Replaces what the store held.
    void saveWorkspace(Settings &settings) const;
    // Reopens the saved windows in order. A window whose view cannot be created or whose
    // restore throws is dropped and described in the returned list; the others stay.
    QStringList restoreWorkspace(Settings &settings);
    void closeAll();

Q_SIGNALS:
    void viewOpened(HostWindow *window);

private:
    HostWindow *createWindow(const QByteArray &factoryName, IView **view, QString *error);
    void place(HostWindow *window);

    QPointer<QMdiArea> m_area;
    QList<QPointer<HostWindow>> m_windows;
};
