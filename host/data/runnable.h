#pragma once

#include "hostdata_global.h"

#include <QAtomicInt>
#include <QRunnable>

// A background task that can be asked to stop. run() is expected to look at canRun() often
// and return soon after stop().
class HOST_EXPORT Runnable : public QRunnable
{
public:
    Runnable() = default;
    ~Runnable() override;

    virtual bool canRun() const { return m_stopped.loadAcquire() == 0; }
    virtual void stop() { m_stopped.storeRelease(1); }

private:
    QAtomicInt m_stopped;
};
