#pragma once

#include "record.h"
#include "serieskey.h"
#include "timeframevalue.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class HdxTransport;
class QObject;
class SeriesDataManager;
class SeriesDataModel;
class Table;
class TableThread;

// The plug-in's data path without the terminal: settings in a file of the tool's own (the
// reference schedules and the history service's parameters; the user's terminal settings are
// neither read nor written), the cache directory, the history transport, the host's table
// thread and the series data manager. Commands fill models through it.
class DataSession
{
public:
    struct Options
    {
        QString hdxUrl;     // empty: the default service address
        bool gzip = false;
        bool history = true;
        QString dataDir;    // empty: the user's data directory
    };

    DataSession();
    ~DataSession();
    DataSession(const DataSession &) = delete;
    DataSession &operator=(const DataSession &) = delete;

    // False with a one-line message when the session cannot be set up.
    bool open(const Options &options, QString *error);
    SeriesDataManager *manager() const;

    // Whether the instrument's sessions in that frame over the days back to `to` (today when
    // null) lay out few enough bars to chart; false with the refusal when they do not. Asked
    // once the session is open, before anything is laid out.
    static bool checkRange(const SeriesKey &key, const TimeFrameValue &frame, int days,
                           const QDate &to, QString *error);
    // Reads the trades of a CSV file for the instrument into "all_deals" records.
    bool readTrades(const QString &fileName, const SeriesKey &key, QList<Record> *trades,
                    QString *error);
    // Appends them on the table thread as the feed does; those not of today are counted and
    // reported on standard error, since charts take only today's trades.
    void appendTrades(const QList<Record> &trades);
    // Runs the event loop until no model is filling any more. The first failure the history
    // service announced, empty when none.
    QString waitUntilFilled(const QList<SeriesDataModel *> &models);

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<HdxTransport> m_transport;
    std::unique_ptr<TableThread> m_tableThread;
    std::unique_ptr<QObject> m_listening;
    Table *m_deals = nullptr;
    QString m_historyFailure;
    bool m_open = false;
};
