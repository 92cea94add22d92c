#pragma once

#include "hostdata_global.h"

#include <QByteArray>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>

class Action;
class QAction;
class QWidget;

// A named command with a text and a shortcut the user may rebind. Actions bound to the command
// id (Action) do the work: invoking the command triggers the action of the active window, or
// for application-wide commands the first bound action.
class HOST_EXPORT Command : public QObject
{
    Q_OBJECT
public:
    enum Context {
        // The command acts on the active window; bound actions carry the shortcut.
        WindowContext = 0,
        // The command acts application-wide; its own action carries the shortcut.
        ApplicationContext = 3,
    };

    explicit Command(const QByteArray &id, QObject *parent = nullptr);
    ~Command() override;

    QByteArray id() const { return m_id; }
    void setCategory(const QString &category);
    QString category() const { return m_category; }
    void setDefaultText(const QString &text);
    QString text() const { return m_text; }
    void setDefaultShortcut(const QKeySequence &shortcut);
    QKeySequence defaultShortcut() const { return m_defaultShortcut; }
    // The shortcut in force: the user's choice when there is one, else the default.
    QKeySequence shortcut() const;
    // The user's choice, remembered in the settings ("Shortcuts/<id>"); an empty sequence
    // removes the shortcut, resetShortcut() goes back to the default.
    void setShortcut(const QKeySequence &shortcut);
    void resetShortcut();
    void setContext(int context);
    int context() const { return m_context; }
    void setShortcutVisibleInToolTip(bool visible);
    bool isShortcutVisibleInToolTip() const { return m_shortcutInToolTip; }

    // The action that stands for the command in menus.
    QAction *commandAction() const { return m_action; }
    QList<Action *> boundActions() const;
    // Triggers the bound action whose window is active (see the class comment); false when
    // no action took it.
    bool invoke();

Q_SIGNALS:
    void shortcutChanged(const QKeySequence &shortcut);
    void textChanged(const QString &text);

private:
    friend class Action;
    void bind(Action *action);
    void unbind(Action *action);
    void updateAction();
    static bool isContextActive(QWidget *widget);

    QByteArray m_id;
    QString m_category;
    QString m_text;
    QKeySequence m_defaultShortcut;
    QKeySequence m_userShortcut;
    bool m_hasUserShortcut = false;
    int m_context = WindowContext;
    bool m_shortcutInToolTip = false;
    QAction *m_action;
    QList<QPointer<Action>> m_bound;
};
