#pragma once

#include "datetime.h"
#include "decimal.h"
#include "xdecimal.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// Reads one block of a history service reply: {"metadata": {column: {"type", "bytes"}},
// "columns": [names], "data": [[values], ...]}, checked against the columns and types the
// caller expects. Format problems throw a QString naming them; a reply that may be fine when
// asked again (a short row) throws an empty QString.
class ResponseParser
{
public:
    struct Column
    {
        QString name;
        QStringList types; // accepted "type" values
        int bytes = -1;    // expected "bytes", or -1 when any
    };

    ResponseParser(const QJsonObject &reply, const QString &block, const QList<Column> &columns);

    // The columns the history client reads from each of the service's blocks.
    static QList<Column> namesColumns();
    static QList<Column> bordersColumns();
    static QList<Column> candleColumns();

    // Parses reply bytes into the root object; false (with the reason) when they are not a JSON
    // object.
    static bool parseDocument(const QByteArray &bytes, QJsonObject *root, QString *error);
    static bool hasBlock(const QJsonObject &reply, const QString &block);

    // Checks the block and stands on its first row. False when the block is missing or
    // malformed or has no rows.
    bool init();
    int rowCount() const { return int(m_data.size()); }
    int row() const { return m_row; }
    bool atEnd() const { return m_row >= m_data.size(); }
    // Moves to the next row; false at the end.
    bool nextRow();

    // Values of the current row. A value that is null or of the wrong kind sets *ok to false
    // and gives an empty result.
    QString toString(const QString &column, bool *ok = nullptr) const;
    int toInt(const QString &column, bool *ok = nullptr) const;
    qint64 toInt64(const QString &column, bool *ok = nullptr) const;
    double toDouble(const QString &column, bool *ok = nullptr) const;
    // Numbers go through their shortest round-trip text: 255.99 stays 255.99.
    decimal toDecimal(const QString &column, bool *ok = nullptr) const;
    xdecimal toXDecimal(const QString &column, bool *ok = nullptr) const;
    QDate toDate(const QString &column, bool *ok = nullptr) const;
    QTime toTime(const QString &column, bool *ok = nullptr) const;
    datetime toDatetime(const QString &column, bool *ok = nullptr) const;

    // The same by a column's position in the rows (position()), looked up once for a block:
    // reading a page calls them for every field.
    int position(const QString &column) const;
    double doubleAt(int position, bool *ok = nullptr) const;
    decimal decimalAt(int position, bool *ok = nullptr) const;
    xdecimal xdecimalAt(int position, bool *ok = nullptr) const;
    datetime datetimeAt(int position, bool *ok = nullptr) const;

private:
    QJsonValue value(const QString &column, bool *ok) const;
    QJsonValue valueAt(int position) const;
    void checkRowLength(const char *where) const;

    QJsonObject m_reply;
    QString m_block;
    QList<Column> m_columns;
    QJsonObject m_metadata;
    QJsonArray m_data;
    QHash<QString, int> m_positions;
    QList<QPair<QString, int>> m_expected;
    int m_described = 0;
    int m_row = 0;
    QJsonArray m_current;
};
