#pragma once

#include "serieskey.h"
#include "timeframe.h"
#include "timeframevalue.h"

#include <QDate>
#include <QString>

#include <functional>
#include <vector>

class SeriesDataModel;

// Today's bars of one instrument, one per second: what the day change stores.
struct SecondBars
{
    std::vector<TimeFrame> bars; // bar s covers [midnight + s s, + 1 s)
    int lastSecond = -1;         // the greatest second that received a trade, -1 for none
};

// The cache files of downloaded and finished days under "tadata/<stock>/<board>/<security>".
namespace HistoricalDataManager {

// $TA_DATA_DIR when set; else with ".installed" beside the application the user's data
// folder (ApplicationPaths::userDataBase()); otherwise "user" beside the application. The sub-path is created when missing.
QString baseDirectory(const QString &subPath);

// A name made safe to be one folder name: separators, "." and "..", characters file systems
// refuse and control characters become "%XX"; an ordinary name stays as it is.
QString safeFileName(const QString &name);

// The instrument's folder, or empty when the instrument has no cache (another stock, no name).
QString instrumentDirectory(const SeriesKey &key);

// "1" below one minute, "60" otherwise.
QString dayResolution(const TimeFrameValue &timeFrame);
QString intervalResolution(const TimeFrameValue &timeFrame);
// "<dir>/yyyyMMdd_<resolution>".
QString dayFilePath(const QString &directory, const QDate &date, const QString &resolution);
// "<dir>/yyyyMMdd-yyyyMMdd_<resolution>" (the end date is exclusive).
QString intervalFilePath(const QString &directory, const QDate &first, const QDate &end,
                         const QString &resolution);

// A day's one-second bars ("_1", with a byte-order mark) and their minutes ("_60"). Bar s of
// the day starts s seconds after midnight; a day of a daylight-saving change has more or
// fewer than 86,400 of them.
void storeSecondFile(const SeriesKey &key, const QDate &date, const SecondBars &seconds);
void storeMinuteFile(const QString &path, const QDate &date, const SecondBars &seconds);

// path + preSuffix becomes path + finalSuffix; an existing finished file is kept and the new
// one dropped.
void finishFile(const QString &path, const QString &preSuffix, const QString &finalSuffix);

// Folds the cached days from..to into the model as four deals a bar; one-second files for
// frames below a minute, else minute files (downloaded ".hdx" ones first). When canGoOn turns
// false the reading stops and the deals not yet handed over are dropped.
void readCacheFiles(SeriesDataModel *model, const QDate &from, const QDate &to,
                    const std::function<bool()> &canGoOn = {});

} // namespace HistoricalDataManager
