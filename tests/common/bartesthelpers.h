#pragma once

#include "appsettings.h"
#include "calendardirectory.h"
#include "datetime.h"
#include "dealbatch.h"
#include "mapsettings.h"
#include "session.h"
#include "talogging.h"
#include "seriesdatamodel.h"
#include "seriesdataservice.h"

#include <QMutex>
#include <QProcess>
#include <QtTest>

// Shared by the bar model suites: schedules in the settings, a model over a range, deals.
namespace BarTest {

// ARKT on the main share board: stock "EQ", board "EQMN".
inline const SeriesKey Shares{2, 2, 2001};

// Whether the exchange calendar of the loaded reference data trades on the day: weekdays,
// except its holidays, and its working weekend days.
inline bool isTradingDay(const QDate &day)
{
    const QList<Record> exception = CalendarDirectory::i()->range(datetime(day), datetime(day));
    if (!exception.isEmpty())
        return CalendarDirectory::i()->isTradingDay(exception.first());
    return day.dayOfWeek() <= 5;
}

inline Session at(int day, int hour, int minute, int lengthMinutes)
{
    return {(day - 1) * Session::MinutesPerDay + hour * 60 + minute, lengthMinutes};
}

inline SessionList everyWeekday(const SessionList &monday)
{
    SessionList list;
    for (int day = 0; day < 5; ++day) {
        for (Session s : monday) {
            s.open += day * Session::MinutesPerDay;
            list.append(s);
        }
    }
    return list;
}

// Stores the schedule of stock "EQ" (every board of it follows).
inline void setSchedule(const SessionList &sessions)
{
    AppSettings ta(QStringLiteral("TechAnalysis"));
    for (const QString &group : ta.childGroups()) {
        if (group.startsWith(QLatin1String("Schedule")))
            ta.remove(group);
    }
    SettingsGroup scope(ta, QStringLiteral("Schedule_EQ"));
    saveSchedule(sessions, ta);
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

inline datetime t(const QDate &date, int hour, int minute, int second = 0, int ms = 0)
{
    return datetime(date, QTime(hour, minute, second, ms));
}

inline Deal deal(const datetime &time, const char *price, qint64 quantity = 1,
                 quint32 openInterest = 0)
{
    Deal d;
    d.time = time;
    d.price = decimal(QString::fromLatin1(price));
    d.quantity = quantity;
    d.value = xdecimal(d.price).multiplied(quantity);
    d.openInterest = openInterest;
    return d;
}

// Starts the project's history service on a free port with the shipped reference data and
// points the history client's settings at it; false when it did not start.
inline bool startHistoryService(QProcess &server, const QStringList &arguments = {})
{
    server.kill();
    server.waitForFinished();
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                 QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                             QStringLiteral("--reference"),
                             QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json")}
                     + arguments);
    if (!server.waitForStarted() || !server.waitForReadyRead(20000))
        return false;
    const int port = server.readLine().trimmed().toInt();
    AppSettings(QStringLiteral("Transports/hdxplugin/Parameters"))
        .setValue(QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1").arg(port));
    return port > 0;
}

// Collects the log lines of the data path (debug and info lines are kept, not printed), from
// any thread.
class LogCollector
{
public:
    // The data path's progress lines are what the tests look for: their categories are on
    // while the collector is installed.
    void install()
    {
        QLoggingCategory::setFilterRules(QString::fromLatin1(talogging::AllRule));
        previous() = qInstallMessageHandler(&LogCollector::collect);
    }
    void uninstall()
    {
        qInstallMessageHandler(previous());
        QLoggingCategory::setFilterRules(QString());
    }
    static void clear()
    {
        QMutexLocker locker(&mutex());
        lines().clear();
    }
    static QStringList filter(const QString &part)
    {
        QMutexLocker locker(&mutex());
        return lines().filter(part);
    }

private:
    static QStringList &lines()
    {
        static QStringList list;
        return list;
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void collect(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        {
            QMutexLocker locker(&mutex());
            lines().append(text);
        }
        if (type != QtInfoMsg && type != QtDebugMsg && previous())
            previous()(type, context, text);
    }
};

// Records what models ask of the data manager.
class RecordingService : public SeriesDataService
{
public:
    void fillModel(SeriesDataModel *) override { ++fills; }
    void updateModel(SeriesDataModel *) override { ++updates; }
    void cancelFillers(SeriesDataModel *) override { ++cancels; }
    void unregisterModel(SeriesDataModel *) override { ++unregisters; }
    std::atomic<int> fills{0}, updates{0}, cancels{0}, unregisters{0};
};

} // namespace BarTest
