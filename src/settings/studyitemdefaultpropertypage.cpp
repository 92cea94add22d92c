#include "studyitemdefaultpropertypage.h"

#include "taconstants.h"

StudyItemDefaultPropertyPage::StudyItemDefaultPropertyPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::StudyDefaultsPageId), tr("Индикаторы"), parent)
{
}
