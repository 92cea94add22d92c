#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "serieskey.h"
#include "timeframevalue.h"

// What "ta-tool study" was asked for.
struct StudyRequest
{
    SeriesKey key;
    TimeFrameValue timeFrame;
    int days = 1;
    QDate to;              // null: the range follows today
    QString hdxUrl;        // empty: the default service address
    bool history = true;
    QString tradesFile;    // empty: no extra trades
    QString dataDir;       // empty: the user's data directory
    QString indicator;     // the indicator file's name
    QString indicatorFile; // or an indicator file of one's own, outside the registry
    QStringList parameters; // "name=value", the value as source text
    QString outputFile;    // empty: standard output
};

// Fills a series item as a chart fills it, puts the named indicator on it (the chart's
// indicator item and evaluation context) and writes its plots and levels as CSV. Returns the
// exit status: 0 done, 1 the history failed, 2 bad request (unknown instrument, indicator
// or parameter, unwritable output), 3 the script failed or ran out of time; on failure
// *error holds a one-line message.
int runStudy(const StudyRequest &request, QString *error);
