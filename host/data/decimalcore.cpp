#include "decimalcore.h"

#include "pow10.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace DecimalCore {

namespace {

int digitCount(unsigned __int128 v)
{
    int n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

unsigned __int128 magnitude(qint64 v)
{
    return v < 0 ? static_cast<unsigned __int128>(-static_cast<__int128>(v))
                 : static_cast<unsigned __int128>(v);
}

} // namespace

qint64 pow10(int n)
{
    Q_ASSERT(n >= 0 && n <= 18);
    return Pow10Table[n];
}

namespace {

inline char16_t charAt(QStringView text, qsizetype i)
{
    return text[i].unicode();
}

inline char16_t charAt(QByteArrayView text, qsizetype i)
{
    return char16_t(uchar(text[i]));
}

inline bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

template <typename Text>
bool parseText(Text text, Parsed &out, QString *error)
{
    auto fail = [&](const char *why) {
        if (error)
            *error = QString::fromLatin1(why);
        return false;
    };
    qsizetype i = 0;
    qsizetype n = text.size();
    while (i < n && isBlank(charAt(text, i)))
        ++i;
    while (n > i && isBlank(charAt(text, n - 1)))
        --n;
    bool negative = false;
    if (i < n && (charAt(text, i) == u'-' || charAt(text, i) == u'+')) {
        negative = charAt(text, i) == u'-';
        ++i;
    }
    // Significant digits without leading or trailing zeros; trailing zeros are only counted,
    // so that "1" followed by thousands of zeros stays cheap and exact. fractionDigits counts
    // every digit after the point.
    unsigned long long value = 0; // the significant digits so far, at most 19
    int digitCount = 0;
    qint64 trailingZeros = 0;
    qint64 fractionDigits = 0;
    bool anyDigit = false;
    bool point = false;
    for (; i < n; ++i) {
        const char16_t c = charAt(text, i);
        if (c >= u'0' && c <= u'9') {
            anyDigit = true;
            if (point)
                ++fractionDigits;
            if (c == u'0') {
                if (digitCount > 0)
                    ++trailingZeros;
                continue;
            }
            if (digitCount + trailingZeros + 1 > 19)
                return fail("more than 19 significant digits");
            for (; trailingZeros > 0; --trailingZeros, ++digitCount)
                value *= 10;
            value = value * 10 + (c - u'0');
            ++digitCount;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return fail("no digits");
    long long exponent = 0;
    if (i < n && (charAt(text, i) == u'e' || charAt(text, i) == u'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (charAt(text, i) == u'-' || charAt(text, i) == u'+')) {
            expNegative = charAt(text, i) == u'-';
            ++i;
        }
        bool anyExpDigit = false;
        for (; i < n && charAt(text, i) >= u'0' && charAt(text, i) <= u'9'; ++i) {
            anyExpDigit = true;
            exponent = exponent * 10 + (charAt(text, i) - u'0');
            if (exponent > 100000000)
                return fail("exponent out of range");
        }
        if (!anyExpDigit)
            return fail("no digits in the exponent");
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return fail("unexpected character");
    if (digitCount == 0) {
        out = Parsed{};
        return true;
    }
    // value = digits * 10^(trailingZeros - fractionDigits + exponent)
    exponent += trailingZeros - fractionDigits;
    if (value > static_cast<unsigned long long>(std::numeric_limits<qint64>::max()))
        return fail("more than 19 significant digits");
    if (exponent < std::numeric_limits<int>::min() / 2 || exponent > std::numeric_limits<int>::max() / 2)
        return fail("exponent out of range");
    out.mantissa = negative ? -static_cast<qint64>(value) : static_cast<qint64>(value);
    out.exponent = static_cast<int>(exponent);
    return true;
}

} // namespace

bool parse(QStringView text, Parsed &out, QString *error)
{
    return parseText(text, out, error);
}

bool parse(QByteArrayView text, Parsed &out, QString *error)
{
    return parseText(text, out, error);
}

void normalize(qint64 &mantissa, int &exponent)
{
    if (mantissa == 0) {
        exponent = 0;
        return;
    }
    while (mantissa % 10 == 0) {
        mantissa /= 10;
        ++exponent;
    }
}

int compare(qint64 a, int ea, qint64 b, int eb)
{
    if (ea == eb || a == 0 || b == 0) {
        if (ea == eb || (a == 0 && b == 0))
            return a < b ? -1 : (a > b ? 1 : 0);
        const qint64 nonZero = a == 0 ? b : a;
        const int sign = nonZero > 0 ? 1 : -1;
        return a == 0 ? -sign : sign;
    }
    const int signA = (a > 0) - (a < 0);
    const int signB = (b > 0) - (b < 0);
    if (signA != signB || signA == 0)
        return signA < signB ? -1 : (signA > signB ? 1 : 0);
    // Same sign, both non-zero: compare magnitudes, then apply the sign.
    const unsigned __int128 ma = magnitude(a);
    const unsigned __int128 mb = magnitude(b);
    const long long orderA = static_cast<long long>(digitCount(ma)) + ea;
    const long long orderB = static_cast<long long>(digitCount(mb)) + eb;
    int magnitudeOrder;
    if (orderA != orderB) {
        magnitudeOrder = orderA < orderB ? -1 : 1;
    } else {
        // Same order of magnitude: exponents differ by at most 18, so the aligned values
        // fit in 128 bits.
        unsigned __int128 x = ma;
        unsigned __int128 y = mb;
        if (ea > eb)
            x *= static_cast<unsigned __int128>(pow10(ea - eb));
        else if (eb > ea)
            y *= static_cast<unsigned __int128>(pow10(eb - ea));
        magnitudeOrder = x < y ? -1 : (x > y ? 1 : 0);
    }
    return signA > 0 ? magnitudeOrder : -magnitudeOrder;
}

void appendTo(QByteArray &out, qint64 mantissa, int exponent)
{
    if (mantissa == 0) {
        out.append('0');
        return;
    }
    char digits[24];
    int count = 0;
    for (quint64 m = magnitude(mantissa); m != 0; m /= 10)
        digits[count++] = char('0' + m % 10);
    if (mantissa < 0)
        out.append('-');
    if (exponent >= 0) {
        while (count > 0)
            out.append(digits[--count]);
        out.append(qsizetype(exponent), '0');
        return;
    }
    const int point = count + exponent; // digits before the point
    if (point <= 0) {
        out.append("0.");
        out.append(qsizetype(-point), '0');
    }
    for (int i = count - 1; i >= 0; --i) {
        out.append(digits[i]);
        if (i == count - point && i > 0 && point > 0)
            out.append('.');
    }
}

QString toString(qint64 mantissa, int exponent)
{
    QByteArray text;
    appendTo(text, mantissa, exponent);
    return QString::fromLatin1(text);
}

double toDouble(qint64 mantissa, int exponent)
{
    constexpr qint64 exactLimit = qint64(1) << 53;
    if (mantissa == 0)
        return 0.0;
    if (mantissa > -exactLimit && mantissa < exactLimit && exponent >= -22 && exponent <= 22) {
        // Both operands are exact doubles, so one division or multiplication rounds correctly.
        static constexpr double powers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        const double m = static_cast<double>(mantissa);
        return exponent >= 0 ? m * powers[exponent] : m / powers[-exponent];
    }
    const QByteArray text = QByteArray::number(mantissa) + 'e' + QByteArray::number(exponent);
    return std::strtod(text.constData(), nullptr);
}

} // namespace DecimalCore
