#include "studyitempropertydialog.h"
#include "ui_studyitempropertydialog.h"

#include "colorbutton.h"
#include "mapsettings.h"
#include "multiview.h"
#include "parentscaleitem.h"
#include "propertydialogsupport.h"
#include "scriptstudyitem.h"
#include "seriesdatamodel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidgetItem>
#include <QTimer>

using namespace PropertyDialogSupport;

namespace {

constexpr int MaxDecimals = 5;
// Tables of up to this many rows show them all without a scroll bar.
constexpr int RowsShownWhole = 5;

QTableWidgetItem *readOnlyCell(const QString &text)
{
    auto *cell = new QTableWidgetItem(text);
    cell->setFlags(cell->flags() & ~Qt::ItemIsEditable);
    return cell;
}

// Each column as wide as its contents and header, the last one taking what is left: set as a
// mode rather than once, so that refilling the table keeps the widths.
void sizeColumnsToContents(QTableWidget *table)
{
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
}

// Asks for room for the table's columns and for its header and rows, up to RowsShownWhole.
void fitToRows(QTableWidget *table)
{
    const QHeaderView *header = table->horizontalHeader();
    const QAbstractItemView *view = table; // where sizeHintForColumn() is public
    int width = 2 * table->frameWidth();
    for (int column = 0; column < table->columnCount(); ++column)
        width += std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
    int height = 2 * table->frameWidth() + header->sizeHint().height();
    const int rows = std::min(table->rowCount(), RowsShownWhole);
    for (int row = 0; row < rows; ++row)
        height += table->rowHeight(row);
    if (table->rowCount() > rows)
        width += table->verticalScrollBar()->sizeHint().width();
    table->setMinimumSize(width, height);
}

} // namespace

StudyItemPropertyDialog::StudyItemPropertyDialog(ScriptStudyItem *item, MultiView *view,
                                                 QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::StudyItemPropertyDialog>())
    , m_item(item)
    , m_view(view)
{
    m_ui->setupUi(this);
    setUpWindow(this, sizeGroup());
    m_ui->statusLabel->hide();
    m_ui->stylesTable->verticalHeader()->hide();
    m_ui->parametersTable->verticalHeader()->hide();
    sizeColumnsToContents(m_ui->stylesTable);
    sizeColumnsToContents(m_ui->parametersTable);
    for (int i = 0; i <= MaxDecimals; ++i)
        m_ui->decimalsComboBox->addItem(QString::number(i), i);
    connect(m_ui->customPrecisionRadioButton, &QRadioButton::toggled, this,
            &StudyItemPropertyDialog::precisionRadioChanged);
    if (item)
        connect(item, &QObject::destroyed, this, &StudyItemPropertyDialog::itemGone);
    updateFromSeries();
    fitTitle(this);
}

StudyItemPropertyDialog::~StudyItemPropertyDialog()
{
    saveSize(this, sizeGroup());
}

