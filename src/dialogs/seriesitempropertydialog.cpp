#include "seriesitempropertydialog.h"
#include "ui_seriesitempropertydialog.h"

#include "boarddirectory.h"
#include "datetime.h"
#include "mapsettings.h"
#include "multiview.h"
#include "parentscaleitem.h"
#include "propertydialogsupport.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "seriesitem.h"
#include "seriesitemschedulesdialog.h"
#include "timeframevalue.h"

#include <QCalendarWidget>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

using namespace PropertyDialogSupport;

namespace {

void setUpCalendar(QDateEdit *edit)
{
    edit->setCalendarPopup(true);
    if (QCalendarWidget *calendar = edit->calendarWidget()) {
        calendar->setFirstDayOfWeek(QLocale::system().firstDayOfWeek());
        calendar->setGridVisible(true);
    }
}

QColor colorOf(const MapSettings &state, const char *key)
{
    const QVariant value = state.value(QString::fromLatin1(key));
    if (value.canConvert<QColor>()) {
        const QColor color = value.value<QColor>();
        if (color.isValid())
            return color;
    }
    return QColor(value.toString());
}

} // namespace

SeriesItemPropertyDialog::SeriesItemPropertyDialog(SeriesItem *item, MultiView *view,
                                                   QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::SeriesItemPropertyDialog>())
    , m_item(item)
    , m_view(view)
{
    m_ui->setupUi(this);
    setUpWindow(this, sizeGroup());
    setUpCalendar(m_ui->dateFromEdit);
    setUpCalendar(m_ui->dateToEdit);
    m_ui->dateToEdit->setMinimumDate(QDate(1970, 1, 1));
    m_ui->statusLabel->hide();
    for (const TimeFrameValue &frame : standardTimeFrames())
        m_ui->timeFrameComboBox->addItem(frame.toString(), QVariant::fromValue(frame));
    fillSeriesViews(m_ui->viewComboBox);
    connect(m_ui->rangeBackRadioButton, &QRadioButton::toggled, this,
            &SeriesItemPropertyDialog::onRangeModeChanged);
    connect(m_ui->rangeDatesRadioButton, &QRadioButton::toggled, this,
            &SeriesItemPropertyDialog::onRangeModeChanged);
    connect(m_ui->dateFromEdit, &QDateEdit::dateChanged, this, &SeriesItemPropertyDialog::rangeEdited);
    connect(m_ui->dateToEdit, &QDateEdit::dateChanged, this, &SeriesItemPropertyDialog::rangeEdited);
    connect(m_ui->daysBackSpinBox, &QSpinBox::valueChanged, this,
            &SeriesItemPropertyDialog::rangeEdited);
    connect(m_ui->timeFrameComboBox, &QComboBox::currentIndexChanged, this,
            &SeriesItemPropertyDialog::checkDates);
    if (item)
        connect(item, &QObject::destroyed, this, &SeriesItemPropertyDialog::itemGone);
    updateFromSeries();
    fitTitle(this);
}

SeriesItemPropertyDialog::~SeriesItemPropertyDialog()
{
    saveSize(this, sizeGroup());
}

