#include "timeaxisscrollarea.h"

#include "stickyscrollbar.h"
#include "tsynchronyzer.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QFontMetrics>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <cmath>
#include <limits>

namespace {

constexpr int ZoomDragPixels = 20;

QPen pen(const QColor &color)
{
    return QPen(QBrush(color), 1, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
}

} // namespace

TimeAxisScrollArea::TimeAxisScrollArea(TimeAxisHost *host, TSynchronyzer *synchronizer,
                                       QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_host(host)
    , m_synchronizer(synchronizer)
    , m_showDateAction(new QAction(tr("Показывать дату"), this))
{
    setFrameShape(QFrame::NoFrame);
    setAcceptDrops(true);
    setHorizontalScrollBar(new StickyScrollBar(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_showDateAction->setCheckable(true);
    m_showDateAction->setChecked(m_showDate);
    connect(m_showDateAction, &QAction::toggled, this, &TimeAxisScrollArea::changeShowDate);
    if (m_synchronizer) {
        connect(m_synchronizer, &TSynchronyzer::sceneWidthChanged, this,
                &TimeAxisScrollArea::scrollingAreaChanged);
        connect(m_synchronizer, &TSynchronyzer::timeMarkingChanged, viewport(),
                qOverload<>(&QWidget::update));
    }
}

void TimeAxisScrollArea::setBackgroundColor(const QColor &color)
{
    if (color == m_background)
        return;
    m_background = color;
    viewport()->update();
}

void TimeAxisScrollArea::setTextColor(const QColor &color)
{
    if (color == m_text)
        return;
    m_text = color;
    viewport()->update();
}

void TimeAxisScrollArea::setLineColor(const QColor &color)
{
    if (color == m_line)
        return;
    m_line = color;
    viewport()->update();
}

void TimeAxisScrollArea::changeShowDate(bool show)
{
    if (show == m_showDate)
        return;
    m_showDate = show;
    m_showDateAction->setChecked(show);
    updateGeometry();
    viewport()->update();
}

// --- geometry -----------------------------------------------------------------------------

double TimeAxisScrollArea::pixelsPerUnit() const
{
    const double ppu = m_host ? m_host->pixelsPerUnit() : 1.0;
    return ppu > 0 ? ppu : 1.0;
}

int TimeAxisScrollArea::sceneWidthInPixels() const
{
    if (!m_synchronizer)
        return 0;
    // Years of seconds at a close zoom would not fit an int.
    const double pixels = std::ceil(pixelsPerUnit() * m_synchronizer->sceneWidth());
    return int(qMin(pixels, double(std::numeric_limits<int>::max() / 2)));
}

int TimeAxisScrollArea::padding() const
{
    const int scene = sceneWidthInPixels();
    const int width = viewport()->width();
    return scene < width ? width - scene - 1 : 0;
}

bool TimeAxisScrollArea::visibleRange(int left, int right, int *from, int *to) const
{
    if (!m_synchronizer)
        return false;
    const double ppu = pixelsPerUnit();
    const int scroll = horizontalScrollBar()->value();
    const double pad = padding();
    *from = qMax(0, int(std::floor((left + scroll) / ppu - pad / ppu)));
    *to = qMin(int(std::floor(m_synchronizer->sceneWidth())),
               int(std::ceil((right + scroll) / ppu - pad / ppu)));
    return *to >= 1;
}

int TimeAxisScrollArea::xOfIndex(int index) const
{
    return int(std::ceil(pixelsPerUnit() * index)) - horizontalScrollBar()->value() + padding();
}

QSize TimeAxisScrollArea::sizeHint() const
{
    const int line = fontMetrics().height();
    return {200, (m_showDate ? 2 * line : line) + 10};
}

QSize TimeAxisScrollArea::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void TimeAxisScrollArea::scrollingAreaChanged()
{
    QScrollBar *bar = horizontalScrollBar();
    const int width = viewport()->width();
    bar->setPageStep(width);
    bar->setRange(0, qMax(sceneWidthInPixels() - width - 1, 0));
    viewport()->update();
}

void TimeAxisScrollArea::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    scrollingAreaChanged();
}

void TimeAxisScrollArea::scrollContentsBy(int, int)
{
    viewport()->update();
}

// --- cursor -------------------------------------------------------------------------------

QRect TimeAxisScrollArea::cursorRect() const
{
    const int height = fontMetrics().height() + 7;
    return QRect(m_cursorX - m_cursorLabelWidth / 2 - 1, 0, m_cursorLabelWidth, height);
}

void TimeAxisScrollArea::showCursorLabel(int index, int x)
{
    if (m_cursorShown)
        viewport()->update(cursorRect().adjusted(-2, 0, 2, 1));
    m_cursorShown = true;
    m_cursorIndex = index;
    m_cursorX = x;
    const QString text = m_synchronizer
                             ? m_synchronizer->markText(m_synchronizer->timeAt(index))
                             : QString();
    m_cursorLabelWidth = fontMetrics().horizontalAdvance(text) + 2;
    viewport()->update(cursorRect().adjusted(-2, 0, 2, 1));
}

void TimeAxisScrollArea::hideCursorLabel()
{
    if (!m_cursorShown)
        return;
    m_cursorShown = false;
    viewport()->update(cursorRect().adjusted(-2, 0, 2, 1));
}

// --- painting -----------------------------------------------------------------------------

void TimeAxisScrollArea::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, m_background);
    painter.setPen(pen(m_line));
    painter.drawLine(0, 0, viewport()->width(), 0);
    if (!m_synchronizer)
        return;
    paintMarks(painter, dirty);
    paintCursorLabel(painter, dirty);
    paintDates(painter, dirty);
}

void TimeAxisScrollArea::paintMarks(QPainter &painter, const QRect &dirty)
{
    const QFontMetrics metrics = fontMetrics();
    const int step = m_synchronizer->markStep(font(), pixelsPerUnit());
    // A mark left of the dirty area may still reach into it with its text.
    const int reach = int(std::ceil(step * pixelsPerUnit()));
    int from = 0;
    int to = 0;
    if (!visibleRange(dirty.left() - reach, dirty.right() + 1, &from, &to))
        return;
    const QPen linePen = pen(m_line);
    const QPen textPen = pen(m_text);
    const int baseline = metrics.height() + 5;
    for (const TSynchronyzer::Mark &mark : m_synchronizer->timeMarks(from, to, step)) {
        const int x = xOfIndex(mark.first);
        if (x > dirty.right() || x + reach < dirty.left())
            continue;
        painter.setPen(linePen);
        painter.drawLine(x, 0, x, 5);
        const QString text = m_synchronizer->markText(mark.second);
        if (!text.isEmpty()) {
            painter.setPen(textPen);
            painter.drawText(x, baseline, text);
        }
    }
}

void TimeAxisScrollArea::paintCursorLabel(QPainter &painter, const QRect &dirty)
{
    if (!m_cursorShown)
        return;
    const datetime time = m_synchronizer->timeAt(m_cursorIndex);
    if (time.isNull())
        return;
    const QString text = m_synchronizer->markText(time);
    const int w = fontMetrics().horizontalAdvance(text) + 2;
    m_cursorLabelWidth = w;
    if (m_cursorX < dirty.left() - w / 2 || m_cursorX > dirty.right() + w / 2)
        return;
    const QRect rect(m_cursorX - w / 2 - 1, 0, w, fontMetrics().height() + 7);
    painter.setPen(pen(m_line));
    painter.setBrush(m_background);
    painter.drawRect(rect);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen(m_text));
    painter.drawText(m_cursorX - w / 2, fontMetrics().height() + 5, text);
}

