#pragma once

#include <QColor>
#include <QVariant>

#include <cmath>

// Stored values read strictly: a value of the wrong type or out of range gives the default,
// so that a damaged settings file never shows (or writes back) garbage. Settings files keep
// every value as text, so text that spells a value of the type is accepted.
namespace SettingsValues {

// true/false, 1/0 (as numbers or text); anything else gives the default.
inline bool boolOr(const QVariant &value, bool fallback)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

// A whole number in [low, high]; anything else gives the default.
inline int intIn(const QVariant &value, int low, int high, int fallback)
{
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || number != std::floor(number) || number < low || number > high)
        return fallback;
    return int(number);
}

// A valid colour, stored as a colour or as its name; anything else gives the default.
inline QColor colorOr(const QVariant &value, const QColor &fallback)
{
    if (value.typeId() == QMetaType::QColor) {
        const QColor color = value.value<QColor>();
        return color.isValid() ? color : fallback;
    }
    if (value.typeId() == QMetaType::QString) {
        const QColor color = QColor::fromString(value.toString());
        return color.isValid() ? color : fallback;
    }
    return fallback;
}

} // namespace SettingsValues
