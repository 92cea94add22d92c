#pragma once

#include "taoptionspage.h"

#include <QPointer>

class TAPlacementForm;

// Defaults of new indicators ("TechAnalysis/StudyDefaultProperty"): their placement; the line
// width, colour and view are always the factory ones.
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
};
