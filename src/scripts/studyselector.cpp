#include "studyselector.h"

#include "dialogsize.h"
#include "scriptfilesmodel.h"
#include "ui_studyselector.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>

StudySelector::StudySelector(StudyFilesModel *model, const QStringList &seriesNames, int seriesIndex,
                             QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::StudySelector>())
    , m_model(model)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowModality(Qt::WindowModal);
    m_ui->studiesView->setModel(model);
    m_ui->studiesView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ui->studiesView->hideColumn(ScriptFilesModel::ModifiedColumn);
    m_ui->studiesView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ui->paramsTable->setColumnCount(2);
    m_ui->paramsTable->setHorizontalHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Значение")});
    m_ui->paramsTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->paramsTable->verticalHeader()->hide();
    m_ui->seriesCombo->addItems(seriesNames);
    m_ui->seriesCombo->setCurrentIndex(qBound(0, seriesIndex, int(seriesNames.size()) - 1));
    if (QItemSelectionModel *selection = m_ui->studiesView->selectionModel()) {
        connect(selection, &QItemSelectionModel::currentChanged, this,
                &StudySelector::currentChanged);
        // OK adds the chosen rows: it is on only while some are chosen (the list's current
        // row, which it takes with the focus, is not a choice).
        connect(selection, &QItemSelectionModel::selectionChanged, this, [this, selection] {
            m_ui->buttonBox->button(QDialogButtonBox::Ok)
                ->setEnabled(!selection->selectedRows().isEmpty());
        });
    }
    connect(m_ui->studiesView, &QTreeView::doubleClicked, this, &QDialog::accept);
    connect(m_ui->paramsTable, &QTableWidget::itemChanged, this, &StudySelector::parameterEdited);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    DialogSize::restore(this, QStringLiteral("TechAnalysis/StudySelector"), {m_ui->studiesView});
}

StudySelector::~StudySelector() = default;

QString StudySelector::currentName() const
{
    const QModelIndex current = m_ui->studiesView->currentIndex();
    return m_model && current.isValid() ? m_model->nameAt(current.row()) : QString();
}

void StudySelector::currentChanged(const QModelIndex &current)
{
    showParameters(current.isValid() && m_model ? m_model->nameAt(current.row()) : QString());
}

void StudySelector::showParameters(const QString &name)
{
    m_filling = true;
    m_ui->paramsTable->setRowCount(0);
    m_shown = name;
    m_error.clear();
    if (!name.isEmpty() && m_model && !m_files.contains(name) && !m_errors.contains(name)) {
        // Read once; an error stays with the file and is shown, not thrown into the event loop.
        try {
            const StudyFile file = m_model->read(name);
            m_files.insert(name, file);
            m_values.insert(name, file.parameters);
        } catch (const QString &error) {
            m_errors.insert(name, error);
        }
    }
    if (m_errors.contains(name)) {
        m_error = m_errors.value(name);
        m_ui->paramsLabel->setText(QStringLiteral("Параметры: файл «%1»: %2").arg(name, m_error));
    } else {
        m_ui->paramsLabel->setText(QStringLiteral("Параметры:"));
        const QMap<QString, ScriptParameter> values = m_values.value(name);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            const int row = m_ui->paramsTable->rowCount();
            m_ui->paramsTable->insertRow(row);
            auto *key = new QTableWidgetItem(it.key());
            key->setFlags(key->flags() & ~Qt::ItemIsEditable);
            m_ui->paramsTable->setItem(row, 0, key);
            m_ui->paramsTable->setItem(row, 1, new QTableWidgetItem(it.value().value));
        }
    }
    m_filling = false;
}

void StudySelector::parameterEdited()
{
    if (m_filling || m_shown.isEmpty())
        return;
    QMap<QString, ScriptParameter> &values = m_values[m_shown];
    for (int r = 0; r < m_ui->paramsTable->rowCount(); ++r) {
        const QTableWidgetItem *key = m_ui->paramsTable->item(r, 0);
        const QTableWidgetItem *value = m_ui->paramsTable->item(r, 1);
        if (key && value && values.contains(key->text()))
            values[key->text()].value = value->text();
    }
}

MapSettings StudySelector::definition(const QString &name, const StudyFile &file, quint64 crc,
                                      const QMap<QString, ScriptParameter> &values)
{
    MapSettings group;
    group.setValue(QStringLiteral("name"), name);
    group.setValue(QStringLiteral("declaration"), file.declaration);
    group.setValue(QStringLiteral("code"), file.code);
    group.setValue(QStringLiteral("parametersCount"), int(values.size()));
    int i = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it, ++i) {
        const QString prefix = QStringLiteral("parameter_%1/").arg(i);
        group.setValue(prefix + QStringLiteral("name"), it.key());
        group.setValue(prefix + QStringLiteral("value"), it.value().value);
        group.setValue(prefix + QStringLiteral("isFormula"), it.value().isFormula);
    }
    group.setValue(QStringLiteral("styleCount"), int(file.styles.size()));
    i = 0;
    for (auto it = file.styles.cbegin(); it != file.styles.cend(); ++it, ++i) {
        const QString prefix = QStringLiteral("style_%1/").arg(i);
        group.setValue(prefix + QStringLiteral("name"), it.key());
        group.setValue(prefix + QStringLiteral("view"), it.value().view);
        group.setValue(prefix + QStringLiteral("color"), it.value().color.name());
        group.setValue(prefix + QStringLiteral("lineWidth"), it.value().lineWidth);
    }
    group.setValue(QStringLiteral("axis"), file.axis);
    group.setValue(QStringLiteral("changeScaleRange"), file.changeScaleRange);
    group.setValue(QStringLiteral("customPrecision"), file.precision >= 0);
    group.setValue(QStringLiteral("decimals"), file.precision);
    group.setValue(QStringLiteral("crc"), crc);
    return group;
}

QList<MapSettings> StudySelector::results() const
{
    QList<MapSettings> list;
    if (!m_model || !m_ui->studiesView->selectionModel())
        return list;
    QModelIndexList rows = m_ui->studiesView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    for (const QModelIndex &row : rows) {
        const QString name = m_model->nameAt(row.row());
        StudyFile file = m_files.value(name);
        if (m_errors.contains(name))
            continue;
        if (!m_files.contains(name)) {
            try {
                file = m_model->read(name);
            } catch (const QString &) {
                continue;
            }
        }
        MapSettings group = definition(name, file, m_model->checksum(name),
                                       m_values.contains(name) ? m_values.value(name) : file.parameters);
        group.setValue(QStringLiteral("seriesInd"), m_ui->seriesCombo->currentIndex());
        list.append(group);
    }
    return list;
}

void StudySelector::done(int result)
{
    DialogSize::remember(this, QStringLiteral("TechAnalysis/StudySelector"));
    QDialog::done(result);
}
