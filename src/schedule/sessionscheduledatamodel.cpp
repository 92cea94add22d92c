#include "sessionscheduledatamodel.h"

#include <QMessageBox>

SessionScheduleDataModel::SessionScheduleDataModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

void SessionScheduleDataModel::setSessions(const SessionList &sessions)
{
    beginResetModel();
    m_sessions = sessions;
    endResetModel();
    Q_EMIT scheduleChanged();
}

SessionScheduleDataModel::Fields SessionScheduleDataModel::fieldsOf(const Session &s)
{
    const int close = s.end() % Session::MinutesPerWeek;
    const int openOfDay = s.open % Session::MinutesPerDay;
    const int closeOfDay = close % Session::MinutesPerDay;
    return {s.open / Session::MinutesPerDay + 1, QTime(openOfDay / 60, openOfDay % 60),
            close / Session::MinutesPerDay + 1, QTime(closeOfDay / 60, closeOfDay % 60)};
}

Session SessionScheduleDataModel::sessionOf(const Fields &f)
{
    const int open = (f.openDay - 1) * Session::MinutesPerDay + f.openTime.hour() * 60
                     + f.openTime.minute();
    const int close = (f.closeDay - 1) * Session::MinutesPerDay + f.closeTime.hour() * 60
                      + f.closeTime.minute();
    int length = close - open;
    if (f.openDay == 7 && f.closeDay == 1)
        length += Session::MinutesPerWeek;
    return {open, length};
}

QString SessionScheduleDataModel::checkSession(const Fields &fields, int skipRow) const
{
    const Session s = sessionOf(fields);
    const int o = s.open;
    const int c = o + s.length - (fields.openDay == 7 && fields.closeDay == 1
                                      ? Session::MinutesPerWeek
                                      : 0);
    if (!(fields.openDay == 7 && fields.closeDay == 1) && c <= o)
        return tr("Время начала сессии превышает время ее окончания.");
    if (s.length > Session::MinutesPerDay)
        return tr("Длина сессии более 24 часов.");
    const int e = o + s.length;
    for (int j = 0; j < m_sessions.size(); ++j) {
        if (j == skipRow)
            continue;
        // The week repeats: a session running over into Monday meets next week's first
        // sessions, and last week's overrun meets this week's Monday.
        for (const int shift : {-Session::MinutesPerWeek, 0, Session::MinutesPerWeek}) {
            const int oj = m_sessions.at(j).open + shift;
            const int ej = m_sessions.at(j).end() + shift;
            if (oj < e && o < ej)
                return tr("Сессия пересекается с другими сессиями.");
        }
    }
    return {};
}

void SessionScheduleDataModel::sortSessions()
{
    std::stable_sort(m_sessions.begin(), m_sessions.end(),
                     [](const Session &a, const Session &b) { return a.open < b.open; });
}

bool SessionScheduleDataModel::addSession(const Fields &fields, QString *message)
{
    const QString why = checkSession(fields, -1);
    if (message)
        *message = why;
    if (!why.isEmpty())
        return false;
    beginResetModel();
    m_sessions.append(sessionOf(fields));
    sortSessions();
    endResetModel();
    Q_EMIT scheduleChanged();
    return true;
}

bool SessionScheduleDataModel::replaceSession(int row, const Fields &fields, QString *message)
{
    if (row < 0 || row >= m_sessions.size())
        return false;
    const QString why = checkSession(fields, row);
    if (message)
        *message = why;
    if (!why.isEmpty())
        return false;
    beginResetModel();
    m_sessions[row] = sessionOf(fields);
    sortSessions();
    endResetModel();
    Q_EMIT scheduleChanged();
    return true;
}

QModelIndex SessionScheduleDataModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex SessionScheduleDataModel::parent(const QModelIndex &child) const
{
    Q_UNUSED(child)
    return {};
}

int SessionScheduleDataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_sessions.size());
}

int SessionScheduleDataModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SessionScheduleDataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_sessions.size())
        return {};
    const Session &s = m_sessions.at(index.row());
    const Fields f = fieldsOf(s);
    if (role == Qt::UserRole || role == Qt::EditRole) {
        switch (index.column()) {
        case OpenDay: return f.openDay;
        case OpenTime: return f.openTime;
        case CloseDay: return f.closeDay;
        case CloseTime: return f.closeTime;
        default: return s.length;
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    auto time = [](const QTime &t) {
        return QStringLiteral("%1:%2").arg(t.hour(), 2, 10, QChar(u'0')).arg(t.minute(), 2, 10,
                                                                              QChar(u'0'));
    };
    switch (index.column()) {
    case OpenDay: return dayName(f.openDay);
    case OpenTime: return time(f.openTime);
    case CloseDay: return dayName(f.closeDay);
    case CloseTime: return time(f.closeTime);
    case Length:
        return QStringLiteral("%1 %2 %3 %4")
            .arg(s.length / 60)
            .arg(tr("ч"))
            .arg(s.length % 60)
            .arg(tr("мин"));
    }
    return {};
}

QVariant SessionScheduleDataModel::headerData(int section, Qt::Orientation orientation,
                                              int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractItemModel::headerData(section, orientation, role);
    switch (section) {
    case OpenDay: return tr("Открытие");
    case OpenTime: return tr("Время");
    case CloseDay: return tr("Закрытие");
    case CloseTime: return tr("Время");
    case Length: return tr("Длина");
    }
    return {};
}

Qt::ItemFlags SessionScheduleDataModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractItemModel::flags(index);
    if (index.isValid() && index.column() != Length)
        f |= Qt::ItemIsEditable;
    return f;
}

void SessionScheduleDataModel::refuse(const QString &message)
{
    Q_EMIT inputRefused(message);
    if (m_warningsShown) {
        QMessageBox box(QMessageBox::Warning, tr("Введено некорректное значение"), message,
                        QMessageBox::Ok);
        box.exec();
    }
}

bool SessionScheduleDataModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= m_sessions.size())
        return false;
    Fields f = fieldsOf(m_sessions.at(index.row()));
    switch (index.column()) {
    case OpenDay:
    case CloseDay: {
        bool ok = false;
        const int day = value.toInt(&ok);
        if (!ok || day < 1 || day > 7)
            return false;
        (index.column() == OpenDay ? f.openDay : f.closeDay) = day;
        break;
    }
    case OpenTime:
    case CloseTime: {
        const QTime t = value.toTime();
        if (!t.isValid())
            return false;
        (index.column() == OpenTime ? f.openTime : f.closeTime) = QTime(t.hour(), t.minute());
        break;
    }
    default: return false;
    }
    QString message;
    if (!replaceSession(index.row(), f, &message)) {
        refuse(message);
        return false;
    }
    return true;
}

bool SessionScheduleDataModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > m_sessions.size())
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    m_sessions.remove(row, count);
    endRemoveRows();
    Q_EMIT scheduleChanged();
    return true;
}
