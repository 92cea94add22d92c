#include "inputfilenamedialog.h"

#include "ui_inputfilenamedialog.h"

#include <QPushButton>

InputFileNameDialog::InputFileNameDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::InputFileNameDialog>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("ОК"));
    m_ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QPalette errorPalette = m_ui->errorLabel->palette();
    errorPalette.setColor(QPalette::WindowText, Qt::red);
    m_ui->errorLabel->setPalette(errorPalette);
    m_ui->errorLabel->setText(tr("Такое имя уже есть"));
    updateState();
}

InputFileNameDialog::~InputFileNameDialog() = default;

void InputFileNameDialog::setText(const QString &text)
{
    m_ui->label->setText(text);
}

void InputFileNameDialog::setErrorText(const QString &text)
{
    m_ui->errorLabel->setText(text);
}

void InputFileNameDialog::setExceptions(const QStringList &exceptions)
{
    m_exceptions.clear();
    for (const QString &name : exceptions)
        m_exceptions.append(name.trimmed());
    updateState();
}

void InputFileNameDialog::setFileName(const QString &fileName)
{
    m_ui->lineEdit->setText(fileName);
    updateState();
}

QString InputFileNameDialog::fileName() const
{
    return m_ui->lineEdit->text().trimmed();
}

QLineEdit *InputFileNameDialog::lineEdit() const
{
    return m_ui->lineEdit;
}

void InputFileNameDialog::on_lineEdit_textChanged(const QString &text)
{
    Q_UNUSED(text)
    updateState();
}

bool InputFileNameDialog::isException(const QString &name) const
{
    return m_exceptions.contains(name, Qt::CaseInsensitive);
}

void InputFileNameDialog::updateState()
{
    const QString name = fileName();
    const bool taken = !name.isEmpty() && isException(name);
    // A validator may leave the text intermediate: such a name is not accepted either.
    const bool ok = !name.isEmpty() && !taken && m_ui->lineEdit->hasAcceptableInput();
    m_ui->errorLabel->setVisible(taken);
    if (QPushButton *button = m_ui->buttonBox->button(QDialogButtonBox::Ok))
        button->setEnabled(ok);
}
