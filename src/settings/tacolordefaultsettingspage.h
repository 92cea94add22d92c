#pragma once

#include "taoptionspage.h"

#include "tacolorsettingsform.h"

#include <QPointer>

// Default colours of chart windows, kept in the host's default settings of "TAMainWindow":
// read when the form is made, written when it is applied.
class TAColorDefaultSettingsPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit TAColorDefaultSettingsPage(QObject *parent = nullptr);

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    QPointer<TAColorSettingsForm> m_form;
};
