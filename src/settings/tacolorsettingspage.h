#pragma once

#include "taviewsettingspage.h"

#include "tacolorsettingsform.h"

#include <QPointer>

// Colours of one chart window, in the store the window passes in; they can be reset to the
// default colours.
class TAColorSettingsPage : public TAViewSettingsPage
{
    Q_OBJECT
public:
    explicit TAColorSettingsPage(QObject *parent = nullptr);

    void finish() override;

protected:
    QWidget *createForm(const Settings &settings, QWidget *parent) override;
    void applyForm(Settings &settings) override;

private:
    QPointer<TAColorSettingsForm> m_form;
};
