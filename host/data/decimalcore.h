#pragma once

// Arithmetic shared by decimal and xdecimal: a signed 64-bit mantissa scaled by a power of ten.
// Internal to the host library.

#include <QString>
#include <QByteArrayView>
#include <QStringView>

namespace DecimalCore {

struct Parsed
{
    qint64 mantissa = 0;
    int exponent = 0;
};

// Parses "[+|-]digits[.digits][(e|E)[+|-]digits]" with optional surrounding blanks. Trailing
// zeros are folded into the exponent, so the result is the shortest exact form. Returns false
// and an English reason when the text is not a number or needs more than 19 significant digits.
bool parse(QStringView text, Parsed &out, QString *error);
// The same for Latin-1 text (files and replies), without making a QString.
bool parse(QByteArrayView text, Parsed &out, QString *error);

// Strips trailing zeros of the mantissa into the exponent. Zero becomes (0, 0).
void normalize(qint64 &mantissa, int &exponent);

// -1, 0 or 1 as a*10^ea compares with b*10^eb.
int compare(qint64 a, int ea, qint64 b, int eb);

QString toString(qint64 mantissa, int exponent);
// The same text appended to Latin-1 output, without making a QString.
void appendTo(QByteArray &out, qint64 mantissa, int exponent);
double toDouble(qint64 mantissa, int exponent);

// 10^n for 0 <= n <= 18.
qint64 pow10(int n);

} // namespace DecimalCore
