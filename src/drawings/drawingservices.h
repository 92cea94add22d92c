#pragma once

#include <QColor>
#include <QPointF>

class DrawingItem;
class ParentScaleItem;
class TSynchronyzer;

namespace DrawingServices {

// A drawing of the kind ("drawing" 0..4) under the scale, begun at the scene point: two-point
// kinds start with both points there. An invalid colour and a width outside 1..10 give the
// defaults. None for an unknown kind.
DrawingItem *makeDrawing(int kind, ParentScaleItem *scale, TSynchronyzer *synchronizer,
                         const QPointF &scenePoint, const QColor &color, int width);
// Registers makeDrawing as the sub-charts' maker of drawings.
void install();

} // namespace DrawingServices
