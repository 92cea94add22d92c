#include "scriptwatchdog.h"

#include <QJSEngine>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// How often the memory is looked at while a memory limit is armed, and how long the thread
// keeps looking after the last arming.
constexpr auto MemoryPoll = std::chrono::milliseconds(4);
constexpr auto Linger = std::chrono::seconds(1);

} // namespace

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

qint64 ScriptWatchdog::residentBytes()
{
    // The second field of /proc/self/statm: resident pages.
    static const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    static const long page = ::sysconf(_SC_PAGESIZE);
    if (fd < 0 || page <= 0)
        return -1;
    char text[128];
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return -1;
    text[n] = 0;
    char *end = nullptr;
    std::strtoll(text, &end, 10);
    const long long pages = std::strtoll(end, nullptr, 10);
    return pages > 0 ? qint64(pages) * page : -1;
}

int ScriptWatchdog::arm(QJSEngine *engine, int milliseconds, qint64 memoryLimit, qint64 memoryBase)
{
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    const int token = m_nextToken++;
    const auto now = std::chrono::steady_clock::now();
    const auto deadline = now + std::chrono::milliseconds(std::max(1, milliseconds));
    if (memoryBase <= 0)
        memoryLimit = 0;
    m_watches[token] = {engine, deadline, memoryLimit, memoryBase, None};
    m_lastArm = now;
    // The thread is woken only when it would sleep past what the new watch needs: passes that
    // follow one another (a trade each) arm it without a thread switch each time.
    const auto need = memoryLimit > 0 ? std::min(deadline, now + MemoryPoll) : deadline;
    if (need < m_sleepUntil)
        m_wake.notify_all();
    return token;
}

ScriptWatchdog::Reason ScriptWatchdog::disarm(int token)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_watches.find(token);
    if (it == m_watches.end())
        return None;
    const Reason fired = it->second.fired;
    m_watches.erase(it);
    return fired;
}

ScriptWatchdog::Reason ScriptWatchdog::fired(int token)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_watches.find(token);
    return it == m_watches.end() ? None : it->second.fired;
}

void ScriptWatchdog::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        auto earliest = std::chrono::steady_clock::time_point::max();
        const auto now = std::chrono::steady_clock::now();
        qint64 resident = -1;
        bool memory = false;
        for (auto &[token, watch] : m_watches) {
            if (watch.fired != None)
                continue;
            // Setting the flag is safe from any thread; the engine stays until disarm().
            if (watch.deadline <= now) {
                watch.engine->setInterrupted(true);
                watch.fired = Time;
                continue;
            }
            if (watch.memoryLimit > 0) {
                if (resident < 0)
                    resident = residentBytes();
                if (resident >= 0 && resident - watch.memoryBase > watch.memoryLimit) {
                    watch.engine->setInterrupted(true);
                    watch.fired = Memory;
                    continue;
                }
                memory = true;
            }
            earliest = std::min(earliest, watch.deadline);
        }
        if (memory || now - m_lastArm < Linger)
            earliest = std::min(earliest, now + MemoryPoll);
        m_sleepUntil = earliest;
        if (earliest == std::chrono::steady_clock::time_point::max())
            m_wake.wait(lock);
        else
            m_wake.wait_until(lock, earliest);
        m_sleepUntil = std::chrono::steady_clock::time_point::min();
    }
}
