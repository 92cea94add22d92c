#include "subchartowner.h"

#include "chartcolors.h"
#include "graphicsscene.h"
#include "seriesitem.h"
#include "subchartwidget.h"
#include "tsynchronyzer.h"

#include <QLayoutItem>
#include <QWidget>

SubChartOwner::SubChartOwner(TSynchronyzer *synchronizer)
    : m_synchronizer(synchronizer)
{
}

SubChartOwner::~SubChartOwner() = default;

QColor SubChartOwner::color(const QString &key) const
{
    const QColor set = m_colors.value(key);
    if (set.isValid())
        return set;
    return QColor::fromRgb(ChartColors::defaultRgb(key.toLatin1().constData()));
}

void SubChartOwner::setColor(const QString &key, const QColor &color)
{
    if (color.isValid())
        m_colors.insert(key, color);
    else
        m_colors.remove(key);
}

QPair<int, int> SubChartOwner::visibleIndexRange() const
{
    const int width = m_synchronizer ? int(m_synchronizer->sceneWidth()) : 0;
    return {0, width};
}

QLayoutItem *SubChartOwner::axisLayoutItem(QWidget *axisRow, int)
{
    return new QWidgetItem(axisRow);
}

QList<SubChartWidget *> SubChartOwner::subCharts() const
{
    auto *self = const_cast<SubChartOwner *>(this);
    QWidget *area = self->ownerWidget();
    return area ? area->findChildren<SubChartWidget *>() : QList<SubChartWidget *>();
}

quint64 SubChartOwner::windowId()
{
    // The chart area itself: the terminal's chart windows share one top-level window.
    return quint64(quintptr(ownerWidget()));
}

SeriesItem *SubChartOwner::seriesById(int id) const
{
    for (SubChartWidget *subChart : subCharts()) {
        for (SeriesItem *series : subChart->seriesItems()) {
            bool ok = false;
            if (series->property("id").toInt(&ok) == id && ok)
                return series;
        }
    }
    return nullptr;
}

void SubChartOwner::clearItemsSelection()
{
    for (SubChartWidget *subChart : subCharts())
        subChart->scene()->clearSelection();
}

void SubChartOwner::moveItemToSubChart(ChartItem *item, SubChartWidget *target, int axisPos)
{
    if (target)
        target->adoptItem(item, axisPos);
}
