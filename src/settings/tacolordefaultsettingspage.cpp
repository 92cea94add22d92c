#include "tacolordefaultsettingspage.h"

#include "defaultsettings.h"
#include "tacolorsettingsform.h"
#include "taconstants.h"

TAColorDefaultSettingsPage::TAColorDefaultSettingsPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::ColorDefaultsPageId), tr("Цвета"), parent)
{
}

void TAColorDefaultSettingsPage::finish()
{
    TAOptionsPage::finish();
    m_form = nullptr;
}

QWidget *TAColorDefaultSettingsPage::createForm(const Settings &, QWidget *parent)
{
    m_form = new TAColorSettingsForm(parent);
    m_form->setResetOffered(false);
    m_form->fill(*DefaultSettings::createReadOnly(QString::fromLatin1(TA::Constants::WindowDefaultsPath)));
    return m_form;
}

void TAColorDefaultSettingsPage::applyForm(Settings &)
{
    if (m_form)
        m_form->write(*DefaultSettings::createReadWrite(QString::fromLatin1(TA::Constants::WindowDefaultsPath)));
}