void StudyItemPropertyDialog::updateFromSeries()
{
    if (!m_item) {
        itemGone();
        return;
    }
    MapSettings state;
    m_item->saveState(state);
    setWindowTitle(QStringLiteral("Свойства индикатора %1").arg(m_item->displayName()));
    m_ui->nameEdit->setText(m_item->displayName());
    m_ui->fileName->setText(m_item->fileName());

    const int styleCount = state.value(QStringLiteral("styleCount"), 0).toInt();
    m_ui->stylesTable->setRowCount(0);
    m_ui->stylesTable->setRowCount(std::max(0, styleCount));
    for (int i = 0; i < styleCount; ++i) {
        SettingsGroup group(state, QStringLiteral("style_%1").arg(i));
        m_ui->stylesTable->setItem(i, 0, readOnlyCell(state.value(QStringLiteral("name")).toString()));
        auto *view = new QComboBox(m_ui->stylesTable);
        fillStudyViews(view);
        selectValue(view, state.value(QStringLiteral("view")).toInt());
        m_ui->stylesTable->setCellWidget(i, 1, view);
        auto *color = new ColorButton(m_ui->stylesTable);
        color->setColor(QColor(state.value(QStringLiteral("color")).toString()));
        m_ui->stylesTable->setCellWidget(i, 2, color);
        auto *width = new QSpinBox(m_ui->stylesTable);
        width->setRange(1, 10);
        width->setValue(state.value(QStringLiteral("lineWidth"), 1).toInt());
        m_ui->stylesTable->setCellWidget(i, 3, width);
    }
    fitToRows(m_ui->stylesTable);

    const int parameterCount = state.value(QStringLiteral("parametersCount"), 0).toInt();
    m_ui->parametersTable->setRowCount(0);
    m_ui->parametersTable->setRowCount(std::max(0, parameterCount));
    for (int i = 0; i < parameterCount; ++i) {
        SettingsGroup group(state, QStringLiteral("parameter_%1").arg(i));
        m_ui->parametersTable->setItem(i, 0, readOnlyCell(state.value(QStringLiteral("name")).toString()));
        m_ui->parametersTable->setItem(
            i, 1, new QTableWidgetItem(state.value(QStringLiteral("value")).toString()));
    }
    fitToRows(m_ui->parametersTable);

    {
        const QSignalBlocker blocker(m_ui->seriesComboBox);
        m_ui->seriesComboBox->clear();
        int selected = -1;
        if (m_view) {
            for (SeriesItem *series : m_view->seriesItems()) {
                m_ui->seriesComboBox->addItem(
                    QStringLiteral("%1, %2").arg(series->displayName(),
                                                 series->model()->timeFrame().toString()),
                    QVariant::fromValue<QObject *>(series));
                if (series == m_item->seriesItem())
                    selected = m_ui->seriesComboBox->count() - 1;
            }
        }
        m_ui->seriesComboBox->setCurrentIndex(selected);
    }

    const bool custom = m_item->customPrecision();
    m_ui->customPrecisionRadioButton->setChecked(custom);
    m_ui->seriesPrecisionRadioButton->setChecked(!custom);
    m_ui->decimalsComboBox->setCurrentIndex(
        std::clamp(state.value(QStringLiteral("decimals"), 0).toInt(), 0, MaxDecimals));
    precisionRadioChanged();
    m_ui->changeScaleRangeCheckBox->setChecked(m_item->changeScaleRange());

    fillPlacementCombos();
    const bool enabled = bool(m_item);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(enabled);
    m_ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(enabled);
}

void StudyItemPropertyDialog::fillPlacementCombos()
{
    if (m_item && m_item->isVisible()) {
        auto *scale = qobject_cast<ParentScaleItem *>(m_item->parentChartItem());
        fillAxisPositions(m_ui->axisPosComboBox, true);
        fillAutoScale(m_ui->autoScaleComboBox, rangeText(scale, false));
        {
            const QSignalBlocker blocker(m_ui->positionComboBox);
            fillPlacement(m_ui->positionComboBox, m_view, m_item);
        }
        m_ui->changeScaleRangeCheckBox->setEnabled(true);
        on_positionComboBox_currentIndexChanged(m_ui->positionComboBox->currentIndex());
    } else {
        showHidden(m_ui->positionComboBox);
        showHidden(m_ui->axisPosComboBox);
        showHidden(m_ui->autoScaleComboBox);
        m_ui->changeScaleRangeCheckBox->setEnabled(false);
    }
}

