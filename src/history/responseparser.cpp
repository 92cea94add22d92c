#include "responseparser.h"

#include "talogging.h"

#include <QDebug>
#include <QJsonDocument>
#include <QLocale>

#include <charconv>
#include <cmath>

ResponseParser::ResponseParser(const QJsonObject &reply, const QString &block,
                               const QList<Column> &columns)
    : m_reply(reply)
    , m_block(block)
    , m_columns(columns)
{
}

QList<ResponseParser::Column> ResponseParser::namesColumns()
{
    const QStringList string{QStringLiteral("string")};
    return {{QStringLiteral("SECID"), string},
            {QStringLiteral("BOARDID"), string},
            {QStringLiteral("SHORTNAME"), string}};
}

QList<ResponseParser::Column> ResponseParser::bordersColumns()
{
    return {{QStringLiteral("begin"), {QStringLiteral("datetime")}},
            {QStringLiteral("end"), {QStringLiteral("datetime")}},
            {QStringLiteral("interval"), {QStringLiteral("int32")}}};
}

QList<ResponseParser::Column> ResponseParser::candleColumns()
{
    const QStringList number{QStringLiteral("int64"), QStringLiteral("int32"),
                             QStringLiteral("double")};
    const QStringList price{QStringLiteral("double")};
    return {{QStringLiteral("open"), price},
            {QStringLiteral("close"), price},
            {QStringLiteral("high"), price},
            {QStringLiteral("low"), price},
            {QStringLiteral("value"), number},
            {QStringLiteral("volume"), number},
            {QStringLiteral("begin"), {QStringLiteral("datetime")}},
            {QStringLiteral("end"), {QStringLiteral("datetime")}}};
}

bool ResponseParser::parseDocument(const QByteArray &bytes, QJsonObject *root, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = parseError.errorString();
        return false;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("the reply is not a JSON object");
        return false;
    }
    *root = document.object();
    return true;
}

bool ResponseParser::hasBlock(const QJsonObject &reply, const QString &block)
{
    return reply.value(block).isObject();
}

void ResponseParser::checkRowLength(const char *where) const
{
    if (m_current.size() < m_described) {
        qCWarning(lcHistory).noquote() << where
                             << ": Received array \"data\" has less fields than described in "
                                "\"metadata\".";
        throw QString();
    }
}

bool ResponseParser::init()
{
    const QJsonValue blockValue = m_reply.value(m_block);
    if (!blockValue.isObject())
        return false;
    const QJsonObject block = blockValue.toObject();
    if (!block.value(QLatin1String("metadata")).isObject()
        || !block.value(QLatin1String("columns")).isArray()
        || !block.value(QLatin1String("data")).isArray())
        return false;
    m_metadata = block.value(QLatin1String("metadata")).toObject();
    m_data = block.value(QLatin1String("data")).toArray();
    m_positions.clear();
    const QJsonArray columns = block.value(QLatin1String("columns")).toArray();
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).isString())
            m_positions.insert(columns.at(i).toString(), int(i));
    }
    m_described = int(m_metadata.size());
    for (const Column &c : std::as_const(m_columns)) {
        const QJsonValue described = m_metadata.value(c.name);
        if (!described.isObject() || !m_positions.contains(c.name))
            throw QStringLiteral("ResponseParser::init: Field %1 not found in server response.")
                .arg(c.name);
        const QJsonObject meta = described.toObject();
        const QString type = meta.value(QLatin1String("type")).toString();
        if (!c.types.contains(type))
            throw QStringLiteral("ResponseParser::init: Field %1 has unexpected format %2 "
                                 "instead of: %3")
                .arg(c.name, type, c.types.join(u','));
        if (c.bytes >= 0) {
            const int bytes = meta.value(QLatin1String("bytes")).toInt(-1);
            if (bytes != c.bytes)
                throw QStringLiteral("ResponseParser::init: Field %1 has unexpected size %2 "
                                     "instead of %3")
                    .arg(c.name)
                    .arg(bytes)
                    .arg(c.bytes);
        }
    }
    m_expected.clear();
    for (const Column &c : std::as_const(m_columns))
        m_expected.append({c.name, m_positions.value(c.name, -1)});
    if (m_data.isEmpty())
        return false;
    m_row = 0;
    m_current = m_data.at(0).toArray();
    checkRowLength("ResponseParser::init");
    return true;
}

bool ResponseParser::nextRow()
{
    ++m_row;
    if (atEnd()) {
        m_current = {};
        return false;
    }
    m_current = m_data.at(m_row).toArray();
    checkRowLength("ResponseParser::nextRow");
    return true;
}

int ResponseParser::position(const QString &column) const
{
    // The few expected columns first: comparing short names beats hashing them.
    for (const auto &[name, at] : m_expected) {
        if (name == column)
            return at;
    }
    return m_positions.value(column, -1);
}

QJsonValue ResponseParser::valueAt(int position) const
{
    return position >= 0 && position < m_current.size() ? m_current.at(position) : QJsonValue();
}

QJsonValue ResponseParser::value(const QString &column, bool *ok) const
{
    const QJsonValue v = valueAt(position(column));
    if (ok)
        *ok = !v.isNull() && !v.isUndefined();
    return v;
}

