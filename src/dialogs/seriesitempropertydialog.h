#pragma once

#include "multiview.h"
#include "seriesitem.h"
#include <QDialog>
#include <QPointer>

#include <memory>

class QAbstractButton;
class Settings;

namespace Ui {
class SeriesItemPropertyDialog;
}

// The property dialog of an instrument's series: its name, time frame, period, look and
// placement. It never changes the series itself: it writes what the user chose as settings
// (writeSettings) and the chart area applies them, on OK after the dialog closed and on
// Apply at once. A series deleted while the dialog is open (a restore, a live reset) is left
// alone: OK and Apply are disabled and the dialog says why.
class SeriesItemPropertyDialog : public QDialog
{
    Q_OBJECT
public:
    static QString sizeGroup() { return QStringLiteral("TechAnalysis/SeriesItemPropertyDialog"); }

    SeriesItemPropertyDialog(SeriesItem *item, MultiView *view, QWidget *parent = nullptr);
    ~SeriesItemPropertyDialog() override;

    Ui::SeriesItemPropertyDialog *form() const { return m_ui.get(); }
    SeriesItem *item() const { return m_item.data(); }
    // "displayName" (when not empty), the time frame, "toCurrDate", "daysBack" (and "dateTo"
    // for a date range) once the user changed the range, "lineWidth", "view", the colours,
    // and for a visible series "axisPos", "autoScale", "subChart", "parentscale".
    void writeSettings(Settings &settings) const;
    // In date-range mode: the start neither after today nor after the end.
    bool areDatesValid() const;
    // Why the chosen frame and range are refused (too many bars), or empty.
    QString rangeRefusal() const;

public Q_SLOTS:
    // The fields from the series as it is now.
    void updateFromSeries();
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_positionComboBox_currentIndexChanged(int index);
    void on_viewComboBox_currentIndexChanged(int index);
    void on_scheduleButton_clicked();
    void onRangeModeChanged();
    // Marks the dates and the range; OK and Apply follow.
    void checkDates();

private:
    void rangeEdited();
    void writeRange(Settings &settings) const;
    bool canApply() const;
    void itemGone();
    void apply();

    bool m_updating = false;     // the fields are being filled from the series
    bool m_rangeTouched = false; // the user changed the range since they were

    std::unique_ptr<Ui::SeriesItemPropertyDialog> m_ui;
    QPointer<SeriesItem> m_item;
    QPointer<MultiView> m_view;
};
