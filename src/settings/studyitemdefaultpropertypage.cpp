#include "studyitemdefaultpropertypage.h"

#include "appsettings.h"
#include "chartdefaults.h"
#include "taconstants.h"
#include "taplacementform.h"

#include <QColor>

namespace {

const QString Group = QStringLiteral("TechAnalysis/StudyDefaultProperty");

} // namespace

StudyItemDefaultPropertyPage::StudyItemDefaultPropertyPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::StudyDefaultsPageId), tr("Индикаторы"), parent)
{
}

void StudyItemDefaultPropertyPage::finish()
{
    TAOptionsPage::finish();
    m_form = nullptr;
}

QWidget *StudyItemDefaultPropertyPage::createForm(const Settings &, QWidget *parent)
{
    m_form = new TAPlacementForm(parent);
    m_form->fill(AppSettings(Group));
    return m_form;
}

void StudyItemDefaultPropertyPage::applyForm(Settings &)
{
    if (!m_form)
        return;
    AppSettings stored(Group);
    m_form->write(stored);
    stored.setValue(QStringLiteral("lineWidth"), ChartDefaults::LineWidth);
    stored.setValue(QStringLiteral("color"), QColor::fromRgb(ChartDefaults::StudyColor));
    stored.setValue(QStringLiteral("view"), ChartDefaults::View);
}
