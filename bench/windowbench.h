#pragma once

// What the chart-area and chart-window benchmarks share: one-minute bars of a session from
// 10:00 that lasts BarsPerDay minutes, filled over weekdays up to a last day.

#include "charttesthelpers.h"
#include "subcharttesthelpers.h"

namespace Bench {

constexpr int BarsPerDay = 525; // 10:00 to 18:45

inline datetime minuteOf(const QDate &day, int minute)
{
    return datetime(day, QTime(10, 0)).addSecs(60 * minute);
}

// Bars on every minute of every weekday of the days up to the last day, in a slow wave around
// 1000; the number of bars added.
inline int fillWeekdays(SeriesItem *series, const QDate &lastDay, int days)
{
    DealBatch batch(series->model(), 4, false);
    int bars = 0;
    for (QDate day = lastDay.addDays(-(days - 1)); day <= lastDay; day = day.addDays(1)) {
        if (day.dayOfWeek() > 5)
            continue;
        for (int m = 0; m < BarsPerDay; ++m, ++bars) {
            const int wave = (bars * 7) % 200;
            const QByteArray close = QByteArray::number(1000 + wave / 10.0, 'f', 1);
            ChartFixture::addBar(batch, minuteOf(day, m), close.constData(),
                                 QByteArray::number(1021 + wave / 10.0, 'f', 1).constData(),
                                 QByteArray::number(979 + wave / 10.0, 'f', 1).constData(),
                                 close.constData());
        }
    }
    batch.flush();
    return bars;
}

} // namespace Bench
