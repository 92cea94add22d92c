#pragma once

#include "taoptionspage.h"

// Defaults of new instrument series.
class SeriesItemDefaultPropertyPage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit SeriesItemDefaultPropertyPage(QObject *parent = nullptr);
};
