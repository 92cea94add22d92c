#include "command.h"

#include "action.h"
#include "actionmanager.h"
#include "appsettings.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

namespace {

QString shortcutKey(const QByteArray &id)
{
    return QStringLiteral("Shortcuts/") + QString::fromLatin1(id);
}

} // namespace

Command::Command(const QByteArray &id, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_action(new QAction(this))
{
    AppSettings settings;
    if (settings.contains(shortcutKey(id))) {
        m_hasUserShortcut = true;
        m_userShortcut = QKeySequence::fromString(settings.value(shortcutKey(id)).toString(),
                                                  QKeySequence::PortableText);
    }
    connect(m_action, &QAction::triggered, this, [this] { invoke(); });
    ActionManager::instance()->registerCommand(this);
}

Command::~Command()
{
    ActionManager::instance()->unregisterCommand(this);
}

void Command::setCategory(const QString &category)
{
    m_category = category;
}

void Command::setDefaultText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    updateAction();
    Q_EMIT textChanged(text);
}

void Command::setDefaultShortcut(const QKeySequence &shortcut)
{
    if (m_defaultShortcut == shortcut)
        return;
    m_defaultShortcut = shortcut;
    updateAction();
    if (!m_hasUserShortcut)
        Q_EMIT shortcutChanged(this->shortcut());
}

QKeySequence Command::shortcut() const
{
    return m_hasUserShortcut ? m_userShortcut : m_defaultShortcut;
}

void Command::setShortcut(const QKeySequence &shortcut)
{
    if (m_hasUserShortcut && m_userShortcut == shortcut)
        return;
    m_hasUserShortcut = true;
    m_userShortcut = shortcut;
    AppSettings().setValue(shortcutKey(m_id), shortcut.toString(QKeySequence::PortableText));
    updateAction();
    Q_EMIT shortcutChanged(shortcut);
}

void Command::resetShortcut()
{
    if (!m_hasUserShortcut)
        return;
    m_hasUserShortcut = false;
    AppSettings().remove(shortcutKey(m_id));
    updateAction();
    Q_EMIT shortcutChanged(m_defaultShortcut);
}

void Command::setContext(int context)
{
    m_context = context;
    updateAction();
}

void Command::setShortcutVisibleInToolTip(bool visible)
{
    m_shortcutInToolTip = visible;
    updateAction();
}

void Command::updateAction()
{
    m_action->setText(m_text);
    // Window commands get their shortcut through the window's own actions; an application
    // command answers its shortcut itself.
    if (m_context == ApplicationContext) {
        m_action->setShortcut(shortcut());
        m_action->setShortcutContext(Qt::ApplicationShortcut);
    } else {
        m_action->setShortcut({});
    }
    const QString plain = QString(m_text).remove(u'&');
    m_action->setToolTip(m_shortcutInToolTip && !shortcut().isEmpty()
                             ? QStringLiteral("%1 (%2)").arg(plain,
                                                             shortcut().toString(
                                                                 QKeySequence::NativeText))
                             : plain);
}

QList<Action *> Command::boundActions() const
{
    QList<Action *> result;
    for (const QPointer<Action> &a : m_bound) {
        if (a)
            result.append(a);
    }
    return result;
}

void Command::bind(Action *action)
{
    m_bound.removeIf([](const QPointer<Action> &a) { return a.isNull(); });
    if (!m_bound.contains(action))
        m_bound.append(action);
}

void Command::unbind(Action *action)
{
    m_bound.removeIf([action](const QPointer<Action> &a) { return a.isNull() || a == action; });
}

bool Command::isContextActive(QWidget *widget)
{
    if (!widget || !widget->isVisible() || !widget->window()->isActiveWindow())
        return false;
    // Inside a window area only the active sub-window counts.
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(w)) {
            if (sub->mdiArea() && sub->mdiArea()->activeSubWindow() != sub)
                return false;
        }
    }
    return true;
}

bool Command::invoke()
{
    const QList<Action *> actions = boundActions();
    // The action of the window that has the focus, else of the active window.
    if (QWidget *focus = QApplication::focusWidget()) {
        for (Action *a : actions) {
            QWidget *context = a->contextWidget();
            if (a->isEnabled() && context && (context == focus || context->isAncestorOf(focus))
                && isContextActive(context)) {
                a->trigger();
                return true;
            }
        }
    }
    for (Action *a : actions) {
        if (a->isEnabled() && isContextActive(a->contextWidget())) {
            a->trigger();
            return true;
        }
    }
    if (m_context == ApplicationContext) {
        // Application commands are served by one action, whichever window is active.
        for (Action *a : actions) {
            if (a->isEnabled()) {
                a->trigger();
                return true;
            }
        }
    }
    return false;
}
