#include "linedrawingitem.h"

#include "drawinggeometry.h"
#include "parentscaleitem.h"
#include "settings.h"
#include "tsynchronyzer.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainterPath>

#include <cmath>

LineDrawingItem::LineDrawingItem(QGraphicsObject *scale, TSynchronyzer *synchronizer,
                                 const QLineF &sceneLine, const QColor &color, int lineWidth)
    : DrawingItem(scale, color, lineWidth)
    , m_synchronizer(synchronizer)
{
    m_line = QLineF(mapFromScene(sceneLine.p1()), mapFromScene(sceneLine.p2()));
    timesFromPoints(true, true);
    // Set directly: no geometry change may be announced while the object is being made.
    if (synchronizer && synchronizer->hasSpans() && !m_time1.isNull() && !m_time2.isNull())
        m_line = QLineF(anchorX(m_time1), m_line.y1(), anchorX(m_time2), m_line.y2());
    if (synchronizer) {
        connect(synchronizer, &TSynchronyzer::timeMarkingChanged, this,
                &LineDrawingItem::updatePosByTime);
        connect(synchronizer, &TSynchronyzer::sceneWidthChanged, this,
                &LineDrawingItem::sceneWidthChanged);
    }
}

void LineDrawingItem::setLine(const QLineF &line)
{
    if (line == m_line)
        return;
    geometryChanging();
    // Level prices depend on the points' y, and for arcs (whose radius is measured on
    // screen) on their x too.
    const bool prices = line.y1() != m_line.y1() || line.y2() != m_line.y2() || pricesFollowX();
    m_line = line;
    if (prices)
        pointsChanged();
    redraw();
}

void LineDrawingItem::setSceneLine(const QLineF &line)
{
    const QLineF local(mapFromScene(line.p1()), mapFromScene(line.p2()));
    if (local == m_line)
        return;
    setLine(local);
    timesFromPoints(true, true);
    updatePosByTime();
}

void LineDrawingItem::setSceneP1(const QPointF &point)
{
    const QPointF local = mapFromScene(point);
    if (local == m_line.p1())
        return;
    setLine(QLineF(local, m_line.p2()));
    timesFromPoints(true, false);
    updatePosByTime();
}

void LineDrawingItem::setSceneP2(const QPointF &point)
{
    const QPointF local = mapFromScene(point);
    if (local == m_line.p2())
        return;
    setLine(QLineF(m_line.p1(), local));
    timesFromPoints(false, true);
    updatePosByTime();
}

// A point the user places sits on the moment it is anchored to (the start of the time unit
// under it), so that it stays where it is when the drawing is placed again from its moments:
// after a zoom, a new time frame or a restart.
void LineDrawingItem::timesFromPoints(bool first, bool second)
{
    const TSynchronyzer *sync = m_synchronizer.data();
    if (!sync || !sync->hasSpans())
        return;
    const auto timeOf = [this, sync](const QPointF &point) -> datetime {
        const double x = mapToScene(point).x();
        if (!std::isfinite(x))
            return {};
        // Bounded before the integer conversion: a point far off the scene is its edge.
        const double bounded = std::clamp(x, -1.0, sync->sceneWidth() + 1.0);
        return sync->clampedTimeAt(int(bounded));
    };
    if (first) {
        const datetime time = timeOf(m_line.p1());
        if (!time.isNull())
            m_time1 = time;
    }
    if (second) {
        const datetime time = timeOf(m_line.p2());
        if (!time.isNull())
            m_time2 = time;
    }
}

double LineDrawingItem::anchorX(const datetime &time) const
{
    const TSynchronyzer *sync = m_synchronizer.data();
    const double index = std::clamp(double(sync->indexOf(time)), 0.0,
                                    std::max(0.0, sync->sceneWidth()));
    return mapFromScene(QPointF(index, 0)).x();
}

void LineDrawingItem::updatePosByTime()
{
    // Without a shown period (a series between two models) the points stay where they are.
    const TSynchronyzer *sync = m_synchronizer.data();
    if (!sync || !sync->hasSpans() || m_time1.isNull() || m_time2.isNull())
        return;
    setLine(QLineF(anchorX(m_time1), m_line.y1(), anchorX(m_time2), m_line.y2()));
}

