#include "seriesitemdefaultpropertypage.h"

#include "appsettings.h"
#include "chartdefaults.h"
#include "colorbutton.h"
#include "seriesdatamodel.h"
#include "settingsvalues.h"
#include "taconstants.h"
#include "timeframevalue.h"
#include "ui_seriesdefaultsform.h"

namespace {

const QString Group = QStringLiteral("TechAnalysis/SeriesDefaultProperty");
constexpr int MaxDaysBack = 36500;

QColor opaque(QColor color)
{
    color.setAlpha(255);
    return color;
}

} // namespace

SeriesItemDefaultPropertyPage::SeriesItemDefaultPropertyPage(QObject *parent)
    : TAOptionsPage(QString::fromLatin1(TA::Constants::SeriesDefaultsPageId), tr("График серии"), parent)
{
}

SeriesItemDefaultPropertyPage::~SeriesItemDefaultPropertyPage() = default;

void SeriesItemDefaultPropertyPage::finish()
{
    TAOptionsPage::finish();
    m_ui.reset();
    m_form = nullptr;
}

QWidget *SeriesItemDefaultPropertyPage::createForm(const Settings &, QWidget *parent)
{
    m_form = new QWidget(parent);
    m_ui = std::make_unique<Ui::SeriesDefaultsForm>();
    m_ui->setupUi(m_form);
    const AppSettings stored(Group);

    const QList<TimeFrameValue> &frames = standardTimeFrames();
    for (const TimeFrameValue &frame : frames)
        m_ui->timeFrame->addItem(frame.toString(), QVariant::fromValue(frame));
    // A frame not in the list (or not stored) shows three minutes.
    const TimeFrameValue loaded = TimeFrameValue::load(stored);
    int index = int(frames.indexOf(loaded));
    if (index < 0)
        index = int(frames.indexOf(TimeFrameValue(ChartDefaults::TimeFrameSeconds)));
    m_ui->timeFrame->setCurrentIndex(index);

    m_ui->daysBack->setRange(1, MaxDaysBack);
    m_ui->daysBack->setValue(SettingsValues::intIn(stored.value(QStringLiteral("daysBack")), 1,
                                                   MaxDaysBack, ChartDefaults::DaysBack));
    m_ui->lineWidth->setValue(SettingsValues::intIn(stored.value(QStringLiteral("lineWidth")), 1, 10,
                                                    ChartDefaults::LineWidth));
    const int view = SettingsValues::intIn(stored.value(QStringLiteral("view")), 0, 2, ChartDefaults::View);
    m_ui->view->setCurrentIndex(view);
    m_ui->colorPages->setCurrentIndex(view);
    for (const ChartDefaults::ColorEntry &entry : ChartDefaults::SeriesColors) {
        const QString key = QString::fromLatin1(entry.key);
        if (auto *button = m_form->findChild<ColorButton *>(key))
            button->setColor(opaque(SettingsValues::colorOr(stored.value(key), QColor::fromRgb(entry.rgb))));
    }
    const bool wickSelf = SettingsValues::boolOr(stored.value(QStringLiteral("wickSelfColor")),
                                                 ChartDefaults::WickSelfColor);
    (wickSelf ? m_ui->wickSelfColor : m_ui->wickUpDownColor)->setChecked(true);
    m_ui->placement->fill(stored);
    connect(m_ui->timeFrame, &QComboBox::currentIndexChanged, m_form, [this] { checkRange(); });
    connect(m_ui->daysBack, &QSpinBox::valueChanged, m_form, [this] { checkRange(); });
    checkRange();
    return m_form;
}

QString SeriesItemDefaultPropertyPage::rangeRefusal() const
{
    if (!m_ui)
        return {};
    // New series of any instrument take these: refused when one trading around the clock
    // would hold too many bars.
    const qint64 slotTotal = SeriesDataModel::slotBound(
        m_ui->timeFrame->currentData().value<TimeFrameValue>(), m_ui->daysBack->value());
    return slotTotal > SeriesDataModel::MaxSlots ? SeriesDataModel::tooManySlotsText(slotTotal)
                                             : QString();
}

void SeriesItemDefaultPropertyPage::checkRange()
{
    const QString refused = rangeRefusal();
    m_ui->rangeRefusal->setText(refused);
    m_ui->rangeRefusal->setVisible(!refused.isEmpty());
}

void SeriesItemDefaultPropertyPage::applyForm(Settings &)
{
    if (!m_ui)
        return;
    AppSettings stored(Group);
    // A frame and range of too many bars are not taken; the rest of the page is.
    if (rangeRefusal().isEmpty()) {
        m_ui->timeFrame->currentData().value<TimeFrameValue>().save(stored);
        stored.setValue(QStringLiteral("daysBack"), m_ui->daysBack->value());
        stored.setValue(QStringLiteral("toCurrDate"), true);
    }
    stored.setValue(QStringLiteral("lineWidth"), m_ui->lineWidth->value());
    stored.setValue(QStringLiteral("view"), m_ui->view->currentIndex());
    for (const ChartDefaults::ColorEntry &entry : ChartDefaults::SeriesColors) {
        const QString key = QString::fromLatin1(entry.key);
        if (const auto *button = m_form->findChild<ColorButton *>(key))
            stored.setValue(key, opaque(button->color()));
    }
    stored.setValue(QStringLiteral("wickSelfColor"), m_ui->wickSelfColor->isChecked());
    m_ui->placement->write(stored);
}
