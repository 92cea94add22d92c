#include "refusal.h"

#include "talogging.h"

#include <QMessageBox>

void showRefusal(QWidget *parent, const QString &text)
{
    qCWarning(lcChart).noquote() << text;
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Тех. анализ"), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("refusal"));
    box->open();
}
