#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QPointer>

class QAction;
class QDragMoveEvent;
class QMimeData;
class TSynchronyzer;

// What the time axis asks of the chart area above it: the horizontal scale its sub-charts are
// drawn at, and one step of their horizontal zoom.
class TimeAxisHost
{
public:
    virtual ~TimeAxisHost() = default;
    // Pixels per index unit; 1.0 without sub-charts.
    virtual double pixelsPerUnit() const = 0;
    // One step of the horizontal zoom, in or out.
    enum class Zoom { In, Out };
    virtual void zoomStep(Zoom direction) = 0;
    // What a drop of the data on the axis would do, IgnoreAction when it is refused; and the
    // drop itself. The axis belongs to no pane: what it takes goes into a new one.
    virtual Qt::DropAction axisDropAction(const QMimeData *) { return Qt::IgnoreAction; }
    virtual void dropOnAxis(const QMimeData *) {}
};

// The time axis under a window's sub-charts: the axis line, ticks and time texts at the
// synchroniser's marks, an optional row of dates and the time under the cursor. It scrolls
// with the sub-charts; dragging on it zooms them. Instruments and chart items dropped on it go
// to the host.
class TimeAxisScrollArea : public QAbstractScrollArea
{
    Q_OBJECT
public:
    TimeAxisScrollArea(TimeAxisHost *host, TSynchronyzer *synchronizer,
                       QWidget *parent = nullptr);

    bool showDate() const { return m_showDate; }
    QAction *showDateAction() const { return m_showDateAction; }

    QColor backgroundColor() const { return m_background; }
    QColor textColor() const { return m_text; }
    QColor lineColor() const { return m_line; }
    void setBackgroundColor(const QColor &color);
    void setTextColor(const QColor &color);
    void setLineColor(const QColor &color);

    // The time label under the cursor at that index and viewport x.
    void showCursorLabel(int index, int x);
    void hideCursorLabel();
    bool isCursorLabelShown() const { return m_cursorShown; }

    // The scene width in pixels, and the padding that right-aligns a narrower scene.
    int sceneWidthInPixels() const;
    int padding() const;
    // Indices visible between the viewport's x positions; false when nothing is.
    bool visibleRange(int left, int right, int *from, int *to) const;
    // The viewport x of an index.
    int xOfIndex(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public Q_SLOTS:
    void scrollingAreaChanged();
    void changeShowDate(bool show);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    double pixelsPerUnit() const;
    Qt::DropAction dropActionFor(const QMimeData *data) const;
    void answerDrag(QDragMoveEvent *event) const;
    QRect cursorRect() const;
    void paintMarks(QPainter &painter, const QRect &dirty);
    void paintCursorLabel(QPainter &painter, const QRect &dirty);
    void paintDates(QPainter &painter, const QRect &dirty);

    TimeAxisHost *m_host;
    QPointer<TSynchronyzer> m_synchronizer;
    bool m_showDate = true;
    QAction *m_showDateAction;
    QColor m_background{0, 0, 0};
    QColor m_text{255, 255, 255};
    QColor m_line{255, 0, 0};
    bool m_cursorShown = false;
    int m_cursorIndex = 0;
    int m_cursorX = 0;
    int m_cursorLabelWidth = 0;
    int m_pressX = 0;
};
