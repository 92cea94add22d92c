#include "tacolordefaultsettingspage.h"

#include "taconstants.h"

TAColorDefaultSettingsPage::TAColorDefaultSettingsPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::ColorDefaultsPageId), tr("Цвета"), parent)
{
}
