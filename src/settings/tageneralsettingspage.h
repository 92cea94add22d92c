#pragma once

#include "taoptionspage.h"

#include <memory>

namespace Ui {
class TAGeneralSettingsForm;
}

// History download and bar placement ("TechAnalysis/General"). The history check box is shown
// only while the history plug-in is loaded; a bar placement other than the one the form was
// filled with shows that it takes effect when the chart window is reopened.
class TAGeneralSettingsPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit TAGeneralSettingsPage(QObject *parent = nullptr);
    ~TAGeneralSettingsPage() override;

    // An "enabled" kept under "TechAnalysis/NetworkDataManager" by earlier versions moves to
    // "TechAnalysis/General" when that has none.
    static void migrateEnabled();
    // Whether a plug-in named exactly "hdxplugin" is loaded.
    static bool historyPluginLoaded();

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    void placementClicked();

    std::unique_ptr<Ui::TAGeneralSettingsForm> m_ui;
    bool m_rememberedOnEnd = true;
};
