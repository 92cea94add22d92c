#pragma once

#include "parentscaleitem.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

class ChartItem;
class QAction;
class QActionGroup;
class QMenu;

// A price axis of one scale on one side of a sub-chart: labels at a round step, the last-price
// marks of the scale's items, the price under the cursor, and a vertical zoom by dragging. It
// also says where the sub-chart's horizontal grid lines go.
class VertReferenceAxisWidget : public QWidget
{
    Q_OBJECT
public:
    enum Side { Left = 1, Right = 2 };

    VertReferenceAxisWidget(int side, ParentScaleItem *scale, QWidget *subChart,
                            QWidget *row = nullptr);

    int side() const { return m_side; }
    ParentScaleItem *scale() const { return m_scale.data(); }
    QList<ChartItem *> items() const;
    QAction *gridAction() const { return m_gridAction; }
    QAction *gridColorAction() const { return m_gridColorAction; }
    QAction *leftAction() const { return m_leftAction; }
    QAction *rightAction() const { return m_rightAction; }

    QColor textColor() const { return m_textColor; }
    QColor lineColor() const { return m_lineColor; }
    QColor backgroundColor() const { return m_backgroundColor; }
    void setColors(const QColor &text, const QColor &line, const QColor &background);

    int precision() const { return m_precision; }
    double labelStep() const { return m_labelStep; }
    double firstLabel() const { return m_firstLabel; }
    int firstLabelPixel() const { return m_firstLabelPixel; }
    double pricePerPixel() const { return m_pricePerPixel; }
    double topPrice() const { return m_topPrice; }
    double labelWidth() const { return m_labelWidth; }
    // The label step for a raw step and a number of decimals: 1, 5 or 10 times a power of ten.
    static double stepFor(double raw, int precision);
    // The colour of a mark's text on its background.
    static QColor markTextColor(const QColor &background);
    // A price as the axis writes it.
    QString priceText(double price) const;

    // The price under the cursor at y pixels, shown until cleared.
    void setCursorMark(int y);
    void clearCursorMark();
    bool isCursorMarkShown() const { return m_cursorShown; }
    // Pixel rows of the horizontal grid, in the scale's grid colour.
    QList<int> gridLines() const;
    // Whether the scale has an axis on a side: the row that holds the axes knows.
    void setSideQuery(std::function<bool(ParentScaleItem *, int side)> query);
    // The context menu's entries, in order.
    void fillContextMenu(QMenu *menu);

    QSize sizeHint() const override;
    // The pixel row of a price, and half the height of a label, as painting places them.
    int rowOf(double price) const { return pixelOf(price); }
    int labelHalfHeight() const { return half(); }
    QSize minimumSizeHint() const override { return {0, 0}; }

Q_SIGNALS:
    void changeAxisSide(QAction *action);
    void changeParentScale(QAction *action);
    void gridUpdated();

public Q_SLOTS:
    void enableGrid(bool enable);
    void updateAxis();
    void childItemsAdded();
    void childItemsRemoved();
    void itemDestroyed(QObject *item);
    void updatePrecision();
    void changeGridColor();
    void resetWidth();
    void itemVisibleChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QFont boldFont() const;
    int half() const;
    int pixelOf(double price) const;
    // The label as a cached pixmap drawn at y (its middle).
    void drawLabel(QPainter &painter, const QString &text, const QColor &background,
                   const QColor &frame, const QColor &textColor, const QColor &tick, int y,
                   int h);
    void collectItems();
    void onClosePriceChanged();
    void repaintBand(int y);
    bool hasVisibleItem() const;

    int m_side;
    QPointer<ParentScaleItem> m_scale;
    QPointer<QWidget> m_subChart;
    QPointer<QWidget> m_row;
    QList<QPointer<ChartItem>> m_items;
    QHash<QObject *, int> m_markPixels; // the last mark row of each item
    QAction *m_gridAction;
    QAction *m_gridColorAction;
    QActionGroup *m_scaleGroup;
    QActionGroup *m_sideGroup;
    QAction *m_leftAction;
    QAction *m_rightAction;
    QColor m_textColor{0xff, 0xff, 0xff};
    QColor m_lineColor{0xff, 0x00, 0x00};
    QColor m_backgroundColor{0x00, 0x00, 0x00};
    int m_precision = 0;
    double m_labelStep = 0;
    double m_firstLabel = 0;
    int m_firstLabelPixel = 0;
    double m_pricePerPixel = 0;
    double m_topPrice = 0;
    double m_labelWidth = 0;
    bool m_resetWidth = true;
    bool m_cursorShown = false;
    int m_cursorY = 0;
    int m_pressY = 0;
    std::function<bool(ParentScaleItem *, int)> m_sideQuery;
};
