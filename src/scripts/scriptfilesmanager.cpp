#include "scriptfilesmanager.h"

#include "dialogsize.h"
#include "filenamevalidator.h"
#include "inputfilenamedialog.h"
#include "scriptfilesmodel.h"
#include "studyeditor.h"
#include "ui_scriptfilesmanager.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

ScriptFilesManager::NamePrompt &namePrompt()
{
    static ScriptFilesManager::NamePrompt prompt = [](QWidget *parent, const QString &title,
                                                      const QString &text, const QString &takenText,
                                                      const QStringList &taken,
                                                      const QString &initial) -> QString {
        QPointer<InputFileNameDialog> dialog(new InputFileNameDialog(parent));
        dialog->setWindowTitle(title);
        dialog->setText(text);
        dialog->setErrorText(takenText);
        dialog->setExceptions(taken);
        dialog->lineEdit()->setValidator(new FileNameValidator(dialog->lineEdit()));
        dialog->setFileName(initial);
        QString name;
        if (dialog->exec() == QDialog::Accepted && dialog)
            name = dialog->fileName();
        delete dialog.data();
        return name;
    };
    return prompt;
}

ScriptFilesManager::Question &question()
{
    static ScriptFilesManager::Question ask = [](QWidget *parent, const QString &title,
                                                 const QString &text) {
        QPointer<QMessageBox> box(new QMessageBox(QMessageBox::Question, title, text,
                                                  QMessageBox::Yes | QMessageBox::No, parent));
        box->setWindowModality(Qt::WindowModal);
        const bool yes = box->exec() == QMessageBox::Yes;
        delete box.data();
        return yes;
    };
    return ask;
}

} // namespace

void ScriptFilesManager::setNamePrompt(NamePrompt prompt)
{
    namePrompt() = std::move(prompt);
}

void ScriptFilesManager::setQuestion(Question ask)
{
    question() = std::move(ask);
}

QString ScriptFilesManager::duplicateName(const QString &name, const QStringList &taken)
{
    auto isTaken = [&](const QString &candidate) {
        return std::any_of(taken.cbegin(), taken.cend(), [&](const QString &t) {
            return QString::compare(t, candidate, Qt::CaseInsensitive) == 0;
        });
    };
    QString candidate = name + QStringLiteral("_2");
    while (isTaken(candidate))
        candidate += QStringLiteral("_2");
    return candidate;
}

ScriptFilesManager::ScriptFilesManager(QWidget *parent)
    : ScriptFilesManager(StudyFilesModel::instance(), FunctionFilesModel::instance(), parent)
{
}

ScriptFilesManager::ScriptFilesManager(StudyFilesModel *studies, FunctionFilesModel *functions,
                                       QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ScriptFilesManager>())
    , m_studies(studies)
    , m_functions(functions)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (m_studies)
        m_studies->reload();
    if (m_functions)
        m_functions->reload();
    m_ui->studiesView->setModel(m_studies);
    m_ui->functionsView->setModel(m_functions);
    for (QTreeView *view : {m_ui->studiesView, m_ui->functionsView}) {
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        if (view->selectionModel())
            connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                    &ScriptFilesManager::selectionChanged);
        connect(view, &QTreeView::doubleClicked, this,
                qOverload<const QModelIndex &>(&ScriptFilesManager::openFile));
    }
    for (ScriptFilesModel *model : {static_cast<ScriptFilesModel *>(m_studies.data()),
                                    static_cast<ScriptFilesModel *>(m_functions.data())}) {
        if (model)
            connect(model, &ScriptFilesModel::fileChanged, this, &ScriptFilesManager::fileChanged);
    }
    connect(m_ui->tabWidget, &QTabWidget::currentChanged, this, &ScriptFilesManager::tabChanged);
    connect(m_ui->addButton, &QPushButton::clicked, this, &ScriptFilesManager::addFile);
    connect(m_ui->duplicateButton, &QPushButton::clicked, this, &ScriptFilesManager::duplicateFile);
    connect(m_ui->renameButton, &QPushButton::clicked, this, &ScriptFilesManager::renameFile);
    connect(m_ui->openButton, &QPushButton::clicked, this, qOverload<>(&ScriptFilesManager::openFile));
    connect(m_ui->deleteButton, &QPushButton::clicked, this, &ScriptFilesManager::delFile);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    DialogSize::restore(this, QStringLiteral("TechAnalysis/ScriptCodeEditor"),
                        {m_ui->studiesView, m_ui->functionsView});
    selectionChanged();
}

ScriptFilesManager::~ScriptFilesManager() = default;

bool ScriptFilesManager::isStudyTab() const
{
    return m_ui->tabWidget->currentIndex() == 0;
}

ScriptFilesModel *ScriptFilesManager::currentModel() const
{
    return isStudyTab() ? static_cast<ScriptFilesModel *>(m_studies.data())
                        : static_cast<ScriptFilesModel *>(m_functions.data());
}

QTreeView *ScriptFilesManager::currentView() const
{
    return isStudyTab() ? m_ui->studiesView : m_ui->functionsView;
}

QString ScriptFilesManager::selectedName() const
{
    ScriptFilesModel *model = currentModel();
    QItemSelectionModel *selection = currentView()->selectionModel();
    if (!model || !selection || selection->selectedRows().isEmpty())
        return {};
    return model->nameAt(selection->selectedRows().first().row());
}

