#include "taplacementform.h"

#include "chartdefaults.h"
#include "settings.h"
#include "settingsvalues.h"
#include "ui_taplacementform.h"

namespace {

void select(QComboBox *combo, int value)
{
    const int index = combo->findData(value);
    combo->setCurrentIndex(index >= 0 ? index : 0);
}

} // namespace

TAPlacementForm::TAPlacementForm(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TAPlacementForm>())
{
    m_ui->setupUi(this);
    m_ui->axisPos->addItem(tr("Справа"), 2);
    m_ui->axisPos->addItem(tr("Слева"), 1);
    m_ui->axisPos->addItem(tr("С обеих сторон"), 3);
    m_ui->axisPos->addItem(tr("Невидимая ось"), 0);
    m_ui->autoScale->addItem(tr("По экрану"), 2);
    m_ui->autoScale->addItem(tr("По всей серии"), 1);
}

TAPlacementForm::~TAPlacementForm() = default;

QComboBox *TAPlacementForm::axisPos() const
{
    return m_ui->axisPos;
}

QComboBox *TAPlacementForm::autoScale() const
{
    return m_ui->autoScale;
}

void TAPlacementForm::fill(const Settings &settings)
{
    select(m_ui->axisPos, SettingsValues::intIn(settings.value(QStringLiteral("axisPos")), 0, 3,
                                                ChartDefaults::AxisPos));
    select(m_ui->autoScale, SettingsValues::intIn(settings.value(QStringLiteral("autoScale")), 1, 3,
                                                  ChartDefaults::AutoScale));
}

void TAPlacementForm::write(Settings &settings) const
{
    settings.setValue(QStringLiteral("axisPos"), m_ui->axisPos->currentData().toInt());
    settings.setValue(QStringLiteral("autoScale"), m_ui->autoScale->currentData().toInt());
}
