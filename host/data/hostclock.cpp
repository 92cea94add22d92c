#include "hostclock.h"

#include "datetime.h"

#include <QDateTime>
#include <QMessageLogger>

#include <atomic>
#include <cstdio>
#include <limits>

namespace {

constexpr qint64 NotFrozen = std::numeric_limits<qint64>::min();

struct ClockState
{
    // A frozen moment, or NotFrozen; when running, real time plus the offset.
    std::atomic<qint64> frozen{NotFrozen};
    std::atomic<qint64> offset{0};
    // The offset the process started with (from TA_NOW), which release() goes back to.
    qint64 startOffset = 0;

    ClockState()
    {
        const QByteArray value = qgetenv(hostclock::EnvironmentVariable);
        if (value.isEmpty())
            return;
        const QDateTime start = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        if (!start.isValid()) {
            // Said on stderr and not through the logging categories: they may not be set up
            // yet, and a clock silently on real time would make a pinned run meaningless.
            std::fprintf(stderr, "%s: not a moment \"%s\" (expected %s); real time is used\n",
                         hostclock::EnvironmentVariable, value.constData(),
                         hostclock::EnvironmentFormat);
            return;
        }
        startOffset = start.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch();
        offset.store(startOffset);
    }
};

ClockState &state()
{
    static ClockState clock;
    return clock;
}

} // namespace

namespace hostclock {

qint64 nowMSecs()
{
    ClockState &clock = state();
    const qint64 frozen = clock.frozen.load(std::memory_order_acquire);
    if (frozen != NotFrozen)
        return frozen;
    return QDateTime::currentMSecsSinceEpoch() + clock.offset.load(std::memory_order_acquire);
}

void freezeAt(const datetime &moment)
{
    if (moment.isNull())
        return;
    state().frozen.store(moment.toMSecsSinceEpoch(), std::memory_order_release);
}

void startAt(const datetime &moment)
{
    if (moment.isNull())
        return;
    ClockState &clock = state();
    clock.offset.store(moment.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch(),
                       std::memory_order_release);
    clock.frozen.store(NotFrozen, std::memory_order_release);
}

void advance(qint64 msecs)
{
    ClockState &clock = state();
    qint64 frozen = clock.frozen.load(std::memory_order_acquire);
    while (frozen != NotFrozen) {
        if (clock.frozen.compare_exchange_weak(frozen, frozen + msecs, std::memory_order_acq_rel))
            return;
    }
    clock.offset.fetch_add(msecs, std::memory_order_acq_rel);
}

void release()
{
    ClockState &clock = state();
    clock.frozen.store(NotFrozen, std::memory_order_release);
    clock.offset.store(clock.startOffset, std::memory_order_release);
}

} // namespace hostclock
