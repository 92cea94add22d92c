#include "actionmanager.h"

#include "command.h"
#include "commandcontainer.h"

#include <QDebug>

ActionManager *ActionManager::instance()
{
    // Never deleted: containers and commands of unloaded plug-ins unregister themselves.
    static ActionManager *const manager = new ActionManager;
    return manager;
}

CommandContainer *ActionManager::container(const QByteArray &id, const QString &title,
                                           const QByteArray &parentId, const QByteArray &key2,
                                           const QByteArray &key3)
{
    CommandContainer *result = container(id);
    if (!result)
        result = new CommandContainer(id, this);
    if (!title.isEmpty())
        result->setTitle(title);
    if (!parentId.isEmpty()) {
        CommandContainer *parent = container(parentId);
        if (!parent) {
            qWarning() << "ActionManager::container: no parent container" << parentId << "for"
                       << id;
        } else {
            // A container that outlived its parent (a reloaded plug-in) joins the new one.
            const auto entries = parent->entries();
            const bool present = std::any_of(entries.cbegin(), entries.cend(),
                                             [result](const CommandContainer::Entry &e) {
                                                 return e.container == result;
                                             });
            if (!present)
                parent->addContainer(result, key2, key3);
        }
    }
    return result;
}

CommandContainer *ActionManager::container(const QByteArray &id) const
{
    return m_containers.value(id);
}

Command *ActionManager::command(const QByteArray &id) const
{
    return m_commands.value(id);
}

QList<Command *> ActionManager::commands() const
{
    QList<Command *> result;
    for (const QPointer<Command> &c : m_commands) {
        if (c)
            result.append(c);
    }
    std::sort(result.begin(), result.end(),
              [](const Command *a, const Command *b) { return a->id() < b->id(); });
    return result;
}

void ActionManager::registerCommand(Command *command)
{
    if (Command *old = m_commands.value(command->id()); old && old != command)
        qWarning() << "ActionManager: command" << command->id() << "registered twice";
    m_commands.insert(command->id(), command);
    Q_EMIT commandRegistered(command->id());
}

void ActionManager::unregisterCommand(Command *command)
{
    if (m_commands.value(command->id()) == command)
        m_commands.remove(command->id());
}

void ActionManager::registerContainer(CommandContainer *container)
{
    if (CommandContainer *old = m_containers.value(container->id()); old && old != container)
        qWarning() << "ActionManager: container" << container->id() << "registered twice";
    m_containers.insert(container->id(), container);
    Q_EMIT containerRegistered(container->id());
}

void ActionManager::unregisterContainer(CommandContainer *container)
{
    if (m_containers.value(container->id()) == container)
        m_containers.remove(container->id());
}
