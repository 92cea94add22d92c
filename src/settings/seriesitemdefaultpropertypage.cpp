#include "seriesitemdefaultpropertypage.h"

#include "taconstants.h"

SeriesItemDefaultPropertyPage::SeriesItemDefaultPropertyPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::SeriesDefaultsPageId), tr("График серии"), parent)
{
}
