#include "studyitemdefaultpropertypage.h"

#include "appsettings.h"
#include "chartdefaults.h"
#include "scriptlimits.h"
#include "taconstants.h"
#include "taplacementform.h"

#include <QColor>
#include <QFormLayout>
#include <QGroupBox>
#include <QSpinBox>
#include <QVBoxLayout>

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
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_form = new TAPlacementForm(page);
    m_form->fill(AppSettings(Group));
    layout->addWidget(m_form);

    auto *box = new QGroupBox(tr("Ограничения скриптов"), page);
    auto *rows = new QFormLayout(box);
    const struct
    {
        ScriptLimits::Kind kind;
        QString label;
        QString suffix;
    } limits[] = {
        {ScriptLimits::RebuildTime, tr("Время расчёта по всем барам:"), tr(" мс")},
        {ScriptLimits::UpdateTime, tr("Время расчёта после сделки:"), tr(" мс")},
        {ScriptLimits::Memory, tr("Память одного индикатора:"), tr(" МБ")},
    };
    for (const auto &limit : limits) {
        const ScriptLimits::Range range = ScriptLimits::range(limit.kind);
        auto *spin = new QSpinBox(box);
        spin->setObjectName(QLatin1String(range.key));
        spin->setRange(range.low, range.high);
        spin->setSuffix(limit.suffix);
        spin->setValue(ScriptLimits::stored(limit.kind));
        spin->setToolTip(tr("От %1 до %2, по умолчанию %3")
                             .arg(range.low).arg(range.high).arg(range.fallback));
        rows->addRow(limit.label, spin);
        m_limits[limit.kind] = spin;
    }
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

void StudyItemDefaultPropertyPage::applyForm(Settings &)
{
    if (!m_form)
        return;
    for (ScriptLimits::Kind kind : {ScriptLimits::RebuildTime, ScriptLimits::UpdateTime,
                                    ScriptLimits::Memory}) {
        if (m_limits[kind] && m_limits[kind]->value() != ScriptLimits::stored(kind))
            ScriptLimits::store(kind, m_limits[kind]->value());
    }
    AppSettings stored(Group);
    m_form->write(stored);
    stored.setValue(QStringLiteral("lineWidth"), ChartDefaults::LineWidth);
    stored.setValue(QStringLiteral("color"), QColor::fromRgb(ChartDefaults::StudyColor));
    stored.setValue(QStringLiteral("view"), ChartDefaults::View);
}
