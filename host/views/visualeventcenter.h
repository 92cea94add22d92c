#pragma once

#include "hostdata_global.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>

// Collects the events that VisualEvent objects report (a history download finished, a request
// failed) for the terminal to show. One centre per process, living in the GUI thread.
class HOST_EXPORT VisualEventCenter : public QObject
{
    Q_OBJECT
public:
    struct Event
    {
        int type = 0;
        QString text;
        QDateTime when;
    };

    static constexpr int MaxEvents = 200;

    // Created on first use and moved to the application's thread; never deleted.
    static VisualEventCenter *instance();

    // The latest events, oldest first. Thread-safe.
    QList<Event> events() const;

    // Records the event and emits eventShown(); call it on the centre's thread.
    void addEvent(int type, const QString &text, const QDateTime &when);

Q_SIGNALS:
    void eventShown(int type, const QString &text, const QDateTime &when);

private:
    VisualEventCenter();

    mutable QMutex m_mutex;
    QList<Event> m_events;
};
