#include "propertydialogsupport.h"

#include "dialogsize.h"
#include "multiview.h"
#include "parentscaleitem.h"
#include "subchartwidget.h"

#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QSize>
#include <QStandardItemModel>

#include <algorithm>
#include <cmath>

namespace PropertyDialogSupport {

void setUpWindow(QDialog *dialog, const QString &sizeGroup)
{
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowOpacity(1.0);
    if (sizeGroup.isEmpty())
        return;
    if (const QSize size = DialogSize::remembered(sizeGroup); size.isValid())
        dialog->resize(size);
}

void saveSize(const QDialog *dialog, const QString &sizeGroup)
{
    if (sizeGroup.isEmpty())
        return;
    DialogSize::remember(dialog, sizeGroup);
}

void fitTitle(QDialog *dialog)
{
    QFont font = dialog->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(dialog->windowTitle()) + 10 * metrics.height();
    if (const QScreen *screen = dialog->screen())
        width = std::min(width, screen->availableGeometry().width());
    if (dialog->width() < width)
        dialog->resize(width, dialog->height());
}

bool selectValue(QComboBox *combo, const QVariant &value)
{
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant data = combo->itemData(i, ValueRole);
        if (data.isValid() && data == value) {
            combo->setCurrentIndex(i);
            return true;
        }
    }
    combo->setCurrentIndex(-1);
    return false;
}

namespace {

void fill(QComboBox *combo, std::initializer_list<std::pair<const char *, int>> entries)
{
    combo->clear();
    for (const auto &entry : entries)
        combo->addItem(QString::fromUtf8(entry.first), entry.second);
    combo->setEnabled(true);
}

} // namespace

void fillSeriesViews(QComboBox *combo)
{
    fill(combo, {{"Свечки", 0}, {"Бары", 1}, {"Линия", 2}});
}

void fillStudyViews(QComboBox *combo)
{
    fill(combo, {{"Линия", 0}, {"Гистограмма", 1}, {"Точки", 2}});
}

void fillAxisPositions(QComboBox *combo, bool withSeriesAxis)
{
    fill(combo, {{"Справа", 2}, {"Слева", 1}, {"С обеих сторон", 3}, {"Невидимая ось", 0}});
    if (withSeriesAxis)
        combo->addItem(QStringLiteral("Ось серии"), SeriesAxis);
}

void fillAutoScale(QComboBox *combo, const QString &rangeText)
{
    fill(combo, {{"По всей серии", 1}, {"По экрану", 2}});
    combo->addItem(QStringLiteral("Диапазон: ") + rangeText, 0);
}

void showHidden(QComboBox *combo)
{
    combo->clear();
    combo->addItem(QStringLiteral("Скрыт"));
    combo->setEnabled(false);
}

QString rangeText(const ParentScaleItem *scale, bool squareBrackets)
{
    double low = 0;
    double high = 0;
    int decimals = 0;
    if (scale && scale->scene()) {
        const QRectF rect = scale->scene()->sceneRect();
        high = -scale->mapFromScene(QPointF(0, rect.top())).y();
        low = -scale->mapFromScene(QPointF(0, rect.bottom())).y();
        decimals = scale->decimals();
        if (!std::isfinite(low) || !std::isfinite(high))
            low = high = 0;
    }
    if (low > high)
        std::swap(low, high);
    if (low == high)
        low = high - 1;
    const QLocale locale = QLocale::system();
    return QString(squareBrackets ? QStringLiteral("[%1; %2]") : QStringLiteral("(%1; %2)"))
        .arg(locale.toString(low, 'f', decimals), locale.toString(high, 'f', decimals));
}

void fillPlacement(QComboBox *combo, MultiView *view, ChartItem *item)
{
    combo->clear();
    combo->setEnabled(true);
    if (!view || !item)
        return;
    SubChartWidget *own = SubChartWidget::of(item);
    QObject *ownScale = item->parentChartItem();
    int selected = -1;
    for (const MultiView::Placement &choice : view->placementChoices(item)) {
        if (choice.text.isEmpty()) {
            combo->insertSeparator(combo->count());
            continue;
        }
        combo->addItem(choice.text);
        const int row = combo->count() - 1;
        combo->setItemData(row, QVariant::fromValue<QObject *>(choice.subChart.data()), ValueRole);
        combo->setItemData(row, QVariant::fromValue<QObject *>(choice.scale.data()), ScaleRole);
        if (selected < 0 && choice.subChart && choice.subChart == own && choice.scale
            && choice.scale == ownScale)
            selected = row;
    }
    combo->setCurrentIndex(selected);
}

void followPlacement(QComboBox *placement, QComboBox *axisPos, QComboBox *autoScale,
                     ChartItem *item)
{
    if (!item || !placement->isEnabled())
        return;
    const int row = placement->currentIndex();
    auto *subChart = row < 0 ? nullptr
                             : qobject_cast<SubChartWidget *>(
                                   placement->itemData(row, ValueRole).value<QObject *>());
    auto *scale = row < 0 ? nullptr
                          : qobject_cast<ParentScaleItem *>(
                                placement->itemData(row, ScaleRole).value<QObject *>());
    if (!scale) {
        subChart = SubChartWidget::of(item);
        scale = qobject_cast<ParentScaleItem *>(item->parentChartItem());
    }
    if (!subChart || !scale)
        return;
    // An indicator placed on the scale of its series shares the series' axis.
    bool seriesScale = false;
    if (axisPos->findData(SeriesAxis, ValueRole) >= 0) {
        for (ChartItem *chart : scale->chartItems())
            seriesScale = seriesScale || qobject_cast<SeriesItem *>(chart);
    }
    if (!seriesScale || !selectValue(axisPos, SeriesAxis))
        selectValue(axisPos, subChart->axisPosition(scale));
    selectValue(autoScale, scale->autoScale());
}

void writePlacement(const QComboBox *placement, const QComboBox *axisPos,
                    const QComboBox *autoScale, Settings &settings)
{
    settings.setValue(QStringLiteral("axisPos"), axisPos->currentData(ValueRole));
    settings.setValue(QStringLiteral("autoScale"), autoScale->currentData(ValueRole));
    // Without a chosen entry the item stays where it is.
    const int row = placement->currentIndex();
    if (row < 0)
        return;
    settings.setValue(QStringLiteral("subChart"), placement->itemData(row, ValueRole));
    settings.setValue(QStringLiteral("parentscale"), placement->itemData(row, ScaleRole));
}

void markLabel(QLabel *label, bool valid)
{
    label->setStyleSheet(valid ? QStringLiteral("QLabel {color: black;}")
                               : QStringLiteral("QLabel {color: red;}"));
}

} // namespace PropertyDialogSupport
