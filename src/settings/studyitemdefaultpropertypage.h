#pragma once

#include "taoptionspage.h"

// Defaults of new indicators.
class StudyItemDefaultPropertyPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit StudyItemDefaultPropertyPage(QObject *parent = nullptr);
};
