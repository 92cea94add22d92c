#include "visualevent.h"

#include "datetime.h"
#include "visualeventcenter.h"

#include <QDateTime>
#include <QDebug>
#include <QThread>

VisualEvent::VisualEvent(QObject *parent)
    : QObject(parent)
{
}

void VisualEvent::showEvent(const QString &text)
{
    const int type = m_eventType.load();
    const QDateTime when = datetime::now().getDateTime();
    qInfo().noquote() << "VisualEvent::showEvent" << type << text;
    VisualEventCenter *center = VisualEventCenter::instance();
    if (QThread::currentThread() == center->thread()) {
        center->addEvent(type, text, when);
        return;
    }
    QMetaObject::invokeMethod(
        center, [center, type, text, when] { center->addEvent(type, text, when); },
        Qt::QueuedConnection);
}
