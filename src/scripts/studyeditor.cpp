#include "studyeditor.h"

#include "colorbutton.h"
#include "dialogsize.h"
#include "scriptfilesmodel.h"
#include "ui_functionseditor.h"
#include "ui_studyeditor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

namespace {

enum ParameterColumn { ParameterName, ParameterValue, ParameterFormula };
enum StyleColumn { StyleName, StyleView, StyleColor, StyleWidth };

QFont codeFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

// The size kept for the editor, or the first time one showing 80 columns of code.
void restoreEditorSize(QDialog *dialog, QPlainTextEdit *code, const QString &group)
{
    const int minimum = code->minimumWidth();
    code->setMinimumWidth(80 * QFontMetrics(code->font()).horizontalAdvance(QLatin1Char('m'))
                          + 2 * code->frameWidth()
                          + code->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, code));
    DialogSize::restore(dialog, group, {});
    code->setMinimumWidth(minimum);
}

// The refusal is shown without a nested event loop; the editor stays open with its fields.
void showError(QDialog *dialog, const QString &error)
{
    auto *box = new QMessageBox(QMessageBox::Warning, dialog->windowTitle(), error, QMessageBox::Ok, dialog);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("saveError"));
    box->open();
}

// The row of a table's selection goes; nothing without one.
void removeSelectedRow(QTableWidget *table)
{
    const int row = table->currentRow();
    if (row >= 0 && !table->selectedItems().isEmpty())
        table->removeRow(row);
}

// Runs a save; a refusal is shown and false returned, the editor staying open.
template <typename Save>
bool trySave(QDialog *dialog, Save save)
{
    try {
        save();
    } catch (const QString &error) {
        showError(dialog, error);
        return false;
    }
    return true;
}


} // namespace

// --- indicator editor -----------------------------------------------------------------------

StudyEditor::StudyEditor(StudyFilesModel *model, const QString &name, bool readOnly, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::StudyEditor>())
    , m_model(model)
    , m_name(name)
    , m_readOnly(readOnly)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Индикатор %1").arg(name));
    m_ui->codeEdit->setFont(codeFont());
    m_ui->declarationEdit->setFont(codeFont());
    m_ui->paramsTable->setColumnCount(3);
    m_ui->paramsTable->setHorizontalHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Значение"),
                                                  QStringLiteral("Формула")});
    m_ui->styleTable->setColumnCount(4);
    m_ui->styleTable->setHorizontalHeaderLabels({QStringLiteral("График"), QStringLiteral("Вид"),
                                                 QStringLiteral("Цвет"), QStringLiteral("Толщина")});
    for (QTableWidget *table : {m_ui->paramsTable, m_ui->styleTable}) {
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->horizontalHeader()->setStretchLastSection(true);
        table->verticalHeader()->hide();
    }
    for (int d = 0; d <= 5; ++d)
        m_ui->decimalsCombo->addItem(QString::number(d));
    connect(m_ui->paramsTable, &QTableWidget::itemSelectionChanged, this, &StudyEditor::paramsSelectionChanged);
    connect(m_ui->styleTable, &QTableWidget::itemSelectionChanged, this, &StudyEditor::styleSelectionChanged);
    connect(m_ui->separateAxisRadio, &QRadioButton::toggled, this, &StudyEditor::onScalingModeChanged);
    connect(m_ui->seriesAxisRadio, &QRadioButton::toggled, this, &StudyEditor::onScalingModeChanged);
    connect(m_ui->asSeriesRadio, &QRadioButton::toggled, this, &StudyEditor::onPrecisionRadioChanged);
    connect(m_ui->decimalsRadio, &QRadioButton::toggled, this, &StudyEditor::onPrecisionRadioChanged);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    StudyFile file;
    try {
        if (m_model)
            file = m_model->read(name);
    } catch (const QString &error) {
        // Shown, never saved over: the file stays as it is on disk.
        m_readError = error;
        m_ui->descriptionEdit->setText(error);
        m_readOnly = true;
    }
    if (m_readError.isEmpty())
        fill(file);
    paramsSelectionChanged();
    styleSelectionChanged();
    on_codeEdit_textChanged();
    applyReadOnly();
    restoreEditorSize(this, m_ui->codeEdit, QStringLiteral("TechAnalysis/StudyEditor"));
    m_ui->codeEdit->setFocus();
}

StudyEditor::~StudyEditor() = default;

