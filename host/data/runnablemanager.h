#pragma once

#include "hostdata_global.h"

#include <QList>

#include <condition_variable>
#include <mutex>

class QThreadPool;
class Runnable;

// Starts runnables in a thread pool and keeps track of them. Deleting the manager stops every
// runnable it started, takes back those not yet begun and waits until the running ones have
// returned (and, where they auto-delete, have been deleted).
class HOST_EXPORT RunnableManager
{
public:
    RunnableManager();
    ~RunnableManager();
    RunnableManager(const RunnableManager &) = delete;
    RunnableManager &operator=(const RunnableManager &) = delete;

    void startRunnable(Runnable *runnable, QThreadPool *pool, int priority = 0);
    // True while any runnable started here has not finished.
    bool isRunning() const;
    void stopAll();
    // Waits for every runnable to finish; false when the timeout (ms, -1 = none) passed first.
    bool waitForDone(int msecs = -1);

private:
    class Task;
    friend class Task;
    void finished(Task *task);

    // Standard primitives: the hand-over of a runnable to its pool thread passes through this
    // mutex, which thread checkers can see (the pool's own locking is hidden inside Qt).
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    QList<Task *> m_tasks;
};
