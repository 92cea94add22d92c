#include "decimal.h"

#include "decimalcore.h"

#include <QDebug>
#include <QHashFunctions>
#include <QLocale>

#include <cmath>

namespace {

// Brings mantissa * 10^exponent into the decimal's range; false when it cannot be exact.
bool fitDecimal(qint64 mantissa, int exponent, qint64 &outMantissa, int &outScale)
{
    DecimalCore::normalize(mantissa, exponent);
    if (exponent < -decimal::MaxScale)
        return false;
    if (exponent > 0) {
        if (exponent > 18)
            return false;
        qint64 scaled;
        if (__builtin_mul_overflow(mantissa, DecimalCore::pow10(exponent), &scaled))
            return false;
        mantissa = scaled;
        exponent = 0;
    }
    outMantissa = mantissa;
    outScale = -exponent;
    return true;
}

} // namespace

decimal::decimal(const QString &text)
{
    bool ok = false;
    QString error;
    *this = fromString(text, &ok, &error);
    if (!ok)
        throw QStringLiteral("Invalid decimal value \"%1\": %2").arg(text.left(64), error);
}

decimal::decimal(qint64 mantissa, int scale)
{
    Q_ASSERT(scale >= 0 && scale <= MaxScale);
    // Trailing zeros after the point go; an integer keeps its digits.
    while (scale > 0 && mantissa % 10 == 0) {
        mantissa /= 10;
        --scale;
    }
    if (mantissa == 0)
        scale = 0;
    m_mantissa = mantissa;
    m_scale = static_cast<qint8>(scale);
}

namespace {

template <typename Text>
decimal parseDecimal(Text text, bool *ok, QString *error)
{
    DecimalCore::Parsed parsed;
    qint64 mantissa = 0;
    int scale = 0;
    bool good = DecimalCore::parse(text, parsed, error);
    if (good) {
        good = fitDecimal(parsed.mantissa, parsed.exponent, mantissa, scale);
        if (!good && error)
            *error = QStringLiteral("out of the range of a decimal");
    }
    if (ok)
        *ok = good;
    return good ? decimal(mantissa, scale) : decimal();
}

} // namespace

decimal decimal::fromString(QStringView text, bool *ok, QString *error)
{
    return parseDecimal(text, ok, error);
}

decimal decimal::fromLatin1(QByteArrayView text, bool *ok, QString *error)
{
    return parseDecimal(text, ok, error);
}

decimal decimal::fromDouble(double value, bool *ok)
{
    if (!std::isfinite(value)) {
        if (ok)
            *ok = false;
        return {};
    }
    bool good = false;
    decimal result =
        fromString(QString::number(value, 'g', QLocale::FloatingPointShortest), &good);
    if (!good) {
        // Too many digits for an exact form: round to the finest scale that still fits.
        for (int scale = MaxScale; scale >= 0 && !good; --scale) {
            const double scaled = std::round(value * std::pow(10.0, scale));
            if (std::fabs(scaled) < 9.2e18) {
                result = decimal(static_cast<qint64>(scaled), scale);
                good = true;
            }
        }
    }
    if (ok)
        *ok = good;
    return result;
}

double decimal::toDouble() const
{
    return DecimalCore::toDouble(m_mantissa, -m_scale);
}

QString decimal::toString() const
{
    return DecimalCore::toString(m_mantissa, -m_scale);
}

void decimal::appendTo(QByteArray &out) const
{
    DecimalCore::appendTo(out, m_mantissa, -m_scale);
}

bool decimal::lessAcrossScales(const decimal &other) const
{
    return DecimalCore::compare(m_mantissa, -m_scale, other.m_mantissa, -other.m_scale) < 0;
}

int decimal::metatypeId()
{
    return QMetaType::fromType<decimal>().id();
}

size_t qHash(const decimal &value, size_t seed) noexcept
{
    return qHashMulti(seed, value.mantissa(), value.scale());
}

QDebug operator<<(QDebug debug, const decimal &value)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "decimal(" << value.toString() << ')';
    return debug;
}
