#include "sessionschedulepage.h"

#include "taconstants.h"

SessionSchedulePage::SessionSchedulePage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::SchedulePageId), tr("Расписание сессий"), parent)
{
}
