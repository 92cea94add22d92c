#pragma once

#include <QLineF>
#include <QPair>
#include <QRectF>
#include <QString>

#include <optional>

class QGraphicsItem;
class ParentScaleItem;
class Settings;

// Plane geometry of the drawing tools, in item coordinates with pixel sizes p (horizontal) and
// q (vertical) given where distances are measured on screen. Nothing here divides by a length
// that may be zero.
namespace DrawingGeometry {

// The distance in pixels from the point to the straight line through the segment; to its
// first point when the segment has no length.
double pixelDistanceToLine(const QPointF &point, const QLineF &line, double p, double q);
// y of the straight line at x; the line must not be vertical.
double yAt(const QLineF &line, double x);
// The segment's bounding box widened by dx on each side horizontally and dy vertically.
QRectF widenedBox(const QLineF &line, double dx, double dy);
// Whether two rectangles meet, edges included (zero sizes count).
bool meets(const QRectF &a, const QRectF &b);
// The ray from a through b: b moved along the line to x = right when it lies right of a, to
// x = left when it lies left of a; a vertical line is not prolonged.
QLineF ray(const QPointF &a, const QPointF &b, double left, double right);
// Where the ray from the origin through the point leaves the rectangle: its edges tried top,
// right, bottom, left, the first crossing inside the edge lying on the ray's side of the
// origin. None for a ray without direction or one that misses the rectangle.
std::optional<QPointF> exitPoint(const QPointF &origin, const QPointF &through, const QRectF &rect);

} // namespace DrawingGeometry

// The number of decimals of the scale the item hangs under (2 under anything but a scale).
int scaleDecimals(const QGraphicsItem *item);
// A price as labels show it: system locale, fixed notation.
QString priceText(double price, int decimals);
// The visible time indices of the item's sub-chart as its scale knows them; the whole scene
// when the scale knows none.
QPair<double, double> visibleIndexRange(const QGraphicsItem *item);
// The scale a property dialog chose under "parentScale": a scale of the item's own scene, or
// none.
ParentScaleItem *chosenScale(const Settings &settings, const QGraphicsItem *item);
