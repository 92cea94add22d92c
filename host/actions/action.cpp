#include "action.h"

#include "actionmanager.h"
#include "command.h"

#include <QMenu>
#include <QWidget>

Action::Action(const QByteArray &commandId, QObject *parent)
    : QAction(parent)
    , m_commandId(commandId)
    , m_ownText(false)
{
    bindTo(ActionManager::instance()->command(commandId));
}

Action::Action(const QString &text, const QByteArray &commandId, QObject *parent)
    : QAction(text, parent)
    , m_commandId(commandId)
    , m_ownText(true)
{
    bindTo(ActionManager::instance()->command(commandId));
}

Action::Action(const QIcon &icon, const QString &text, const QByteArray &commandId,
               QObject *parent)
    : QAction(icon, text, parent)
    , m_commandId(commandId)
    , m_ownText(true)
{
    bindTo(ActionManager::instance()->command(commandId));
}

Action::~Action()
{
    if (m_command)
        m_command->unbind(this);
}

QWidget *Action::contextWidget() const
{
    // A menu is not a window of its own: its context is the widget it pops up from.
    QObject *p = parent();
    while (qobject_cast<QMenu *>(p))
        p = p->parent();
    return qobject_cast<QWidget *>(p);
}

void Action::bindTo(Command *command)
{
    if (!command) {
        // The command may be registered later (plug-ins load in any order).
        connect(ActionManager::instance(), &ActionManager::commandRegistered, this,
                [this](const QByteArray &id) {
                    if (id == m_commandId && !m_command)
                        bindTo(ActionManager::instance()->command(id));
                });
        return;
    }
    m_command = command;
    command->bind(this);
    connect(command, &Command::shortcutChanged, this, &Action::followCommand);
    connect(command, &Command::textChanged, this, &Action::followCommand);
    followCommand();
}

void Action::followCommand()
{
    if (!m_command)
        return;
    if (!m_ownText)
        setText(m_command->text());
    const bool windowCommand = m_command->context() != Command::ApplicationContext;
    if (windowCommand && contextWidget()) {
        setShortcut(m_command->shortcut());
        setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    if (m_command->isShortcutVisibleInToolTip() && !m_command->shortcut().isEmpty()) {
        setToolTip(QStringLiteral("%1 (%2)").arg(QString(text()).remove(u'&'),
                                                 m_command->shortcut().toString(
                                                     QKeySequence::NativeText)));
    }
}