void ScriptFilesManager::selectName(const QString &name)
{
    ScriptFilesModel *model = currentModel();
    QItemSelectionModel *selection = currentView()->selectionModel();
    if (!model || !selection)
        return;
    const int row = model->rowOf(name);
    if (row < 0) {
        selection->clearSelection();
        return;
    }
    selection->select(model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->setCurrentIndex(model->index(row, 0), QItemSelectionModel::NoUpdate);
}

void ScriptFilesManager::selectionChanged()
{
    ScriptFilesModel *model = currentModel();
    const QString name = selectedName();
    const bool selected = !name.isEmpty();
    const bool user = selected && model && model->isUserFile(model->rowOf(name));
    m_ui->duplicateButton->setEnabled(selected);
    m_ui->openButton->setEnabled(selected);
    m_ui->renameButton->setEnabled(user);
    m_ui->deleteButton->setEnabled(user);
}

void ScriptFilesManager::tabChanged()
{
    selectionChanged();
}

void ScriptFilesManager::showError(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("managerError"));
    box->open();
}

void ScriptFilesManager::openEditor(const QString &name, bool readOnly,
                                    const std::function<void()> &onSaved)
{
    QDialog *editor = nullptr;
    if (isStudyTab()) {
        auto *study = new StudyEditor(m_studies, name, readOnly, this);
        connect(study, &StudyEditor::saved, this, [onSaved] {
            if (onSaved)
                onSaved();
        });
        editor = study;
    } else {
        auto *function = new FunctionsEditor(m_functions, name, readOnly, this);
        connect(function, &FunctionsEditor::saved, this, [onSaved] {
            if (onSaved)
                onSaved();
        });
        editor = function;
    }
    editor->setWindowModality(Qt::WindowModal);
    editor->open();
}

void ScriptFilesManager::addFile()
{
    ScriptFilesModel *model = currentModel();
    if (!model)
        return;
    const bool study = isStudyTab();
    const QString name = namePrompt()(
        this, study ? QStringLiteral("Добавление нового индикатора") : QStringLiteral("Добавление новой функции"),
        study ? QStringLiteral("Введите имя индикатора:") : QStringLiteral("Введите имя функции:"),
        study ? QStringLiteral("Индикатор с таким именем уже существует.")
              : QStringLiteral("Функция с таким именем уже существует."),
        model->existingNames(), QString());
    if (name.isEmpty())
        return;
    if (!ScriptFileFormat::isSafeName(name) || model->isTaken(name)) {
        showError(QStringLiteral("Имя %1 недопустимо или занято").arg(name));
        return;
    }
    QPointer<ScriptFilesModel> guard(model);
    openEditor(name, false, [this, guard, name] {
        if (!guard)
            return;
        guard->add(name);
        selectName(name);
    });
}

void ScriptFilesManager::duplicateFile()
{
    ScriptFilesModel *model = currentModel();
    const QString from = selectedName();
    if (!model || from.isEmpty())
        return;
    const bool study = isStudyTab();
    const QString name = namePrompt()(
        this, QStringLiteral("Дублирование"),
        study ? QStringLiteral("Введите имя индикатора:") : QStringLiteral("Введите имя функции:"),
        study ? QStringLiteral("Индикатор с таким именем уже существует.")
              : QStringLiteral("Функция с таким именем уже существует."),
        model->existingNames(), duplicateName(from, model->existingNames()));
    if (name.isEmpty())
        return;
    QString error;
    if (!model->duplicate(from, name, &error)) {
        showError(error);
        return;
    }
    selectName(name);
}

void ScriptFilesManager::renameFile()
{
    ScriptFilesModel *model = currentModel();
    const QString from = selectedName();
    if (!model || from.isEmpty() || !model->isUserFile(model->rowOf(from)))
        return;
    const bool study = isStudyTab();
    QStringList taken = model->existingNames();
    taken.removeAll(from);
    const QString name = namePrompt()(
        this, QStringLiteral("Переименование"),
        study ? QStringLiteral("Введите имя индикатора:") : QStringLiteral("Введите имя функции:"),
        study ? QStringLiteral("Индикатор с таким именем уже существует.")
              : QStringLiteral("Функция с таким именем уже существует."),
        taken, from);
    if (name.isEmpty() || name == from)
        return;
    QString error;
    if (!model->rename(model->rowOf(from), name, &error)) {
        showError(error);
        return;
    }
    selectName(name);
}

void ScriptFilesManager::openFile(const QModelIndex &ind)
{
    ScriptFilesModel *model = currentModel();
    if (!model || !ind.isValid())
        return;
    const QString name = model->nameAt(ind.row());
    openEditor(name, !model->isUserFile(ind.row()), {});
}

void ScriptFilesManager::openFile()
{
    ScriptFilesModel *model = currentModel();
    const QString name = selectedName();
    if (model && !name.isEmpty())
        openFile(model->index(model->rowOf(name), 0));
}

void ScriptFilesManager::delFile()
{
    ScriptFilesModel *model = currentModel();
    const QString name = selectedName();
    if (!model || name.isEmpty() || !model->isUserFile(model->rowOf(name)))
        return;
    const bool study = isStudyTab();
    QPointer<ScriptFilesModel> guard(model);
    if (!question()(this,
                    QStringLiteral("Удаление %1").arg(study ? QStringLiteral("индикатора") : QStringLiteral("функции")),
                    QStringLiteral("Вы действительно хотите удалить \n%1 '%2'?")
                        .arg(study ? QStringLiteral("индикатор") : QStringLiteral("функцию"), name)))
        return;
    // The question ran its own event loop: the row is looked up again.
    if (!guard)
        return;
    const int row = guard->rowOf(name);
    QString error;
    if (row < 0 || !guard->remove(row, &error)) {
        if (!error.isEmpty())
            showError(error);
        return;
    }
    const int next = qMin(row, guard->rowCount() - 1);
    if (next >= 0)
        selectName(guard->nameAt(next));
}

void ScriptFilesManager::done(int result)
{
    DialogSize::remember(this, QStringLiteral("TechAnalysis/ScriptCodeEditor"));
    QDialog::done(result);
}
