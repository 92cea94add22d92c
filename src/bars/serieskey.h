#pragma once

#include <QMetaType>
#include <QString>

// An instrument as the host's tables name it.
struct SeriesKey
{
    int stock_id = 0;
    int board_id = 0;
    qint64 sec_id = 0;

    // Parses an instrument key "stock,board,security" (three decimal numbers). Throws a
    // QString naming what is wrong: "Invalid key : <text>" when there are not exactly three
    // parts, "stock_id, key <text>" (board_id, sec_id) for the first part that is not a
    // number.
    static SeriesKey fromString(const QString &text);
    QString toString() const;

    bool operator==(const SeriesKey &other) const
    {
        return stock_id == other.stock_id && board_id == other.board_id && sec_id == other.sec_id;
    }
    bool operator!=(const SeriesKey &other) const { return !(*this == other); }
    bool operator<(const SeriesKey &other) const
    {
        if (stock_id != other.stock_id)
            return stock_id < other.stock_id;
        if (board_id != other.board_id)
            return board_id < other.board_id;
        return sec_id < other.sec_id;
    }
};

size_t qHash(const SeriesKey &key, size_t seed = 0) noexcept;

Q_DECLARE_METATYPE(SeriesKey)
