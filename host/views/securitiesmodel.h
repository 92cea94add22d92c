#pragma once

#include "hostdata_global.h"

#include <QAbstractTableModel>
#include <QList>

// The securities of the host's "securities" table with their board and stock names, read once
// (reload() reads again). Columns: code, name, board name, stock name.
class HOST_EXPORT SecuritiesModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { CodeColumn, NameColumn, BoardColumn, StockColumn, ColumnCount };
    enum Roles {
        KeyRole = Qt::UserRole, // "stock,board,security", in every column
        SearchTextRole = Qt::UserRole + 2, // code and name, for filtering
    };

    explicit SecuritiesModel(QObject *parent = nullptr);

    // Only securities of boards that can be charted.
    bool chartOnly() const { return m_chartOnly; }
    void setChartOnly(bool chartOnly);

    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The row of a key, -1 when not listed.
    int rowOf(const QString &key) const;

private:
    struct Row
    {
        QString key;
        QString code;
        QString name;
        QString boardName;
        QString stockName;
    };

    QList<Row> m_rows;
    bool m_chartOnly = false;
};
