#pragma once

#include "hostdata_global.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

// A local date and time with millisecond precision. Stored as milliseconds since the Unix
// epoch, so differences are real elapsed time (a day with a daylight-saving change has 23 or
// 25 hours); the calendar parts are local time. A default-constructed value is null.
class HOST_EXPORT datetime
{
public:
    datetime() = default;
    explicit datetime(const QDate &date);
    datetime(const QDate &date, const QTime &time);
    explicit datetime(const QDateTime &dateTime);
    datetime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
             int msec = 0);

    // The process's "now" and "today": real time unless the clock is pinned (see hostclock.h).
    // Everything that asks for the current moment asks here, so that a test can set it.
    static datetime now();
    static QDate today();
    // The same as the seven-integer constructor, but quick for many times of the same few
    // days (history replies, cache files): each day's local midnight is remembered per thread.
    static datetime fromLocalParts(int year, int month, int day, int hour, int minute,
                                   int second, int msec = 0);
    static datetime fromMSecsSinceEpoch(qint64 msecs);

    bool isNull() const { return m_msecs == NullValue; }
    bool isValid() const { return !isNull(); }

    datetime addDays(qint64 days) const;
    datetime addSecs(qint64 secs) const;
    datetime addMSecs(qint64 msecs) const;
    qint64 msecsTo(const datetime &other) const;
    qint64 toMSecsSinceEpoch() const { return m_msecs; }

    QDate getDate() const;
    QTime getTime() const;
    QDateTime getDateTime() const;
    operator QDateTime() const { return getDateTime(); }
    void get(int &year, int &month, int &day, int &hour, int &minute, int &second,
             int &msec) const;

    // "yyyy-MM-dd hh:mm:ss.zzz"; empty for the null value.
    QString toString() const;
    QString toString(const QString &format) const;

    bool operator==(const datetime &other) const { return m_msecs == other.m_msecs; }
    bool operator!=(const datetime &other) const { return m_msecs != other.m_msecs; }
    // The null value orders before every other value.
    bool operator<(const datetime &other) const { return m_msecs < other.m_msecs; }
    bool operator>(const datetime &other) const { return m_msecs > other.m_msecs; }
    bool operator<=(const datetime &other) const { return m_msecs <= other.m_msecs; }
    bool operator>=(const datetime &other) const { return m_msecs >= other.m_msecs; }

    static int metatypeId();

private:
    static constexpr qint64 NullValue = std::numeric_limits<qint64>::min();
    qint64 m_msecs = NullValue;
};

HOST_EXPORT size_t qHash(const datetime &value, size_t seed = 0) noexcept;
HOST_EXPORT QDebug operator<<(QDebug debug, const datetime &value);

Q_DECLARE_METATYPE(datetime)
