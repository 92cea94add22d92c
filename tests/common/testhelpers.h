#pragma once

#include <QtTest>
#include <QWidget>

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

// The text of the refusal box a user command opened over parent (empty without one); the box
// is closed, so that the next command is judged on its own.
inline QString takeRefusal(QObject *parent)
{
    QWidget *box = parent->findChild<QWidget *>(QStringLiteral("refusal"));
    if (!box)
        return {};
    const QString text = box->property("text").toString();
    box->setObjectName(QString());
    box->close();
    return text;
}
