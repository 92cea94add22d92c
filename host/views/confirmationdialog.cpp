#include "confirmationdialog.h"

#include "appsettings.h"

#include "ui_confirmationdialog.h"

#include <QPushButton>
#include <QStyle>

ConfirmationDialog::ConfirmationDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::ConfirmationDialog>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_ui->iconLabel->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize));
    m_ui->buttonBox->button(QDialogButtonBox::Yes)->setText(tr("Да"));
    m_ui->buttonBox->button(QDialogButtonBox::No)->setText(tr("Нет"));
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_ui->dontAskCheckBox->setVisible(false);
}

ConfirmationDialog::~ConfirmationDialog() = default;

void ConfirmationDialog::setText(const QString &text)
{
    m_ui->textLabel->setText(text);
}

void ConfirmationDialog::setSettingsKey(const QString &key)
{
    m_settingsKey = key;
    m_ui->dontAskCheckBox->setVisible(!key.isEmpty());
}

int ConfirmationDialog::exec()
{
    if (!m_settingsKey.isEmpty() && !AppSettings().value(m_settingsKey, true).toBool())
        return 1;
    if (QDialog::exec() != QDialog::Accepted)
        return 0;
    if (!m_settingsKey.isEmpty() && m_ui->dontAskCheckBox->isChecked())
        AppSettings().setValue(m_settingsKey, false);
    return 1;
}
