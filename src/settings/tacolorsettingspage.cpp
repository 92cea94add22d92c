#include "tacolorsettingspage.h"

#include "taconstants.h"

TAColorSettingsPage::TAColorSettingsPage(QObject *parent)
    : TAViewSettingsPage(QString::fromLatin1(TA::Constants::WindowColorsPageId), tr("Цвета"),
                         QIcon(QString::fromLatin1(TA::Constants::WindowColorsIcon)), parent)
{
}
