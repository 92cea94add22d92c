#pragma once

#include "taoptionspage.h"

#include <QPointer>

#include "sessionscheduleform.h"

// Weekly trading sessions of every stock and board.
class SessionSchedulePage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit SessionSchedulePage(QObject *parent = nullptr);

    SessionScheduleForm *form() const { return m_form; }

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    QPointer<SessionScheduleForm> m_form;
};
