#pragma once

#include "hostdata_global.h"
#include "packedint64.h"
#include "pow10.h"

#include <QMetaType>
#include <QString>

// An exact decimal price: a 64-bit mantissa with up to 18 digits after the point. Values are
// kept in their shortest form, so 1.50 and 1.5 are the same value and print as "1.5".
class HOST_EXPORT decimal
{
public:
    static constexpr int MaxScale = 18;

    decimal() = default;
    // Throws a QString naming the text when it is not a decimal number.
    explicit decimal(const QString &text);
    // mantissa * 10^-scale, 0 <= scale <= MaxScale.
    decimal(qint64 mantissa, int scale);

    // Non-throwing parse; *ok tells whether the text was a decimal number (zero when not).
    static decimal fromString(QStringView text, bool *ok, QString *error = nullptr);
    // The same for Latin-1 bytes (cache files, replies) without making a QString.
    static decimal fromLatin1(QByteArrayView text, bool *ok, QString *error = nullptr);
    // The shortest decimal that reads back as the same double, rounded to MaxScale digits.
    static decimal fromDouble(double value, bool *ok = nullptr);

    qint64 mantissa() const { return m_mantissa; }
    int scale() const { return m_scale; }
    bool isZero() const { return m_mantissa == 0; }

    double toDouble() const;
    QString toString() const;
    // toString() appended to Latin-1 output.
    void appendTo(QByteArray &out) const;

    bool operator==(const decimal &other) const
    {
        // Both sides are kept in their shortest form: equal values look the same.
        return m_scale == other.m_scale && qint64(m_mantissa) == qint64(other.m_mantissa);
    }
    bool operator!=(const decimal &other) const { return !(*this == other); }
    bool operator<(const decimal &other) const
    {
        if (m_scale == other.m_scale)
            return qint64(m_mantissa) < qint64(other.m_mantissa);
        // Prices of one instrument differ by a digit or two of scale (1.5 beside 1.25): bring
        // the shorter one to the longer one's scale when that fits.
        const int diff = int(m_scale) - int(other.m_scale);
        qint64 scaled;
        if (diff > 0 && diff <= 18
            && !__builtin_mul_overflow(qint64(other.m_mantissa), Pow10Table[diff], &scaled))
            return qint64(m_mantissa) < scaled;
        if (diff < 0 && diff >= -18
            && !__builtin_mul_overflow(qint64(m_mantissa), Pow10Table[-diff], &scaled))
            return scaled < qint64(other.m_mantissa);
        return lessAcrossScales(other);
    }
    bool operator<=(const decimal &other) const { return !(other < *this); }
    bool operator>(const decimal &other) const { return other < *this; }
    bool operator>=(const decimal &other) const { return !(*this < other); }

    static int metatypeId();

private:
    bool lessAcrossScales(const decimal &other) const;

    PackedInt64 m_mantissa;
    qint8 m_scale = 0;
};

HOST_EXPORT size_t qHash(const decimal &value, size_t seed = 0) noexcept;
HOST_EXPORT QDebug operator<<(QDebug debug, const decimal &value);

static_assert(sizeof(decimal) == 12, "decimal packs into 12 bytes");

Q_DECLARE_METATYPE(decimal)
