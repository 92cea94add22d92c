#include "scriptwatchdog.h"

#include <QJSEngine>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// How often the memory is looked at while a memory limit is armed, and how long the thread
// keeps looking after the last arming.
constexpr auto MemoryPoll = std::chrono::milliseconds(4);
constexpr auto Linger = std::chrono::seconds(1);

// A thread's CPU time in nanoseconds, -1 when the clock cannot be read.
qint64 cpuNanos(clockid_t clock)
{
    timespec t{};
    if (::clock_gettime(clock, &t) != 0)
        return -1;
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

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

qint64 ScriptWatchdog::threadNanos()
{
    const qint64 cpu = cpuNanos(CLOCK_THREAD_CPUTIME_ID);
    if (cpu >= 0)
        return cpu;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
    Watch watch{engine, deadline, {}, -1, qint64(std::max(1, milliseconds)) * 1000000,
                memoryLimit, memoryBase, None};
    if (::pthread_getcpuclockid(::pthread_self(), &watch.cpuClock) == 0)
        watch.cpuStart = cpuNanos(watch.cpuClock);
    m_watches[token] = watch;
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
                // The thread may have waited for a core: it is stopped only once it has run
                // for the whole limit.
                const qint64 cpu = watch.cpuStart >= 0 ? cpuNanos(watch.cpuClock) : -1;
                const qint64 ran = cpu >= 0 ? cpu - watch.cpuStart : watch.limitNanos;
                if (ran < watch.limitNanos) {
                    watch.deadline = now + std::chrono::nanoseconds(watch.limitNanos - ran);
                } else {
                    watch.engine->setInterrupted(true);
                    watch.fired = Time;
                    continue;
                }
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
