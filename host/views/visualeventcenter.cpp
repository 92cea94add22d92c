#include "visualeventcenter.h"

#include <QCoreApplication>
#include <QThread>

VisualEventCenter::VisualEventCenter()
{
    // The first event may come from a worker thread; the signal must still be emitted where
    // the widgets live.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());
}

VisualEventCenter *VisualEventCenter::instance()
{
    static VisualEventCenter *const center = new VisualEventCenter;
    return center;
}

QList<VisualEventCenter::Event> VisualEventCenter::events() const
{
    QMutexLocker locker(&m_mutex);
    return m_events;
}

void VisualEventCenter::addEvent(int type, const QString &text, const QDateTime &when)
{
    Q_ASSERT(QThread::currentThread() == thread());
    {
        QMutexLocker locker(&m_mutex);
        m_events.append(Event { type, text, when });
        while (m_events.size() > MaxEvents)
            m_events.removeFirst();
    }
    emit eventShown(type, text, when);
}
