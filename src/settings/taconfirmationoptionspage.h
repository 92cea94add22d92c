#pragma once

#include "taoptionspage.h"

#include <memory>

namespace Ui {
class TAConfirmationsForm;
}

// Which deletions ask for confirmation, and whether dropped drawings are reported
// ("TechAnalysis/Confirmations").
class TAConfirmationOptionsPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit TAConfirmationOptionsPage(QObject *parent = nullptr);
    ~TAConfirmationOptionsPage() override;

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    std::unique_ptr<Ui::TAConfirmationsForm> m_ui;
    QWidget *m_form = nullptr;
};
