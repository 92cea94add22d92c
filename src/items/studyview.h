#pragma once

#include "frameindex.h"
#include "seriesvalue.h"

#include <QList>
#include <QPointF>
#include <QRectF>

#include <vector>

class QPainter;
class QStyleOptionGraphicsItem;
class SeriesItem;


// An indicator's output line in the bar model's chunk layout: per chunk one value per bar.
using StudyValues = std::vector<std::vector<SeriesValue>>;

// Paints one output line of an indicator over its base series: a line, a histogram or
// points. The pen (the plot's colour and width) is set by the indicator before drawStudy.
class StudyView
{
public:
    virtual ~StudyView();

    // The rectangle the values between low and high take over the item's width.
    virtual QRectF boundingRect(double width, double low, double high) const;
    virtual void drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                           const StudyValues &values, const SeriesItem *series,
                           const FrameIndex &last, int markerStep,
                           QList<QPointF> &markers) const = 0;
    // pixelSize: item units per pixel, horizontally and vertically.
    virtual bool hitTest(const QPointF &point, const StudyValues &values, const SeriesItem *series,
                         const QPointF &pixelSize, int lineWidth, FrameIndex *out) const;
    virtual int viewType() const = 0;
    virtual FrameIndex firstVisibleIndex(double x, const StudyValues &values,
                                         const SeriesItem *series) const;

    static SeriesValue valueAt(const StudyValues &values, const FrameIndex &index);
};

class LineStudyView : public StudyView
{
public:
    QRectF boundingRect(double width, double low, double high) const override;
    void drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                   const StudyValues &values, const SeriesItem *series, const FrameIndex &last,
                   int markerStep, QList<QPointF> &markers) const override;
    bool hitTest(const QPointF &point, const StudyValues &values, const SeriesItem *series,
                 const QPointF &pixelSize, int lineWidth, FrameIndex *out) const override;
    int viewType() const override { return 0; }
    FrameIndex firstVisibleIndex(double x, const StudyValues &values,
                                 const SeriesItem *series) const override;
};

class HistogramStudyView : public StudyView
{
public:
    QRectF boundingRect(double width, double low, double high) const override;
    void drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                   const StudyValues &values, const SeriesItem *series, const FrameIndex &last,
                   int markerStep, QList<QPointF> &markers) const override;
    bool hitTest(const QPointF &point, const StudyValues &values, const SeriesItem *series,
                 const QPointF &pixelSize, int lineWidth, FrameIndex *out) const override;
    int viewType() const override { return 1; }
};

class PointsStudyView : public StudyView
{
public:
    void drawStudy(QPainter *painter, const QStyleOptionGraphicsItem *option,
                   const StudyValues &values, const SeriesItem *series, const FrameIndex &last,
                   int markerStep, QList<QPointF> &markers) const override;
    int viewType() const override { return 2; }
};