void SeriesItemPropertyDialog::updateFromSeries()
{
    if (!m_item) {
        itemGone();
        return;
    }
    // What is shown now is the series' own: nothing the user did yet.
    m_updating = true;
    m_rangeTouched = false;
    MapSettings state;
    m_item->saveState(state);
    const SeriesKey key = m_item->model()->seriesKey();
    setWindowTitle(QStringLiteral("Свойства графика инструмента ") + m_item->displayName());
    m_ui->nameEdit->setText(m_item->displayName());
    m_ui->boardName->setText(BoardDirectory::i()->nameById(key.stock_id, key.board_id));
    m_ui->securityName->setText(
        SecurityDirectory::i()->nameById(key.stock_id, key.board_id, key.sec_id));

    selectValue(m_ui->timeFrameComboBox, QVariant::fromValue(m_item->model()->timeFrame()));

    const QDate from = m_item->model()->dateFrom();
    const QDate to = m_item->model()->dateTo();
    m_ui->daysBackSpinBox->setValue(int(from.daysTo(to)) + 1);
    m_ui->dateToEdit->setDate(to);
    m_ui->dateFromEdit->setDate(from);
    const bool back = m_item->model()->toCurrDate();
    m_ui->rangeBackRadioButton->setChecked(back);
    m_ui->rangeDatesRadioButton->setChecked(!back);
    onRangeModeChanged();

    m_ui->lineWidthSpinBox->setValue(m_item->lineWidth());
    selectValue(m_ui->viewComboBox, m_item->view());
    m_ui->colorStack->setCurrentIndex(m_item->view());
    const bool wickSelf = state.value(QStringLiteral("wickSelfColor")).toBool();
    m_ui->wickSelfRadioButton->setChecked(wickSelf);
    m_ui->wickBodyRadioButton->setChecked(!wickSelf);
    m_ui->wickColorButton->setColor(colorOf(state, "wickColor"));
    m_ui->upColorButton->setColor(colorOf(state, "upColor"));
    m_ui->upBoundColorButton->setColor(colorOf(state, "upBoundColor"));
    m_ui->downColorButton->setColor(colorOf(state, "downColor"));
    m_ui->downBoundColorButton->setColor(colorOf(state, "downBoundColor"));
    m_ui->minmaxColorButton->setColor(colorOf(state, "minmaxColor"));
    m_ui->inColorButton->setColor(colorOf(state, "inColor"));
    m_ui->outColorButton->setColor(colorOf(state, "outColor"));
    m_ui->lineColorButton->setColor(colorOf(state, "lineColor"));

    auto *scale = qobject_cast<ParentScaleItem *>(m_item->parentChartItem());
    if (m_item->isVisible()) {
        fillAxisPositions(m_ui->axisPosComboBox, false);
        fillAutoScale(m_ui->autoScaleComboBox, rangeText(scale, true));
        const QSignalBlocker blocker(m_ui->positionComboBox);
        fillPlacement(m_ui->positionComboBox, m_view, m_item);
    } else {
        showHidden(m_ui->positionComboBox);
        showHidden(m_ui->axisPosComboBox);
        showHidden(m_ui->autoScaleComboBox);
    }
    on_positionComboBox_currentIndexChanged(m_ui->positionComboBox->currentIndex());
    m_updating = false;
    checkDates();
}

void SeriesItemPropertyDialog::rangeEdited()
{
    if (!m_updating)
        m_rangeTouched = true;
    checkDates();
}

void SeriesItemPropertyDialog::writeSettings(Settings &settings) const
{
    const QString name = m_ui->nameEdit->text().trimmed();
    if (!name.isEmpty())
        settings.setValue(QStringLiteral("displayName"), name);
    const QVariant frame = m_ui->timeFrameComboBox->currentData(ValueRole);
    if (frame.canConvert<TimeFrameValue>())
        frame.value<TimeFrameValue>().save(settings);
    // A range the user left alone is not written: the series keeps its own.
    if (m_rangeTouched)
        writeRange(settings);
    settings.setValue(QStringLiteral("lineWidth"), m_ui->lineWidthSpinBox->value());
    settings.setValue(QStringLiteral("view"), m_ui->viewComboBox->currentData(ValueRole));
    settings.setValue(QStringLiteral("wickSelfColor"), m_ui->wickSelfRadioButton->isChecked());
    settings.setValue(QStringLiteral("wickColor"), m_ui->wickColorButton->color());
    settings.setValue(QStringLiteral("upColor"), m_ui->upColorButton->color());
    settings.setValue(QStringLiteral("upBoundColor"), m_ui->upBoundColorButton->color());
    settings.setValue(QStringLiteral("downColor"), m_ui->downColorButton->color());
    settings.setValue(QStringLiteral("downBoundColor"), m_ui->downBoundColorButton->color());
    settings.setValue(QStringLiteral("minmaxColor"), m_ui->minmaxColorButton->color());
    settings.setValue(QStringLiteral("inColor"), m_ui->inColorButton->color());
    settings.setValue(QStringLiteral("outColor"), m_ui->outColorButton->color());
    settings.setValue(QStringLiteral("lineColor"), m_ui->lineColorButton->color());
    if (m_item && m_item->isVisible())
        writePlacement(m_ui->positionComboBox, m_ui->axisPosComboBox, m_ui->autoScaleComboBox,
                       settings);
}

