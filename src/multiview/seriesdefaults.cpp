#include "seriesdefaults.h"

#include "appsettings.h"
#include "chartdefaults.h"

#include <QColor>

namespace SeriesDefaults {

namespace {

void placement(MapSettings &map)
{
    map.setValue(QStringLiteral("lineWidth"), ChartDefaults::LineWidth);
    map.setValue(QStringLiteral("view"), ChartDefaults::View);
    map.setValue(QStringLiteral("axisPos"), ChartDefaults::AxisPos);
    map.setValue(QStringLiteral("autoScale"), ChartDefaults::AutoScale);
}

MapSettings storedOrFactory(const QString &group, const MapSettings &factoryValues)
{
    AppSettings ta(QStringLiteral("TechAnalysis"));
    if (!ta.childGroups().contains(group)) {
        SettingsGroup scope(ta, group);
        ta.copyFrom(factoryValues);
        return factoryValues;
    }
    // A key the group lacks takes its factory value.
    SettingsGroup scope(ta, group);
    MapSettings values = factoryValues;
    const MapSettings stored(ta);
    for (const QString &key : stored.allKeys())
        values.setValue(key, stored.value(key));
    return values;
}

} // namespace

MapSettings factory()
{
    MapSettings map;
    TimeFrameValue(ChartDefaults::TimeFrameSeconds).save(map);
    map.setValue(QStringLiteral("daysBack"), ChartDefaults::DaysBack);
    map.setValue(QStringLiteral("toCurrDate"), ChartDefaults::ToCurrDate);
    map.setValue(QStringLiteral("wickSelfColor"), ChartDefaults::WickSelfColor);
    for (const ChartDefaults::ColorEntry &entry : ChartDefaults::SeriesColors)
        map.setValue(QString::fromLatin1(entry.key), QColor::fromRgb(entry.rgb));
    placement(map);
    return map;
}

MapSettings studyFactory()
{
    MapSettings map;
    placement(map);
    map.setValue(QStringLiteral("color"), QColor::fromRgb(ChartDefaults::StudyColor));
    return map;
}

MapSettings stored()
{
    return storedOrFactory(QStringLiteral("SeriesDefaultProperty"), factory());
}

MapSettings storedStudy()
{
    return storedOrFactory(QStringLiteral("StudyDefaultProperty"), studyFactory());
}

bool isCoarser(const TimeFrameValue &a, const TimeFrameValue &b)
{
    if (a.kind != b.kind)
        return a.kind > b.kind; // Year 2 > Month 1 > Interval 0
    return a.kind == Interval && a.seconds() > b.seconds();
}

void alignWith(MapSettings &defaults, const QList<Shown> &shown)
{
    if (shown.isEmpty())
        return;
    TimeFrameValue frame = shown.front().frame;
    QDate from;
    QDate to;
    // The flag goes with the latest end date: the series that has it decides.
    bool toCurrDate = true;
    for (const Shown &series : shown) {
        if (isCoarser(series.frame, frame))
            frame = series.frame;
        if (series.from.isValid() && (!from.isValid() || series.from < from))
            from = series.from;
        if (series.to.isValid() && (!to.isValid() || series.to > to)) {
            to = series.to;
            toCurrDate = series.toCurrDate;
        }
    }
    frame.save(defaults);
    defaults.setValue(QStringLiteral("toCurrDate"), toCurrDate);
    if (to.isValid()) {
        defaults.setValue(QStringLiteral("dateTo"), to.toString(Qt::ISODate));
        if (from.isValid() && from <= to)
            defaults.setValue(QStringLiteral("daysBack"), int(from.daysTo(to) + 1));
    }
}

} // namespace SeriesDefaults
