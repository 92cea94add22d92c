#include "tamarginssettingspage.h"

#include "chartdefaults.h"
#include "settings.h"
#include "settingsvalues.h"
#include "taconstants.h"
#include "ui_tamarginsform.h"

TAMarginsSettingsPage::TAMarginsSettingsPage(QObject *parent)
    : TAViewSettingsPage(QString::fromLatin1(TA::Constants::MarginsPageId), tr("Отступы"),
                         QIcon(QString::fromLatin1(TA::Constants::MarginsIcon)), parent)
{
}

TAMarginsSettingsPage::~TAMarginsSettingsPage() = default;

void TAMarginsSettingsPage::finish()
{
    TAViewSettingsPage::finish();
    m_ui.reset();
}

QWidget *TAMarginsSettingsPage::createForm(const Settings &settings, QWidget *parent)
{
    auto *form = new QWidget(parent);
    m_ui = std::make_unique<Ui::TAMarginsForm>();
    m_ui->setupUi(form);
    m_ui->rightMargin->setRange(0, ChartDefaults::MaxRightMargin);
    m_ui->rightMargin->setValue(SettingsValues::intIn(settings.value(QStringLiteral("rightMargin")), 0,
                                                      ChartDefaults::MaxRightMargin,
                                                      ChartDefaults::RightMargin));
    return form;
}

void TAMarginsSettingsPage::applyForm(Settings &settings)
{
    if (m_ui)
        settings.setValue(QStringLiteral("rightMargin"), m_ui->rightMargin->value());
}
