#pragma once

#include "taviewsettingspage.h"

// Colours of one chart window.
class TAColorSettingsPage : public TAViewSettingsPage
{
    Q_OBJECT
public:
    explicit TAColorSettingsPage(QObject *parent = nullptr);
};
