#include "favoritesecurities.h"

#include "appsettings.h"

#include <QCoreApplication>

namespace {

const QString FavoritesKey = QStringLiteral("Favorites/securities");
const QString RecentKey = QStringLiteral("Favorites/recent");

QStringList cleaned(const QStringList &keys, int limit = -1)
{
    QStringList result;
    for (const QString &key : keys) {
        const QString k = key.trimmed();
        if (k.isEmpty() || result.contains(k))
            continue;
        result.append(k);
        if (limit >= 0 && result.size() >= limit)
            break;
    }
    return result;
}

} // namespace

FavoriteSecurities::FavoriteSecurities()
{
    // Signals of the store are meant for widgets: keep it in the GUI thread.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());
    reload();
}

FavoriteSecurities *FavoriteSecurities::instance()
{
    // Never deleted: views may still call it while static objects are destroyed.
    static FavoriteSecurities *const store = new FavoriteSecurities;
    return store;
}

void FavoriteSecurities::reload()
{
    AppSettings settings;
    const QStringList favorites = cleaned(settings.value(FavoritesKey).toStringList());
    const QStringList recent = cleaned(settings.value(RecentKey).toStringList(), MaxRecent);
    if (favorites == m_favorites && recent == m_recent)
        return;
    m_favorites = favorites;
    m_recent = recent;
    emit changed();
}

void FavoriteSecurities::save()
{
    AppSettings settings;
    settings.setValue(FavoritesKey, m_favorites);
    settings.setValue(RecentKey, m_recent);
}

void FavoriteSecurities::setFavorites(const QStringList &keys)
{
    const QStringList favorites = cleaned(keys);
    if (favorites == m_favorites)
        return;
    m_favorites = favorites;
    save();
    emit changed();
}

void FavoriteSecurities::addFavorite(const QString &key)
{
    const QString k = key.trimmed();
    if (k.isEmpty() || m_favorites.contains(k))
        return;
    m_favorites.append(k);
    save();
    emit changed();
}

void FavoriteSecurities::removeFavorite(const QString &key)
{
    if (m_favorites.removeAll(key.trimmed()) == 0)
        return;
    save();
    emit changed();
}

bool FavoriteSecurities::isFavorite(const QString &key) const
{
    return m_favorites.contains(key.trimmed());
}

void FavoriteSecurities::addRecent(const QString &key)
{
    const QString k = key.trimmed();
    if (k.isEmpty() || (!m_recent.isEmpty() && m_recent.first() == k))
        return;
    m_recent.removeAll(k);
    m_recent.prepend(k);
    while (m_recent.size() > MaxRecent)
        m_recent.removeLast();
    save();
    emit changed();
}
