#include "iplugin.h"
#include "ioptionspage.h"
#include "itransport.h"
#include "iview.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "iwindow.h"
#include "iwindowmanager.h"

#include <QPointer>
#include <QWidget>

IPlugin::~IPlugin() = default;
IViewFactory::~IViewFactory() = default;
IViewProvider::~IViewProvider() = default;
IWindow::~IWindow() = default;
IView::~IView() = default;
IOptionsPage::~IOptionsPage() = default;
ITransport::~ITransport() = default;
IWindowManager::~IWindowManager() = default;

IViewFactory *IViewProvider::factory(const QByteArray &name) const
{
    const QList<IViewFactory *> all = factories();
    for (IViewFactory *f : all) {
        // QByteArray comparison is exact: same length, same bytes.
        if (f && f->name() == name)
            return f;
    }
    return nullptr;
}

IWindow *IView::hostWindow() const
{
    const auto *self = dynamic_cast<const QWidget *>(this);
    for (QWidget *w = self ? self->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (auto *window = static_cast<IWindow *>(w->qt_metacast(IWindow_iid)))
            return window;
    }
    return nullptr;
}

namespace {
IWindowManager *windowManager = nullptr;
}

IWindowManager *IWindowManager::instance()
{
    return windowManager;
}

void IWindowManager::setInstance(IWindowManager *manager)
{
    windowManager = manager;
}
