#pragma once

#include "scriptfile.h"

#include <QDialog>
#include <QPointer>

#include <memory>

namespace Ui {
class StudyEditor;
class FunctionsEditor;
}
class FunctionFilesModel;
class StudyFilesModel;

// The editor of one indicator file. Opened read-only for a built-in file. A file that cannot
// be read is shown with its error and cannot be saved, so that it is never overwritten by an
// empty indicator.
class StudyEditor : public QDialog
{
    Q_OBJECT
public:
    StudyEditor(StudyFilesModel *model, const QString &name, bool readOnly, QWidget *parent = nullptr);
    ~StudyEditor() override;

    QString name() const { return m_name; }
    bool isReadOnly() const { return m_readOnly; }
    QString readError() const { return m_readError; }
    // The fields as they stand, as a file.
    // What the form holds; throws the text for two rows of one name.
    StudyFile collect() const;
    Ui::StudyEditor *form() const { return m_ui.get(); }

Q_SIGNALS:
    void saved(const QString &name);

public Q_SLOTS:
    void on_buttonBox_accepted();
    void on_addParamsButton_clicked();
    void on_delParamsButton_clicked();
    void paramsSelectionChanged();
    void on_addStyleButton_clicked();
    void on_delStyleButton_clicked();
    void styleSelectionChanged();
    void on_codeEdit_textChanged();
    void onScalingModeChanged();
    void onPrecisionRadioChanged();

protected:
    void done(int result) override;

private:
    void fill(const StudyFile &file);
    void addParameterRow(const QString &name, const ScriptParameter &parameter);
    void addStyleRow(const QString &name, const PlotStyle &style);
    void applyReadOnly();

    std::unique_ptr<Ui::StudyEditor> m_ui;
    QPointer<StudyFilesModel> m_model;
    QString m_name;
    bool m_readOnly;
    QString m_readError;
};

// The editor of one function file.
class FunctionsEditor : public QDialog
{
    Q_OBJECT
public:
    FunctionsEditor(FunctionFilesModel *model, const QString &name, bool readOnly,
                    QWidget *parent = nullptr);
    ~FunctionsEditor() override;

    QString name() const { return m_name; }
    QString readError() const { return m_readError; }
    FunctionFile collect() const;
    Ui::FunctionsEditor *form() const { return m_ui.get(); }

Q_SIGNALS:
    void saved(const QString &name);

public Q_SLOTS:
    void on_buttonBox_accepted();
    void on_codeEdit_textChanged();

protected:
    void done(int result) override;

private:
    std::unique_ptr<Ui::FunctionsEditor> m_ui;
    QPointer<FunctionFilesModel> m_model;
    QString m_name;
    bool m_readOnly;
    QString m_readError;
};
