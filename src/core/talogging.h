#pragma once

#include <QLoggingCategory>

// One logging category a subsystem. Their debug and info output (progress: requests sent,
// fillers started and finished, the day change) is off by default; warnings (a failed
// request, a bad cache line) are always on. QT_LOGGING_RULES="ta.*=true", the terminal's
// --log and ta-tool's --verbose turn everything on.
Q_DECLARE_LOGGING_CATEGORY(lcHistory)     // "ta.history": the history service client
Q_DECLARE_LOGGING_CATEGORY(lcCache)       // "ta.cache": cache files and compressed streams
Q_DECLARE_LOGGING_CATEGORY(lcDataManager) // "ta.datamanager": the data manager and fillers
Q_DECLARE_LOGGING_CATEGORY(lcPlugin)      // "ta.plugin": the plug-in's start and shutdown
Q_DECLARE_LOGGING_CATEGORY(lcChart)       // "ta.chart": chart windows, their areas and items
Q_DECLARE_LOGGING_CATEGORY(lcScripts)     // "ta.scripts": indicator scripts and their files

namespace talogging {
// The filter rule that shows every message of the categories above.
inline constexpr const char *AllRule = "ta.*=true";
} // namespace talogging
