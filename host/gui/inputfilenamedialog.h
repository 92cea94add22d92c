#pragma once

#include "hostdata_global.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QLineEdit;

namespace Ui {
class InputFileNameDialog;
}

// Asks for a name (of a template, a file, a set of settings) that must not be empty and must
// not be one of the names already taken. Callers put a validator on lineEdit() to restrict the
// characters.
class HOST_EXPORT InputFileNameDialog : public QDialog
{
    Q_OBJECT
public:
    explicit InputFileNameDialog(QWidget *parent = nullptr);
    ~InputFileNameDialog() override;

    // The prompt above the line edit.
    void setText(const QString &text);
    // Shown under the line edit while the name is one of the exceptions.
    void setErrorText(const QString &text);
    // Names that are refused, compared trimmed and case-insensitively.
    void setExceptions(const QStringList &exceptions);

    void setFileName(const QString &fileName);
    // The name as entered, trimmed.
    QString fileName() const;

    QLineEdit *lineEdit() const;

private Q_SLOTS:
    void on_lineEdit_textChanged(const QString &text);

private:
    void updateState();
    bool isException(const QString &name) const;

    std::unique_ptr<Ui::InputFileNameDialog> m_ui;
    QStringList m_exceptions;
};
