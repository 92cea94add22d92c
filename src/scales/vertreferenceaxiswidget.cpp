#include "vertreferenceaxiswidget.h"

#include "chartitem.h"
#include "parentscaleitem.h"

#include <QAction>
#include <QActionGroup>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QGraphicsScene>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPixmapCache>

#include <algorithm>
#include <cmath>

namespace {

int roundAway(double v)
{
    return int(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

QPen linePen(const QColor &color)
{
    return QPen(color, 0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
}

} // namespace

VertReferenceAxisWidget::VertReferenceAxisWidget(int side, ParentScaleItem *scale,
                                                 QWidget *subChart, QWidget *row)
    : QWidget(row)
    , m_side(side == Left ? Left : Right)
    , m_scale(scale)
    , m_subChart(subChart)
    , m_row(row)
    , m_gridAction(new QAction(QStringLiteral("Отображать сетку"), this))
    , m_gridColorAction(new QAction(QStringLiteral("Настроить сетку"), this))
    , m_scaleGroup(new QActionGroup(this))
    , m_sideGroup(new QActionGroup(this))
    , m_leftAction(new QAction(QStringLiteral("Слева"), m_sideGroup))
    , m_rightAction(new QAction(QStringLiteral("Справа"), m_sideGroup))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    m_gridAction->setCheckable(true);
    m_gridAction->setChecked(scale && scale->isGridEnabled());
    m_scaleGroup->setExclusive(true);
    m_sideGroup->setExclusive(false);
    m_leftAction->setCheckable(true);
    m_leftAction->setProperty("side", int(Left));
    m_rightAction->setCheckable(true);
    m_rightAction->setProperty("side", int(Right));
    m_sideQuery = [this](ParentScaleItem *s, int which) { return s == m_scale && which == m_side; };
    connect(m_gridAction, &QAction::triggered, this, &VertReferenceAxisWidget::enableGrid);
    connect(m_gridColorAction, &QAction::triggered, this, &VertReferenceAxisWidget::changeGridColor);
    connect(m_scaleGroup, &QActionGroup::triggered, this, &VertReferenceAxisWidget::changeParentScale);
    connect(m_sideGroup, &QActionGroup::triggered, this, &VertReferenceAxisWidget::changeAxisSide);
    if (scale) {
        connect(scale, &ParentScaleItem::labelsUpdated, this, &VertReferenceAxisWidget::updateAxis);
        connect(scale, &ParentScaleItem::childItemsAdded, this,
                &VertReferenceAxisWidget::childItemsAdded);
        connect(scale, &ParentScaleItem::childItemsRemoved, this,
                &VertReferenceAxisWidget::childItemsRemoved);
        connect(scale, &ParentScaleItem::scaleModeChanged, this, &VertReferenceAxisWidget::resetWidth);
        connect(scale, &QObject::destroyed, this, &QObject::deleteLater);
        connect(scale, &ParentScaleItem::selectionChanged, this, qOverload<>(&QWidget::update));
    }
    collectItems();
    updatePrecision();
    updateAxis();
}

QList<ChartItem *> VertReferenceAxisWidget::items() const
{
    QList<ChartItem *> list;
    for (const QPointer<ChartItem> &item : m_items) {
        if (item)
            list.append(item.data());
    }
    return list;
}

void VertReferenceAxisWidget::setColors(const QColor &text, const QColor &line,
                                        const QColor &background)
{
    m_textColor = text;
    m_lineColor = line;
    m_backgroundColor = background;
    update();
}

void VertReferenceAxisWidget::collectItems()
{
    if (!m_scale)
        return;
    for (ChartItem *item : m_scale->chartItems()) {
        if (std::any_of(m_items.begin(), m_items.end(),
                        [item](const QPointer<ChartItem> &known) { return known == item; }))
            continue;
        m_items.append(item);
        connect(item, &ChartItem::colorChanged, this, qOverload<>(&QWidget::update));
        connect(item, &ChartItem::closePriceChanged, this,
                &VertReferenceAxisWidget::onClosePriceChanged);
        connect(item, &ChartItem::precisionChanged, this, &VertReferenceAxisWidget::updatePrecision);
        connect(item, &GraphicsItem::visibilityChanged, this,
                &VertReferenceAxisWidget::itemVisibleChanged);
        connect(item, &QObject::destroyed, this, &VertReferenceAxisWidget::itemDestroyed);
    }
    setVisible(hasVisibleItem());
}

bool VertReferenceAxisWidget::hasVisibleItem() const
{
    return std::any_of(m_items.begin(), m_items.end(), [this](const QPointer<ChartItem> &item) {
        return item && m_scale && item->isVisibleTo(m_scale.data());
    });
}

// --- labels ---------------------------------------------------------------------------------

double VertReferenceAxisWidget::stepFor(double raw, int precision)
{
    if (!std::isfinite(raw) || raw <= 0)
        return std::pow(10.0, -std::max(0, precision));
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    const int k = roundAway(raw / (5 * p));
    const double step = k == 0 ? p : k == 1 ? 5 * p : 10 * p;
    return std::max(step, std::pow(10.0, -precision));
}

QString VertReferenceAxisWidget::priceText(double price) const
{
    return QLocale::system().toString(price, 'f', m_precision);
}

QFont VertReferenceAxisWidget::boldFont() const
{
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

int VertReferenceAxisWidget::half() const
{
    return int(std::ceil(QFontMetrics(boldFont()).boundingRect(QStringLiteral("1")).height() / 2.0));
}

int VertReferenceAxisWidget::pixelOf(double price) const
{
    return roundAway((price - m_topPrice) / m_pricePerPixel);
}

void VertReferenceAxisWidget::updateAxis()
{
    if (!m_scale)
        return;
    const QFontMetricsF metrics(boldFont());
    const double m = m_scale->verticalFactor();
    const double sceneHeight = m_scale->scene() ? m_scale->scene()->sceneRect().height() : 0;
    const int n = height();
    // A factor of 0 or one that is no number leaves the labels as they were.
    if (!(std::abs(m) > 0) || !std::isfinite(m) || n <= 0)
        return;
    const double top = m_scale->pos().y() / m;
    double bottom = top - sceneHeight / m;
    if (bottom == top)
        bottom = top - 1.0;
    if (!std::isfinite(top) || !std::isfinite(bottom))
        return;
    const double oldStep = m_labelStep, oldTop = m_topPrice, oldPerPixel = m_pricePerPixel;
    const double oldWidth = m_labelWidth;
    const int oldFirstPixel = m_firstLabelPixel;
    const int spacing = std::max(1, int(2.5 * metrics.height()));
    // At least one label, however low the axis.
    const int labels = std::max(1, n / spacing);
    m_labelStep = stepFor((top - bottom) / labels, m_precision);
    m_topPrice = top;
    m_pricePerPixel = (bottom - top) / n;
    m_firstLabel = std::floor(top / m_labelStep) * m_labelStep;
    m_firstLabelPixel = pixelOf(m_firstLabel);
    double needed = 0;
    for (double price : {n * m_pricePerPixel + top, m_firstLabel, top, bottom})
        needed = std::max(needed, metrics.horizontalAdvance(priceText(price)));
    if (m_resetWidth) {
        m_labelWidth = needed;
        m_resetWidth = false;
    } else {
        m_labelWidth = std::max(m_labelWidth, needed);
    }
    // A trade that moves no label asks for no new layout and no repaint of the chart's grid.
    if (m_labelWidth != oldWidth)
        updateGeometry();
    update();
    const bool moved = m_labelStep != oldStep || m_topPrice != oldTop
                       || m_pricePerPixel != oldPerPixel || m_firstLabelPixel != oldFirstPixel;
    if (moved && m_scale->isGridEnabled() && m_scale->hasVisibleChartItem())
        Q_EMIT gridUpdated();
}

QSize VertReferenceAxisWidget::sizeHint() const
{
    return {m_labelWidth == 0 ? 0 : int(m_labelWidth) + 5, 100};
}

QList<int> VertReferenceAxisWidget::gridLines() const
{
    QList<int> lines;
    if (!(m_labelStep > 0) || !(m_pricePerPixel < 0))
        return lines;
    const int limit = QFontMetrics(boldFont()).height() + height();
    double price = m_firstLabel;
    for (int y = m_firstLabelPixel; y < limit && lines.size() <= height(); y = pixelOf(price)) {
        lines.append(y);
        price -= m_labelStep;
    }
    return lines;
}

// --- painting -------------------------------------------------------------------------------

QColor VertReferenceAxisWidget::markTextColor(const QColor &background)
{
    const QColor hsv = background.toHsv();
    const int hue = hsv.hsvHue();
    if (hue >= 221 && hue <= 269 && (hsv.hsvSaturation() > 150 || hsv.value() < 150))
        return Qt::white;
    return hsv.value() < 151 ? QColor(Qt::white) : QColor(Qt::black);
}

void VertReferenceAxisWidget::drawLabel(QPainter &painter, const QString &text,
                                        const QColor &background, const QColor &frame,
                                        const QColor &textColor, const QColor &tick, int y, int h)
{
    const QFont font = painter.font();
    const QFontMetrics metrics(font);
    const int w = width();
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("TAVAM:") + text
                        + (tick.isValid() ? tick.name() : QStringLiteral("#000000"))
                        + textColor.name() + frame.name() + background.name() + font.toString()
                        + QString::number(int(std::floor(ratio * 1000))) + QString::number(m_side)
                        + QString::number(w) + QString::number(2 * h)
                        + QString::number(m_labelWidth);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(QSize(w, 2 * h) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(background);
        QPainter p(&pixmap);
        p.setFont(font);
        if (frame.isValid()) {
            p.setPen(QPen(frame, 1));
            p.setBrush(background);
            p.drawRect(QRect(0, 0, w - 2, 2 * h - 2));
        }
        if (tick.isValid()) {
            p.setPen(linePen(tick));
            if (m_side == Left)
                p.drawLine(w - 3, h, w, h);
            else
                p.drawLine(0, h, 2, h);
        }
        p.setPen(textColor);
        const int x = m_side == Right ? 4 : w - metrics.horizontalAdvance(text) - 4;
        p.drawText(x, 2 * h - 3, text);
        p.end();
        QPixmapCache::insert(key, pixmap);
    }
    painter.drawPixmap(m_side == Right ? 1 : 0, y - h, pixmap);
}

void VertReferenceAxisWidget::paintEvent(QPaintEvent *event)
{
    if (!m_scale || m_items.isEmpty() || !(m_labelStep > 0) || !(m_pricePerPixel < 0))
        return;
    QPainter painter(this);
    painter.fillRect(event->rect(), m_backgroundColor);
    QFont font = this->font();
    for (const ChartItem *item : items())
        font.setBold(font.bold() || item->isSelected());
    painter.setFont(font);
    const int h = half();
    const int bandTop = event->rect().top() - h - 3;
    const int bandBottom = event->rect().bottom() + h;
    auto inBand = [&](int y) { return y >= bandTop && y <= bandBottom; };
    painter.setPen(linePen(m_lineColor));
    const int x = m_side == Left ? width() - 1 : 0;
    painter.drawLine(x, std::max(0, bandTop), x, std::min(height(), bandBottom));

    double price = m_firstLabel;
    for (int y = m_firstLabelPixel, count = 0; y >= 0 && y < height() + 2 * h && count <= height();
         y = pixelOf(price), ++count) {
        if (inBand(y))
            drawLabel(painter, priceText(price), m_backgroundColor, QColor(), m_textColor,
                      m_lineColor, y, h);
        price -= m_labelStep;
    }

    // Marks: the front item's last, on top of the others.
    const ChartItem *front = nullptr;
    auto drawMarks = [&](const ChartItem *item) {
        for (const PriceMark &mark : item->priceMarks()) {
            const int y = pixelOf(mark.price);
            m_markPixels[const_cast<ChartItem *>(item)] = y;
            if (inBand(y))
                drawLabel(painter, priceText(mark.price), mark.color, mark.frameColor,
                          markTextColor(mark.color), QColor(), y, h);
        }
    };
    for (const ChartItem *item : items()) {
        if (!item->isVisibleTo(m_scale.data()))
            continue;
        if (item->zValue() == 1.0)
            front = item;
        else
            drawMarks(item);
    }
    if (front)
        drawMarks(front);

    if (m_cursorShown && inBand(m_cursorY)) {
        painter.setPen(linePen(m_lineColor));
        painter.setBrush(m_backgroundColor);
        painter.drawRect(QRect(m_side == Left ? 0 : 1, m_cursorY - h, width() - 1, 2 * h));
        const QString text = priceText(m_topPrice + m_cursorY * m_pricePerPixel);
        const int advance = QFontMetrics(font).horizontalAdvance(text);
        painter.setPen(m_textColor);
        painter.drawText(m_side == Right ? 4 : width() - 1 - 4 - advance, m_cursorY - 3 + h, text);
    }
}

void VertReferenceAxisWidget::repaintBand(int y)
{
    const int h = half();
    update(QRect(0, y - h - 3, width(), 2 * h + 6));
}

void VertReferenceAxisWidget::setCursorMark(int y)
{
    if (m_cursorShown)
        repaintBand(m_cursorY);
    m_cursorShown = true;
    m_cursorY = y;
    repaintBand(y);
}

void VertReferenceAxisWidget::clearCursorMark()
{
    if (!m_cursorShown)
        return;
    m_cursorShown = false;
    repaintBand(m_cursorY);
}

void VertReferenceAxisWidget::onClosePriceChanged()
{
    // Only the bands of the item's mark, where it was and where it is now.
    auto *item = qobject_cast<ChartItem *>(sender());
    if (!item || !(m_pricePerPixel < 0)) {
        update();
        return;
    }
    if (const auto it = m_markPixels.constFind(item); it != m_markPixels.constEnd())
        repaintBand(it.value());
    for (const PriceMark &mark : item->priceMarks()) {
        const int y = pixelOf(mark.price);
        m_markPixels[item] = y;
        repaintBand(y);
    }
}

// --- items, precision, width ----------------------------------------------------------------

void VertReferenceAxisWidget::childItemsAdded()
{
    collectItems();
    updatePrecision();
    resetWidth();
}

void VertReferenceAxisWidget::childItemsRemoved()
{
    const QList<ChartItem *> current = m_scale ? m_scale->chartItems() : QList<ChartItem *>();
    m_items.removeIf([&](const QPointer<ChartItem> &item) {
        if (item && current.contains(item.data()))
            return false;
        if (item)
            disconnect(item.data(), nullptr, this, nullptr);
        return true;
    });
    setVisible(hasVisibleItem());
    updatePrecision();
    resetWidth();
}

void VertReferenceAxisWidget::itemDestroyed(QObject *item)
{
    // The item is past its own destructor: only pointers are compared.
    m_markPixels.remove(item);
    m_items.removeIf([item](const QPointer<ChartItem> &known) {
        return known.isNull() || static_cast<QObject *>(known.data()) == item;
    });
    if (!m_items.isEmpty())
        resetWidth();
    setVisible(hasVisibleItem());
}

void VertReferenceAxisWidget::updatePrecision()
{
    int precision = 0;
    for (const ChartItem *item : items())
        precision = std::max(precision, item->decimals());
    if (precision == m_precision)
        return;
    m_precision = precision;
    m_resetWidth = true;
    updateAxis();
}

void VertReferenceAxisWidget::resetWidth()
{
    m_resetWidth = true;
    updateAxis();
}

void VertReferenceAxisWidget::itemVisibleChanged()
{
    setVisible(hasVisibleItem());
    updateAxis();
    // The scale's grid comes or goes with its visible items.
    Q_EMIT gridUpdated();
}

void VertReferenceAxisWidget::enableGrid(bool enable)
{
    if (m_scale)
        m_scale->enableGrid(enable);
    Q_EMIT gridUpdated();
}

void VertReferenceAxisWidget::changeGridColor()
{
    if (!m_scale)
        return;
    const QColor color = QColorDialog::getColor(m_scale->gridColor(), this,
                                                QStringLiteral("Цвет сетки"));
    if (!color.isValid())
        return;
    m_scale->setGridColor(color);
    Q_EMIT gridUpdated();
    update();
}

void VertReferenceAxisWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateAxis();
}

// --- menu and dragging ----------------------------------------------------------------------

void VertReferenceAxisWidget::setSideQuery(std::function<bool(ParentScaleItem *, int)> query)
{
    if (query)
        m_sideQuery = std::move(query);
}

void VertReferenceAxisWidget::fillContextMenu(QMenu *menu)
{
    m_gridAction->setChecked(m_scale && m_scale->isGridEnabled());
    menu->addAction(m_gridAction);
    menu->addAction(m_gridColorAction);
    menu->addSeparator();
    m_leftAction->setChecked(m_scale && m_sideQuery(m_scale.data(), Left));
    m_rightAction->setChecked(m_scale && m_sideQuery(m_scale.data(), Right));
    menu->addAction(m_leftAction);
    menu->addAction(m_rightAction);
    menu->addSeparator();
    for (QAction *old : m_scaleGroup->actions())
        delete old;
    if (!m_scale || !m_scale->scene())
        return;
    for (QGraphicsItem *top : m_scale->scene()->items(Qt::AscendingOrder)) {
        auto *scale = qobject_cast<ParentScaleItem *>(top->toGraphicsObject());
        if (!scale)
            continue;
        auto *action = new QAction(scale->label(), m_scaleGroup);
        action->setCheckable(true);
        action->setChecked(scale == m_scale);
        action->setProperty("parentScale", QVariant::fromValue<QObject *>(scale));
        menu->addAction(action);
    }
}

void VertReferenceAxisWidget::contextMenuEvent(QContextMenuEvent *event)
{
    // The window's menu carries this axis' entries along with its own: the event goes on to it.
    event->ignore();
}

void VertReferenceAxisWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressY = int(event->position().y());
    QWidget::mousePressEvent(event);
}

void VertReferenceAxisWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_scale)
        return;
    const int y = int(event->position().y());
    if (std::abs(y - m_pressY) <= 10)
        return;
    m_scale->zoomBy(y < m_pressY ? 1.03 : 0.97);
    if (m_subChart && m_subChart->metaObject()->indexOfMethod("currItemChanged()") >= 0)
        QMetaObject::invokeMethod(m_subChart, "currItemChanged");
    m_pressY = y;
}
