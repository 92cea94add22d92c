#pragma once

#include "hostdata_global.h"

#include <QtGlobal>

class datetime;

// The one clock of the process. It reads real time until it is pinned: frozen at a moment
// (time stands still until advanced) or started at a moment (time runs on from it at the real
// pace). A process whose environment holds TA_NOW="yyyy-MM-ddTHH:mm:ss" (local time) starts
// at that moment, which lets tests run the terminal and the tools on a chosen day.
// All functions are safe to call from any thread.
namespace hostclock {

HOST_EXPORT qint64 nowMSecs();

// Stops the clock at `moment`.
HOST_EXPORT void freezeAt(const datetime &moment);
// Lets the clock run on from `moment`.
HOST_EXPORT void startAt(const datetime &moment);
// Moves the clock on (or back, for a negative amount), frozen or running.
HOST_EXPORT void advance(qint64 msecs);
// Back to the clock the process started with: real time, or running from TA_NOW.
HOST_EXPORT void release();

// The environment variable read once at start and its format.
inline constexpr const char *EnvironmentVariable = "TA_NOW";
inline constexpr const char *EnvironmentFormat = "yyyy-MM-ddTHH:mm:ss";

} // namespace hostclock
