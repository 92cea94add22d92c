#include "drawingpropertydialogs.h"
#include "ui_drawingpropertydialog.h"

#include "fibonacciitems.h"
#include "horlineitem.h"
#include "mapsettings.h"
#include "parentscaleitem.h"
#include "propertydialogsupport.h"
#include "subchartwidget.h"
#include "trendlineitem.h"

#include <QPushButton>

using namespace PropertyDialogSupport;

namespace {

// The price a point (item coordinates) of the drawing shows in a scale's frame.
double priceIn(const ParentScaleItem *scale, const DrawingItem *item, const QPointF &point)
{
    if (!scale)
        return -item->mapToParent(point).y();
    return -scale->mapFromScene(item->mapToScene(point)).y();
}

} // namespace

DrawingPropertyDialog::DrawingPropertyDialog(DrawingItem *item, const QString &title,
                                             int features, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DrawingPropertyDialog>())
    , m_item(item)
    , m_features(features)
{
    m_ui->setupUi(this);
    setUpWindow(this, QString());
    setWindowTitle(title);
    m_ui->statusLabel->hide();
    m_ui->extendLeftCheckBox->setVisible(features & ExtendLeft);
    m_ui->extendRightCheckBox->setVisible(features & ExtendRight);
    const bool two = features & TwoPoints;
    for (QWidget *widget : {static_cast<QWidget *>(m_ui->time1Label), static_cast<QWidget *>(m_ui->time1Edit),
                            static_cast<QWidget *>(m_ui->time2Label), static_cast<QWidget *>(m_ui->time2Edit),
                            static_cast<QWidget *>(m_ui->price2Label),
                            static_cast<QWidget *>(m_ui->price2SpinBox)})
        widget->setVisible(two);
    if (!two)
        m_ui->price1Label->setText(QStringLiteral("Цена:"));
    connect(m_ui->time1Edit, &QDateTimeEdit::dateTimeChanged, this, &DrawingPropertyDialog::checkCoords);
    connect(m_ui->time2Edit, &QDateTimeEdit::dateTimeChanged, this, &DrawingPropertyDialog::checkCoords);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &DrawingPropertyDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &DrawingPropertyDialog::reject);
    if (item) {
        connect(item, &QObject::destroyed, this, &DrawingPropertyDialog::itemGone);
        fillFromItem();
    } else {
        itemGone();
    }
}

DrawingPropertyDialog::~DrawingPropertyDialog() = default;

std::unique_ptr<DrawingPropertyDialog> DrawingPropertyDialog::create(DrawingItem *item,
                                                                     QWidget *parent)
{
    if (!item)
        return nullptr;
    switch (item->kind()) {
    case DrawingItem::TrendLine:
        return std::make_unique<TrendLineItemPropertyDialog>(item, parent);
    case DrawingItem::HorLine:
        return std::make_unique<HorLineItemPropertyDialog>(item, parent);
    case DrawingItem::FibonacciLines:
        return std::make_unique<FiboLinesItemPropertyDialog>(item, parent);
    case DrawingItem::FibonacciArcs:
        return std::make_unique<FiboArcsItemPropertyDialog>(item, parent);
    case DrawingItem::FibonacciFan:
        return std::make_unique<FiboFanItemPropertyDialog>(item, parent);
    default:
        return nullptr;
    }
}

