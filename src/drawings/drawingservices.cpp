#include "drawingservices.h"

#include "fibonacciitems.h"
#include "horlineitem.h"
#include "parentscaleitem.h"
#include "subchartwidget.h"
#include "trendlineitem.h"

namespace DrawingServices {

DrawingItem *makeDrawing(int kind, ParentScaleItem *scale, TSynchronyzer *synchronizer,
                         const QPointF &scenePoint, const QColor &color, int width)
{
    const QLineF line(scenePoint, scenePoint);
    switch (kind) {
    case DrawingItem::TrendLine:
        return new TrendLineItem(scale, synchronizer, line, color, width);
    case DrawingItem::HorLine:
        return new HorLineItem(scale, scenePoint, color, width);
    case DrawingItem::FibonacciLines:
        return new FibonacciLinesItem(scale, synchronizer, line, color, width);
    case DrawingItem::FibonacciArcs:
        return new FibonacciArcsItem(scale, synchronizer, line, color, width);
    case DrawingItem::FibonacciFan:
        return new FibonacciFanItem(scale, synchronizer, line, color, width);
    default:
        return nullptr;
    }
}

void install()
{
    SubChartWidget::setDrawingMaker(makeDrawing);
}

} // namespace DrawingServices