void SeriesItemPropertyDialog::writeRange(Settings &settings) const
{
    if (m_ui->rangeBackRadioButton->isChecked()) {
        settings.setValue(QStringLiteral("toCurrDate"), true);
        settings.setValue(QStringLiteral("daysBack"), m_ui->daysBackSpinBox->value());
    } else {
        const QDate from = m_ui->dateFromEdit->date();
        const QDate to = m_ui->dateToEdit->date();
        settings.setValue(QStringLiteral("toCurrDate"), false);
        settings.setValue(QStringLiteral("dateTo"), to);
        settings.setValue(QStringLiteral("daysBack"), int(from.daysTo(to)) + 1);
    }
}

bool SeriesItemPropertyDialog::areDatesValid() const
{
    if (!m_ui->rangeDatesRadioButton->isChecked())
        return true;
    const QDate from = m_ui->dateFromEdit->date();
    return from <= datetime::today() && from <= m_ui->dateToEdit->date();
}

QString SeriesItemPropertyDialog::rangeRefusal() const
{
    if (!m_item)
        return {};
    const QVariant frame = m_ui->timeFrameComboBox->currentData(ValueRole);
    if (!frame.canConvert<TimeFrameValue>())
        return {};
    MapSettings range;
    writeRange(range);
    return SeriesDataModel::rangeRefusal(m_item->model()->seriesKey(),
                                         frame.value<TimeFrameValue>(), range);
}

void SeriesItemPropertyDialog::checkDates()
{
    if (m_updating)
        return;
    const bool valid = areDatesValid();
    markLabel(m_ui->dateFromLabel, valid);
    // A frame and range of too many bars: said where the item's own status would show.
    const QString refused = rangeRefusal();
    if (m_item) {
        m_ui->statusLabel->setText(refused);
        m_ui->statusLabel->setVisible(!refused.isEmpty());
    }
    const bool enabled = valid && refused.isEmpty() && m_item;
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(enabled);
    m_ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(enabled);
}

bool SeriesItemPropertyDialog::canApply() const
{
    return m_item && areDatesValid() && rangeRefusal().isEmpty();
}

void SeriesItemPropertyDialog::onRangeModeChanged()
{
    const bool back = m_ui->rangeBackRadioButton->isChecked();
    m_ui->daysBackSpinBox->setEnabled(back);
    m_ui->dateFromEdit->setEnabled(!back);
    m_ui->dateToEdit->setEnabled(!back);
    rangeEdited();
}

void SeriesItemPropertyDialog::on_viewComboBox_currentIndexChanged(int index)
{
    const int view = m_ui->viewComboBox->itemData(index, ValueRole).toInt();
    if (view >= 0 && view < m_ui->colorStack->count())
        m_ui->colorStack->setCurrentIndex(view);
}

void SeriesItemPropertyDialog::on_positionComboBox_currentIndexChanged(int)
{
    followPlacement(m_ui->positionComboBox, m_ui->axisPosComboBox, m_ui->autoScaleComboBox,
                    m_item);
}

void SeriesItemPropertyDialog::on_scheduleButton_clicked()
{
    if (!m_item)
        return;
    const SeriesKey key = m_item->model()->seriesKey();
    SeriesItemScheduleDialog dialog(key.stock_id, key.board_id, m_item->displayName(), this);
    dialog.exec();
}

void SeriesItemPropertyDialog::on_buttonBox_clicked(QAbstractButton *button)
{
    switch (m_ui->buttonBox->standardButton(button)) {
    case QDialogButtonBox::Cancel:
        reject();
        break;
    case QDialogButtonBox::Ok:
        // Checked again: the day may have turned since the dates were entered.
        checkDates();
        if (canApply())
            accept();
        break;
    case QDialogButtonBox::Apply:
        apply();
        break;
    default:
        break;
    }
}

void SeriesItemPropertyDialog::apply()
{
    checkDates();
    if (!m_view || !canApply())
        return;
    MapSettings result;
    writeSettings(result);
    try {
        m_view->applyItemProperties(m_item, result);
    } catch (const QString &text) {
        m_ui->statusLabel->setText(text);
        m_ui->statusLabel->show();
    }
    QTimer::singleShot(0, this, &SeriesItemPropertyDialog::updateFromSeries);
}

void SeriesItemPropertyDialog::itemGone()
{
    m_ui->statusLabel->setText(
        QStringLiteral("График удалён с окна: изменения применить нельзя."));
    m_ui->statusLabel->show();
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    m_ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
    m_ui->scheduleButton->setEnabled(false);
}