void LineDrawingItem::sceneWidthChanged()
{
    // Comes with every new bar: only what changed is derived again. A zoom changes the pixel
    // sizes (and with them arcs' radii); a new scene width the drawings that reach its edges.
    const double p = pixelWidth();
    const bool zoomed = p != m_pixelWidth;
    m_pixelWidth = p;
    if (zoomed || reachesSceneEdges()) {
        geometryChanging();
        redraw();
    }
    updatePosByTime();
    if (zoomed)
        pointsChanged();
}

void LineDrawingItem::parentScaleChanged()
{
    DrawingItem::parentScaleChanged();
    pointsChanged();
}

void LineDrawingItem::moveToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    const QLineF onScene(mapToScene(m_line.p1()), mapToScene(m_line.p2()));
    geometryChanging();
    setParentChartItem(scale);
    // The same scene points: x and so the moments stay, the prices become the new scale's.
    m_line = QLineF(mapFromScene(onScene.p1()), mapFromScene(onScene.p2()));
    pointsChanged();
    redraw();
}

void LineDrawingItem::rebindToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    m_parentLine = QLineF(mapToParent(m_line.p1()), mapToParent(m_line.p2()));
    geometryChanging();
    setParentChartItem(scale);
    // The same coordinates in the new scale's frame: the prices stay.
    m_line = QLineF(mapFromParent(m_parentLine.p1()), mapFromParent(m_parentLine.p2()));
    pointsChanged();
    redraw();
}

void LineDrawingItem::saveState(Settings &settings) const
{
    DrawingItem::saveState(settings);
    settings.setValue(QStringLiteral("time1"), m_time1.getDateTime());
    settings.setValue(QStringLiteral("time2"), m_time2.getDateTime());
    // In the scale's frame, so that a drawing moved as a whole comes back where it was.
    settings.setValue(QStringLiteral("y1"), mapToParent(m_line.p1()).y());
    settings.setValue(QStringLiteral("y2"), mapToParent(m_line.p2()).y());
    settings.setValue(QStringLiteral("drawing"), kind());
}

void LineDrawingItem::restoreState(Settings &settings)
{
    readLineWidth(settings, lineWidth());
    const QDateTime time1 = settings.value(QStringLiteral("time1")).toDateTime();
    const QDateTime time2 = settings.value(QStringLiteral("time2")).toDateTime();
    if (!time1.isValid() || !time2.isValid())
        throw QStringLiteral("time");
    const double y1 = readFinite(settings, QStringLiteral("y1"));
    const double y2 = readFinite(settings, QStringLiteral("y2"));
    DrawingItem::restoreState(settings);
    // Placed first: a position change derives the moments, which are set after it.
    setPos(0, 0);
    m_time1 = datetime(time1);
    m_time2 = datetime(time2);
    setLine(QLineF(m_line.x1(), y1, m_line.x2(), y2));
    updatePosByTime();
    pointsChanged();
}

void LineDrawingItem::applyProperties(Settings &settings)
{
    DrawingItem::applyProperties(settings);
    if (!isVisible())
        return;
    if (ParentScaleItem *scale = chosenScale(settings, this))
        moveToScale(scale);
    if (settings.contains(QStringLiteral("time1")) && settings.contains(QStringLiteral("time2"))) {
        const QDateTime time1 = settings.value(QStringLiteral("time1")).toDateTime();
        const QDateTime time2 = settings.value(QStringLiteral("time2")).toDateTime();
        if (time1.isValid() && time2.isValid()
            && (datetime(time1) != m_time1 || datetime(time2) != m_time2)) {
            m_time1 = datetime(time1);
            m_time2 = datetime(time2);
            updatePosByTime();
        }
    }
    if (settings.contains(QStringLiteral("price1")) && settings.contains(QStringLiteral("price2"))) {
        bool ok1 = false;
        bool ok2 = false;
        const double price1 = settings.value(QStringLiteral("price1")).toDouble(&ok1);
        const double price2 = settings.value(QStringLiteral("price2")).toDouble(&ok2);
        if (ok1 && ok2 && std::isfinite(price1) && std::isfinite(price2)
            && !(-price1 == mapToParent(m_line.p1()).y() && -price2 == mapToParent(m_line.p2()).y())) {
            setLine(QLineF(m_line.x1(), mapFromParent(QPointF(0, -price1)).y(), m_line.x2(),
                           mapFromParent(QPointF(0, -price2)).y()));
        }
    }
}

