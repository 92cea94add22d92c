#include "sessionschedulepage.h"

#include "mapsettings.h"
#include "sessionscheduleform.h"
#include "taconstants.h"

SessionSchedulePage::SessionSchedulePage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::SchedulePageId), tr("Расписание сессий"),
                    parent)
{
}

QWidget *SessionSchedulePage::createForm(const Settings &settings, QWidget *parent)
{
    m_form = new SessionScheduleForm(parent);
    // The form reads from a copy of the schedules' group; the store stays untouched until
    // the user applies.
    MapSettings copy;
    {
        MapSettings all(settings);
        all.beginGroup(QStringLiteral("TechAnalysis"));
        copy = MapSettings(all);
    }
    m_form->load(copy);
    return m_form;
}

void SessionSchedulePage::applyForm(Settings &settings)
{
    if (!m_form)
        return;
    SettingsGroup scope(settings, QStringLiteral("TechAnalysis"));
    m_form->apply(settings);
}
