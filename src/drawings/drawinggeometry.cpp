#include "drawinggeometry.h"

#include "parentscaleitem.h"
#include "settings.h"

#include <QGraphicsScene>
#include <QLocale>

#include <cmath>

namespace DrawingGeometry {

double pixelDistanceToLine(const QPointF &point, const QLineF &line, double p, double q)
{
    const double ax = line.x1() / p;
    const double ay = line.y1() / q;
    const double dx = line.x2() / p - ax;
    const double dy = line.y2() / q - ay;
    const double px = point.x() / p - ax;
    const double py = point.y() / q - ay;
    const double length = std::hypot(dx, dy);
    if (!(length > 0))
        return std::hypot(px, py);
    return std::abs(px * dy - py * dx) / length;
}

double yAt(const QLineF &line, double x)
{
    return line.y1() + (x - line.x1()) * (line.y2() - line.y1()) / (line.x2() - line.x1());
}

QRectF widenedBox(const QLineF &line, double dx, double dy)
{
    const double left = std::min(line.x1(), line.x2());
    const double right = std::max(line.x1(), line.x2());
    const double top = std::min(line.y1(), line.y2());
    const double bottom = std::max(line.y1(), line.y2());
    return {left - dx, top - dy, right - left + 2 * dx, bottom - top + 2 * dy};
}

bool meets(const QRectF &a, const QRectF &b)
{
    const QRectF x = a.normalized();
    const QRectF y = b.normalized();
    return x.left() <= y.right() && y.left() <= x.right() && x.top() <= y.bottom()
           && y.top() <= x.bottom();
}

QLineF ray(const QPointF &a, const QPointF &b, double left, double right)
{
    if (b.x() > a.x())
        return {a, QPointF(right, yAt(QLineF(a, b), right))};
    if (b.x() < a.x())
        return {a, QPointF(left, yAt(QLineF(a, b), left))};
    return {a, b};
}

std::optional<QPointF> exitPoint(const QPointF &origin, const QPointF &through, const QRectF &rect)
{
    const double dx = through.x() - origin.x();
    const double dy = through.y() - origin.y();
    const QRectF r = rect.normalized();
    const auto onHorizontal = [&](double y) -> std::optional<QPointF> {
        if (dy == 0)
            return std::nullopt;
        const double t = (y - origin.y()) / dy;
        const double x = origin.x() + t * dx;
        if (t > 0 && x >= r.left() && x <= r.right())
            return QPointF(x, y);
        return std::nullopt;
    };
    const auto onVertical = [&](double x) -> std::optional<QPointF> {
        if (dx == 0)
            return std::nullopt;
        const double t = (x - origin.x()) / dx;
        const double y = origin.y() + t * dy;
        if (t > 0 && y >= r.top() && y <= r.bottom())
            return QPointF(x, y);
        return std::nullopt;
    };
    if (auto hit = onHorizontal(r.top()))
        return hit;
    if (auto hit = onVertical(r.right()))
        return hit;
    if (auto hit = onHorizontal(r.bottom()))
        return hit;
    return onVertical(r.left());
}

} // namespace DrawingGeometry

namespace {

const ParentScaleItem *scaleOf(const QGraphicsItem *item)
{
    const QGraphicsItem *parent = item ? item->parentItem() : nullptr;
    return parent ? qobject_cast<const ParentScaleItem *>(parent->toGraphicsObject()) : nullptr;
}

} // namespace

int scaleDecimals(const QGraphicsItem *item)
{
    const ParentScaleItem *scale = scaleOf(item);
    return scale ? scale->decimals() : 2;
}

QString priceText(double price, int decimals)
{
    // The system locale is looked up once: labels are rendered for every move of a point.
    static const QLocale locale = QLocale::system();
    return locale.toString(price, 'f', std::clamp(decimals, 0, 12));
}

QPair<double, double> visibleIndexRange(const QGraphicsItem *item)
{
    const ParentScaleItem *scale = scaleOf(item);
    if (scale && scale->rightScreen() > scale->leftScreen())
        return {double(scale->leftScreen()), double(scale->rightScreen())};
    const QGraphicsScene *scene = item ? item->scene() : nullptr;
    if (!scene)
        return {0.0, 0.0};
    return {scene->sceneRect().left(), scene->sceneRect().right()};
}

ParentScaleItem *chosenScale(const Settings &settings, const QGraphicsItem *item)
{
    if (!item || !settings.contains(QStringLiteral("parentScale")))
        return nullptr;
    auto *scale = qobject_cast<ParentScaleItem *>(
        settings.value(QStringLiteral("parentScale")).value<QObject *>());
    if (!scale || scale->scene() != item->scene())
        return nullptr;
    return scale;
}
