#pragma once

#include "taoptionspage.h"

// Default colours of chart windows.
class TAColorDefaultSettingsPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit TAColorDefaultSettingsPage(QObject *parent = nullptr);
};
