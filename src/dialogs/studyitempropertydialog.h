#pragma once

#include "multiview.h"
#include "scriptstudyitem.h"
#include <QDialog>
#include <QPointer>

#include <memory>

class QAbstractButton;
class Settings;

namespace Ui {
class StudyItemPropertyDialog;
}

// The property dialog of an indicator: its name, the look of each plot, the parameter values,
// the series it is built on, its decimals and its placement. Like the series dialog it only
// writes settings (writeSettings) for the chart area to apply; an indicator deleted while the
// dialog is open is left alone and the dialog says so.
class StudyItemPropertyDialog : public QDialog
{
    Q_OBJECT
public:
    static QString sizeGroup() { return QStringLiteral("TechAnalysis/StudyItemPropertyDialog"); }

    StudyItemPropertyDialog(ScriptStudyItem *item, MultiView *view, QWidget *parent = nullptr);
    ~StudyItemPropertyDialog() override;

    Ui::StudyItemPropertyDialog *form() const { return m_ui.get(); }
    ScriptStudyItem *item() const { return m_item.data(); }
    // "displayName" (when not empty), "styleCount" and "style_%1", "parametersCount" and
    // "parameter_%1", "series", "customPrecision", "decimals", and for a visible indicator
    // "axisPos", "autoScale", "subChart", "parentscale", "changeScaleRange".
    void writeSettings(Settings &settings) const;

public Q_SLOTS:
    void updateFromSeries();
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_positionComboBox_currentIndexChanged(int index);
    void on_seriesComboBox_currentIndexChanged(int index);
    void precisionRadioChanged();

private:
    void fillPlacementCombos();
    void itemGone();
    void apply();

    std::unique_ptr<Ui::StudyItemPropertyDialog> m_ui;
    QPointer<ScriptStudyItem> m_item;
    QPointer<MultiView> m_view;
};
