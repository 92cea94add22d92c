// Feeds arbitrary bytes, read as UTF-8, to the decimal and xdecimal parsers. A text that parses
// must print as a text that parses back to the same value, and sums of parsed values must
// neither crash nor depend on the order of the operands. An input with a line break holds two
// numbers, one on each side of the first break.

#include "decimal.h"
#include "xdecimal.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failure(const char *what, const QString &input, const QString &detail)
{
    std::fprintf(stderr, "fuzz_decimal: %s\n  input:  \"%s\"\n  detail: %s\n", what,
                 qPrintable(input.left(200)), qPrintable(detail.left(400)));
    std::abort();
}

// Overflowing sums are reported with qWarning by design; that noise slows the fuzzer down.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void checkDecimal(const QString &text)
{
    bool ok = false;
    const decimal value = decimal::fromString(text, &ok);
    if (!ok)
        return;
    const QString printed = value.toString();
    bool backOk = false;
    QString error;
    const decimal back = decimal::fromString(printed, &backOk, &error);
    if (!backOk)
        failure("decimal::toString() does not parse back", text, printed + QStringLiteral(": ")
                                                                     + error);
    if (back != value)
        failure("decimal round trip changed the value", text,
                printed + QStringLiteral(" -> ") + back.toString());
    // The same text read as an xdecimal holds the same value.
    bool xOk = false;
    const xdecimal wide = xdecimal::fromString(text, &xOk);
    if (!xOk || wide != xdecimal(value))
        failure("decimal and xdecimal disagree", text,
                printed + QStringLiteral(" vs ") + (xOk ? wide.toString() : QStringLiteral("-")));
    (void)value.toDouble();
}

bool parseXDecimal(const QString &text, xdecimal &out)
{
    bool ok = false;
    out = xdecimal::fromString(text, &ok);
    if (!ok)
        return false;
    const QString printed = out.toString();
    bool backOk = false;
    QString error;
    const xdecimal back = xdecimal::fromString(printed, &backOk, &error);
    if (!backOk)
        failure("xdecimal::toString() does not parse back", text,
                printed.left(60) + QStringLiteral("... (%1 characters): ").arg(printed.size())
                    + error);
    if (back != out || back.mantissa() != out.mantissa() || back.exponent() != out.exponent())
        failure("xdecimal round trip changed the value", text,
                printed + QStringLiteral(" -> ") + back.toString());
    (void)out.toDouble();
    return true;
}

void checkSum(const QString &input, const xdecimal &a, const xdecimal &b)
{
    const xdecimal ab = a + b;
    const xdecimal ba = b + a;
    if (ab != ba || ab.isExact() != ba.isExact())
        failure("xdecimal += depends on the order of the operands", input,
                ab.toString() + QStringLiteral(" vs ") + ba.toString());
    // An exact sum with zero is the other operand.
    if (b.isZero() && ab != a)
        failure("adding zero changed the value", input, ab.toString());
    (void)ab.toString();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quietMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkDecimal(input);
    xdecimal whole;
    if (parseXDecimal(input, whole))
        checkSum(input, whole, whole);

    const qsizetype lineBreak = input.indexOf(u'\n');
    if (lineBreak >= 0) {
        const QString first = input.left(lineBreak);
        const QString second = input.mid(lineBreak + 1);
        checkDecimal(first);
        checkDecimal(second);
        xdecimal a;
        xdecimal b;
        const bool aOk = parseXDecimal(first, a);
        const bool bOk = parseXDecimal(second, b);
        if (aOk && bOk)
            checkSum(input, a, b);
    }
    return 0;
}
