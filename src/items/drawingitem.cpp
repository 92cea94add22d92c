#include "drawingitem.h"

#include "drawinglayer.h"
#include "mapsettings.h"
#include "refusal.h"
#include "settings.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <cmath>

DrawingItem::DrawingItem(QGraphicsObject *parentChartItem, const QColor &color, int lineWidth)
    : GraphicsItem(parentChartItem)
    , m_drawingColor(color.isValid() ? color : defaultColor())
{
    // Set before the drawing has a shape: a geometry change now would ask for it.
    initLineWidth(lineWidth >= 1 && lineWidth <= 10 ? lineWidth : 1);
    setFlag(ItemIsMovable);
    setFlag(ItemSendsGeometryChanges);
    watchScale();
    // Born under a scale already in a scene: no scene change reaches this class.
    followLayer();
}

DrawingItem::~DrawingItem()
{
    DrawingLayer::invalidate(scene());
}

void DrawingItem::followLayer()
{
    setFlag(ItemHasNoContents, DrawingLayer::of(scene()) != nullptr);
    DrawingLayer::invalidate(scene());
}

void DrawingItem::redraw()
{
    GraphicsItem::redraw();
    DrawingLayer::invalidate(scene());
}

QVariant DrawingItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    switch (change) {
    case ItemSceneChange:
        // The scene it leaves paints without it.
        DrawingLayer::invalidate(scene());
        break;
    case ItemSceneHasChanged:
        followLayer();
        break;
    case ItemPositionHasChanged:
    case ItemTransformHasChanged:
    case ItemVisibleHasChanged:
    case ItemSelectedHasChanged:
    case ItemParentHasChanged:
    case ItemZValueHasChanged:
    case ItemOpacityHasChanged:
        DrawingLayer::invalidate(scene());
        break;
    default:
        break;
    }
    return GraphicsItem::itemChange(change, value);
}

void DrawingItem::setParentChartItem(QGraphicsObject *item)
{
    if (m_parentChartItem)
        disconnect(m_parentChartItem, nullptr, this, nullptr);
    GraphicsItem::setParentChartItem(item);
    watchScale();
    scalePrecisionChanged();
}

void DrawingItem::watchScale()
{
    QGraphicsObject *scale = m_parentChartItem.data();
    if (!scale)
        return;
    // Scales say when their items come, go or change their decimals; other parents do not.
    for (const char *signal : {SIGNAL(childItemsAdded()), SIGNAL(childItemsRemoved()),
                               SIGNAL(precisionChanged())}) {
        if (scale->metaObject()->indexOfSignal(signal + 1) >= 0)
            connect(scale, signal, this, SLOT(scalePrecisionChanged()), Qt::UniqueConnection);
    }
}

DrawingItem::ExtentKey DrawingItem::extentKey() const
{
    const QGraphicsScene *s = scene();
    return {s ? s->sceneRect() : QRectF(), sceneTransform(), pixelWidth(), lineWidth()};
}

QRectF DrawingItem::boundingRect() const
{
    const ExtentKey key = extentKey();
    if (!m_extentValid || !(key == m_extentKey)) {
        m_extent = extent();
        m_extentKey = key;
        m_extentValid = true;
    }
    return m_extent;
}

void DrawingItem::geometryChanging()
{
    prepareGeometryChange();
    m_extentValid = false;
    DrawingLayer::invalidate(scene());
}

namespace {

struct KindTexts
{
    const char *typeName;
    const char *deleteQuestion;
};

// By "drawing" number.
const KindTexts kindTexts[DrawingItem::KindCount] = {
    {"Линия тренда", "Вы действительно хотите удалить линию тренда?"},
    {"Горизонтальная линия", "Вы действительно хотите удалить горизонтальную линию?"},
    {"Уровни Фибоначчи", "Вы действительно хотите удалить уровни Фибоначчи?"},
    {"Дуги Фибоначчи", "Вы действительно хотите удалить дуги Фибоначчи?"},
    {"Веер Фибоначчи", "Вы действительно хотите удалить веер Фибоначчи?"},
};

} // namespace

QString DrawingItem::typeNameOf(int kind)
{
    return kind >= 0 && kind < KindCount ? QString::fromUtf8(kindTexts[kind].typeName) : QString();
}

QString DrawingItem::deleteQuestionOf(int kind)
{
    return kind >= 0 && kind < KindCount ? QString::fromUtf8(kindTexts[kind].deleteQuestion) : QString();
}

QString DrawingItem::deleteQuestion() const
{
    const QString question = deleteQuestionOf(kind());
    return question.isEmpty() ? GraphicsItem::deleteQuestion() : question;
}

