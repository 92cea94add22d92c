#pragma once

#include "hostdata_global.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QList>

class QTimer;

// The favourite instruments (in the user's order) followed by the recent ones that are not
// favourites, ready for menus and lists. Instruments missing from the security directory are
// left out. Follows FavoriteSecurities and the security directory.
class HOST_EXPORT FavSecModelProxyRecent : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Roles {
        KeyRole = Qt::UserRole, // "stock,board,security"
        FavoriteRole = Qt::UserRole + 1, // bool
        MenuTextRole = Qt::UserRole + 4, // "CODE — Name (BOARD)"
    };

    explicit FavSecModelProxyRecent(QObject *parent = nullptr);
    ~FavSecModelProxyRecent() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Rebuilds the rows now; the model resets only when they differ.
    void refresh();

private:
    struct Row
    {
        QString key;
        bool favorite = false;
        QString menuText;
        QString toolTip;

        bool operator==(const Row &other) const
        {
            return key == other.key && favorite == other.favorite && menuText == other.menuText
                && toolTip == other.toolTip;
        }
    };

    static bool makeRow(const QString &key, bool favorite, Row *row);
    QIcon icon(bool favorite) const;

    QList<Row> m_rows;
    // Coalesces bursts of directory changes (every price update is one) into one refresh.
    QTimer *m_refreshTimer = nullptr;
    mutable QIcon m_starIcon;
    mutable QIcon m_clockIcon;
};
