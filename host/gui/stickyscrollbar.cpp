#include "stickyscrollbar.h"

StickyScrollBar::StickyScrollBar(QWidget *parent)
    : QScrollBar(Qt::Horizontal, parent)
{
    m_atMax = isMax();
}

void StickyScrollBar::sliderChange(SliderChange change)
{
    QScrollBar::sliderChange(change);
    switch (change) {
    case SliderRangeChange: {
        // QAbstractSlider::setRange clamps the value only after this call; setting it here
        // makes that clamp a no-op and lets the change be reported once.
        const int target = m_atMax ? maximum() : qBound(minimum(), value(), maximum());
        if (target != value()) {
            m_inRangeChange = true;
            setValue(target);
            m_inRangeChange = false;
        }
        m_atMax = isMax();
        emit sliderChanged();
        break;
    }
    case SliderValueChange:
        m_atMax = isMax();
        if (!m_inRangeChange)
            emit sliderChanged();
        break;
    default:
        break;
    }
}
