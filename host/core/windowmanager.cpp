#include "windowmanager.h"

#include "defaultsettings.h"
#include "favoritesecurities.h"
#include "hostwindow.h"
#include "icore.h"
#include "iview.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "settings.h"

#include <QDebug>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPair>
#include <QPointer>

#include <algorithm>

WindowManager::WindowManager(QObject *parent)
    : QObject(parent)
{
}

WindowManager::~WindowManager()
{
    if (IWindowManager::instance() == this)
        IWindowManager::setInstance(nullptr);
}

void WindowManager::setWindowArea(QMdiArea *area)
{
    m_area = area;
}

QList<HostWindow *> WindowManager::windows() const
{
    QList<HostWindow *> result;
    for (const QPointer<HostWindow> &w : m_windows) {
        if (w)
            result.append(w);
    }
    return result;
}

HostWindow *WindowManager::createWindow(const QByteArray &factoryName, IView **view,
                                        QString *error)
{
    IViewFactory *factory = ICore::instance()->viewProvider()->factory(factoryName);
    if (!factory) {
        *error = tr("нет фабрики окон \"%1\"").arg(QString::fromUtf8(factoryName));
        return nullptr;
    }
    auto *window = new HostWindow;
    IView *created = factory->createView(QVariant(), window);
    QWidget *widget = dynamic_cast<QWidget *>(created);
    if (!created || !widget) {
        delete window;
        *error = tr("фабрика \"%1\" не создала окно").arg(QString::fromUtf8(factoryName));
        return nullptr;
    }
    widget->setProperty("windowName", QString::fromUtf8(factoryName));
    window->setView(created, factoryName);
    window->setWindowIcon(factory->icon());
    *view = created;
    return window;
}

void WindowManager::place(HostWindow *window)
{
    m_windows.append(window);
    const QSize size = window->view() ? window->view()->defaultViewSize() : QSize(640, 480);
    if (m_area) {
        QMdiSubWindow *sub = m_area->addSubWindow(window);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowIcon(window->windowIcon());
        sub->resize(size);
        sub->show();
    } else {
        window->resize(size);
        window->show();
    }
    Q_EMIT viewOpened(window);
}

IView *WindowManager::openView(const QByteArray &factoryName, const QString &extraKey)
{
    IView *view = nullptr;
    QString error;
    HostWindow *window = createWindow(factoryName, &view, &error);
    if (!window) {
        qWarning().noquote() << "WindowManager::openView:" << error;
        return nullptr;
    }
    window->viewWidget()->setProperty("extraKey", extraKey);
    place(window);
    // A new view starts from the defaults stored for its kind.
    const auto defaults = DefaultSettings::createReadOnly(QString::fromUtf8(factoryName));
    view->applyViewSettings(*defaults);
    for (const QString &key : extraKey.split(u'|', Qt::SkipEmptyParts))
        FavoriteSecurities::instance()->addRecent(key.trimmed());
    return view;
}

void WindowManager::saveWorkspace(Settings &settings) const
{
    settings.remove(QString());
    int n = 0;
    for (HostWindow *window : windows()) {
        if (!window->view())
            continue;
        settings.beginGroup(QStringLiteral("window_%1").arg(n++));
        settings.setValue(QStringLiteral("factory"), QString::fromUtf8(window->factoryName()));
        QWidget *frame = window->parentWidget() ? window->parentWidget() : window;
        // The normal geometry and the state apart: a maximised window's own geometry is the
        // whole area (and beyond, its borders hidden), which is no size to come back to.
        settings.setValue(QStringLiteral("geometry"), window->normalGeometry());
        settings.setValue(QStringLiteral("windowState"),
                          int(frame->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)));
        settings.setValue(QStringLiteral("caption"), window->caption());
        settings.setValue(QStringLiteral("stayOnTop"), window->staysOnTop());
        settings.beginGroup(QStringLiteral("state"));
        window->view()->saveViewState(settings);
        settings.endGroup();
        settings.endGroup();
    }
    settings.setValue(QStringLiteral("count"), n);
}

QStringList WindowManager::restoreWorkspace(Settings &settings)
{
    QStringList problems;
    QList<QPair<QPointer<QWidget>, int>> states;
    const int count = settings.value(QStringLiteral("count"), 0).toInt();
    for (int n = 0; n < count; ++n) {
        const QString group = QStringLiteral("window_%1").arg(n);
        settings.beginGroup(group);
        const QByteArray factory = settings.value(QStringLiteral("factory")).toString().toUtf8();
        const QRect geometry = settings.value(QStringLiteral("geometry")).toRect();
        const int state = settings.value(QStringLiteral("windowState"), 0).toInt()
                          & (Qt::WindowMinimized | Qt::WindowMaximized);
        const QString caption = settings.value(QStringLiteral("caption")).toString();
        const bool stayOnTop = settings.value(QStringLiteral("stayOnTop"), false).toBool();
        IView *view = nullptr;
        QString error;
        HostWindow *window = createWindow(factory, &view, &error);
        if (window) {
            settings.beginGroup(QStringLiteral("state"));
            try {
                view->restoreViewState(settings);
            } catch (const QString &text) {
                error = text.isEmpty() ? tr("ошибка восстановления") : text;
            } catch (const std::exception &e) {
                error = QString::fromLocal8Bit(e.what());
            }
            settings.endGroup();
            if (!error.isEmpty()) {
                delete window;
                window = nullptr;
            }
        }
        settings.endGroup();
        if (!window) {
            problems.append(tr("Окно %1 (%2) не восстановлено: %3")
                                .arg(n + 1)
                                .arg(QString::fromUtf8(factory), error));
            continue;
        }
        window->setCaption(caption);
        place(window);
        window->setStayOnTop(stayOnTop);
        QWidget *frame = window->parentWidget() ? window->parentWidget() : window;
        if (geometry.isValid()) {
            // Whatever was saved, the window's top left corner stays inside the area.
            QRect normal = geometry;
            if (m_area)
                normal.moveTopLeft(QPoint(qMax(0, normal.left()), qMax(0, normal.top())));
            if (frame->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
                frame->showNormal();
            frame->setGeometry(normal);
        }
        if (state)
            states.append({frame, state});
    }
    // The states once every window is in: a window placed later would take the activation,
    // and with it the maximised look, from an earlier one. Minimised first, the maximised
    // window last, so that it ends up active as it was.
    std::stable_sort(states.begin(), states.end(), [](const auto &a, const auto &b) {
        return (a.second & Qt::WindowMaximized) < (b.second & Qt::WindowMaximized);
    });
    for (const auto &[frame, state] : states) {
        if (!frame)
            continue;
        if (state & Qt::WindowMaximized)
            frame->showMaximized();
        else
            frame->showMinimized();
    }
    return problems;
}

void WindowManager::closeAll()
{
    for (HostWindow *window : windows()) {
        QWidget *frame = window->parentWidget() ? window->parentWidget() : window;
        frame->close();
    }
    m_windows.clear();
}
