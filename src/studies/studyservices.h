#pragma once

#include "mapsettings.h"

#include <QString>

// Puts indicators into the chart windows of this process: the sub-charts make indicator
// items, the multi-view's "add indicator" opens the indicator selector and its "Volume"
// indicator is read from the indicator files.
namespace StudyServices {

void install();

// The named indicator file's definition (texts, default parameter values, styles, scaling,
// precision, checksum) written over the settings; false when there is no such readable file.
bool findStudy(const QString &name, MapSettings &settings);

} // namespace StudyServices
