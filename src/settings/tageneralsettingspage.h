#pragma once

#include "taoptionspage.h"

// History download and bar placement.
class TAGeneralSettingsPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit TAGeneralSettingsPage(QObject *parent = nullptr);
};
