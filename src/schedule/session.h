#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

class Settings;

// One trading session of a weekly schedule: it opens at a minute of the week counted from
// Monday 00:00 and lasts a number of minutes.
struct Session
{
    static constexpr int MinutesPerDay = 1440;
    static constexpr int MinutesPerWeek = 10080;

    int open = 0;
    int length = 0;

    int end() const { return open + length; }
    bool operator==(const Session &other) const
    {
        return open == other.open && length == other.length;
    }
    bool operator!=(const Session &other) const { return !(*this == other); }
};

using SessionList = QList<Session>;

// Monday to Friday, each a whole day: one continuous interval from Monday 00:00 to Saturday.
SessionList defaultSchedule();

// Lengths 1..1440, opens 0..10079, each session ends no later than the next opens, and a last
// session that runs into next week ends no later than the first opens.
bool isValidSchedule(const SessionList &sessions);

// Writes "sessionsCount", "open_<i>" ("day:hour:minute") and "length_<i>" ("hours:minutes").
void saveSchedule(const SessionList &sessions, Settings &settings);
// Reads what saveSchedule wrote. Throws a QString: "Неверное значение настройки <key>" for a
// malformed value, "Расписание не удовлетворяет требованиям" for an invalid schedule.
SessionList loadSchedule(Settings &settings);

// "понедельник" .. "воскресенье" for 1..7, otherwise the number.
QString dayName(int day);
