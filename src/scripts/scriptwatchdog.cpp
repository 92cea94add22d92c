#include "scriptwatchdog.h"

#include <QJSEngine>

ScriptWatchdog &ScriptWatchdog::instance()
{
    static ScriptWatchdog watchdog;
    return watchdog;
}

ScriptWatchdog::~ScriptWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

int ScriptWatchdog::arm(QJSEngine *engine, int milliseconds)
{
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    const int token = m_nextToken++;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(1, milliseconds));
    m_watches[token] = {engine, deadline, false};
    // The thread is woken only when it would sleep past the new deadline: passes that follow
    // one another (a trade each) arm it without a thread switch each time.
    if (deadline < m_sleepUntil)
        m_wake.notify_all();
    return token;
}

bool ScriptWatchdog::disarm(int token)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_watches.find(token);
    if (it == m_watches.end())
        return false;
    const bool fired = it->second.fired;
    m_watches.erase(it);
    return fired;
}

void ScriptWatchdog::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        auto earliest = std::chrono::steady_clock::time_point::max();
        const auto now = std::chrono::steady_clock::now();
        for (auto &[token, watch] : m_watches) {
            if (watch.fired)
                continue;
            if (watch.deadline <= now) {
                // Setting the flag is safe from any thread; the engine stays until disarm().
                watch.engine->setInterrupted(true);
                watch.fired = true;
            } else if (watch.deadline < earliest) {
                earliest = watch.deadline;
            }
        }
        m_sleepUntil = earliest;
        if (earliest == std::chrono::steady_clock::time_point::max())
            m_wake.wait(lock);
        else
            m_wake.wait_until(lock, earliest);
        m_sleepUntil = std::chrono::steady_clock::time_point::min();
    }
}
