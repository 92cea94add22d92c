#include "timeframevalue.h"

#include "datetime.h"
#include "settings.h"

#include <QCoreApplication>

namespace {

const char *const Context = "TimeFrameValue";

} // namespace

QString TimeFrameValue::toString() const
{
    if (kind == Year)
        return QCoreApplication::translate(Context, "1 г");
    if (kind == Month)
        return QCoreApplication::translate(Context, "1 мес");
    if (value < 60)
        return QCoreApplication::translate(Context, "%1 сек").arg(value);
    if (value < 3600)
        return QCoreApplication::translate(Context, "%1 мин").arg(value / 60);
    if (value < 86400)
        return QCoreApplication::translate(Context, "%1 ч").arg(value / 3600);
    if (value < 604800)
        return QCoreApplication::translate(Context, "%1 дн").arg(value / 86400);
    if (value == 604800)
        return QCoreApplication::translate(Context, "1 нед");
    return QCoreApplication::translate(Context, "%1 сек").arg(value);
}

TimeFrameValue TimeFrameValue::fromString(const QString &text)
{
    for (const TimeFrameValue &tf : standardTimeFrames()) {
        if (tf.toString() == text)
            return tf;
    }
    throw QCoreApplication::translate(Context, "Неизвестное значение таймфрейма");
}

qint64 TimeFrameValue::seconds() const
{
    switch (kind) {
    case Month: return 2678400;
    case Year: return 31536000;
    default: return value;
    }
}

void TimeFrameValue::save(Settings &settings) const
{
    settings.setValue(QStringLiteral("timeFrameType"), kind);
    settings.setValue(QStringLiteral("timeFrameValue"), value);
}

TimeFrameValue TimeFrameValue::load(const Settings &settings)
{
    bool ok = false;
    uint k = settings.value(QStringLiteral("timeFrameType"), 0).toUInt(&ok);
    if (!ok || k > Year)
        k = Interval;
    if (k != Interval)
        return {1, k};
    int v = settings.value(QStringLiteral("timeFrameValue"), 180).toInt(&ok);
    if (!ok || v <= 0)
        v = 180;
    return {v, Interval};
}

const QList<TimeFrameValue> &standardTimeFrames()
{
    static const QList<TimeFrameValue> frames = [] {
        QList<TimeFrameValue> list;
        for (int seconds : {1, 2, 3, 4, 5, 10, 15, 30, 60, 120, 180, 240, 300, 600, 900, 1800,
                            3600, 7200, 14400, 86400, 604800})
            list.append(TimeFrameValue(seconds, Interval));
        list.append(TimeFrameValue(1, Month));
        list.append(TimeFrameValue(1, Year));
        return list;
    }();
    return frames;
}

datetime alignToFrame(const TimeFrameValue &timeFrame, const datetime &time)
{
    if (time.isNull())
        return time;
    const QDate date = time.getDate();
    if (timeFrame.kind == Year)
        return datetime(QDate(date.year(), 1, 1));
    if (timeFrame.kind == Month)
        return datetime(QDate(date.year(), date.month(), 1));
    const int v = timeFrame.value;
    if (v == 604800)
        return datetime(date.addDays(1 - date.dayOfWeek()));
    if (v == 86400)
        return datetime(date);
    const QTime t = time.getTime();
    if (v >= 3600)
        return datetime(date, QTime(t.hour(), 0));
    if (v < 60)
        return time;
    const int step = v / 60;
    return datetime(date, QTime(t.hour(), t.minute() - t.minute() % step));
}
