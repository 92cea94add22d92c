#pragma once

#include "hostdata_global.h"

#include <QScrollBar>

// A horizontal scroll bar that keeps following the end: when it stands at its maximum and the
// range grows, it moves to the new maximum, so a chart showing its newest bars keeps showing
// them as bars arrive. Anywhere else the value stays put.
class HOST_EXPORT StickyScrollBar : public QScrollBar
{
    Q_OBJECT
public:
    explicit StickyScrollBar(QWidget *parent = nullptr);

    bool isMax() const { return value() == maximum(); }

Q_SIGNALS:
    // Once per change of the value or of the range.
    void sliderChanged();

protected:
    void sliderChange(SliderChange change) override;

private:
    // Whether the value stood at the maximum before the latest change of the range.
    bool m_atMax = true;
    bool m_inRangeChange = false;
};
