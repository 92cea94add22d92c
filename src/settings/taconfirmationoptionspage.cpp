#include "taconfirmationoptionspage.h"

#include "appsettings.h"
#include "chartdefaults.h"
#include "settingsvalues.h"
#include "taconstants.h"
#include "ui_taconfirmationsform.h"

#include <QCheckBox>

namespace {

const QString Group = QStringLiteral("TechAnalysis/Confirmations");

} // namespace

TAConfirmationOptionsPage::TAConfirmationOptionsPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::ConfirmationsPageId), tr("Подтверждения"),
                    parent)
{
}

TAConfirmationOptionsPage::~TAConfirmationOptionsPage() = default;

void TAConfirmationOptionsPage::finish()
{
    TAOptionsPage::finish();
    m_ui.reset();
    m_form = nullptr;
}

QWidget *TAConfirmationOptionsPage::createForm(const Settings &, QWidget *parent)
{
    m_form = new QWidget(parent);
    m_ui = std::make_unique<Ui::TAConfirmationsForm>();
    m_ui->setupUi(m_form);
    const AppSettings confirmations(Group);
    // Each check box is named after its key.
    for (const char *key : ChartDefaults::Confirmations) {
        if (auto *box = m_form->findChild<QCheckBox *>(QString::fromLatin1(key)))
            box->setChecked(SettingsValues::boolOr(confirmations.value(QString::fromLatin1(key)),
                                                   ChartDefaults::Confirm));
    }
    return m_form;
}

void TAConfirmationOptionsPage::applyForm(Settings &)
{
    if (!m_form)
        return;
    AppSettings confirmations(Group);
    for (const char *key : ChartDefaults::Confirmations) {
        if (const auto *box = m_form->findChild<QCheckBox *>(QString::fromLatin1(key)))
            confirmations.setValue(QString::fromLatin1(key), box->isChecked());
    }
}
