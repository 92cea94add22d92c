#pragma once

#include "hostdata_global.h"
#include "iwindow.h"

#include <QByteArray>
#include <QRect>
#include <QWidget>

class IView;

// The terminal's frame around one view: it holds the view widget, offers the view's context
// menu and settings pages, and closes the view with itself.
class HOST_EXPORT HostWindow : public QWidget, public IWindow
{
    Q_OBJECT
    Q_INTERFACES(IWindow)
public:
    explicit HostWindow(QWidget *parent = nullptr);
    ~HostWindow() override;

    // Takes the view (its widget becomes a child of this window).
    void setView(IView *view, const QByteArray &factoryName);
    QByteArray factoryName() const { return m_factoryName; }

    QWidget *widget() override { return this; }
    IView *view() const override { return m_view; }
    QWidget *viewWidget() const;

    // Shows the view's settings pages in an options dialog over a copy of its settings.
    void showViewSettings();

    // A caption chosen by the user replaces the view's own title; empty follows the view.
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    bool staysOnTop() const { return m_stayOnTop; }
    void setStayOnTop(bool onTop);
    // The frame's geometry as it is or was last shown neither maximised nor minimised: what a
    // maximised window returns to, and what is saved with the workspace.
    QRect normalGeometry() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void updateTitle();
    QWidget *frame();

    IView *m_view = nullptr;
    QByteArray m_factoryName;
    QString m_caption;
    bool m_stayOnTop = false;
    QRect m_normalGeometry;
    QWidget *m_watchedFrame = nullptr;
};
