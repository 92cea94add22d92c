#include "serieskey.h"

#include <QHashFunctions>
#include <QStringList>

SeriesKey SeriesKey::fromString(const QString &text)
{
    const QStringList parts = text.split(u',', Qt::KeepEmptyParts);
    if (parts.size() != 3)
        throw QStringLiteral("Invalid key : %1").arg(text);
    SeriesKey key;
    bool ok = false;
    key.stock_id = parts.at(0).toInt(&ok);
    if (!ok)
        throw QStringLiteral("stock_id, key %1").arg(text);
    key.board_id = parts.at(1).toInt(&ok);
    if (!ok)
        throw QStringLiteral("board_id, key %1").arg(text);
    key.sec_id = parts.at(2).toLongLong(&ok);
    if (!ok)
        throw QStringLiteral("sec_id, key %1").arg(text);
    return key;
}

QString SeriesKey::toString() const
{
    return QStringLiteral("%1,%2,%3").arg(stock_id).arg(board_id).arg(sec_id);
}

size_t qHash(const SeriesKey &key, size_t seed) noexcept
{
    return qHashMulti(seed, key.stock_id, key.board_id, key.sec_id);
}
