#include "field.h"

#include "datetime.h"
#include "decimalcore.h"
#include "decimal.h"
#include "rowdata_p.h"
#include "xdecimal.h"

#include <QDebug>

#include <cstring>

namespace {

double bitsToDouble(qint64 bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

qint64 doubleToBits(double d)
{
    qint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

bool parseInteger(const QString &text, qint64 *out)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (ok)
        *out = v;
    return ok;
}

const QVariant NullVariant;

} // namespace

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Integer: return QStringLiteral("integer");
    case FieldType::Integer64: return QStringLiteral("integer64");
    case FieldType::Double: return QStringLiteral("double");
    case FieldType::Decimal: return QStringLiteral("decimal");
    case FieldType::XDecimal: return QStringLiteral("xdecimal");
    case FieldType::Datetime: return QStringLiteral("datetime");
    case FieldType::String: return QStringLiteral("string");
    case FieldType::Bool: return QStringLiteral("bool");
    }
    return QStringLiteral("unknown");
}

QVariant variant_convert(const QVariant &value, int type)
{
    if (type < int(FieldType::Integer) || type > int(FieldType::Bool))
        return {};
    return variant_convert(value, FieldType(type));
}

QVariant variant_convert(const QVariant &value, FieldType type)
{
    if (!value.isValid() || value.isNull())
        return {};
    const int id = value.metaType().id();
    const bool isText = id == QMetaType::QString || id == QMetaType::QByteArray;
    const QString text = isText ? value.toString() : QString();
    switch (type) {
    case FieldType::Integer:
    case FieldType::Integer64: {
        qint64 v = 0;
        if (isText) {
            if (!parseInteger(text, &v))
                return {};
        } else if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = value.toDouble();
            if (d != static_cast<double>(static_cast<qint64>(d)))
                return {};
            v = static_cast<qint64>(d);
        } else if (id == decimal::metatypeId() || id == xdecimal::metatypeId()) {
            const QString t = id == decimal::metatypeId() ? value.value<decimal>().toString()
                                                          : value.value<xdecimal>().toString();
            if (!parseInteger(t, &v))
                return {};
        } else {
            bool ok = false;
            v = value.toLongLong(&ok);
            if (!ok)
                return {};
        }
        if (type == FieldType::Integer) {
            if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
                return {};
            return QVariant::fromValue(static_cast<qint32>(v));
        }
        return QVariant::fromValue(v);
    }
    case FieldType::Double: {
        if (id == decimal::metatypeId())
            return value.value<decimal>().toDouble();
        if (id == xdecimal::metatypeId())
            return value.value<xdecimal>().toDouble();
        bool ok = false;
        const double d = isText ? text.trimmed().toDouble(&ok) : value.toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    case FieldType::Decimal: {
        if (id == decimal::metatypeId())
            return value;
        bool ok = false;
        decimal d;
        if (id == QMetaType::Double || id == QMetaType::Float)
            d = decimal::fromDouble(value.toDouble(), &ok);
        else if (id == xdecimal::metatypeId())
            d = decimal::fromString(value.value<xdecimal>().toString(), &ok);
        else
            d = decimal::fromString(value.toString(), &ok);
        return ok ? QVariant::fromValue(d) : QVariant();
    }
    case FieldType::XDecimal: {
        if (id == xdecimal::metatypeId())
            return value;
        if (id == decimal::metatypeId())
            return QVariant::fromValue(xdecimal(value.value<decimal>()));
        bool ok = false;
        xdecimal x;
        if (id == QMetaType::Double || id == QMetaType::Float) {
            const decimal d = decimal::fromDouble(value.toDouble(), &ok);
            x = xdecimal(d);
        } else {
            x = xdecimal::fromString(value.toString(), &ok);
        }
        return ok ? QVariant::fromValue(x) : QVariant();
    }
    case FieldType::Datetime: {
        if (id == datetime::metatypeId())
            return value;
        if (id == QMetaType::QDateTime)
            return QVariant::fromValue(datetime(value.toDateTime()));
        if (id == QMetaType::QDate)
            return QVariant::fromValue(datetime(value.toDate()));
        if (isText) {
            const QString t = text.trimmed();
            QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
            if (!dt.isValid())
                dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
            if (!dt.isValid())
                dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            if (!dt.isValid()) {
                const QDate d = QDate::fromString(t, Qt::ISODate);
                if (d.isValid())
                    return QVariant::fromValue(datetime(d));
                return {};
            }
            return QVariant::fromValue(datetime(dt));
        }
        return {};
    }
    case FieldType::String:
        if (id == decimal::metatypeId())
            return value.value<decimal>().toString();
        if (id == xdecimal::metatypeId())
            return value.value<xdecimal>().toString();
        if (id == datetime::metatypeId())
            return value.value<datetime>().toString();
        return value.toString();
    case FieldType::Bool: {
        if (id == QMetaType::Bool)
            return value;
        if (isText) {
            const QString t = text.trimmed().toLower();
            if (t == u"true" || t == u"1")
                return true;
            if (t == u"false" || t == u"0")
                return false;
            return {};
        }
        bool ok = false;
        const qint64 v = value.toLongLong(&ok);
        return ok ? QVariant(v != 0) : QVariant();
    }
    }
    return {};
}