void DrawingItem::setDrawingColor(const QColor &color)
{
    if (!color.isValid() || color == m_drawingColor)
        return;
    m_drawingColor = color;
    drawingColorChanged();
    redraw();
}

void DrawingItem::moveToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    const QPointF onScene = scenePos();
    setParentChartItem(scale);
    setPos(scale->mapFromScene(onScene));
}

void DrawingItem::rebindToScale(QGraphicsObject *scale)
{
    if (!scale || scale == parentChartItem())
        return;
    const QPointF inParent = pos();
    setParentChartItem(scale);
    setPos(inParent);
}

namespace {

DrawingItem::PropertyEditor &propertyEditor()
{
    static DrawingItem::PropertyEditor editor;
    return editor;
}

} // namespace

void DrawingItem::setPropertyEditor(const PropertyEditor &editor)
{
    propertyEditor() = editor;
}

bool DrawingItem::hasPropertyEditor()
{
    return bool(propertyEditor());
}

void DrawingItem::showPropertyDialog(QWidget *parent)
{
    const PropertyEditor editor = propertyEditor();
    if (!editor)
        return;
    QPointer<DrawingItem> guard(this);
    QPointer<QWidget> owner(parent);
    MapSettings result;
    const bool accepted = editor(this, parent, result);
    if (!guard) {
        if (accepted)
            showRefusal(owner, QStringLiteral("Объект был удалён, пока открыт диалог свойств"));
        return;
    }
    if (!accepted)
        return;
    try {
        applyProperties(result);
    } catch (const QString &text) {
        showRefusal(owner, text);
    }
}

void DrawingItem::onPropertyAction()
{
    showPropertyDialog(viewWidget());
}

void DrawingItem::saveState(Settings &settings) const
{
    GraphicsItem::saveState(settings);
    settings.setValue(QStringLiteral("visible"), isShownByItself());
    settings.setValue(QStringLiteral("type"), 2);
    settings.setValue(QStringLiteral("color"), m_drawingColor);
}

void DrawingItem::restoreState(Settings &settings)
{
    GraphicsItem::restoreState(settings);
    setVisible(settings.value(QStringLiteral("visible"), true).toBool());
    const QColor color = settings.value(QStringLiteral("color")).value<QColor>();
    if (color.isValid() && color != m_drawingColor) {
        m_drawingColor = color;
        drawingColorChanged();
    }
}

void DrawingItem::applyProperties(Settings &settings)
{
    GraphicsItem::applyProperties(settings);
    if (settings.contains(QStringLiteral("color")))
        setDrawingColor(settings.value(QStringLiteral("color")).value<QColor>());
}

QRectF DrawingItem::sceneRectInItem() const
{
    const QGraphicsScene *s = scene();
    if (!s)
        return {};
    bool invertible = false;
    const QTransform back = sceneTransform().inverted(&invertible);
    return invertible ? back.mapRect(s->sceneRect()) : QRectF();
}

QPen DrawingItem::drawingPen() const
{
    QPen pen(m_drawingColor, lineWidth(), Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    pen.setCosmetic(true);
    return pen;
}

int DrawingItem::markerMargin() const
{
    return std::max(7, (lineWidth() + 1) / 2);
}

double DrawingItem::hitTolerance() const
{
    return std::max(3.0, lineWidth() / 2.0);
}

QPixmap DrawingItem::renderLabel(const QString &text, const QColor &color)
{
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    const QSize size(std::max(1, metrics.horizontalAdvance(text)), std::max(1, metrics.height()));
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignVCenter, text);
    return pixmap;
}

QTransform DrawingItem::labelTransform(const QTransform &world)
{
    return QTransform::fromTranslate(world.dx(), world.dy());
}

void DrawingItem::drawLabel(QPainter *painter, const QTransform &world, const QPointF &itemPoint,
                            const QPointF &offset, const QPixmap &label)
{
    const QPointF at(itemPoint.x() * world.m11() + offset.x(),
                     itemPoint.y() * world.m22() + offset.y());
    if (!std::isfinite(at.x()) || !std::isfinite(at.y()))
        return;
    painter->drawPixmap(at, label);
}

void DrawingItem::fillHorizontalLine(QPainter *painter, double x1, double x2, double y) const
{
    const QTransform &t = painter->worldTransform();
    const double q = std::abs(t.m22()) > 0 ? 1.0 / std::abs(t.m22()) : 1.0;
    const double width = lineWidth() * q;
    const double left = std::min(x1, x2);
    painter->fillRect(QRectF(left, y - width / 2, std::abs(x2 - x1), width), m_drawingColor);
}

double DrawingItem::readFinite(const Settings &settings, const QString &key)
{
    bool ok = false;
    const double value = settings.value(key).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw key;
    return value;
}
