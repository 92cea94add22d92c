#pragma once

#include "mapsettings.h"
#include "timeframevalue.h"

#include <QDate>
#include <QList>

// The properties a new series of a chart window starts with.
namespace SeriesDefaults {

// The factory values (time frame, range, renderer colours, placement).
MapSettings factory();
// The factory values for a new indicator.
MapSettings studyFactory();

// "TechAnalysis/SeriesDefaultProperty", or the factory values, written there first, when the
// settings have no such group.
MapSettings stored();
// "TechAnalysis/StudyDefaultProperty" likewise.
MapSettings storedStudy();

// What a shown series contributes to the defaults of the next one.
struct Shown
{
    TimeFrameValue frame;
    QDate from;
    QDate to;
    bool toCurrDate = true;
};

// Whether a is a coarser time frame than b: years over months over intervals, then longer
// intervals over shorter ones.
bool isCoarser(const TimeFrameValue &a, const TimeFrameValue &b);

// The next series of a window that shows these joins them: the coarsest of their time
// frames, the latest of their end dates with the to-current-date flag of the series that ends
// there, and as many days back as reach the earliest start.
void alignWith(MapSettings &defaults, const QList<Shown> &shown);

} // namespace SeriesDefaults