void StudyItemPropertyDialog::writeSettings(Settings &settings) const
{
    const QString name = m_ui->nameEdit->text().trimmed();
    if (!name.isEmpty())
        settings.setValue(QStringLiteral("displayName"), name);
    const int styles = m_ui->stylesTable->rowCount();
    settings.setValue(QStringLiteral("styleCount"), styles);
    for (int i = 0; i < styles; ++i) {
        SettingsGroup group(settings, QStringLiteral("style_%1").arg(i));
        settings.setValue(QStringLiteral("name"), m_ui->stylesTable->item(i, 0)->text());
        const auto *view = qobject_cast<QComboBox *>(m_ui->stylesTable->cellWidget(i, 1));
        settings.setValue(QStringLiteral("view"), view ? view->currentData(ValueRole) : QVariant(0));
        const auto *color = qobject_cast<ColorButton *>(m_ui->stylesTable->cellWidget(i, 2));
        settings.setValue(QStringLiteral("color"), color ? color->color() : QColor());
        const auto *width = qobject_cast<QSpinBox *>(m_ui->stylesTable->cellWidget(i, 3));
        settings.setValue(QStringLiteral("lineWidth"), width ? width->value() : 1);
    }
    const int parameters = m_ui->parametersTable->rowCount();
    settings.setValue(QStringLiteral("parametersCount"), parameters);
    for (int i = 0; i < parameters; ++i) {
        SettingsGroup group(settings, QStringLiteral("parameter_%1").arg(i));
        settings.setValue(QStringLiteral("name"), m_ui->parametersTable->item(i, 0)->text());
        const QTableWidgetItem *value = m_ui->parametersTable->item(i, 1);
        settings.setValue(QStringLiteral("value"), value ? value->text().trimmed() : QString());
    }
    if (m_ui->seriesComboBox->currentIndex() >= 0)
        settings.setValue(QStringLiteral("series"), m_ui->seriesComboBox->currentData(ValueRole));
    settings.setValue(QStringLiteral("customPrecision"),
                      m_ui->customPrecisionRadioButton->isChecked());
    settings.setValue(QStringLiteral("decimals"), m_ui->decimalsComboBox->currentIndex());
    if (m_item && m_item->isVisible()) {
        writePlacement(m_ui->positionComboBox, m_ui->axisPosComboBox, m_ui->autoScaleComboBox,
                       settings);
        settings.setValue(QStringLiteral("changeScaleRange"),
                          m_ui->changeScaleRangeCheckBox->isChecked());
    }
}

void StudyItemPropertyDialog::precisionRadioChanged()
{
    m_ui->decimalsComboBox->setEnabled(m_ui->customPrecisionRadioButton->isChecked());
}

void StudyItemPropertyDialog::on_positionComboBox_currentIndexChanged(int)
{
    followPlacement(m_ui->positionComboBox, m_ui->axisPosComboBox, m_ui->autoScaleComboBox,
                    m_item);
}

void StudyItemPropertyDialog::on_seriesComboBox_currentIndexChanged(int)
{
    // The placement keeps its distance from the end of the list, where the new and the
    // series' areas are.
    const int oldCount = m_ui->positionComboBox->count();
    const int oldIndex = m_ui->positionComboBox->currentIndex();
    fillPlacementCombos();
    const int index = m_ui->positionComboBox->count() - (oldCount - oldIndex);
    if (oldIndex >= 0 && index >= 0 && m_ui->positionComboBox->isEnabled())
        m_ui->positionComboBox->setCurrentIndex(index);
}

void StudyItemPropertyDialog::on_buttonBox_clicked(QAbstractButton *button)
{
    switch (m_ui->buttonBox->standardButton(button)) {
    case QDialogButtonBox::Cancel:
        reject();
        break;
    case QDialogButtonBox::Ok:
        if (m_item)
            accept();
        break;
    case QDialogButtonBox::Apply:
        apply();
        break;
    default:
        break;
    }
}

void StudyItemPropertyDialog::apply()
{
    if (!m_item || !m_view)
        return;
    MapSettings result;
    writeSettings(result);
    try {
        m_view->applyItemProperties(m_item, result);
    } catch (const QString &text) {
        m_ui->statusLabel->setText(text);
        m_ui->statusLabel->show();
    }
    QTimer::singleShot(0, this, &StudyItemPropertyDialog::updateFromSeries);
}

void StudyItemPropertyDialog::itemGone()
{
    m_ui->statusLabel->setText(
        QStringLiteral("Индикатор удалён с окна: изменения применить нельзя."));
    m_ui->statusLabel->show();
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    m_ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
}
