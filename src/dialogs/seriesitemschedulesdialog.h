#pragma once

#include <QDialog>

class SessionScheduleForm;

// The schedule of one instrument's stock and board, opened from the series' property dialog:
// the session schedule form for them alone and an "OK" button. OK writes the schedules of that
// stock and board to the store; the schedules of every other stock and board are left alone.
class SeriesItemScheduleDialog : public QDialog
{
    Q_OBJECT
public:
    static QString sizeGroup()
    {
        return QStringLiteral("TechAnalysis/SeriesItemPropertyScheduleDialog");
    }

    SeriesItemScheduleDialog(int stockId, int boardId, const QString &itemName,
                             QWidget *parent = nullptr);
    ~SeriesItemScheduleDialog() override;

    SessionScheduleForm *form() const { return m_form; }

public Q_SLOTS:
    void accept() override;

private:
    SessionScheduleForm *m_form;
};
