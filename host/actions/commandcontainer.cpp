#include "commandcontainer.h"

#include "actionmanager.h"
#include "command.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

CommandContainer::CommandContainer(const QByteArray &id, QObject *parent)
    : QObject(parent)
    , m_id(id)
{
    ActionManager::instance()->registerContainer(this);
}

CommandContainer::~CommandContainer()
{
    ActionManager::instance()->unregisterContainer(this);
    delete m_menu;
}

void CommandContainer::setTitle(const QString &title)
{
    if (m_title == title)
        return;
    m_title = title;
    if (m_menu)
        m_menu->setTitle(title);
    Q_EMIT changed();
}

void CommandContainer::setIcon(const QIcon &icon)
{
    m_icon = icon;
    if (m_menu)
        m_menu->setIcon(icon);
    Q_EMIT changed();
}

void CommandContainer::insertEntry(const Entry &entry)
{
    auto later = [&entry](const Entry &e) {
        return std::make_pair(e.key1, e.key2) > std::make_pair(entry.key1, entry.key2);
    };
    const auto it = std::find_if(m_entries.begin(), m_entries.end(), later);
    m_entries.insert(it, entry);
    QObject *target = entry.command ? static_cast<QObject *>(entry.command.data())
                                    : static_cast<QObject *>(entry.container.data());
    // An entry dies with its object (a plug-in unloads); the menus follow.
    connect(target, &QObject::destroyed, this, [this] {
        m_entries.removeIf([](const Entry &e) { return !e.command && !e.container; });
        Q_EMIT changed();
    });
    if (entry.container)
        connect(entry.container, &CommandContainer::changed, this, &CommandContainer::changed);
    Q_EMIT changed();
}

void CommandContainer::addContainer(CommandContainer *container, const QByteArray &key1,
                                    const QByteArray &key2)
{
    if (!container || container == this)
        return;
    insertEntry({nullptr, container, key1, key2});
}

void CommandContainer::addCommand(Command *command, const QByteArray &key1,
                                  const QByteArray &key2)
{
    if (!command)
        return;
    insertEntry({command, nullptr, key1, key2});
}

QList<CommandContainer::Entry> CommandContainer::entries() const
{
    QList<Entry> result;
    for (const Entry &e : m_entries) {
        if (e.command || e.container)
            result.append(e);
    }
    return result;
}

QMenu *CommandContainer::menu()
{
    if (!m_menu) {
        m_menu = new QMenu;
        m_menu->setTitle(m_title);
        m_menu->setIcon(m_icon);
        connect(this, &CommandContainer::changed, m_menu, [this] { fillMenu(); });
        fillMenu();
    }
    return m_menu;
}

void CommandContainer::fillMenu()
{
    m_menu->clear();
    QByteArray lastGroup;
    bool first = true;
    for (const Entry &e : entries()) {
        // A new first key starts a new group, separated by a line.
        if (!first && e.key1 != lastGroup)
            m_menu->addSeparator();
        first = false;
        lastGroup = e.key1;
        if (e.command)
            m_menu->addAction(e.command->commandAction());
        else if (QMenu *sub = e.container->menu())
            m_menu->addMenu(sub);
    }
}

QToolBar *CommandContainer::createToolBar(QWidget *parent)
{
    auto *toolBar = new QToolBar(m_title, parent);
    toolBar->setObjectName(QString::fromLatin1(m_id));
    connect(this, &CommandContainer::changed, toolBar, [this, toolBar] { fillToolBar(toolBar); });
    fillToolBar(toolBar);
    return toolBar;
}

void CommandContainer::fillToolBar(QToolBar *toolBar)
{
    toolBar->clear();
    for (const Entry &e : entries()) {
        if (e.command) {
            toolBar->addAction(e.command->commandAction());
        } else {
            auto *button = new QToolButton(toolBar);
            button->setIcon(e.container->icon());
            button->setText(e.container->title());
            button->setToolTip(QString(e.container->title()).remove(u'&'));
            button->setMenu(e.container->menu());
            button->setPopupMode(QToolButton::InstantPopup);
            toolBar->addWidget(button);
        }
    }
}
