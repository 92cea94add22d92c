#pragma once

#include "taoptionspage.h"

// Which deletions ask for confirmation.
class TAConfirmationOptionsPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit TAConfirmationOptionsPage(QObject *parent = nullptr);
};
