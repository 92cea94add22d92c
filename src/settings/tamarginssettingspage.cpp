#include "tamarginssettingspage.h"

#include "taconstants.h"

TAMarginsSettingsPage::TAMarginsSettingsPage(QObject *parent)
    : TAViewSettingsPage(QString::fromLatin1(TA::Constants::MarginsPageId), tr("Отступы"),
                         QIcon(QString::fromLatin1(TA::Constants::MarginsIcon)), parent)
{
}