Field::Field(const QExplicitlySharedDataPointer<RowData> &row, int column)
    : m_row(row)
    , m_column(row && column >= 0 && column < row->cells.size() ? column : -1)
{
}

Field::Field(const Field &other) = default;
Field::~Field() = default;

Field &Field::operator=(const Field &other)
{
    if (this != &other && !setValue(other.toVariant()))
        qWarning() << "Field::operator=: value" << other.toString() << "does not fit column"
                   << m_column;
    return *this;
}

FieldType Field::type() const
{
    return m_column < 0 ? FieldType::String : m_row->schema->columns.at(m_column).type;
}

bool Field::isNull() const
{
    return m_column < 0 || (m_row->cells.at(m_column).flags & Cell::Null);
}

qint64 Field::toInteger64() const
{
    if (isNull())
        return 0;
    const Cell &c = m_row->cells.at(m_column);
    switch (type()) {
    case FieldType::Integer:
    case FieldType::Integer64:
    case FieldType::Bool:
    case FieldType::Datetime: return c.value;
    case FieldType::Double: return static_cast<qint64>(bitsToDouble(c.value));
    case FieldType::Decimal:
    case FieldType::XDecimal: return static_cast<qint64>(toDouble());
    case FieldType::String: {
        qint64 v = 0;
        parseInteger(toString(), &v);
        return v;
    }
    }
    return 0;
}

int Field::toInteger() const
{
    return static_cast<int>(toInteger64());
}

double Field::toDouble() const
{
    if (isNull())
        return 0.0;
    const Cell &c = m_row->cells.at(m_column);
    switch (type()) {
    case FieldType::Double: return bitsToDouble(c.value);
    case FieldType::Decimal: return toDecimal().toDouble();
    case FieldType::XDecimal: return toXDecimal().toDouble();
    case FieldType::String: return toString().toDouble();
    default: return static_cast<double>(c.value);
    }
}

decimal Field::toDecimal() const
{
    if (isNull())
        return {};
    const Cell &c = m_row->cells.at(m_column);
    switch (type()) {
    case FieldType::Decimal: return decimal(c.value, -c.exponent);
    case FieldType::Integer:
    case FieldType::Integer64: return decimal(c.value, 0);
    default: {
        const QVariant v = variant_convert(toVariant(), FieldType::Decimal);
        return v.isValid() ? v.value<decimal>() : decimal();
    }
    }
}

xdecimal Field::toXDecimal() const
{
    if (isNull())
        return {};
    const Cell &c = m_row->cells.at(m_column);
    switch (type()) {
    case FieldType::XDecimal:
        return xdecimal::fromParts(c.value, c.exponent, !(c.flags & Cell::Inexact));
    case FieldType::Decimal: return xdecimal(decimal(c.value, -c.exponent));
    case FieldType::Integer:
    case FieldType::Integer64: return xdecimal(c.value, 0);
    default: {
        const QVariant v = variant_convert(toVariant(), FieldType::XDecimal);
        return v.isValid() ? v.value<xdecimal>() : xdecimal();
    }
    }
}

datetime Field::toDatetime() const
{
    if (isNull())
        return {};
    if (type() == FieldType::Datetime)
        return datetime::fromMSecsSinceEpoch(m_row->cells.at(m_column).value);
    const QVariant v = variant_convert(toVariant(), FieldType::Datetime);
    return v.isValid() ? v.value<datetime>() : datetime();
}