void DrawingPropertyDialog::fillFromItem()
{
    m_ui->colorButton->setColor(m_item->drawingColor());
    m_ui->lineWidthSpinBox->setValue(m_item->lineWidth());
    if (auto *trend = qobject_cast<TrendLineItem *>(m_item)) {
        m_ui->extendLeftCheckBox->setChecked(trend->extendLeft());
        m_ui->extendRightCheckBox->setChecked(trend->extendRight());
    } else if (auto *levels = qobject_cast<FibonacciLinesItem *>(m_item)) {
        m_ui->extendRightCheckBox->setChecked(levels->extendRight());
    }

    auto *own = qobject_cast<ParentScaleItem *>(m_item->parentChartItem());
    m_shownScale = own;
    {
        const QSignalBlocker blocker(m_ui->axisComboBox);
        m_ui->axisComboBox->clear();
        if (SubChartWidget *subChart = SubChartWidget::of(m_item)) {
            for (ParentScaleItem *scale : subChart->scales()) {
                m_ui->axisComboBox->addItem(scale->label(), QVariant::fromValue<QObject *>(scale));
                if (scale == own)
                    m_ui->axisComboBox->setCurrentIndex(m_ui->axisComboBox->count() - 1);
            }
        }
    }
    const int decimals = own ? own->decimals() : 2;
    m_ui->price1SpinBox->setDecimals(decimals);
    m_ui->price2SpinBox->setDecimals(decimals);
    if (auto *line = qobject_cast<LineDrawingItem *>(m_item)) {
        m_ui->time1Edit->setDateTime(line->time1().getDateTime());
        m_ui->time2Edit->setDateTime(line->time2().getDateTime());
        m_storedTimes[0] = m_ui->time1Edit->dateTime();
        m_storedTimes[1] = m_ui->time2Edit->dateTime();
        showPrices(priceIn(own, line, line->line().p1()), priceIn(own, line, line->line().p2()));
    } else if (auto *hor = qobject_cast<HorLineItem *>(m_item)) {
        showPrices(hor->price(), 0);
    }
    const bool visible = m_item->isVisible();
    m_ui->axisComboBox->setEnabled(visible);
    m_ui->coordsGroup->setEnabled(visible);
    checkCoords();
}

ParentScaleItem *DrawingPropertyDialog::chosenScale() const
{
    return qobject_cast<ParentScaleItem *>(
        m_ui->axisComboBox->currentData(ValueRole).value<QObject *>());
}

void DrawingPropertyDialog::on_axisComboBox_currentIndexChanged(int)
{
    // The prices follow into the chosen scale's frame, so that the drawing stays where it is
    // on screen unless the user changes them.
    ParentScaleItem *scale = chosenScale();
    if (!m_item || !scale || scale == m_shownScale)
        return;
    const auto convert = [&](double price) {
        if (!m_shownScale)
            return price;
        const QPointF scene = m_shownScale->mapToScene(QPointF(0, -price));
        return -scale->mapFromScene(scene).y();
    };
    const double price1 = convert(priceShown(0));
    const double price2 = convert(priceShown(1));
    m_shownScale = scale;
    m_ui->price1SpinBox->setDecimals(scale->decimals());
    m_ui->price2SpinBox->setDecimals(scale->decimals());
    showPrices(price1, price2);
}

void DrawingPropertyDialog::showPrices(double price1, double price2)
{
    m_ui->price1SpinBox->setValue(price1);
    m_ui->price2SpinBox->setValue(price2);
    m_prices[0] = {price1, m_ui->price1SpinBox->value()};
    m_prices[1] = {price2, m_ui->price2SpinBox->value()};
}

double DrawingPropertyDialog::priceShown(int point) const
{
    // A price the user left as shown keeps its digits beyond the scale's decimals, so that
    // OK without changes moves nothing.
    const QDoubleSpinBox *spin = point == 0 ? m_ui->price1SpinBox : m_ui->price2SpinBox;
    return spin->value() == m_prices[point].second ? m_prices[point].first : spin->value();
}

bool DrawingPropertyDialog::isInShownPeriod(const QDateTime &time) const
{
    auto *line = qobject_cast<LineDrawingItem *>(m_item);
    const TSynchronyzer *sync = line ? line->synchronizer() : nullptr;
    if (!sync || !sync->hasSpans())
        return false;
    const QList<qint64> spans = sync->spans();
    const qint64 ms = time.toMSecsSinceEpoch();
    return ms >= spans.first() && ms <= spans.last();
}

