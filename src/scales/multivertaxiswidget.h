#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>

class ParentScaleItem;
class QAction;
class QHBoxLayout;
class Settings;
class VertReferenceAxisWidget;

// One side's row of price axes beside a sub-chart: at most three, side by side without gaps.
// The row gives every axis its colours, mirrors side changes into the other side's row, swaps
// an axis to another scale, and saves which scales its axes show.
class MultiVertAxisWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MaxAxes = 3;

    // The horizontal grid of one scale: the pixel rows and the colour to draw them in.
    struct GridLines
    {
        QColor color;
        QList<int> rows;
    };

    MultiVertAxisWidget(int side, QWidget *subChart, QWidget *parent = nullptr);
    ~MultiVertAxisWidget() override;

    int side() const { return m_side; }
    QWidget *subChart() const { return m_subChart.data(); }
    // The other side's row: side changes of this row's axes add or remove axes there.
    void setPartner(MultiVertAxisWidget *partner);
    MultiVertAxisWidget *partner() const { return m_partner.data(); }

    // The axes in layout order; an axis whose scale is gone no longer counts.
    QList<VertReferenceAxisWidget *> axes() const;
    VertReferenceAxisWidget *axisFor(const ParentScaleItem *scale) const;
    bool hasAxisFor(const ParentScaleItem *scale) const { return axisFor(scale) != nullptr; }

    // Puts an axis into the row at a layout position (clamped into the row). When that makes
    // more than three, the last axis other than the new one is deleted and returned.
    VertReferenceAxisWidget *insertAxis(int position, VertReferenceAxisWidget *axis);
    // An axis for the scale next to the chart, unless the scale already has one in this row;
    // returns the scale's axis.
    VertReferenceAxisWidget *attachScale(ParentScaleItem *scale);
    // Takes the scale's axis out of the row and deletes it later; false when it had none.
    bool detachScale(const ParentScaleItem *scale);

    QColor textColor() const { return m_textColor; }
    QColor lineColor() const { return m_lineColor; }
    QColor backgroundColor() const { return m_backgroundColor; }
    void setColors(const QColor &text, const QColor &line, const QColor &background);

    // The cursor price on every axis of the row, at y pixels of the row.
    void setCursorMark(int y);
    void clearCursorMark();

    // The grids this row draws: one per axis whose scale shows a grid and has visible items.
    QList<GridLines> gridLines() const;

    // "leftAxisCount" / "rightAxisCount" and one group per axis with the scale's "id".
    void saveState(Settings &settings) const;
    // Rebuilds the row from the saved state; scales are found by their "id" property. Throws
    // the count key or "parentScale" and then leaves the row as it was.
    void restoreState(Settings &settings, const QList<ParentScaleItem *> &scales);

    QSize sizeHint() const override;

Q_SIGNALS:
    void vertGridUpdated();

public Q_SLOTS:
    void changeAxisSide(QAction *action);
    void changeParentScale(QAction *action);

protected:
    QString keyPrefix() const;
    // Whether this row draws the grid of a scale it has an axis for.
    virtual bool drawsGridOf(const ParentScaleItem *) const { return true; }

private:
    VertReferenceAxisWidget *newAxis(ParentScaleItem *scale);
    void removeAxis(VertReferenceAxisWidget *axis);
    int layoutIndexOf(VertReferenceAxisWidget *axis) const;

    int m_side;
    QPointer<QWidget> m_subChart;
    QPointer<MultiVertAxisWidget> m_partner;
    QHBoxLayout *m_layout;
    QColor m_textColor{0xff, 0xff, 0xff};
    QColor m_lineColor{0xff, 0x00, 0x00};
    QColor m_backgroundColor{0x00, 0x00, 0x00};
};

// The row left of the chart. A scale with an axis on both sides has its grid drawn once, by
// the right row.
class LeftMultiVertAxisWidget : public MultiVertAxisWidget
{
    Q_OBJECT
public:
    explicit LeftMultiVertAxisWidget(QWidget *subChart, QWidget *parent = nullptr);

protected:
    bool drawsGridOf(const ParentScaleItem *scale) const override;
};

// The row right of the chart; its layout runs right to left, so the last axis is the one
// next to the chart on both sides.
class RightMultiVertAxisWidget : public MultiVertAxisWidget
{
    Q_OBJECT
public:
    explicit RightMultiVertAxisWidget(QWidget *subChart, QWidget *parent = nullptr);
};
