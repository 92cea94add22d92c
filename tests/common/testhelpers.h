#pragma once

#include <QtTest>

#include <cmath>

// Floating-point results are compared with a relative tolerance.
inline bool fuzzyEqual(double a, double b, double relative = 1e-12)
{
    if (a == b)
        return true;
    return std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b));
}

#define TA_COMPARE_FUZZY(actual, expected)                                                        \
    QVERIFY2(fuzzyEqual((actual), (expected)),                                                    \
             qPrintable(QStringLiteral("%1 != %2")                                                \
                            .arg((actual), 0, 'g', 17)                                            \
                            .arg((expected), 0, 'g', 17)))
