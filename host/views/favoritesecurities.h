#pragma once

#include "hostdata_global.h"

#include <QObject>
#include <QStringList>

// The user's favourite instruments and the instruments opened recently, as instrument keys
// "stock,board,security". One store per process, created on first use and never deleted; it
// reads the lists from AppSettings ("Favorites/securities", "Favorites/recent") when created
// and writes them back on every change.
//
// Not thread-safe: use it from the GUI thread only.
class HOST_EXPORT FavoriteSecurities : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxRecent = 10;

    static FavoriteSecurities *instance();

    QStringList favorites() const { return m_favorites; }
    // Duplicates and empty keys are dropped; the order is kept.
    void setFavorites(const QStringList &keys);
    void addFavorite(const QString &key);
    void removeFavorite(const QString &key);
    bool isFavorite(const QString &key) const;

    // Most recent first, at most MaxRecent keys, each once.
    QStringList recent() const { return m_recent; }
    // Puts the key at the front, moving it there when it is already listed.
    void addRecent(const QString &key);

    // Reads both lists again from the settings file (after the terminal switched files).
    void reload();

Q_SIGNALS:
    void changed();

private:
    FavoriteSecurities();
    void save();

    QStringList m_favorites;
    QStringList m_recent;
};
