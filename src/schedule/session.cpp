#include "session.h"

#include "settings.h"

#include <QCoreApplication>
#include <QStringList>

SessionList defaultSchedule()
{
    SessionList sessions;
    for (int day = 0; day < 5; ++day)
        sessions.append({day * Session::MinutesPerDay, Session::MinutesPerDay});
    return sessions;
}

bool isValidSchedule(const SessionList &sessions)
{
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        const Session &s = sessions.at(i);
        if (s.length < 1 || s.length > Session::MinutesPerDay)
            return false;
        if (s.open < 0 || s.open >= Session::MinutesPerWeek)
            return false;
        if (i + 1 < sessions.size() && s.end() > sessions.at(i + 1).open)
            return false;
    }
    if (!sessions.isEmpty()) {
        const Session &last = sessions.constLast();
        if (last.end() >= Session::MinutesPerWeek
            && last.end() % Session::MinutesPerWeek > sessions.constFirst().open)
            return false;
    }
    return true;
}

void saveSchedule(const SessionList &sessions, Settings &settings)
{
    settings.setValue(QStringLiteral("sessionsCount"), int(sessions.size()));
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        const Session &s = sessions.at(i);
        const int day = s.open / Session::MinutesPerDay + 1;
        const int minuteOfDay = s.open % Session::MinutesPerDay;
        settings.setValue(QStringLiteral("open_%1").arg(i + 1),
                          QStringLiteral("%1:%2:%3")
                              .arg(day)
                              .arg(minuteOfDay / 60)
                              .arg(minuteOfDay % 60));
        settings.setValue(QStringLiteral("length_%1").arg(i + 1),
                          QStringLiteral("%1:%2").arg(s.length / 60).arg(s.length % 60));
    }
}

namespace {

QString invalidValue(const QString &key)
{
    return QCoreApplication::translate("SessionSchedule", "Неверное значение настройки %1")
        .arg(key);
}

} // namespace

SessionList loadSchedule(Settings &settings)
{
    SessionList sessions;
    const int count = settings.value(QStringLiteral("sessionsCount")).toInt();
    for (int i = 1; i <= count; ++i) {
        const QString openKey = QStringLiteral("open_%1").arg(i);
        const QStringList open = settings.value(openKey).toString().split(u':');
        if (open.size() != 3)
            throw invalidValue(openKey);
        // A part that is not a number reads as 0, which the range checks then refuse.
        const int day = open.at(0).toInt();
        const int hour = open.at(1).toInt();
        const int minute = open.at(2).toInt();
        if (day < 1 || day > 7 || hour < 0 || hour > 23 || minute < 0 || minute > 59)
            throw invalidValue(openKey);

        const QString lengthKey = QStringLiteral("length_%1").arg(i);
        const QStringList length = settings.value(lengthKey).toString().split(u':');
        if (length.size() != 2)
            throw invalidValue(lengthKey);
        const int hours = length.at(0).toInt();
        const int minutes = length.at(1).toInt();
        if (hours < 0 || hours > 24 || minutes < 0 || minutes > 59)
            throw invalidValue(lengthKey);

        sessions.append({(day - 1) * Session::MinutesPerDay + hour * 60 + minute,
                         hours * 60 + minutes});
    }
    if (!isValidSchedule(sessions))
        throw QCoreApplication::translate("SessionSchedule",
                                          "Расписание не удовлетворяет требованиям");
    return sessions;
}

QString dayName(int day)
{
    static const char *const names[] = {
        QT_TRANSLATE_NOOP("SessionSchedule", "понедельник"),
        QT_TRANSLATE_NOOP("SessionSchedule", "вторник"),
        QT_TRANSLATE_NOOP("SessionSchedule", "среда"),
        QT_TRANSLATE_NOOP("SessionSchedule", "четверг"),
        QT_TRANSLATE_NOOP("SessionSchedule", "пятница"),
        QT_TRANSLATE_NOOP("SessionSchedule", "суббота"),
        QT_TRANSLATE_NOOP("SessionSchedule", "воскресенье"),
    };
    if (day >= 1 && day <= 7)
        return QCoreApplication::translate("SessionSchedule", names[day - 1]);
    return QString::number(day);
}
