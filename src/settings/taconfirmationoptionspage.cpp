#include "taconfirmationoptionspage.h"

#include "taconstants.h"

TAConfirmationOptionsPage::TAConfirmationOptionsPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::ConfirmationsPageId), tr("Подтверждения"), parent)
{
}