QString Field::toString() const
{
    if (isNull())
        return {};
    const Cell &c = m_row->cells.at(m_column);
    switch (type()) {
    case FieldType::Integer:
    case FieldType::Integer64: return QString::number(c.value);
    case FieldType::Bool: return c.value ? QStringLiteral("true") : QStringLiteral("false");
    case FieldType::Double:
        return QString::number(bitsToDouble(c.value), 'g', QLocale::FloatingPointShortest);
    case FieldType::Decimal: return toDecimal().toString();
    case FieldType::XDecimal: return toXDecimal().toString();
    case FieldType::Datetime: return toDatetime().toString();
    case FieldType::String:
        return m_row->strings.at(m_row->schema->columns.at(m_column).stringSlot);
    }
    return {};
}

bool Field::toBool() const
{
    return toInteger64() != 0;
}

QVariant Field::toVariant() const
{
    if (isNull())
        return {};
    const Cell &c = m_row->cells.at(m_column);
    switch (type()) {
    case FieldType::Integer: return QVariant::fromValue(static_cast<qint32>(c.value));
    case FieldType::Integer64: return QVariant::fromValue(c.value);
    case FieldType::Bool: return QVariant(c.value != 0);
    case FieldType::Double: return QVariant(bitsToDouble(c.value));
    case FieldType::Decimal: return QVariant::fromValue(toDecimal());
    case FieldType::XDecimal: return QVariant::fromValue(toXDecimal());
    case FieldType::Datetime: return QVariant::fromValue(toDatetime());
    case FieldType::String: return toString();
    }
    return {};
}

Field &Field::operator=(int value)
{
    if (!setValue(QVariant::fromValue(value)))
        qWarning() << "Field::operator=: value" << value << "does not fit column" << m_column;
    return *this;
}

Field &Field::operator=(qint64 value)
{
    if (!setValue(QVariant::fromValue(value)))
        qWarning() << "Field::operator=: value" << value << "does not fit column" << m_column;
    return *this;
}

void Field::setNull()
{
    if (m_column < 0)
        return;
    Cell &c = m_row->cells[m_column];
    c = Cell{};
    if (type() == FieldType::String)
        m_row->strings[m_row->schema->columns.at(m_column).stringSlot].clear();
}

bool Field::setValue(const QVariant &value)
{
    if (m_column < 0)
        return false;
    if (!value.isValid() || value.isNull()) {
        setNull();
        return true;
    }
    const QVariant v = variant_convert(value, type());
    if (!v.isValid())
        return false;
    Cell &c = m_row->cells[m_column];
    Cell n;
    n.flags = 0;
    switch (type()) {
    case FieldType::Integer:
    case FieldType::Integer64: n.value = v.toLongLong(); break;
    case FieldType::Bool: n.value = v.toBool() ? 1 : 0; break;
    case FieldType::Double: n.value = doubleToBits(v.toDouble()); break;
    case FieldType::Decimal: {
        const decimal d = v.value<decimal>();
        n.value = d.mantissa();
        n.exponent = static_cast<qint16>(-d.scale());
        break;
    }
    case FieldType::XDecimal: {
        const xdecimal x = v.value<xdecimal>();
        n.value = x.mantissa();
        n.exponent = x.exponent();
        if (!x.isExact())
            n.flags |= Cell::Inexact;
        break;
    }
    case FieldType::Datetime: {
        const datetime dt = v.value<datetime>();
        if (dt.isNull()) {
            setNull();
            return true;
        }
        n.value = dt.toMSecsSinceEpoch();
        break;
    }
    case FieldType::String:
        m_row->strings[m_row->schema->columns.at(m_column).stringSlot] = v.toString();
        break;
    }
    c = n;
    return true;
}

int Field::compare(const Field &other) const
{
    const bool aNull = isNull();
    const bool bNull = other.isNull();
    if (aNull || bNull)
        return aNull == bNull ? 0 : (aNull ? -1 : 1);
    const FieldType t = type();
    if (t != other.type()) {
        // Mixed types compare by text; key columns of one table never mix.
        return QString::compare(toString(), other.toString());
    }
    const Cell &a = m_row->cells.at(m_column);
    const Cell &b = other.m_row->cells.at(other.m_column);
    switch (t) {
    case FieldType::Integer:
    case FieldType::Integer64:
    case FieldType::Bool:
    case FieldType::Datetime: return a.value < b.value ? -1 : (a.value > b.value ? 1 : 0);
    case FieldType::Double: {
        const double x = bitsToDouble(a.value);
        const double y = bitsToDouble(b.value);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case FieldType::Decimal:
    case FieldType::XDecimal: return DecimalCore::compare(a.value, a.exponent, b.value, b.exponent);
    case FieldType::String: return QString::compare(toString(), other.toString());
    }
    return 0;
}
