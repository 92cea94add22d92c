#include "datetime.h"
#include "hostclock.h"

#include <QDebug>
#include <QHashFunctions>
#include <QTimeZone>

datetime::datetime(const QDate &date)
    : datetime(date, QTime(0, 0))
{
}

datetime::datetime(const QDate &date, const QTime &time)
{
    if (date.isValid() && time.isValid())
        m_msecs = QDateTime(date, time, Qt::LocalTime).toMSecsSinceEpoch();
}

datetime::datetime(const QDateTime &dateTime)
{
    if (dateTime.isValid())
        m_msecs = dateTime.toMSecsSinceEpoch();
}

datetime::datetime(int year, int month, int day, int hour, int minute, int second, int msec)
    : datetime(QDate(year, month, day), QTime(hour, minute, second, msec))
{
}

datetime datetime::fromLocalParts(int year, int month, int day, int hour, int minute,
                                  int second, int msec)
{
    const QDate date(year, month, day);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0
        || second > 59 || msec < 0 || msec > 999)
        return {};
    struct Day
    {
        qint64 julian = std::numeric_limits<qint64>::min();
        qint64 midnight = 0;
        bool regular = false; // 24 hours long: no clock change that day
    };
    thread_local Day cache[8];
    const qint64 julian = date.toJulianDay();
    Day &slot = cache[julian & 7];
    if (slot.julian != julian) {
        slot.julian = julian;
        slot.midnight = QDateTime(date, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
        const qint64 next = QDateTime(date.addDays(1), QTime(0, 0), Qt::LocalTime)
                                .toMSecsSinceEpoch();
        slot.regular = next - slot.midnight == 86400000;
    }
    if (!slot.regular)
        return datetime(date, QTime(hour, minute, second, msec));
    return fromMSecsSinceEpoch(slot.midnight
                               + ((qint64(hour) * 60 + minute) * 60 + second) * 1000 + msec);
}

datetime datetime::now()
{
    return fromMSecsSinceEpoch(hostclock::nowMSecs());
}

QDate datetime::today()
{
    return now().getDate();
}

datetime datetime::fromMSecsSinceEpoch(qint64 msecs)
{
    datetime result;
    result.m_msecs = msecs;
    return result;
}

datetime datetime::addDays(qint64 days) const
{
    if (isNull())
        return {};
    // Calendar days keep the wall-clock time, whatever the length of the days in between.
    return datetime(getDateTime().addDays(days));
}

datetime datetime::addSecs(qint64 secs) const
{
    return addMSecs(secs * 1000);
}

datetime datetime::addMSecs(qint64 msecs) const
{
    if (isNull())
        return {};
    return fromMSecsSinceEpoch(m_msecs + msecs);
}

qint64 datetime::msecsTo(const datetime &other) const
{
    if (isNull() || other.isNull())
        return 0;
    return other.m_msecs - m_msecs;
}

QDate datetime::getDate() const
{
    return getDateTime().date();
}

QTime datetime::getTime() const
{
    return getDateTime().time();
}

QDateTime datetime::getDateTime() const
{
    if (isNull())
        return {};
    return QDateTime::fromMSecsSinceEpoch(m_msecs, Qt::LocalTime);
}

void datetime::get(int &year, int &month, int &day, int &hour, int &minute, int &second,
                   int &msec) const
{
    const QDateTime dt = getDateTime();
    const QDate d = dt.date();
    const QTime t = dt.time();
    year = d.year();
    month = d.month();
    day = d.day();
    hour = t.hour();
    minute = t.minute();
    second = t.second();
    msec = t.msec();
}

QString datetime::toString() const
{
    return toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString datetime::toString(const QString &format) const
{
    if (isNull())
        return {};
    return getDateTime().toString(format);
}

int datetime::metatypeId()
{
    return QMetaType::fromType<datetime>().id();
}

size_t qHash(const datetime &value, size_t seed) noexcept
{
    return ::qHash(value.toMSecsSinceEpoch(), seed);
}

QDebug operator<<(QDebug debug, const datetime &value)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "datetime(" << (value.isNull() ? QStringLiteral("null") : value.toString())
                    << ')';
    return debug;
}
