#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

class Settings;
class datetime;

enum TimeFrameKind : quint32 {
    Interval = 0, // value seconds
    Month = 1,    // one calendar month
    Year = 2,     // one calendar year
};

// The period of one bar.
struct TimeFrameValue
{
    qint32 value = 0;
    quint32 kind = Interval;

    TimeFrameValue() = default;
    TimeFrameValue(qint32 v, quint32 k = Interval)
        : value(v)
        , kind(k)
    {
    }

    // Equal kinds and, for intervals, equal lengths.
    bool operator==(const TimeFrameValue &other) const
    {
        return kind == other.kind && (kind != Interval || value == other.value);
    }
    bool operator!=(const TimeFrameValue &other) const { return !(*this == other); }

    // The display text: "1 г", "1 мес", "%1 сек", "%1 мин", "%1 ч", "%1 дн", "1 нед".
    QString toString() const;
    // The standard time frame with that display text; throws "Неизвестное значение таймфрейма".
    static TimeFrameValue fromString(const QString &text);

    // Seconds of one bar, with 2678400 for a month and 31536000 for a year.
    qint64 seconds() const;

    // "timeFrameType" and "timeFrameValue".
    void save(Settings &settings) const;
    // A type that does not convert reads as an interval; an interval length that does not
    // convert or is not positive reads as 180 seconds.
    static TimeFrameValue load(const Settings &settings);
};

// The 23 periods offered to the user, from one second to one year.
const QList<TimeFrameValue> &standardTimeFrames();

// The start of the period of the time frame that contains the time.
datetime alignToFrame(const TimeFrameValue &timeFrame, const datetime &time);

Q_DECLARE_METATYPE(TimeFrameValue)
