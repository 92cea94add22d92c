#pragma once

#include "taviewsettingspage.h"

#include <memory>

namespace Ui {
class TAMarginsForm;
}

// Margins of one chart window: "rightMargin", the empty bars right of the last one.
class TAMarginsSettingsPage : public TAViewSettingsPage
{
    Q_OBJECT
public:
    explicit TAMarginsSettingsPage(QObject *parent = nullptr);
    ~TAMarginsSettingsPage() override;

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    std::unique_ptr<Ui::TAMarginsForm> m_ui;
};
