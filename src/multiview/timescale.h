#pragma once

#include <QList>
#include <QRect>

// The horizontal zoom of a chart window: pixels per time unit, snapped so that bars keep
// whole odd widths from 3 pixels up, with the history of factors that "back" undoes.
class TimeScale
{
public:
    static constexpr double Default = 9.0;
    // No more undo steps are kept than a user could want back; the oldest go first.
    static constexpr int MaxHistory = 100;
    // Below this many pixels per unit zooming out stops whatever the history length.
    static constexpr double Floor = 0.01;

    double scale() const { return m_scale; }
    // The views' factor when it was set from outside (a restore, a new view).
    void setScale(double scale);
    bool isDefault() const;
    bool canGoBack() const { return !m_history.isEmpty(); }
    QList<double> history() const { return m_history; }

    // The factor that lands on a snapped scale, for a wanted factor at the current scale.
    static double snap(double factor, double scale);
    // The scale one zoom step in or out from a scale aims at.
    static double stepTarget(bool in, double scale);

    // Applies a wanted factor snapped; the factor applied (1 when nothing changes). With
    // remember, back can undo it.
    double apply(double factor, bool remember);
    // One zoom step in or out; out stops (returning 1) once everything fits: when
    // `sceneUnits` units at the current scale are no wider than `viewportWidth`.
    double step(bool in, double sceneUnits, int viewportWidth);
    // Undoes the last remembered factor; the factor applied.
    double back();
    // Back to the default scale, remembered, then the history emptied; the factor applied.
    double toDefault();

    // Zooming the viewport onto a band of it: the wanted factor, and the empty offset at the
    // left of a scene narrower than the viewport. Nothing (factor 0) for a band or viewport
    // without width.
    struct AreaZoom
    {
        double factor = 0;
        double offset = 0;
    };
    static AreaZoom areaZoom(const QRect &band, int viewportWidth, double scale,
                             double scenePixelWidth);

private:
    void remember(double factor);

    double m_scale = Default;
    QList<double> m_history;
};