void TimeAxisScrollArea::paintDates(QPainter &painter, const QRect &dirty)
{
    const TimeFrameValue base = m_synchronizer->baseFrame();
    if (!m_showDate || base.kind != Interval || base.value >= 86400)
        return;
    int from = 0;
    int to = 0;
    if (!visibleRange(dirty.left(), dirty.right() + 1, &from, &to))
        return;
    const datetime first = m_synchronizer->timeAt(from);
    datetime last = m_synchronizer->timeAt(to);
    if (last.isNull()) {
        const QList<qint64> spans = m_synchronizer->spans();
        if (spans.isEmpty())
            return;
        last = datetime::fromMSecsSinceEpoch(spans.last());
    }
    if (first.isNull())
        return;
    const QFontMetrics metrics = fontMetrics();
    const int baseline = 2 * metrics.height() + 5;
    const QLocale locale = QLocale::system();
    painter.setPen(pen(m_text));
    for (QDate day = first.getDate(); day <= last.getDate(); day = day.addDays(1)) {
        const int left = xOfIndex(m_synchronizer->indexOf(datetime(day)));
        const int right = xOfIndex(m_synchronizer->indexOf(datetime(day.addDays(1))));
        if (right <= left || right < dirty.left() || left > dirty.right())
            continue;
        // Centred in the part of the day that is on screen, so that a day that began off the
        // left edge still names itself.
        const int shownLeft = qMax(left, 0);
        const int shownRight = qMin(right, viewport()->width());
        if (shownRight <= shownLeft)
            continue;
        const int width = shownRight - shownLeft;
        for (const QString &text : {locale.toString(day, QLocale::LongFormat),
                                    locale.toString(day, QLocale::ShortFormat),
                                    day.toString(QStringLiteral("d.M")),
                                    day.toString(QStringLiteral("d"))}) {
            const int textWidth = metrics.horizontalAdvance(text);
            if (textWidth <= width) {
                painter.drawText(shownLeft + (width - textWidth) / 2, baseline, text);
                break;
            }
        }
    }
}

// --- zooming by dragging --------------------------------------------------------------------

void TimeAxisScrollArea::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_pressX = event->position().toPoint().x();
    event->accept();
}

void TimeAxisScrollArea::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const int x = event->position().toPoint().x();
    if (std::abs(x - m_pressX) > ZoomDragPixels) {
        if (m_host)
            m_host->zoomStep(x < m_pressX ? TimeAxisHost::Zoom::In : TimeAxisHost::Zoom::Out);
        m_pressX = x;
    }
    event->accept();
}

void TimeAxisScrollArea::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QAbstractScrollArea::mouseReleaseEvent(event);
}

void TimeAxisScrollArea::contextMenuEvent(QContextMenuEvent *event)
{
    // The window's menu carries the date-row toggle along with its own: the event goes on to it.
    event->ignore();
}

// --- drops --------------------------------------------------------------------------------

Qt::DropAction TimeAxisScrollArea::dropActionFor(const QMimeData *data) const
{
    return m_host && data ? m_host->axisDropAction(data) : Qt::IgnoreAction;
}

void TimeAxisScrollArea::answerDrag(QDragMoveEvent *event) const
{
    const Qt::DropAction action = dropActionFor(event->mimeData());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void TimeAxisScrollArea::dragEnterEvent(QDragEnterEvent *event)
{
    answerDrag(event);
}

void TimeAxisScrollArea::dragMoveEvent(QDragMoveEvent *event)
{
    answerDrag(event);
}

void TimeAxisScrollArea::dropEvent(QDropEvent *event)
{
    const Qt::DropAction action = dropActionFor(event->mimeData());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    m_host->dropOnAxis(event->mimeData());
    event->setDropAction(action);
    event->accept();
}