bool DrawingPropertyDialog::isTimeAccepted(int point) const
{
    // A drawing may lie outside the chart since fewer days are shown: it keeps its moments,
    // and its colour or width can still be changed.
    const QDateTime time = (point == 0 ? m_ui->time1Edit : m_ui->time2Edit)->dateTime();
    return time == m_storedTimes[point] || isInShownPeriod(time);
}

bool DrawingPropertyDialog::areCoordsValid() const
{
    if (!m_item)
        return false;
    if (!(m_features & TwoPoints))
        return true;
    return isTimeAccepted(0) && isTimeAccepted(1);
}

void DrawingPropertyDialog::checkCoords()
{
    if (m_features & TwoPoints) {
        markLabel(m_ui->time1Label, isTimeAccepted(0));
        markLabel(m_ui->time2Label, isTimeAccepted(1));
    }
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(areCoordsValid());
}

void DrawingPropertyDialog::accept()
{
    // Checked again: the shown period may have changed while the dialog was open.
    checkCoords();
    if (!areCoordsValid())
        return;
    QDialog::accept();
}

void DrawingPropertyDialog::writeSettings(Settings &settings) const
{
    settings.setValue(QStringLiteral("lineWidth"), m_ui->lineWidthSpinBox->value());
    settings.setValue(QStringLiteral("color"), m_ui->colorButton->color());
    if (m_features & ExtendLeft)
        settings.setValue(QStringLiteral("extendLeft"), m_ui->extendLeftCheckBox->isChecked());
    if (m_features & ExtendRight)
        settings.setValue(QStringLiteral("extendRight"), m_ui->extendRightCheckBox->isChecked());
    if (m_item && m_item->isVisible() && m_ui->axisComboBox->currentIndex() >= 0)
        settings.setValue(QStringLiteral("parentScale"), m_ui->axisComboBox->currentData(ValueRole));
    if (m_features & TwoPoints) {
        settings.setValue(QStringLiteral("time1"), m_ui->time1Edit->dateTime());
        settings.setValue(QStringLiteral("time2"), m_ui->time2Edit->dateTime());
        settings.setValue(QStringLiteral("price1"), priceShown(0));
        settings.setValue(QStringLiteral("price2"), priceShown(1));
    } else {
        settings.setValue(QStringLiteral("price"), priceShown(0));
    }
}

void DrawingPropertyDialog::itemGone()
{
    m_ui->statusLabel->setText(QStringLiteral("Объект удалён с окна: изменения применить нельзя."));
    m_ui->statusLabel->show();
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
}

TrendLineItemPropertyDialog::TrendLineItemPropertyDialog(DrawingItem *item, QWidget *parent)
    : DrawingPropertyDialog(item, QStringLiteral("Свойства линии тренда"),
                            ExtendLeft | ExtendRight | TwoPoints, parent)
{
}

HorLineItemPropertyDialog::HorLineItemPropertyDialog(DrawingItem *item, QWidget *parent)
    : DrawingPropertyDialog(item, QStringLiteral("Свойства горизонтальной линии"), 0, parent)
{
}

FiboLinesItemPropertyDialog::FiboLinesItemPropertyDialog(DrawingItem *item, QWidget *parent)
    : DrawingPropertyDialog(item, QStringLiteral("Свойства уровней Фибоначчи"),
                            ExtendRight | TwoPoints, parent)
{
}

FiboArcsItemPropertyDialog::FiboArcsItemPropertyDialog(DrawingItem *item, QWidget *parent)
    : DrawingPropertyDialog(item, QStringLiteral("Свойства дуг Фибоначчи"), TwoPoints, parent)
{
}

FiboFanItemPropertyDialog::FiboFanItemPropertyDialog(DrawingItem *item, QWidget *parent)
    : DrawingPropertyDialog(item, QStringLiteral("Свойства веера Фибоначчи"), TwoPoints, parent)
{
}