QString ResponseParser::toString(const QString &column, bool *ok) const
{
    bool present = false;
    const QJsonValue v = value(column, &present);
    if (v.isString()) {
        if (ok)
            *ok = true;
        return v.toString();
    }
    if (v.isDouble()) {
        if (ok)
            *ok = true;
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    if (ok)
        *ok = false;
    return {};
}

qint64 ResponseParser::toInt64(const QString &column, bool *ok) const
{
    bool present = false;
    const QJsonValue v = value(column, &present);
    bool good = false;
    qint64 result = 0;
    if (v.isDouble()) {
        const double d = v.toDouble();
        good = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18;
        result = good ? qint64(d) : 0;
    } else if (v.isString()) {
        result = v.toString().trimmed().toLongLong(&good);
    }
    if (ok)
        *ok = good;
    return good ? result : 0;
}

int ResponseParser::toInt(const QString &column, bool *ok) const
{
    bool good = false;
    const qint64 v = toInt64(column, &good);
    good = good && v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
    if (ok)
        *ok = good;
    return good ? int(v) : 0;
}

double ResponseParser::toDouble(const QString &column, bool *ok) const
{
    return doubleAt(position(column), ok);
}

double ResponseParser::doubleAt(int position, bool *ok) const
{
    const QJsonValue v = valueAt(position);
    bool good = false;
    double d = 0;
    if (v.isDouble()) {
        d = v.toDouble();
        good = std::isfinite(d);
    } else if (v.isString()) {
        d = v.toString().trimmed().toDouble(&good);
        good = good && std::isfinite(d);
    }
    if (ok)
        *ok = good;
    return good ? d : 0.0;
}

namespace {

// The shortest text that reads back as the same double, as Latin-1 bytes.
QByteArrayView shortest(double d, char (&buffer)[40])
{
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return error == std::errc() ? QByteArrayView(buffer, end - buffer) : QByteArrayView();
}

} // namespace

decimal ResponseParser::toDecimal(const QString &column, bool *ok) const
{
    return decimalAt(position(column), ok);
}

decimal ResponseParser::decimalAt(int position, bool *ok) const
{
    const QJsonValue v = valueAt(position);
    bool good = false;
    decimal result;
    char buffer[40];
    if (v.isDouble() && std::isfinite(v.toDouble()))
        result = decimal::fromLatin1(shortest(v.toDouble(), buffer), &good);
    if (v.isDouble() && !good && std::isfinite(v.toDouble()))
        result = decimal::fromDouble(v.toDouble(), &good);
    else if (v.isString())
        result = decimal::fromString(v.toString(), &good);
    if (ok)
        *ok = good;
    return good ? result : decimal();
}

xdecimal ResponseParser::toXDecimal(const QString &column, bool *ok) const
{
    return xdecimalAt(position(column), ok);
}

xdecimal ResponseParser::xdecimalAt(int position, bool *ok) const
{
    const QJsonValue v = valueAt(position);
    bool good = false;
    xdecimal result;
    if (v.isDouble()) {
        // Through the shortest text that reads back as the same double.
        char buffer[40];
        const double d = v.toDouble();
        if (std::isfinite(d))
            result = xdecimal::fromLatin1(shortest(d, buffer), &good);
    } else if (v.isString()) {
        result = xdecimal::fromString(v.toString(), &good);
    }
    if (ok)
        *ok = good;
    return good ? result : xdecimal();
}

QDate ResponseParser::toDate(const QString &column, bool *ok) const
{
    bool present = false;
    const QString text = toString(column, &present).trimmed();
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    if (ok)
        *ok = date.isValid();
    return date;
}

QTime ResponseParser::toTime(const QString &column, bool *ok) const
{
    bool present = false;
    const QString text = toString(column, &present).trimmed();
    QTime time = QTime::fromString(text.right(8), QStringLiteral("hh:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("hh:mm"));
    if (ok)
        *ok = time.isValid();
    return time;
}

datetime ResponseParser::toDatetime(const QString &column, bool *ok) const
{
    return datetimeAt(position(column), ok);
}

datetime ResponseParser::datetimeAt(int position, bool *ok) const
{
    const QJsonValue v = valueAt(position);
    if (v.isString()) {
        // The service's own form "yyyy-MM-dd hh:mm:ss", read without building a QDateTime.
        const QString s = v.toString();
        auto digits = [&s](int at, int count) {
            int n = 0;
            for (int i = at; i < at + count; ++i) {
                const char16_t c = s.at(i).unicode();
                if (c < u'0' || c > u'9')
                    return -1;
                n = n * 10 + (c - u'0');
            }
            return n;
        };
        if (s.size() == 19 && s.at(4) == u'-' && s.at(7) == u'-' && s.at(10) == u' '
            && s.at(13) == u':' && s.at(16) == u':') {
            const datetime t = datetime::fromLocalParts(digits(0, 4), digits(5, 2),
                                                        digits(8, 2), digits(11, 2),
                                                        digits(14, 2), digits(17, 2));
            if (ok)
                *ok = !t.isNull();
            return t;
        }
    }
    const QString text = v.isString() ? v.toString().trimmed() : QString();
    QDateTime dt = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime::fromString(text, Qt::ISODate);
    if (!dt.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid())
            dt = QDateTime(date, QTime(0, 0));
    }
    if (ok)
        *ok = dt.isValid();
    return dt.isValid() ? datetime(dt) : datetime();
}
