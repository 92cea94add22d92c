#pragma once

#include "../data/hostdata_global.h"

#include <QList>
#include <QString>

class Settings;
class Table;

// A weekly trading schedule the reference data ships for a stock or one of its boards.
struct ReferenceSchedule
{
    struct Session
    {
        int open;   // minute of the week from Monday 00:00
        int length; // minutes
    };
    QString stockCode;
    QString boardCode; // empty: the stock's schedule
    QList<Session> sessions;
};

// Loads the host's reference tables ("stocks", "boards", "securities", "calendar") from a JSON
// file and registers them, together with an empty "all_deals" table, in the TableRegistry.
// The file format is described in the README.
class HOST_EXPORT ReferenceData
{
public:
    // $TA_REFERENCE_DATA when set, else "reference.json" in the data folder of the
    // installation (applicationpaths.h), which is the application directory in a build tree.
    static QString defaultPath();

    // On failure nothing is registered and *error names the file and the first problem.
    static bool load(const QString &path, QString *error);
    // The same from bytes already read; path is only used in messages.
    static bool loadFromData(const QByteArray &json, const QString &path, QString *error);

    // The empty live trade table.
    static Table *createDealsTable();

    // The schedules of the last successful load.
    static QList<ReferenceSchedule> schedules();
    // The schedule of a board, else of its stock; null when the reference data has none.
    // Writes the loaded schedules as the charting plug-in keeps them, one group
    // "Schedule_<stock>[_<board>]" each, into settings opened at its "TechAnalysis" group.
    static void writeScheduleSettings(Settings &settings);
    static const ReferenceSchedule *scheduleFor(const QList<ReferenceSchedule> &schedules,
                                                const QString &stockCode,
                                                const QString &boardCode);
};
