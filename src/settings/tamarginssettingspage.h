#pragma once

#include "taviewsettingspage.h"

// Margins of one chart window.
class TAMarginsSettingsPage : public TAViewSettingsPage
{
    Q_OBJECT
public:
    explicit TAMarginsSettingsPage(QObject *parent = nullptr);
};