void StudyEditor::fill(const StudyFile &file)
{
    m_ui->descriptionEdit->setText(file.description);
    // A long description is read from its start.
    m_ui->descriptionEdit->setCursorPosition(0);
    m_ui->codeEdit->setPlainText(file.code);
    m_ui->declarationEdit->setPlainText(file.declaration);
    for (auto it = file.parameters.cbegin(); it != file.parameters.cend(); ++it)
        addParameterRow(it.key(), it.value());
    for (auto it = file.styles.cbegin(); it != file.styles.cend(); ++it)
        addStyleRow(it.key(), it.value());
    if (file.axis == 1) {
        m_ui->seriesAxisRadio->setChecked(true);
        m_ui->changeScaleCheck->setChecked(file.changeScaleRange);
    }
    if (file.precision < 0) {
        m_ui->asSeriesRadio->setChecked(true);
    } else {
        m_ui->decimalsRadio->setChecked(true);
        m_ui->decimalsCombo->setCurrentIndex(qBound(0, file.precision, 5));
    }
    onScalingModeChanged();
    onPrecisionRadioChanged();
}

void StudyEditor::addParameterRow(const QString &name, const ScriptParameter &parameter)
{
    QTableWidget *table = m_ui->paramsTable;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, ParameterName, new QTableWidgetItem(name));
    table->setItem(row, ParameterValue, new QTableWidgetItem(parameter.value));
    auto *formula = new QTableWidgetItem;
    formula->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    formula->setCheckState(parameter.isFormula ? Qt::Checked : Qt::Unchecked);
    table->setItem(row, ParameterFormula, formula);
}

void StudyEditor::addStyleRow(const QString &name, const PlotStyle &style)
{
    QTableWidget *table = m_ui->styleTable;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, StyleName, new QTableWidgetItem(name));
    auto *view = new QComboBox;
    view->addItems({QStringLiteral("Линия"), QStringLiteral("Гистограмма"), QStringLiteral("Точки")});
    view->setCurrentIndex(qBound(0, style.view, 2));
    table->setCellWidget(row, StyleView, view);
    auto *color = new ColorButton;
    color->setColor(style.color.isValid() ? style.color : QColor(Qt::red));
    table->setCellWidget(row, StyleColor, color);
    auto *width = new QSpinBox;
    width->setRange(1, 10);
    width->setValue(qBound(1, style.lineWidth, 10));
    table->setCellWidget(row, StyleWidth, width);
}

void StudyEditor::applyReadOnly()
{
    if (!m_readOnly)
        return;
    m_ui->descriptionEdit->setReadOnly(true);
    m_ui->codeEdit->setReadOnly(true);
    m_ui->declarationEdit->setReadOnly(true);
    for (QPushButton *button : {m_ui->addParamsButton, m_ui->delParamsButton,
                                m_ui->addStyleButton, m_ui->delStyleButton})
        button->hide();
    for (QTableWidget *table : {m_ui->paramsTable, m_ui->styleTable}) {
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        for (int r = 0; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (QWidget *cell = table->cellWidget(r, c))
                    cell->setEnabled(false);
                if (QTableWidgetItem *item = table->item(r, c))
                    item->setFlags(item->flags() & ~(Qt::ItemIsEditable | Qt::ItemIsUserCheckable));
            }
        }
    }
    m_ui->scalingGroup->setEnabled(false);
    m_ui->precisionGroup->setEnabled(false);
    if (QPushButton *save = m_ui->buttonBox->button(QDialogButtonBox::Save))
        save->hide();
}

StudyFile StudyEditor::collect() const
{
    StudyFile file;
    file.description = m_ui->descriptionEdit->text();
    file.code = m_ui->codeEdit->toPlainText();
    file.declaration = m_ui->declarationEdit->toPlainText();
    const QTableWidget *params = m_ui->paramsTable;
    for (int r = 0; r < params->rowCount(); ++r) {
        ScriptParameter parameter;
        parameter.value = params->item(r, ParameterValue) ? params->item(r, ParameterValue)->text() : QString();
        parameter.isFormula = params->item(r, ParameterFormula)
                              && params->item(r, ParameterFormula)->checkState() == Qt::Checked;
        const QString name = params->item(r, ParameterName) ? params->item(r, ParameterName)->text() : QString();
        // Rows are kept by name: a second row of a name would silently replace the first.
        if (file.parameters.contains(name))
            throw QStringLiteral("Параметр «%1» указан дважды: дайте параметрам разные имена").arg(name);
        file.parameters.insert(name, parameter);
    }
    const QTableWidget *styles = m_ui->styleTable;
    for (int r = 0; r < styles->rowCount(); ++r) {
        PlotStyle style;
        if (auto *view = qobject_cast<QComboBox *>(styles->cellWidget(r, StyleView)))
            style.view = view->currentIndex();
        if (auto *color = qobject_cast<ColorButton *>(styles->cellWidget(r, StyleColor)))
            style.color = color->color();
        if (auto *width = qobject_cast<QSpinBox *>(styles->cellWidget(r, StyleWidth)))
            style.lineWidth = width->value();
        const QString name = styles->item(r, StyleName) ? styles->item(r, StyleName)->text() : QString();
        if (file.styles.contains(name))
            throw QStringLiteral("График «%1» указан дважды: дайте графикам разные имена").arg(name);
        file.styles.insert(name, style);
    }
    const bool separate = m_ui->separateAxisRadio->isChecked();
    file.axis = separate ? 0 : 1;
    file.changeScaleRange = separate || m_ui->changeScaleCheck->isChecked();
    file.precision = m_ui->asSeriesRadio->isChecked() ? -1 : m_ui->decimalsCombo->currentIndex();
    return file;
}

