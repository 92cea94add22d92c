#pragma once

// What the benchmarks share: a stock's schedule in the settings and a model over a date range.

#include "appsettings.h"
#include "mapsettings.h"
#include "seriesdatamodel.h"
#include "session.h"

namespace Bench {

// Stores the sessions as the schedule of stock "EQ", replacing every stored schedule.
inline void storeSchedule(const SessionList &sessions)
{
    AppSettings ta(QStringLiteral("TechAnalysis"));
    ta.remove(QString());
    SettingsGroup group(ta, QStringLiteral("Schedule_EQ"));
    saveSchedule(sessions, ta);
}

// The same sessions Monday to Friday; times in minutes of the day.
inline SessionList weekdays(const QList<QPair<int, int>> &openAndLength)
{
    SessionList sessions;
    for (int day = 0; day < 5; ++day) {
        for (const auto &[open, length] : openAndLength)
            sessions.append({day * Session::MinutesPerDay + open, length});
    }
    return sessions;
}

inline void restore(SeriesDataModel &model, const TimeFrameValue &tf, const QDate &from,
                    const QDate &to)
{
    MapSettings state;
    tf.save(state);
    state.setValue(QStringLiteral("toCurrDate"), false);
    state.setValue(QStringLiteral("dateTo"), to.toString(Qt::ISODate));
    state.setValue(QStringLiteral("daysBack"), int(from.daysTo(to) + 1));
    model.restoreState(state);
}

} // namespace Bench
