#pragma once

#include "hostdata_global.h"

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>

class Command;
class QMenu;
class QToolBar;
class QWidget;

// A named group of commands and sub-containers, shown as a menu or a tool bar. Entries are
// ordered by their two placement keys (compared as text), then by insertion.
class HOST_EXPORT CommandContainer : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QPointer<Command> command;
        QPointer<CommandContainer> container;
        QByteArray key1;
        QByteArray key2;
    };

    explicit CommandContainer(const QByteArray &id, QObject *parent = nullptr);
    ~CommandContainer() override;

    QByteArray id() const { return m_id; }
    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QIcon icon() const { return m_icon; }
    void setIcon(const QIcon &icon);

    void addContainer(CommandContainer *container, const QByteArray &key1,
                      const QByteArray &key2);
    void addCommand(Command *command, const QByteArray &key1, const QByteArray &key2);
    QList<Entry> entries() const;

    // The container as a menu, kept up to date with the entries; owned by the container.
    virtual QMenu *menu();
    // A new tool bar showing the entries: commands as buttons, sub-containers as buttons with
    // their menus. The caller owns it.
    virtual QToolBar *createToolBar(QWidget *parent);

Q_SIGNALS:
    void changed();

private:
    void insertEntry(const Entry &entry);
    void fillMenu();
    void fillToolBar(QToolBar *toolBar);

    QByteArray m_id;
    QString m_title;
    QIcon m_icon;
    QList<Entry> m_entries;
    QMenu *m_menu = nullptr;
};
