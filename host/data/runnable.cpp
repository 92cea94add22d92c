#include "runnable.h"

#include "runnablemanager.h"

#include <QDeadlineTimer>
#include <QThreadPool>

Runnable::~Runnable() = default;

// Runs one Runnable on behalf of the manager, so the manager learns when it has finished even
// when the runnable deletes itself.
class RunnableManager::Task : public QRunnable
{
public:
    Task(RunnableManager *manager, Runnable *runnable, QThreadPool *pool)
        : m_manager(manager)
        , m_runnable(runnable)
        , m_pool(pool)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        if (m_runnable->canRun())
            m_runnable->run();
        Runnable *done;
        {
            // stopAll() must never reach a runnable that is being deleted.
            QMutexLocker locker(&m_manager->m_mutex);
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

    RunnableManager *m_manager;
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
        QMutexLocker locker(&m_mutex);
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
        QMutexLocker locker(&m_mutex);
        m_tasks.append(task);
    }
    pool->start(task, priority);
}

bool RunnableManager::isRunning() const
{
    QMutexLocker locker(&m_mutex);
    return !m_tasks.isEmpty();
}

void RunnableManager::stopAll()
{
    QMutexLocker locker(&m_mutex);
    for (Task *task : std::as_const(m_tasks)) {
        if (task->m_runnable)
            task->m_runnable->stop();
    }
}

bool RunnableManager::waitForDone(int msecs)
{
    QDeadlineTimer deadline(msecs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(msecs));
    QMutexLocker locker(&m_mutex);
    while (!m_tasks.isEmpty()) {
        if (!m_done.wait(&m_mutex, deadline))
            return m_tasks.isEmpty();
    }
    return true;
}

void RunnableManager::finished(Task *task)
{
    QMutexLocker locker(&m_mutex);
    m_tasks.removeOne(task);
    delete task;
    m_done.wakeAll();
}
