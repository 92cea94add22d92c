#include "filenamevalidator.h"

#include <QLineEdit>
#include <QToolTip>

QString FileNameValidator::toolTipText()
{
    return QStringLiteral("Имя может содержать только латинские символы или цифры");
}

FileNameValidator::FileNameValidator(QLineEdit *edit)
    : QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[a-z0-9_\\-]+$"),
                                                     QRegularExpression::CaseInsensitiveOption),
                                  edit)
    , m_edit(edit)
{
}

QValidator::State FileNameValidator::validate(QString &input, int &pos) const
{
    const State state = QRegularExpressionValidator::validate(input, pos);
    if (m_edit) {
        if (state == Invalid)
            QToolTip::showText(m_edit->mapToGlobal(QPoint(0, 0)), toolTipText(), m_edit);
        else
            QToolTip::hideText();
    }
    return state;
}
