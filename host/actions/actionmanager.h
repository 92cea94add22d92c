#pragma once

#include "hostdata_global.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class Command;
class CommandContainer;

// The process-wide registry of named command containers (menus, tool bars) and commands.
class HOST_EXPORT ActionManager : public QObject
{
    Q_OBJECT
public:
    static ActionManager *instance();

    // Returns the container with this id, creating it (owned by the manager) when there is
    // none; a new container is added to the container named parentId, placed by key2 and
    // key3.
    CommandContainer *container(const QByteArray &id, const QString &title,
                                const QByteArray &parentId, const QByteArray &key2,
                                const QByteArray &key3);
    // The container with this id, or null.
    CommandContainer *container(const QByteArray &id) const;
    Command *command(const QByteArray &id) const;
    QList<Command *> commands() const;

Q_SIGNALS:
    void commandRegistered(const QByteArray &id);
    void containerRegistered(const QByteArray &id);

private:
    friend class Command;
    friend class CommandContainer;
    ActionManager() = default;
    void registerCommand(Command *command);
    void unregisterCommand(Command *command);
    void registerContainer(CommandContainer *container);
    void unregisterContainer(CommandContainer *container);

    QHash<QByteArray, QPointer<Command>> m_commands;
    QHash<QByteArray, QPointer<CommandContainer>> m_containers;
};
