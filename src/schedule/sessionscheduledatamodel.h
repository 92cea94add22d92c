#pragma once

#include "session.h"

#include <QAbstractItemModel>
#include <QTime>

// One weekly schedule as a table: open day and time, close day and time, length. Edits are
// checked against the other sessions; a refused edit is explained in a warning box and the old
// value stays.
class SessionScheduleDataModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { OpenDay = 0, OpenTime, CloseDay, CloseTime, Length, ColumnCount };

    // The four fields through which a session is edited.
    struct Fields
    {
        int openDay = 1;
        QTime openTime{0, 0};
        int closeDay = 1;
        QTime closeTime{0, 0};
    };

    explicit SessionScheduleDataModel(QObject *parent = nullptr);

    void setSessions(const SessionList &sessions);
    SessionList sessions() const { return m_sessions; }
    Session session(int row) const { return m_sessions.value(row); }

    static Fields fieldsOf(const Session &session);
    // open, length from the four fields; the length wraps over the week's end when a session
    // opens on Sunday and closes on Monday.
    static Session sessionOf(const Fields &fields);

    // Why the session is not acceptable next to the others (row skipRow is left out), or an
    // empty text.
    QString checkSession(const Fields &fields, int skipRow) const;

    // Inserts in order of opening; false (with the message) when checkSession refuses it.
    bool addSession(const Fields &fields, QString *message = nullptr);
    bool replaceSession(int row, const Fields &fields, QString *message = nullptr);

    // Whether refused edits show a warning box (on by default).
    void setWarningsShown(bool shown) { m_warningsShown = shown; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;

Q_SIGNALS:
    // Emitted after every change of the sessions.
    void scheduleChanged();
    void inputRefused(const QString &message);

private:
    void refuse(const QString &message);
    void sortSessions();

    SessionList m_sessions;
    bool m_warningsShown = true;
};
