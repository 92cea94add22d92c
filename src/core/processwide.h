#pragma once

#include <QThread>

#include <atomic>
#include <functional>

// One process-wide object created on first use, from any thread. The flag moves from
// NotCreated (or Failed) to BeingCreated for the one caller that creates the object; callers
// that find it BeingCreated yield and look again. A creation that throws leaves the flag at
// Failed and the exception goes to that caller; the next caller tries again.
template <typename T>
class ProcessWide
{
public:
    enum State { NotCreated = 0, BeingCreated = 1, Created = 2, Failed = 3 };

    explicit ProcessWide(std::function<T *()> create)
        : m_create(std::move(create))
    {
    }
    ProcessWide(const ProcessWide &) = delete;
    ProcessWide &operator=(const ProcessWide &) = delete;

    T *instance()
    {
        for (;;) {
            int state = m_state.load(std::memory_order_acquire);
            if (state == Created)
                return m_object.load(std::memory_order_acquire);
            if ((state == NotCreated || state == Failed)
                && m_state.compare_exchange_strong(state, BeingCreated,
                                                   std::memory_order_acq_rel)) {
                T *object = nullptr;
                try {
                    object = m_create();
                } catch (...) {
                    m_state.store(Failed, std::memory_order_release);
                    throw;
                }
                m_object.store(object, std::memory_order_release);
                m_state.store(Created, std::memory_order_release);
                return object;
            }
            QThread::yieldCurrentThread();
        }
    }

    // The object when it exists, without creating it.
    T *existing() const
    {
        return m_state.load(std::memory_order_acquire) == Created
                   ? m_object.load(std::memory_order_acquire)
                   : nullptr;
    }

    State state() const { return State(m_state.load(std::memory_order_acquire)); }

    // Clears the pointer first, then deletes the object; the next instance() creates anew.
    void destroy()
    {
        T *object = m_object.exchange(nullptr, std::memory_order_acq_rel);
        m_state.store(NotCreated, std::memory_order_release);
        delete object;
    }

private:
    std::function<T *()> m_create;
    std::atomic<int> m_state{NotCreated};
    std::atomic<T *> m_object{nullptr};
};
