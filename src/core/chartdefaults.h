#pragma once

#include <QtGlobal>

#include <array>

// The factory properties of a new series and a new indicator: what a chart window starts from
// when the settings hold no defaults of their own, and what the settings pages show as default.
// Colours are 0xRRGGBB.
namespace ChartDefaults {

struct ColorEntry
{
    const char *key;
    quint32 rgb;
};

inline constexpr qint32 TimeFrameSeconds = 180;
inline constexpr int LineWidth = 1;
inline constexpr int View = 0;      // candles
inline constexpr int DaysBack = 1;
inline constexpr bool ToCurrDate = true;
inline constexpr bool WickSelfColor = false;
inline constexpr int AxisPos = 1;   // left
inline constexpr int AutoScale = 2; // fit what is on screen

inline constexpr std::array<ColorEntry, 9> SeriesColors{{
    {"upColor", 0x00ff00},
    {"downColor", 0xff0000},
    {"upBoundColor", 0x00ff00},
    {"downBoundColor", 0xff0000},
    {"wickColor", 0xdfdfdf},
    {"minmaxColor", 0x008000},
    {"inColor", 0x008000},
    {"outColor", 0x008000},
    {"lineColor", 0x72e6a9},
}};

inline constexpr quint32 StudyColor = 0xff0000;

// "TechAnalysis/General": history from the service, bars placed at their interval's end.
inline constexpr bool HistoryEnabled = true;
inline constexpr bool BarOnEnd = true;
// A window's empty bars right of the last one, and the most it may have.
inline constexpr int RightMargin = 10;
inline constexpr int MaxRightMargin = 100;

// "TechAnalysis/Confirmations": every question is asked until switched off.
inline constexpr std::array<const char *, 5> Confirmations{
    "askDelItem", "askDelAllStudies", "askDelSubChart", "askDelAllDrawings", "sayDrawingsRemoved"};
inline constexpr bool Confirm = true;

} // namespace ChartDefaults
