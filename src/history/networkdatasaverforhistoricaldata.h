#pragma once

#include "candle.h"
#include "datetime.h"
#include "timeframevalue.h"

#include <QDate>
#include <QFile>
#include <QSet>
#include <QString>

#include <memory>

// Writes the candles of one download interval to "<interval file>.1dx.pre" and, for one-minute
// frames, each day's candles to "<day file>.hdx.pre" as well. Day files are finished when the
// download moves to another day and when the saver is destroyed; the interval file is finished
// by the history client when the download ends.
class NetworkDataSaverForHistoricalData
{
public:
    // intervalPath without the ".1dx.pre" suffix; directory is the instrument's folder.
    NetworkDataSaverForHistoricalData(const QString &intervalPath, const QString &directory,
                                      const TimeFrameValue &timeFrame);
    ~NetworkDataSaverForHistoricalData();
    NetworkDataSaverForHistoricalData(const NetworkDataSaverForHistoricalData &) = delete;
    NetworkDataSaverForHistoricalData &operator=(const NetworkDataSaverForHistoricalData &)
        = delete;

    void write(const Candle &candle);
    int count() const { return m_count; }
    QString intervalPath() const { return m_intervalPath; }

private:
    // A moment's local calendar parts. Candles come day by day: the local midnights of the
    // last day looked at are kept, so that a moment of an ordinary day needs no time-zone
    // conversion.
    struct LocalParts
    {
        QDate date;
        int hour, minute, second;
    };
    LocalParts partsOf(const datetime &t);
    // "yyyyMMdd hhmmss".
    void appendStamp(QByteArray &out, const datetime &t);
    void openDay(const QDate &date);
    void closeDay();

    QString m_intervalPath;
    QString m_directory;
    TimeFrameValue m_timeFrame;
    QFile m_intervalFile;
    int m_count = 0;
    QByteArray m_line; // reused for every line written
    // The local day partsOf() knows: [start, end) in msecs; only days of 24 hours.
    QDate m_knownDate;
    qint64 m_knownStart = 0;
    qint64 m_knownEnd = 0;
    // The day writer of one-minute frames.
    QDate m_dayDate;
    QString m_dayPath;
    std::unique_ptr<QFile> m_dayFile;
    QSet<QDate> m_daysOpened;
};
