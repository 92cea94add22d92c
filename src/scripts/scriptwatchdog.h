#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

class QJSEngine;

// Interrupts script engines that run past their time: a pass arms the watchdog with its
// limit and disarms it when it returns; one thread for the process waits for the earliest
// deadline and sets the engine's interrupt flag (which the engine checks at every loop turn
// and call) when it passes. The pass then unwinds with an "Interrupted" error.
class ScriptWatchdog
{
public:
    static ScriptWatchdog &instance();
    ~ScriptWatchdog();
    ScriptWatchdog(const ScriptWatchdog &) = delete;
    ScriptWatchdog &operator=(const ScriptWatchdog &) = delete;

    // A token for disarm(); the engine must outlive the arming.
    int arm(QJSEngine *engine, int milliseconds);
    // True when the deadline had passed and the engine was interrupted.
    bool disarm(int token);

private:
    ScriptWatchdog() = default;
    void run();

    struct Watch
    {
        QJSEngine *engine = nullptr;
        std::chrono::steady_clock::time_point deadline;
        bool fired = false;
    };
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<int, Watch> m_watches;
    // When the thread wakes by itself next; min while it is awake (it then sees every watch).
    std::chrono::steady_clock::time_point m_sleepUntil = std::chrono::steady_clock::time_point::min();
    int m_nextToken = 1;
    bool m_stop = false;
    std::thread m_thread;
};
