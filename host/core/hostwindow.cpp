#include "hostwindow.h"

#include "ioptionspage.h"
#include "iview.h"
#include "mapsettings.h"
#include "optionsdialog.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QVBoxLayout>

HostWindow::HostWindow(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

HostWindow::~HostWindow() = default;

QWidget *HostWindow::viewWidget() const
{
    return dynamic_cast<QWidget *>(m_view);
}

void HostWindow::setView(IView *view, const QByteArray &factoryName)
{
    m_view = view;
    m_factoryName = factoryName;
    QWidget *w = viewWidget();
    if (!w)
        return;
    w->setParent(this);
    w->setWindowFlags(Qt::Widget);
    layout()->addWidget(w);
    w->installEventFilter(this);
    // The view keeps its own title up to date; the frame follows it.
    connect(w, &QWidget::windowTitleChanged, this, &HostWindow::updateTitle);
    updateTitle();
    w->show();
}

QWidget *HostWindow::frame()
{
    return parentWidget() ? parentWidget() : this;
}

void HostWindow::updateTitle()
{
    QWidget *w = viewWidget();
    const QString title = !m_caption.isEmpty() ? m_caption : (w ? w->windowTitle() : QString());
    setWindowTitle(title);
    if (frame() != this)
        frame()->setWindowTitle(title);
}

void HostWindow::setCaption(const QString &caption)
{
    m_caption = caption.trimmed();
    updateTitle();
}

void HostWindow::setStayOnTop(bool onTop)
{
    if (m_stayOnTop == onTop)
        return;
    m_stayOnTop = onTop;
    QWidget *f = frame();
    const bool visible = f->isVisible();
    f->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible)
        f->show();
}

void HostWindow::showViewSettings()
{
    if (!m_view)
        return;
    MapSettings settings;
    m_view->saveViewSettings(settings);
    settings.setValue(QStringLiteral("Host/caption"), m_caption);
    settings.setValue(QStringLiteral("Host/stayOnTop"), m_stayOnTop);
    OptionsDialog dialog(this);
    dialog.setWindowTitle(tr("Настройки окна"));
    const QList<IViewSettingsPage *> pages = m_view->viewSettingsPages(&dialog);
    QList<IOptionsPage *> general;
    for (IViewSettingsPage *page : pages)
        general.append(page);
    dialog.setPages(general, &settings);
    connect(&dialog, &OptionsDialog::applied, this, [this, &settings] {
        setCaption(settings.value(QStringLiteral("Host/caption")).toString());
        setStayOnTop(settings.value(QStringLiteral("Host/stayOnTop")).toBool());
        m_view->applyViewSettings(settings);
    });
    dialog.exec();
}

QRect HostWindow::normalGeometry() const
{
    const QWidget *f = parentWidget() ? parentWidget() : this;
    if (!(f->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        return f->geometry();
    if (f->isWindow() && f->normalGeometry().isValid())
        return f->normalGeometry();
    return m_normalGeometry.isValid() ? m_normalGeometry : f->geometry();
}

bool HostWindow::event(QEvent *event)
{
    // A frame in a window area does not remember its normal geometry for us: watch it.
    if (event->type() == QEvent::ParentChange) {
        if (m_watchedFrame)
            m_watchedFrame->removeEventFilter(this);
        m_watchedFrame = parentWidget();
        if (m_watchedFrame)
            m_watchedFrame->installEventFilter(this);
    }
    return QWidget::event(event);
}

bool HostWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedFrame && m_watchedFrame
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && !(m_watchedFrame->windowState()
             & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        m_normalGeometry = m_watchedFrame->geometry();
    if (event->type() == QEvent::ContextMenu && watched == viewWidget() && m_view) {
        auto *e = static_cast<QContextMenuEvent *>(event);
        QMenu menu(this);
        m_view->fillViewContextMenu(e->pos(), &menu);
        if (!menu.isEmpty())
            menu.addSeparator();
        menu.addAction(tr("Настройки окна..."), this, &HostWindow::showViewSettings);
        menu.exec(e->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void HostWindow::closeEvent(QCloseEvent *event)
{
    if (m_view)
        m_view->viewClosing();
    QWidget::closeEvent(event);
}
