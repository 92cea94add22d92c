#pragma once

// What the chart benchmarks share: the clock pinned, settings in a temporary directory, the
// shipped reference data and a service that fills nothing (the benchmarks fold the bars).

#include "bartesthelpers.h"
#include "referencedata.h"
#include "testclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace Bench {

class ChartBench
{
public:
    ChartBench()
    {
        TestClock::pinRun();
        AppSettings::setFileName(m_dir.filePath(QStringLiteral("bench.ini")));
        // Cache and user files in the temporary directory too, never beside the executable.
        qputenv("TA_DATA_DIR", m_dir.filePath(QStringLiteral("data")).toUtf8());
        // The copy beside the executables comes with the terminal's build; a bench built on
        // its own reads the source tree's.
        QString file = QCoreApplication::applicationDirPath() + QStringLiteral("/reference.json");
#ifdef TA_SOURCE_DIR
        if (!QFileInfo::exists(file))
            file = QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json");
#endif
        QString error;
        m_ready = ReferenceData::load(file, &error);
        if (!m_ready)
            std::fprintf(stderr, "%s\n", qPrintable(error));
        qRegisterMetaType<FrameIndex>("FrameIndex");
        SeriesDataService::setInstance(&m_service);
    }
    ~ChartBench() { SeriesDataService::setInstance(nullptr); }
    bool isReady() const { return m_ready; }

private:
    QTemporaryDir m_dir;
    BarTest::RecordingService m_service;
    bool m_ready = false;
};

// Messages go to standard error, but for the offscreen platform's notes that say nothing about
// the chart (size hints, the runtime directory). Call before the application is made.
inline void quietPlatformNotes()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (!text.contains(QStringLiteral("propagateSizeHints"))
            && !text.contains(QStringLiteral("XDG_RUNTIME")))
            std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "", qPrintable(text));
    });
}

// Milliseconds per run of f(i).
template <typename F>
double msPer(int runs, F f)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i)
        f(i);
    return double(timer.nsecsElapsed()) / 1e6 / runs;
}

} // namespace Bench