void StudyEditor::on_buttonBox_accepted()
{
    // A refused save is shown and the editor stays open with everything typed.
    if (m_readOnly || !m_model || !trySave(this, [this] { m_model->save(m_name, collect()); }))
        return;
    Q_EMIT saved(m_name);
    accept();
}

void StudyEditor::on_addParamsButton_clicked()
{
    addParameterRow(QStringLiteral("Name"), {QStringLiteral("0"), false});
}

void StudyEditor::on_delParamsButton_clicked()
{
    removeSelectedRow(m_ui->paramsTable);
}

void StudyEditor::paramsSelectionChanged()
{
    m_ui->delParamsButton->setEnabled(!m_ui->paramsTable->selectedItems().isEmpty());
}

void StudyEditor::on_addStyleButton_clicked()
{
    addStyleRow(QStringLiteral("Plot"), {0, QColor(Qt::red), 1});
}

void StudyEditor::on_delStyleButton_clicked()
{
    removeSelectedRow(m_ui->styleTable);
}

void StudyEditor::styleSelectionChanged()
{
    m_ui->delStyleButton->setEnabled(!m_ui->styleTable->selectedItems().isEmpty());
}

void StudyEditor::on_codeEdit_textChanged()
{
    if (QPushButton *save = m_ui->buttonBox->button(QDialogButtonBox::Save))
        save->setEnabled(!m_readOnly && !m_ui->codeEdit->toPlainText().isEmpty());
}

void StudyEditor::onScalingModeChanged()
{
    m_ui->changeScaleCheck->setEnabled(m_ui->seriesAxisRadio->isChecked());
}

void StudyEditor::onPrecisionRadioChanged()
{
    m_ui->decimalsCombo->setEnabled(m_ui->decimalsRadio->isChecked());
}

void StudyEditor::done(int result)
{
    DialogSize::remember(this, QStringLiteral("TechAnalysis/StudyEditor"));
    QDialog::done(result);
}

// --- function editor ------------------------------------------------------------------------

FunctionsEditor::FunctionsEditor(FunctionFilesModel *model, const QString &name, bool readOnly,
                                 QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FunctionsEditor>())
    , m_model(model)
    , m_name(name)
    , m_readOnly(readOnly)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Функция %1").arg(name));
    m_ui->codeEdit->setFont(codeFont());
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    try {
        if (m_model) {
            const FunctionFile file = m_model->read(name);
            m_ui->descriptionEdit->setText(file.description);
            m_ui->descriptionEdit->setCursorPosition(0);
            m_ui->codeEdit->setPlainText(file.code);
        }
    } catch (const QString &error) {
        m_readError = error;
        m_ui->descriptionEdit->setText(error);
        m_readOnly = true;
    }
    if (m_readOnly) {
        m_ui->descriptionEdit->setReadOnly(true);
        m_ui->codeEdit->setReadOnly(true);
        if (QPushButton *save = m_ui->buttonBox->button(QDialogButtonBox::Save))
            save->hide();
    }
    on_codeEdit_textChanged();
    restoreEditorSize(this, m_ui->codeEdit, QStringLiteral("TechAnalysis/FunctionsEditor"));
    m_ui->codeEdit->setFocus();
}

FunctionsEditor::~FunctionsEditor() = default;

FunctionFile FunctionsEditor::collect() const
{
    return {m_ui->descriptionEdit->text(), m_ui->codeEdit->toPlainText()};
}

void FunctionsEditor::on_buttonBox_accepted()
{
    if (m_readOnly || !m_model || !trySave(this, [this] { m_model->save(m_name, collect()); }))
        return;
    Q_EMIT saved(m_name);
    accept();
}

void FunctionsEditor::on_codeEdit_textChanged()
{
    if (QPushButton *save = m_ui->buttonBox->button(QDialogButtonBox::Save))
        save->setEnabled(!m_readOnly && !m_ui->codeEdit->toPlainText().isEmpty());
}

void FunctionsEditor::done(int result)
{
    DialogSize::remember(this, QStringLiteral("TechAnalysis/FunctionsEditor"));
    QDialog::done(result);
}
