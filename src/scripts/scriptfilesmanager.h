#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

namespace Ui {
class ScriptFilesManager;
}
class FunctionFilesModel;
class QTreeView;
class ScriptFilesModel;
class StudyFilesModel;

// The indicator and function files: a tab for each registry, and the add, duplicate, rename,
// open and delete flows. Changes go through the registries, which refuse what would overwrite
// or lose a file; a refusal is shown and the list stays as it was.
class ScriptFilesManager : public QDialog
{
    Q_OBJECT
public:
    // Asks for a name: title, prompt, the text for a taken name, the taken names, the name to
    // start from; empty when cancelled. The host's name dialog unless replaced (tests).
    using NamePrompt = std::function<QString(QWidget *parent, const QString &title,
                                             const QString &prompt, const QString &takenText,
                                             const QStringList &taken, const QString &initial)>;
    // Asks a yes/no question; the host's question box unless replaced (tests).
    using Question = std::function<bool(QWidget *parent, const QString &title, const QString &text)>;
    static void setNamePrompt(NamePrompt prompt);
    static void setQuestion(Question question);

    // n_2 for n, and n_2_2 when n_2 is taken too (ignoring case).
    static QString duplicateName(const QString &name, const QStringList &taken);

    ScriptFilesManager(StudyFilesModel *studies, FunctionFilesModel *functions,
                       QWidget *parent = nullptr);
    explicit ScriptFilesManager(QWidget *parent = nullptr);
    ~ScriptFilesManager() override;

    Ui::ScriptFilesManager *form() const { return m_ui.get(); }
    ScriptFilesModel *currentModel() const;
    QTreeView *currentView() const;
    // The name of the selected row of the current tab, empty when none.
    QString selectedName() const;
    void selectName(const QString &name);

Q_SIGNALS:
    void fileChanged(const QString &fileName);

public Q_SLOTS:
    void selectionChanged();
    void tabChanged();
    void addFile();
    void duplicateFile();
    void renameFile();
    void openFile(const QModelIndex &ind);
    void openFile();
    void delFile();

protected:
    void done(int result) override;

private:
    bool isStudyTab() const;
    void showError(const QString &text);
    // Opens the editor of the name; once saved, onSaved runs (the add flow lists the name).
    void openEditor(const QString &name, bool readOnly, const std::function<void()> &onSaved);

    std::unique_ptr<Ui::ScriptFilesManager> m_ui;
    QPointer<StudyFilesModel> m_studies;
    QPointer<FunctionFilesModel> m_functions;
};
