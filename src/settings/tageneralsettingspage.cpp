#include "tageneralsettingspage.h"

#include "appsettings.h"
#include "chartdefaults.h"
#include "icore.h"
#include "settingsvalues.h"
#include "taconstants.h"
#include "ui_tageneralsettingsform.h"

namespace {

const QString GeneralGroup = QString::fromLatin1(TA::Constants::GeneralSettingsGroup);
const QString OldGroup = QStringLiteral("TechAnalysis/NetworkDataManager");
const QString Enabled = QString::fromLatin1(TA::Constants::HistoryEnabledKey);
const QString BarOnEnd = QStringLiteral("barOnEnd");

} // namespace

TAGeneralSettingsPage::TAGeneralSettingsPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::GeneralPageId), tr("Основные"), parent)
{
}

TAGeneralSettingsPage::~TAGeneralSettingsPage() = default;

void TAGeneralSettingsPage::migrateEnabled()
{
    AppSettings general(GeneralGroup);
    if (general.contains(Enabled))
        return;
    AppSettings old(OldGroup);
    if (!old.contains(Enabled))
        return;
    general.setValue(Enabled, SettingsValues::boolOr(old.value(Enabled), ChartDefaults::HistoryEnabled));
    old.remove(Enabled);
}

bool TAGeneralSettingsPage::historyPluginLoaded()
{
    const ICore *core = ICore::instance();
    return core && core->plugin(QString::fromLatin1(TA::Constants::HistoryTransportName));
}

void TAGeneralSettingsPage::finish()
{
    TAOptionsPage::finish();
    m_ui.reset();
}

QWidget *TAGeneralSettingsPage::createForm(const Settings &, QWidget *parent)
{
    auto *form = new QWidget(parent);
    m_ui = std::make_unique<Ui::TAGeneralSettingsForm>();
    m_ui->setupUi(form);
    migrateEnabled();
    const AppSettings general(GeneralGroup);
    m_ui->useHDXForHistoricalMarketData->setChecked(
        SettingsValues::boolOr(general.value(Enabled), ChartDefaults::HistoryEnabled));
    m_ui->useHDXForHistoricalMarketData->setVisible(historyPluginLoaded());
    m_rememberedOnEnd = SettingsValues::boolOr(general.value(BarOnEnd), ChartDefaults::BarOnEnd);
    (m_rememberedOnEnd ? m_ui->barOnEnd : m_ui->barOnStart)->setChecked(true);
    m_ui->warningFrame->hide();
    connect(m_ui->barOnEnd, &QRadioButton::clicked, this, &TAGeneralSettingsPage::placementClicked);
    connect(m_ui->barOnStart, &QRadioButton::clicked, this, &TAGeneralSettingsPage::placementClicked);
    return form;
}

void TAGeneralSettingsPage::placementClicked()
{
    // Once shown, the warning stays until the form closes, even when the remembered
    // placement is chosen again.
    if (m_ui && m_ui->barOnEnd->isChecked() != m_rememberedOnEnd)
        m_ui->warningFrame->show();
}

void TAGeneralSettingsPage::applyForm(Settings &)
{
    if (!m_ui)
        return;
    AppSettings general(GeneralGroup);
    // Written whether or not the check box is shown.
    general.setValue(Enabled, m_ui->useHDXForHistoricalMarketData->isChecked());
    general.setValue(BarOnEnd, m_ui->barOnEnd->isChecked());
}
