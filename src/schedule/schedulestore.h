#pragma once

#include "session.h"

#include <QString>

// Where schedules live in the settings: under "TechAnalysis", one group per stock
// ("Schedule_<stock code>") and per board with its own schedule
// ("Schedule_<stock code>_<board code>").
namespace ScheduleStore {

QString groupName(const QString &stockCode, const QString &boardCode = QString());
bool isScheduleGroup(const QString &group);

// The schedule bar models of an instrument use: the board's own, else the stock's, else the
// default. A stored schedule that cannot be read throws its loader message prefixed with the
// group name and ": ".
SessionList scheduleForBoard(int stockId, int boardId);

} // namespace ScheduleStore
