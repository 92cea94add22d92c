#include "tasharedobjects.h"

#include "talogging.h"

#include <QDebug>
#include <QList>
#include <QMutex>

namespace {

struct Entry
{
    const char *name;
    std::function<void()> destroy;
};

QMutex mutex;
QList<Entry> &entries()
{
    static QList<Entry> list;
    return list;
}

} // namespace

void TASharedObjects::add(const char *name, std::function<void()> destroy)
{
    QMutexLocker locker(&mutex);
    entries().append({name, std::move(destroy)});
}

void TASharedObjects::destroyAll()
{
    QList<Entry> copy;
    {
        QMutexLocker locker(&mutex);
        copy = entries();
    }
    for (const Entry &e : std::as_const(copy)) {
        qCDebug(lcPlugin) << "TASharedObjects::destroyAll:" << e.name;
        e.destroy();
    }
}

int TASharedObjects::count()
{
    QMutexLocker locker(&mutex);
    return int(entries().size());
}
