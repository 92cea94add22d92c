#pragma once

#include "hostdata_global.h"
#include "packedint64.h"
#include "pow10.h"

#include <QMetaType>
#include <QString>

class decimal;

// An exact decimal quantity or turnover that can be summed: mantissa * 10^exponent with a
// 64-bit mantissa and a 16-bit exponent. Sums are exact whenever the result has at most 19
// significant digits. A sum that needs more is rounded to 19 digits instead of wrapping; the
// value then reports isExact() == false and a warning is logged.
class HOST_EXPORT xdecimal
{
public:
    xdecimal() = default;
    // Throws a QString naming the text when it is not a number this type can hold exactly.
    explicit xdecimal(const QString &text);
    xdecimal(qint64 mantissa, qint16 exponent);
    explicit xdecimal(const decimal &value);

    static xdecimal zero() { return {}; }
    // Rebuilds a stored value, including whether it had been rounded.
    static xdecimal fromParts(qint64 mantissa, qint16 exponent, bool exact);
    static xdecimal fromString(QStringView text, bool *ok, QString *error = nullptr);
    static xdecimal fromLatin1(QByteArrayView text, bool *ok, QString *error = nullptr);

    qint64 mantissa() const { return m_mantissa; }
    qint16 exponent() const { return m_exponent; }
    bool isZero() const { return m_mantissa == 0; }
    bool isExact() const { return m_exact; }

    xdecimal &operator+=(const xdecimal &other)
    {
        // The common case, same exponent and no overflow, stays exact and cheap.
        qint64 sum;
        if (m_exponent == other.m_exponent && m_exact && other.m_exact
            && !__builtin_add_overflow(qint64(m_mantissa), qint64(other.m_mantissa), &sum)) {
            m_mantissa = sum;
            if (sum == 0)
                m_exponent = 0;
            return *this;
        }
        // Turnovers of one instrument differ by a digit or two of exponent: sum at the lower
        // exponent when that stays exact (the text is made shortest on output).
        if (m_exact && other.m_exact && m_mantissa != 0 && other.m_mantissa != 0) {
            const int diff = int(m_exponent) - int(other.m_exponent);
            qint64 scaled;
            if (diff > 0 && diff <= 18
                && !__builtin_mul_overflow(qint64(m_mantissa), Pow10Table[diff], &scaled)
                && !__builtin_add_overflow(scaled, qint64(other.m_mantissa), &sum) && sum != 0) {
                m_mantissa = sum;
                m_exponent = other.m_exponent;
                return *this;
            }
            if (diff < 0 && diff >= -18
                && !__builtin_mul_overflow(qint64(other.m_mantissa), Pow10Table[-diff], &scaled)
                && !__builtin_add_overflow(scaled, qint64(m_mantissa), &sum) && sum != 0) {
                m_mantissa = sum;
                return *this;
            }
        }
        return addSlow(other);
    }
    xdecimal operator+(const xdecimal &other) const
    {
        xdecimal result = *this;
        result += other;
        return result;
    }
    // Exact product with an integer (price * quantity style turnovers); rounds like +=.
    xdecimal multiplied(qint64 factor) const;

    double toDouble() const;
    QString toString() const;
    // toString() appended to Latin-1 output.
    void appendTo(QByteArray &out) const;

    bool operator==(const xdecimal &other) const;
    bool operator!=(const xdecimal &other) const { return !(*this == other); }
    bool operator<(const xdecimal &other) const;
    bool operator>(const xdecimal &other) const { return other < *this; }
    bool operator<=(const xdecimal &other) const { return !(other < *this); }
    bool operator>=(const xdecimal &other) const { return !(*this < other); }

    static int metatypeId();

private:
    xdecimal &addSlow(const xdecimal &other);
    void assign(__int128 mantissa, long long exponent, bool exact, const char *operation);

    PackedInt64 m_mantissa;
    qint16 m_exponent = 0;
    bool m_exact = true;
};

HOST_EXPORT size_t qHash(const xdecimal &value, size_t seed = 0) noexcept;
HOST_EXPORT QDebug operator<<(QDebug debug, const xdecimal &value);

static_assert(sizeof(xdecimal) == 12, "xdecimal packs into 12 bytes");

Q_DECLARE_METATYPE(xdecimal)
