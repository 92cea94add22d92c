#include "tageneralsettingspage.h"

#include "taconstants.h"

TAGeneralSettingsPage::TAGeneralSettingsPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::GeneralPageId), tr("Основные"), parent)
{
}
