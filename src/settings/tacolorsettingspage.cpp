#include "tacolorsettingspage.h"

#include "tacolorsettingsform.h"
#include "taconstants.h"

TAColorSettingsPage::TAColorSettingsPage(QObject *parent)
    : TAViewSettingsPage(QString::fromLatin1(TA::Constants::WindowColorsPageId), tr("Цвета"),
                         QIcon(QString::fromLatin1(TA::Constants::WindowColorsIcon)), parent)
{
}

void TAColorSettingsPage::finish()
{
    TAViewSettingsPage::finish();
    m_form = nullptr;
}

QWidget *TAColorSettingsPage::createForm(const Settings &settings, QWidget *parent)
{
    m_form = new TAColorSettingsForm(parent);
    m_form->setResetOffered(true);
    m_form->fill(settings);
    return m_form;
}

void TAColorSettingsPage::applyForm(Settings &settings)
{
    if (m_form)
        m_form->write(settings);
}
