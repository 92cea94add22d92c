#pragma once

#include "taoptionspage.h"

#include <memory>

namespace Ui {
class SeriesDefaultsForm;
}

// Defaults of new instrument series ("TechAnalysis/SeriesDefaultProperty"): time frame, days
// shown, line width, view with its colours, and placement. A frame and days that would give
// some instrument too many bars are shown refused and not written.
class SeriesItemDefaultPropertyPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit SeriesItemDefaultPropertyPage(QObject *parent = nullptr);
    ~SeriesItemDefaultPropertyPage() override;

    void finish() override;
    // Why the chosen frame and days are refused (too many bars for some instrument), or empty.
    QString rangeRefusal() const;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    void checkRange();

    std::unique_ptr<Ui::SeriesDefaultsForm> m_ui;
    QWidget *m_form = nullptr;
};