QRectF LineDrawingItem::cutToScene(const QRectF &rect) const
{
    const QRectF scene = sceneRectInItem();
    if (scene.isNull())
        return rect;
    const QRectF cut = rect.intersected(scene);
    return cut.isValid() ? cut : QRectF();
}

bool LineDrawingItem::collidesWithPath(const QPainterPath &path, Qt::ItemSelectionMode) const
{
    if (path.isEmpty())
        return false;
    const QRectF area = path.boundingRect();
    if (!DrawingGeometry::meets(area, boundingRect()))
        return false;
    return hits(area.topLeft());
}

bool LineDrawingItem::contains(const QPointF &point) const
{
    return DrawingGeometry::meets(QRectF(point, QSizeF(0, 0)), boundingRect()) && hits(point);
}

void LineDrawingItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    m_draggingP1 = false;
    m_draggingP2 = false;
    if (event->button() == Qt::LeftButton) {
        const double p = pixelWidth();
        const double q = pixelHeight();
        const auto pixels = [&](const QPointF &point) {
            return std::hypot((event->pos().x() - point.x()) / p, (event->pos().y() - point.y()) / q);
        };
        if (pixels(m_line.p1()) < 3)
            m_draggingP1 = true;
        else if (pixels(m_line.p2()) < 3)
            m_draggingP2 = true;
    }
    const TSynchronyzer *sync = m_synchronizer.data();
    m_draggingWhole = event->button() == Qt::LeftButton && !m_draggingP1 && !m_draggingP2
                      && (flags() & ItemIsMovable) && sync && sync->hasSpans();
    if (m_draggingWhole) {
        m_pressScenePos = event->scenePos();
        m_pressPosY = pos().y();
        m_pressIndex1 = std::round(mapToScene(m_line.p1()).x());
        m_pressIndex2 = std::round(mapToScene(m_line.p2()).x());
    }
    DrawingItem::mousePressEvent(event);
}

void LineDrawingItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    if ((m_draggingP1 || m_draggingP2) && (event->buttons() & Qt::LeftButton)) {
        // An end point never goes left of the scene's start.
        if (event->scenePos().x() > 0) {
            if (m_draggingP1)
                setSceneP1(event->scenePos());
            else
                setSceneP2(event->scenePos());
        }
        setSelected(true);
        event->accept();
        return;
    }
    if (m_draggingWhole && (event->buttons() & Qt::LeftButton)) {
        dragWhole(event->scenePos());
        event->accept();
        return;
    }
    DrawingItem::mouseMoveEvent(event);
}

void LineDrawingItem::dragWhole(const QPointF &scenePos)
{
    const TSynchronyzer *sync = m_synchronizer.data();
    if (!sync || !sync->hasSpans() || !std::isfinite(scenePos.x()) || !std::isfinite(scenePos.y()))
        return;
    // Up and down in the scale's frame, as far as the pointer went since the press.
    const double dy = mapToParent(mapFromScene(scenePos)).y()
                      - mapToParent(mapFromScene(m_pressScenePos)).y();
    // Placed first: a position change derives the moments from the points as they are.
    setPos(pos().x(), m_pressPosY + dy);
    const double units = std::round(scenePos.x() - m_pressScenePos.x());
    const auto timeAt = [sync](double index) {
        return sync->clampedTimeAt(int(std::clamp(index, -1.0, sync->sceneWidth() + 1.0)));
    };
    const datetime time1 = timeAt(m_pressIndex1 + units);
    const datetime time2 = timeAt(m_pressIndex2 + units);
    if (!time1.isNull() && !time2.isNull() && (time1 != m_time1 || time2 != m_time2)) {
        m_time1 = time1;
        m_time2 = time2;
        updatePosByTime();
    }
}

void LineDrawingItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    m_draggingP1 = false;
    m_draggingP2 = false;
    m_draggingWhole = false;
    DrawingItem::mouseReleaseEvent(event);
}

QVariant LineDrawingItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionChange) {
        const QPointF to = value.toPointF();
        if (!std::isfinite(to.x()) || !std::isfinite(to.y()))
            return pos();
    } else if (change == ItemPositionHasChanged) {
        // Moved as a whole: both moments follow, and the points sit on them.
        timesFromPoints(true, true);
        updatePosByTime();
        pointsChanged();
    }
    return DrawingItem::itemChange(change, value);
}
