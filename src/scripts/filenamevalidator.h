#pragma once

#include <QPointer>
#include <QRegularExpressionValidator>

class QLineEdit;

// Names of indicator and function files: Latin letters of either case, digits, "_" and "-".
// While the text of the line edit is not such a name, a tool tip at its top left corner says
// what a name may hold.
class FileNameValidator : public QRegularExpressionValidator
{
    Q_OBJECT
public:
    static QString toolTipText();

    explicit FileNameValidator(QLineEdit *edit);

    State validate(QString &input, int &pos) const override;

private:
    QPointer<QLineEdit> m_edit;
};
