#pragma once

#include "datetime.h"
#include "hostclock.h"

#include <QByteArray>
#include <QDateTime>

// The moment a test run happens at. A run never reads the wall clock: it stands still at the
// moment named by TA_NOW, or, when none is named, at an ordinary Wednesday afternoon. CTest
// runs the date-dependent suites again at other named moments (a Monday just after midnight,
// a Saturday, a holiday, the last second of a day, the day the clocks go back, after 2038).
namespace TestClock {

// Wednesday 25 November 2026, 14:30: a trading day with trading days before it.
inline constexpr const char *DefaultMoment = "2026-11-25T14:30:00";

inline datetime parse(const QByteArray &text)
{
    return datetime(QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate));
}

// The moment this run stands at.
inline datetime runMoment()
{
    const QByteArray named = qgetenv(hostclock::EnvironmentVariable);
    const datetime moment = parse(named);
    return moment.isValid() ? moment : parse(DefaultMoment);
}

inline void setEnvironment(const datetime &moment)
{
    qputenv(hostclock::EnvironmentVariable,
            moment.toString(QString::fromLatin1(hostclock::EnvironmentFormat)).toLatin1());
}

// Freezes the clock at the run's moment; programs the tests start (the tool, the server, the
// terminal) inherit it through the environment and run on from it.
inline void pinRun()
{
    const datetime moment = runMoment();
    setEnvironment(moment);
    hostclock::freezeAt(moment);
}

} // namespace TestClock

// Pins the clock at the moment a test means, for the scope of the test, then goes back to the
// run's moment.
class PinnedClock
{
public:
    explicit PinnedClock(const datetime &moment)
        : m_previous(datetime::now())
        , m_previousEnvironment(qgetenv(hostclock::EnvironmentVariable))
    {
        TestClock::setEnvironment(moment);
        hostclock::freezeAt(moment);
    }
    ~PinnedClock()
    {
        qputenv(hostclock::EnvironmentVariable, m_previousEnvironment);
        hostclock::freezeAt(m_previous);
    }
    PinnedClock(const PinnedClock &) = delete;
    PinnedClock &operator=(const PinnedClock &) = delete;

private:
    datetime m_previous;
    QByteArray m_previousEnvironment;
};
