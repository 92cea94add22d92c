#include "tacolorsettingsform.h"

#include "chartcolors.h"
#include "colorbutton.h"
#include "defaultsettings.h"
#include "settingsvalues.h"
#include "taconstants.h"
#include "ui_tacolorsettingsform.h"

TAColorSettingsForm::TAColorSettingsForm(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TAColorSettingsForm>())
{
    m_ui->setupUi(this);
    connect(m_ui->resetButton, &QPushButton::clicked, this, &TAColorSettingsForm::resetToDefaults);
}

TAColorSettingsForm::~TAColorSettingsForm() = default;

QColor TAColorSettingsForm::color(const QString &key) const
{
    const auto *button = findChild<ColorButton *>(key);
    return button ? button->color() : QColor();
}

void TAColorSettingsForm::setColor(const QString &key, const QColor &color)
{
    if (auto *button = findChild<ColorButton *>(key))
        button->setColor(color);
}

void TAColorSettingsForm::fill(const Settings &settings)
{
    // Each button is named after its key.
    for (const ChartColors::Entry &entry : ChartColors::All) {
        const QString key = QString::fromLatin1(entry.key);
        setColor(key, SettingsValues::colorOr(settings.value(key), QColor::fromRgb(entry.rgb)));
    }
}

void TAColorSettingsForm::write(Settings &settings) const
{
    for (const ChartColors::Entry &entry : ChartColors::All) {
        const QString key = QString::fromLatin1(entry.key);
        settings.setValue(key, color(key));
    }
}

void TAColorSettingsForm::setResetOffered(bool offered)
{
    m_ui->resetButton->setVisible(offered);
    m_ui->resetButton->setEnabled(offered);
}

void TAColorSettingsForm::resetToDefaults()
{
    const std::unique_ptr<DefaultSettings> defaults =
        DefaultSettings::createReadOnly(QString::fromLatin1(TA::Constants::WindowDefaultsPath));
    fill(*defaults);
}
