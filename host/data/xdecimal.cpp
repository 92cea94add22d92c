#include "xdecimal.h"

#include "decimal.h"
#include "decimalcore.h"

#include <QDebug>
#include <QHashFunctions>

#include <limits>

namespace {

constexpr long long MinExponent = std::numeric_limits<qint16>::min();
constexpr long long MaxExponent = std::numeric_limits<qint16>::max();

__int128 pow10Wide(int n)
{
    __int128 result = 1;
    for (int i = 0; i < n; ++i)
        result *= 10;
    return result;
}

// Divides by 10^n rounding half away from zero; *inexact is set when digits were dropped.
__int128 divideRounded(__int128 value, int n, bool *inexact)
{
    if (n <= 0)
        return value;
    if (n > 38) {
        if (value != 0)
            *inexact = true;
        return 0;
    }
    const __int128 divisor = pow10Wide(n);
    __int128 quotient = value / divisor;
    const __int128 remainder = value % divisor;
    if (remainder != 0) {
        *inexact = true;
        const __int128 twice = (remainder < 0 ? -remainder : remainder) * 2;
        if (twice >= divisor)
            quotient += value < 0 ? -1 : 1;
    }
    return quotient;
}

} // namespace

xdecimal::xdecimal(const QString &text)
{
    bool ok = false;
    QString error;
    *this = fromString(text, &ok, &error);
    if (!ok)
        throw QStringLiteral("Invalid xdecimal value \"%1\": %2").arg(text.left(64), error);
}

xdecimal::xdecimal(qint64 mantissa, qint16 exponent)
{
    assign(mantissa, exponent, true, "xdecimal");
}

xdecimal::xdecimal(const decimal &value)
    : xdecimal(value.mantissa(), static_cast<qint16>(-value.scale()))
{
}

xdecimal xdecimal::fromParts(qint64 mantissa, qint16 exponent, bool exact)
{
    xdecimal result(mantissa, exponent);
    result.m_exact = exact && result.m_exact;
    return result;
}

namespace {

template <typename Text>
bool parseParts(Text text, DecimalCore::Parsed *parsed, QString *error)
{
    bool good = DecimalCore::parse(text, *parsed, error);
    if (good && (parsed->exponent < MinExponent || parsed->exponent > MaxExponent)) {
        good = false;
        if (error)
            *error = QStringLiteral("exponent out of range");
    }
    return good;
}

} // namespace

xdecimal xdecimal::fromString(QStringView text, bool *ok, QString *error)
{
    DecimalCore::Parsed parsed;
    const bool good = parseParts(text, &parsed, error);
    if (ok)
        *ok = good;
    return good ? xdecimal(parsed.mantissa, qint16(parsed.exponent)) : xdecimal();
}

xdecimal xdecimal::fromLatin1(QByteArrayView text, bool *ok, QString *error)
{
    DecimalCore::Parsed parsed;
    const bool good = parseParts(text, &parsed, error);
    if (ok)
        *ok = good;
    return good ? xdecimal(parsed.mantissa, qint16(parsed.exponent)) : xdecimal();
}

void xdecimal::assign(__int128 mantissa, long long exponent, bool exact, const char *operation)
{
    if (mantissa == 0) {
        m_mantissa = 0;
        m_exponent = 0;
        m_exact = exact;
        return;
    }
    while (mantissa % 10 == 0) {
        mantissa /= 10;
        ++exponent;
    }
    bool inexact = !exact;
    const __int128 limit = std::numeric_limits<qint64>::max();
    while (mantissa > limit || mantissa < -limit) {
        mantissa = divideRounded(mantissa, 1, &inexact);
        ++exponent;
    }
    if (exponent < MinExponent) {
        mantissa = divideRounded(mantissa, static_cast<int>(qMin<long long>(MinExponent - exponent, 39)),
                                 &inexact);
        exponent = mantissa == 0 ? 0 : MinExponent;
    }
    if (exponent > MaxExponent) {
        // Beyond anything a price or turnover can reach: keep the largest representable value.
        mantissa = mantissa < 0 ? -limit : limit;
        exponent = MaxExponent;
        inexact = true;
    }
    const bool wasExact = m_exact;
    m_mantissa = static_cast<qint64>(mantissa);
    m_exponent = static_cast<qint16>(exponent);
    m_exact = !inexact;
    if (wasExact && exact && inexact) {
        qWarning().noquote() << QStringLiteral("xdecimal::%1: result needs more than 19 "
                                               "significant digits, rounded to %2")
                                    .arg(QLatin1String(operation), toString());
    }
}

