#pragma once

#include "hostdata_global.h"

#include <QObject>

#include <atomic>

// Reports events of one type to the VisualEventCenter from any thread.
class HOST_EXPORT VisualEvent : public QObject
{
    Q_OBJECT
public:
    explicit VisualEvent(QObject *parent = nullptr);

    int eventType() const { return m_eventType.load(); }
    void setEventType(int type) { m_eventType.store(type); }

    // Thread-safe: from another thread the event reaches the centre through its event loop.
    void showEvent(const QString &text);

private:
    // Read by showEvent() on whatever thread calls it.
    std::atomic<int> m_eventType { 0 };
};
