#pragma once

#include "serieskey.h"
#include "timeframevalue.h"

#include <QDate>
#include <QSize>
#include <QString>

// What "ta-tool snapshot" was asked for: a chart window for an instrument (or the first chart
// window of a saved workspace) rendered to a PNG once its data path has filled it.
struct SnapshotRequest
{
    SeriesKey key;
    bool hasKey = false;
    TimeFrameValue timeFrame{60};
    int days = 1;
    QDate to;              // null: the range follows today
    QString hdxUrl;
    bool history = true;
    QString tradesFile;
    QString workspaceFile; // a terminal settings file; its first chart window is shown
    QString dataDir;
    QSize size{1600, 900};
    QString outputFile;
    bool timing = false;   // print how long the window took, on standard error
};

// Builds the window through the same code the terminal uses and writes the picture. Returns
// the exit status; on failure *error holds a one-line message.
int runSnapshot(const SnapshotRequest &request, QString *error);
