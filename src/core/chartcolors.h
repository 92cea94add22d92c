#pragma once

#include <QtGlobal>

#include <array>
#include <cstring>

// The ten colours of a chart window: the key each is stored under and its built-in value
// (0xRRGGBB). The window, its settings pages and its dialogs all read this one table.
namespace ChartColors {

struct Entry
{
    const char *key;
    quint32 rgb;
};

inline constexpr std::array<Entry, 10> All{{
    {"subChartColor", 0x000000},
    {"vertAxisColor", 0x000000},
    {"vertAxisTextColor", 0xffffff},
    {"vertAxisLineColor", 0xff0000},
    {"timeAxisColor", 0x000000},
    {"timeAxisTextColor", 0xffffff},
    {"timeAxisLineColor", 0xff0000},
    {"splitterColor", 0xbfcaca},
    {"gridColor", 0x353535},
    {"itemSelectionColor", 0xffffff},
}};

// The built-in value of a key; black for a key that is not in the table.
inline quint32 defaultRgb(const char *key)
{
    for (const Entry &entry : All) {
        if (std::strcmp(entry.key, key) == 0)
            return entry.rgb;
    }
    return 0;
}

} // namespace ChartColors
