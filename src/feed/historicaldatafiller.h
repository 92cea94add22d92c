#pragma once

#include "datafiller.h"

#include <QDate>
#include <QList>

// Loads the days before today into the model: from the history service, window by window
// with the newest first, or for frames below one minute from the local one-second cache
// files. A = today start, B = 00:00 of yesterday.
class HistoricalDataFiller : public DataFiller
{
    Q_OBJECT
public:
    HistoricalDataFiller(SecurityEntry *entry, SeriesDataModel *model, const datetime &a,
                         const datetime &b);
    ~HistoricalDataFiller() override;

    // Request windows over the session intervals [start, end, start, end, ...]: an interval
    // starting 30 days or more after the current window's end opens a new window.
    static QList<QPair<datetime, datetime>> requestWindows(const QList<datetime> &sessions);

protected:
    void fill() override;
};
