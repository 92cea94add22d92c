#pragma once

#include "commandcontainer.h"

class TASecuritiesMenu;

// The "build a chart" container: its menu lists the favourite and recent instruments.
class TASecurirityContainer : public CommandContainer
{
    Q_OBJECT
public:
    explicit TASecurirityContainer(const QByteArray &id, QObject *parent = nullptr);
    ~TASecurirityContainer() override;

    QMenu *menu() override;

private:
    TASecuritiesMenu *m_menu = nullptr;
};
