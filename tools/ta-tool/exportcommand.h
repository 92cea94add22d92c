#pragma once

#include <QDate>
#include <QString>

#include "serieskey.h"
#include "timeframevalue.h"

// What "ta-tool export" was asked for.
struct ExportRequest
{
    SeriesKey key;
    TimeFrameValue timeFrame;
    int days = 1;
    QDate to;            // null: the range follows today
    QString hdxUrl;      // empty: the default service address
    bool gzip = false;
    bool history = true;
    QString tradesFile;  // empty: no extra trades
    QString dataDir;     // empty: the user's data directory
    QString outputFile;  // empty: standard output
};

// Runs the plug-in's data path without windows and writes the model's bars as CSV. Returns the
// process's exit status; on failure *error holds a one-line message.
int runExport(const ExportRequest &request, QString *error);

// Parses "--timeframe": the seconds of a standard frame, "month" or "year"; false for
// anything else.
bool parseTimeFrame(const QString &text, TimeFrameValue *timeFrame);
// The accepted values, for messages.
QString standardTimeFrameList();
