#pragma once

#include "command.h"
#include "hostdata_global.h"

#include <QAction>
#include <QByteArray>
#include <QPointer>

// An action bound to a command id: it fires when the command is invoked while its context
// (the window its parent widget belongs to) is active. Within a window it also carries the
// command's shortcut, so that the shortcut reaches the focused window only.
class HOST_EXPORT Action : public QAction
{
    Q_OBJECT
public:
    Action(const QByteArray &commandId, QObject *parent);
    Action(const QString &text, const QByteArray &commandId, QObject *parent);
    Action(const QIcon &icon, const QString &text, const QByteArray &commandId, QObject *parent);
    ~Action() override;

    QByteArray commandId() const { return m_commandId; }
    Command *command() const { return m_command; }
    // The widget whose window decides whether the action is active; null for actions that
    // belong to no window.
    QWidget *contextWidget() const;

private:
    void bindTo(Command *command);
    void followCommand();

    QByteArray m_commandId;
    QPointer<Command> m_command;
    bool m_ownText;
};
