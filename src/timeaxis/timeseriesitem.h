#pragma once

#include "datetime.h"

class QObject;
class SeriesDataModel;

// What the time synchroniser needs of a series shown in a chart: its bar model, where its bars
// begin, how wide they are in index units, and how to move and re-lay it. Series items
// implement it.
class TimeSeriesItem
{
public:
    virtual ~TimeSeriesItem() = default;

    virtual SeriesDataModel *barModel() const = 0;
    // The start of the series' first bar slot; null when the series has no bars.
    virtual datetime firstBarTime() const = 0;
    // The width of the series' bounding rectangle in index units.
    virtual double barsWidth() const = 0;
    // Moves the series to the scene x of the index (through its parent scale).
    virtual void setIndexPosition(int index) = 0;
    // Rebuilds the series' chunk spans and geometry from the synchroniser's index.
    virtual void rebuildSpans() = 0;
    // The object whose destruction removes the series from the synchroniser.
    virtual QObject *itemObject() = 0;
};
