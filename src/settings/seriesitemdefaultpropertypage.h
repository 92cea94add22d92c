#pragma once

#include "taoptionspage.h"

#include <memory>

namespace Ui {
class SeriesDefaultsForm;
}

// Defaults of new instrument series ("TechAnalysis/SeriesDefaultProperty"): time frame, days
// shown, line width, view with its colours, and placement.
class SeriesItemDefaultPropertyPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit SeriesItemDefaultPropertyPage(QObject *parent = nullptr);
    ~SeriesItemDefaultPropertyPage() override;

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    std::unique_ptr<Ui::SeriesDefaultsForm> m_ui;
    QWidget *m_form = nullptr;
};
