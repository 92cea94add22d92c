#include "runnable.h"

#include "runnablemanager.h"

#include <QThreadPool>

#include <atomic>
#include <chrono>

Runnable::~Runnable() = default;

// Runs one Runnable on behalf of the manager, so the manager learns when it has finished even
// when the runnable deletes itself.
class RunnableManager::Task : public QRunnable
{
public:
    Task(RunnableManager *manager, Runnable *runnable, QThreadPool *pool)
        : m_runnable(runnable)
        , m_pool(pool)
    {
        setAutoDelete(false);
        m_manager = manager;
        // Published last: the pool thread's acquiring load makes everything the starting
        // thread did before visible to the task, also to thread checkers, which cannot see
        // the pool's own hand-over.
        m_published.store(manager, std::memory_order_release);
    }

    void run() override
    {
        Runnable *runnable;
        {
            RunnableManager *manager = m_published.load(std::memory_order_acquire);
            std::lock_guard locker(manager->m_mutex);
            runnable = m_runnable;
        }
        if (runnable->canRun())
            runnable->run();
        Runnable *done;
        {
            // stopAll() must never reach a runnable that is being deleted.
            std::lock_guard locker(m_manager->m_mutex);
            done = m_runnable;
            m_runnable = nullptr;
        }
        if (done->autoDelete())
            delete done;
        m_manager->finished(this);
    }

    // Only for tasks that never ran and are no longer listed.
    void release()
    {
        if (m_runnable->autoDelete())
            delete m_runnable;
        m_runnable = nullptr;
    }

    RunnableManager *m_manager = nullptr;
    std::atomic<RunnableManager *> m_published{nullptr};
    Runnable *m_runnable;
    QThreadPool *m_pool;
};

RunnableManager::RunnableManager() = default;

RunnableManager::~RunnableManager()
{
    stopAll();
    // Runnables that have not begun are taken back from their pools and never run.
    QList<Task *> notStarted;
    {
        std::unique_lock locker(m_mutex);
        for (Task *task : std::as_const(m_tasks)) {
            if (task->m_pool->tryTake(task))
                notStarted.append(task);
        }
        for (Task *task : std::as_const(notStarted))
            m_tasks.removeOne(task);
    }
    for (Task *task : std::as_const(notStarted)) {
        task->release();
        delete task;
    }
    waitForDone();
}

void RunnableManager::startRunnable(Runnable *runnable, QThreadPool *pool, int priority)
{
    if (!runnable || !pool)
        return;
    auto *task = new Task(this, runnable, pool);
    {
        std::unique_lock locker(m_mutex);
        m_tasks.append(task);
    }
    pool->start(task, priority);
}

bool RunnableManager::isRunning() const
{
    std::unique_lock locker(m_mutex);
    return !m_tasks.isEmpty();
}

void RunnableManager::stopAll()
{
    std::unique_lock locker(m_mutex);
    for (Task *task : std::as_const(m_tasks)) {
        if (task->m_runnable)
            task->m_runnable->stop();
    }
}

bool RunnableManager::waitForDone(int msecs)
{
    std::unique_lock locker(m_mutex);
    if (msecs < 0) {
        m_done.wait(locker, [this] { return m_tasks.isEmpty(); });
        return true;
    }
    return m_done.wait_for(locker, std::chrono::milliseconds(msecs),
                           [this] { return m_tasks.isEmpty(); });
}

void RunnableManager::finished(Task *task)
{
    std::unique_lock locker(m_mutex);
    m_tasks.removeOne(task);
    delete task;
    m_done.notify_all();
}