xdecimal &xdecimal::addSlow(const xdecimal &other)
{
    const bool exact = m_exact && other.m_exact;
    if (other.m_mantissa == 0) {
        m_exact = exact;
        return *this;
    }
    if (m_mantissa == 0) {
        m_mantissa = other.m_mantissa;
        m_exponent = other.m_exponent;
        m_exact = exact;
        return *this;
    }
    const bool thisHigher = m_exponent >= other.m_exponent;
    const qint64 high = thisHigher ? m_mantissa : other.m_mantissa;
    const qint64 low = thisHigher ? other.m_mantissa : m_mantissa;
    const int highExp = thisHigher ? m_exponent : other.m_exponent;
    const int lowExp = thisHigher ? other.m_exponent : m_exponent;
    const int diff = highExp - lowExp;
    bool inexact = false;
    __int128 sum;
    long long exponent;
    if (diff <= 18) {
        sum = static_cast<__int128>(high) * DecimalCore::pow10(diff) + low;
        exponent = lowExp;
    } else {
        // Scale the larger operand by 10^18 and round the smaller one to that exponent.
        exponent = highExp - 18;
        sum = static_cast<__int128>(high) * DecimalCore::pow10(18)
              + divideRounded(low, static_cast<int>(exponent - lowExp), &inexact);
    }
    assign(sum, exponent, exact && !inexact, "operator+=");
    if (inexact && exact)
        qWarning().noquote() << QStringLiteral("xdecimal::operator+=: operands too far apart "
                                               "for an exact sum, rounded to %1")
                                    .arg(toString());
    return *this;
}

xdecimal xdecimal::multiplied(qint64 factor) const
{
    xdecimal result = *this;
    // |mantissa * factor| < 2^126, so the product is exact in 128 bits.
    result.assign(static_cast<__int128>(m_mantissa) * factor, m_exponent, m_exact, "multiplied");
    return result;
}

double xdecimal::toDouble() const
{
    return DecimalCore::toDouble(m_mantissa, m_exponent);
}

QString xdecimal::toString() const
{
    // Sums keep the operands' exponent; the text is the shortest form.
    qint64 m = m_mantissa;
    int e = m_exponent;
    DecimalCore::normalize(m, e);
    return DecimalCore::toString(m, e);
}

void xdecimal::appendTo(QByteArray &out) const
{
    qint64 m = m_mantissa;
    int e = m_exponent;
    DecimalCore::normalize(m, e);
    DecimalCore::appendTo(out, m, e);
}

bool xdecimal::operator==(const xdecimal &other) const
{
    return DecimalCore::compare(m_mantissa, m_exponent, other.m_mantissa, other.m_exponent) == 0;
}

bool xdecimal::operator<(const xdecimal &other) const
{
    return DecimalCore::compare(m_mantissa, m_exponent, other.m_mantissa, other.m_exponent) < 0;
}

int xdecimal::metatypeId()
{
    return QMetaType::fromType<xdecimal>().id();
}

size_t qHash(const xdecimal &value, size_t seed) noexcept
{
    qint64 m = value.mantissa();
    int e = value.exponent();
    DecimalCore::normalize(m, e);
    return qHashMulti(seed, m, e);
}

QDebug operator<<(QDebug debug, const xdecimal &value)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "xdecimal(" << value.toString() << (value.isExact() ? "" : ", rounded")
                    << ')';
    return debug;
}
