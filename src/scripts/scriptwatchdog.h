#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <time.h>

class QJSEngine;

// Interrupts script engines that run past their time or their memory: a stretch of script
// code arms the watchdog with its limits and disarms it when it returns; one thread for the
// process waits for the earliest deadline, looks at the process's resident memory every few
// milliseconds while a memory limit is armed, and sets the engine's interrupt flag (which the
// engine checks at every loop turn and call) when a limit is passed. The code then unwinds
// with an "Interrupted" error.
// A time limit counts the time the arming thread ran, not the time that passed: on a busy
// machine a stretch that waited for a core is not stopped for the wait. Each deadline is first
// set on the steady clock; when it passes, the thread's CPU time decides, and a stretch still
// short of its limit is watched for the rest.
class ScriptWatchdog
{
public:
    enum Reason { None, Time, Memory };

    static ScriptWatchdog &instance();
    ~ScriptWatchdog();
    ScriptWatchdog(const ScriptWatchdog &) = delete;
    ScriptWatchdog &operator=(const ScriptWatchdog &) = delete;

    // A token for disarm(); the engine must outlive the arming. memoryLimit: the most the
    // process's resident memory may grow over `memoryBase` (bytes; 0: no memory limit).
    int arm(QJSEngine *engine, int milliseconds, qint64 memoryLimit = 0, qint64 memoryBase = 0);
    // What interrupted the engine, None when nothing did.
    Reason disarm(int token);
    // The same while the watch is armed.
    Reason fired(int token);

    // The process's resident memory in bytes (-1 where the system does not tell).
    static qint64 residentBytes();
    // The time the calling thread has run, in nanoseconds: what the limits count (the steady
    // clock where the system keeps no such time).
    static qint64 threadNanos();

private:
    ScriptWatchdog() = default;
    void run();

    struct Watch
    {
        QJSEngine *engine = nullptr;
        std::chrono::steady_clock::time_point deadline;
        // The arming thread's CPU clock, its reading at arming and the limit, in nanoseconds
        // (cpuStart < 0 where the system has no such clock: the deadline alone then counts).
        clockid_t cpuClock = 0;
        qint64 cpuStart = -1;
        qint64 limitNanos = 0;
        qint64 memoryLimit = 0;
        qint64 memoryBase = 0;
        Reason fired = None;
    };
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<int, Watch> m_watches;
    // When the thread wakes by itself next; min while it is awake (it then sees every watch).
    std::chrono::steady_clock::time_point m_sleepUntil = std::chrono::steady_clock::time_point::min();
    // The last arming: the thread keeps looking at the memory for a while after it, so that
    // the short passes that follow one another (a trade each) arm it without waking it.
    std::chrono::steady_clock::time_point m_lastArm;
    int m_nextToken = 1;
    bool m_stop = false;
    std::thread m_thread;
};
