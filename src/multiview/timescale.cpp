#include "timescale.h"

#include <algorithm>
#include <cmath>

void TimeScale::setScale(double scale)
{
    if (scale > 0 && std::isfinite(scale))
        m_scale = scale;
}

bool TimeScale::isDefault() const
{
    return std::abs(m_scale - Default) <= 0.001;
}

double TimeScale::snap(double factor, double scale)
{
    if (!(factor > 0) || !std::isfinite(factor) || !(scale > 0))
        return 1.0;
    double n = factor * scale;
    if (n > 1 && n < 2) {
        n = factor < 1 ? 1.0 : std::floor(scale) + 1;
    } else if (n > 2 && n < 3) {
        n = factor < 1 ? 2.0 : std::ceil(scale);
    } else if (n >= 3) {
        n = std::floor(n);
        if (std::fmod(n, 2.0) == 0)
            n += 1;
    }
    if (n == scale && factor != 1)
        n += factor > 1 ? 2 : -2;
    return n > 0 ? n / scale : factor;
}

double TimeScale::stepTarget(bool in, double scale)
{
    if (in) {
        if (1.1 * scale <= 2)
            return 1.1 * scale;
        const double c = std::ceil(scale);
        return std::fmod(c, 2.0) != 0 ? c + 2 : c + 1;
    }
    if (scale < 2.5)
        return 0.9 * scale;
    if (scale < 4)
        return 2.0;
    return scale - 2;
}

void TimeScale::remember(double factor)
{
    m_history.append(factor);
    while (m_history.size() > MaxHistory)
        m_history.removeFirst();
}

double TimeScale::apply(double factor, bool rememberIt)
{
    const double applied = snap(factor, m_scale);
    const double next = m_scale * applied;
    if (!(next > 0) || !std::isfinite(next))
        return 1.0;
    m_scale = next;
    if (rememberIt)
        remember(applied);
    return applied;
}

double TimeScale::step(bool in, double sceneUnits, int viewportWidth)
{
    if (!in && (m_scale <= Floor || m_scale * sceneUnits <= viewportWidth))
        return 1.0;
    const double target = std::max(stepTarget(in, m_scale), in ? 0.0 : Floor);
    return apply(target / m_scale, true);
}

double TimeScale::back()
{
    if (m_history.isEmpty())
        return 1.0;
    const double last = m_history.takeLast();
    const double inverse = 1.0 / last;
    m_scale *= inverse;
    // The default scale comes back exactly, not as a product of rounded factors.
    if (isDefault())
        m_scale = Default;
    return inverse;
}

double TimeScale::toDefault()
{
    const double factor = Default / m_scale;
    m_scale = Default;
    m_history.clear();
    return factor;
}

TimeScale::AreaZoom TimeScale::areaZoom(const QRect &band, int viewportWidth, double scale,
                                        double scenePixelWidth)
{
    AreaZoom zoom;
    if (band.width() <= 0 || viewportWidth <= 0 || !(scale > 0))
        return zoom;
    zoom.factor = std::min(double(viewportWidth) / band.width(), double(viewportWidth) / scale);
    zoom.offset = scenePixelWidth < viewportWidth ? viewportWidth - scenePixelWidth : 0;
    return zoom;
}
