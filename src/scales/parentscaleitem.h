#pragma once

#include <QColor>
#include <QGraphicsObject>
#include <QList>
#include <QPointer>

class ChartItem;
class Settings;

// A vertical scale of a sub-chart: an invisible item whose transform maps prices to scene y
// (scene y = pos y - m * price, m the vertical factor). Its children are the chart items and
// drawings of the scale; it fits their range to the scene height in one of three modes.
class ParentScaleItem : public QGraphicsObject
{
    Q_OBJECT
public:
    // 0 a fixed range, set by zooming; 1 the whole series; 2 what is on screen.
    enum AutoScale { Fixed = 0, WholeSeries = 1, Screen = 2 };

    explicit ParentScaleItem(QGraphicsItem *parent = nullptr);

    double high() const { return m_high; }
    double low() const { return m_low; }
    int leftScreen() const { return m_leftScreen; }
    int rightScreen() const { return m_rightScreen; }
    // The visible x range of the sub-chart in time units, for the "on screen" mode.
    void setScreenRange(int left, int right);
    int autoScale() const { return m_autoScale; }
    // A mode from a property dialog: when it differs, the scale refits.
    void setAutoScale(int mode);
    bool isGridEnabled() const { return m_gridEnabled; }
    QColor gridColor() const { return m_gridColor; }
    void setGridColor(const QColor &color);
    bool isFlat() const { return m_flat; }
    double flatValue() const { return m_flatValue; }
    double verticalFactor() const { return transform().m22(); }

    // The chart items among the children, and whether one of them is shown.
    QList<ChartItem *> chartItems() const;
    bool hasVisibleChartItem() const;
    // The name the scale goes by in menus and dialogs: its visible chart items' names, else
    // all of them, joined by "; ".
    QString label() const;
    // The largest number of decimals of the chart items; 0 without any.
    int decimals() const;

    // Takes the range of the visible chart items that take part in the scale (or of the first
    // visible one with a range); whether low or high changed. Without any, the range stays.
    bool updateRange();
    // updateRange and the fit of the mode, then labelsUpdated(); nothing without a visible
    // chart item.
    void refit();
    // Stretches the scale by f around the price at the middle of the scene; the mode becomes
    // fixed.
    void zoomBy(double f);
    // Fixed mode, the prices moved up or down by a tenth of the sub-chart's height.
    void shiftBy(bool up);
    // The height at the top of the scene that the sub-chart's status lines cover: the whole
    // series and on-screen fits place the highest price below it (refitting when it changes);
    // a fixed range stays as it is.
    double topMargin() const { return m_topMargin; }
    void setTopMargin(double height);
    // The sub-chart's height changed by a ratio: a fixed scale stretches with it (factor and
    // position), the other modes refit. A ratio that is 0 or not finite changes nothing.
    void heightChanged(double ratio);

    void saveState(Settings &settings) const;
    // A mode that is not 0, 1 or 2 reads as 2.
    void restoreState(Settings &settings);

    QRectF boundingRect() const override { return {0, 0, 1, 1}; }
    void paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) override {}

Q_SIGNALS:
    void labelsUpdated();
    void childItemsAdded();
    void childItemsRemoved();
    // A chart item of the scale changed its number of decimals.
    void precisionChanged();
    void scaleModeChanged();
    void selectionChanged();

public Q_SLOTS:
    void childRangeChanged();
    void childDataChanged(int left, int right);
    void childVisibleChanged();
    void enableGrid(bool enable);
    void childAdded(const QVariant &value);
    void childRemoved();

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    double sceneHeight() const;
    // Sets the factor and position that put [low, high] into the height.
    void fitRange(double low, double high);
    void fitWholeSeries();
    void fitScreen();
    void setVerticalFactor(double m);

    double m_high = 0;
    double m_low = 0;
    int m_leftScreen = 0;
    int m_rightScreen = 0;
    int m_autoScale = WholeSeries;
    bool m_gridEnabled = false;
    QColor m_gridColor{0x35, 0x35, 0x35};
    bool m_flat = false;
    double m_flatValue = 0;
    bool m_hasRange = false;
    double m_topMargin = 0;
    QList<QPointer<QGraphicsObject>> m_forwarded; // children whose selection is forwarded
};
