#pragma once

#include "sessionscheduledatamodel.h"

#include <QDialog>

#include <memory>

namespace Ui {
class SessionEditForm;
}

// Adds a session to a schedule or edits one of its sessions; OK is enabled only while the
// session fits among the others.
class SessionEditForm : public QDialog
{
    Q_OBJECT
public:
    // row < 0 adds a session, otherwise edits that row.
    SessionEditForm(const SessionScheduleDataModel *model, int row, QWidget *parent = nullptr);
    ~SessionEditForm() override;

    SessionScheduleDataModel::Fields fields() const;
    void setFields(const SessionScheduleDataModel::Fields &fields);
    QString warning() const;

public Q_SLOTS:
    void checkSession();

private:
    std::unique_ptr<Ui::SessionEditForm> m_ui;
    const SessionScheduleDataModel *m_model;
    int m_row;
};
