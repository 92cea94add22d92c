#include "sessioneditform.h"

#include "ui_sessioneditform.h"

#include <QPushButton>

SessionEditForm::SessionEditForm(const SessionScheduleDataModel *model, int row, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::SessionEditForm>())
    , m_model(model)
    , m_row(row)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(row < 0 ? tr("Добавление сессии") : tr("Редактирование сессии"));
    for (int day = 1; day <= 7; ++day) {
        m_ui->openDayComboBox->addItem(dayName(day), day);
        m_ui->closeDayComboBox->addItem(dayName(day), day);
    }
    SessionScheduleDataModel::Fields initial;
    if (row >= 0) {
        initial = SessionScheduleDataModel::fieldsOf(model->session(row));
    } else {
        // A new session starts on the day after the last one, at the usual market hours.
        const SessionList sessions = model->sessions();
        const int day = sessions.isEmpty()
                            ? 1
                            : qMin(7, sessions.constLast().open / Session::MinutesPerDay + 2);
        initial = {day, QTime(10, 0), day, QTime(18, 45)};
    }
    setFields(initial);
    connect(m_ui->openDayComboBox, &QComboBox::currentIndexChanged, this,
            &SessionEditForm::checkSession);
    connect(m_ui->closeDayComboBox, &QComboBox::currentIndexChanged, this,
            &SessionEditForm::checkSession);
    connect(m_ui->openTimeEdit, &QTimeEdit::timeChanged, this, &SessionEditForm::checkSession);
    connect(m_ui->closeTimeEdit, &QTimeEdit::timeChanged, this, &SessionEditForm::checkSession);
    checkSession();
}

SessionEditForm::~SessionEditForm() = default;

SessionScheduleDataModel::Fields SessionEditForm::fields() const
{
    return {m_ui->openDayComboBox->currentData().toInt(), m_ui->openTimeEdit->time(),
            m_ui->closeDayComboBox->currentData().toInt(), m_ui->closeTimeEdit->time()};
}

void SessionEditForm::setFields(const SessionScheduleDataModel::Fields &fields)
{
    m_ui->openDayComboBox->setCurrentIndex(fields.openDay - 1);
    m_ui->openTimeEdit->setTime(fields.openTime);
    m_ui->closeDayComboBox->setCurrentIndex(fields.closeDay - 1);
    m_ui->closeTimeEdit->setTime(fields.closeTime);
    checkSession();
}

QString SessionEditForm::warning() const
{
    return m_ui->warningLabel->text();
}

void SessionEditForm::checkSession()
{
    const QString message = m_model->checkSession(fields(), m_row);
    m_ui->warningLabel->setText(message);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(message.isEmpty());
}
