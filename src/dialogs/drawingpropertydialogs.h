#pragma once

#include "drawingitem.h"
#include "parentscaleitem.h"
#include <QDateTime>
#include <QDialog>
#include <QPointer>

#include <memory>
#include <utility>

class Settings;

namespace Ui {
class DrawingPropertyDialog;
}

// The property dialogs of the drawing tools share one form: colour, width, the extensions of
// the kinds that have them, the scale ("Ось:") and the anchor points. They write settings for
// the drawing to apply (writeSettings); nothing is changed while the dialog is open. OK stays
// disabled while an anchor time lies outside the chart's shown period (its label turns red) or
// after the drawing was deleted.
class DrawingPropertyDialog : public QDialog
{
    Q_OBJECT
public:
    ~DrawingPropertyDialog() override;

    Ui::DrawingPropertyDialog *form() const { return m_ui.get(); }
    DrawingItem *item() const { return m_item.data(); }
    // The keys of the kind, in order: "lineWidth", "color", the extensions, "parentScale"
    // (visible drawings only), then "time1", "time2", "price1", "price2" or "price".
    void writeSettings(Settings &settings) const;
    bool areCoordsValid() const;

    // The dialog of the drawing's kind.
    static std::unique_ptr<DrawingPropertyDialog> create(DrawingItem *item, QWidget *parent);

public Q_SLOTS:
    void checkCoords();
    void on_axisComboBox_currentIndexChanged(int index);
    void accept() override;

protected:
    enum Feature { ExtendLeft = 1, ExtendRight = 2, TwoPoints = 4 };
    DrawingPropertyDialog(DrawingItem *item, const QString &title, int features,
                          QWidget *parent);

private:
    void fillFromItem();
    ParentScaleItem *chosenScale() const;
    bool isInShownPeriod(const QDateTime &time) const;
    // A moment is accepted while it is inside the chart or left as the drawing has it.
    bool isTimeAccepted(int point) const;
    void showPrices(double price1, double price2);
    // The price of a point as written: the exact one while its spin box shows it unchanged.
    double priceShown(int point) const;
    void itemGone();

    std::unique_ptr<Ui::DrawingPropertyDialog> m_ui;
    QPointer<DrawingItem> m_item;
    int m_features;
    QPointer<ParentScaleItem> m_shownScale; // the scale the prices are shown in
    std::pair<double, double> m_prices[2]; // per point: the exact price and its spin value
    QDateTime m_storedTimes[2]; // per point: the drawing's moment as its time edit shows it
};

class TrendLineItemPropertyDialog : public DrawingPropertyDialog
{
    Q_OBJECT
public:
    explicit TrendLineItemPropertyDialog(DrawingItem *item, QWidget *parent = nullptr);
};

class HorLineItemPropertyDialog : public DrawingPropertyDialog
{
    Q_OBJECT
public:
    explicit HorLineItemPropertyDialog(DrawingItem *item, QWidget *parent = nullptr);
};

class FiboLinesItemPropertyDialog : public DrawingPropertyDialog
{
    Q_OBJECT
public:
    explicit FiboLinesItemPropertyDialog(DrawingItem *item, QWidget *parent = nullptr);
};

class FiboArcsItemPropertyDialog : public DrawingPropertyDialog
{
    Q_OBJECT
public:
    explicit FiboArcsItemPropertyDialog(DrawingItem *item, QWidget *parent = nullptr);
};

class FiboFanItemPropertyDialog : public DrawingPropertyDialog
{
    Q_OBJECT
public:
    explicit FiboFanItemPropertyDialog(DrawingItem *item, QWidget *parent = nullptr);
};
