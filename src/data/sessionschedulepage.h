#pragma once

#include "taoptionspage.h"

// Weekly trading sessions of every stock and board.
class SessionSchedulePage : public TAOptionsPage
{
    Q_OBJECT
public:
    explicit SessionSchedulePage(QObject *parent = nullptr);
};
