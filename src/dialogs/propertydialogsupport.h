#pragma once

#include <QString>
#include <QVariant>

class ChartItem;
class MultiView;
class ParentScaleItem;
class QComboBox;
class QDialog;
class QLabel;
class Settings;

// What the property dialogs share: their window set-up and remembered size, the value tables
// of their combo boxes and the placement combo over the chart area's placement choices.
// GUI thread only.
namespace PropertyDialogSupport {

// The item data role of combo entries, and the role of a placement entry's scale.
inline constexpr int ValueRole = Qt::UserRole;
inline constexpr int ScaleRole = Qt::UserRole + 1;
// The indicator dialog's "series axis" entry: the indicator shares its series' axis.
inline constexpr int SeriesAxis = -1;

// No context-help button, window-modal, opaque; the size stored under "dialog_size" in the
// application settings group, when there is one.
void setUpWindow(QDialog *dialog, const QString &sizeGroup);
void saveSize(const QDialog *dialog, const QString &sizeGroup);
// Widens the dialog, when it is narrower, to what its title needs so that the window manager
// does not cut it: the title in bold (as title bars draw it) and room for the window's icon and
// buttons, no wider than the screen.
void fitTitle(QDialog *dialog);

// Selects the entry whose value equals the given one; false (and nothing selected) when none.
bool selectValue(QComboBox *combo, const QVariant &value);
void fillSeriesViews(QComboBox *combo);
void fillStudyViews(QComboBox *combo);
void fillAxisPositions(QComboBox *combo, bool withSeriesAxis);
void fillAutoScale(QComboBox *combo, const QString &rangeText);
// A hidden item's placement combos: the single entry "Скрыт", disabled.
void showHidden(QComboBox *combo);

// The prices the scale shows from the top to the bottom of its scene: "[low; high]" for a
// series (brackets "[]") or "(low; high)" for an indicator, in the scale's decimals.
QString rangeText(const ParentScaleItem *scale, bool squareBrackets);

// The placement choices of the item, separators for the empty ones; the entry of the item's
// own sub-chart and scale is selected.
void fillPlacement(QComboBox *combo, MultiView *view, ChartItem *item);
// The axis side and the scaling mode of the scale a placement entry names (the item's own
// when the entry names none) shown in the two combos.
void followPlacement(QComboBox *placement, QComboBox *axisPos, QComboBox *autoScale,
                     ChartItem *item);
// "axisPos", "autoScale", "subChart" and "parentscale" from the three combos.
void writePlacement(const QComboBox *placement, const QComboBox *axisPos,
                    const QComboBox *autoScale, Settings &settings);

// "QLabel {color: black;}" or "QLabel {color: red;}".
void markLabel(QLabel *label, bool valid);

} // namespace PropertyDialogSupport
