#pragma once

#include "taoptionspage.h"

#include <QPointer>

class QSpinBox;
class TAPlacementForm;

// Defaults of new indicators ("TechAnalysis/StudyDefaultProperty"): their placement; the line
// width, colour and view are always the factory ones. Below them, what every indicator's
// scripts may take ("TechAnalysis/Scripts"): the time of a full pass and of a pass after a
// trade, and the memory; open indicators use changed values from their next pass.
class StudyItemDefaultPropertyPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit StudyItemDefaultPropertyPage(QObject *parent = nullptr);

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    QPointer<TAPlacementForm> m_form;
    QPointer<QSpinBox> m_limits[3];
};
