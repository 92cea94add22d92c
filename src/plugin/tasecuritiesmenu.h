#pragma once

#include "modelmenu.h"

class Action;

// Favourite and recent instruments; choosing one opens a chart window for it, the last entry
// opens the instrument selector.
class TASecuritiesMenu : public ModelMenu
{
    Q_OBJECT
public:
    explicit TASecuritiesMenu(QWidget *parent = nullptr);

    bool prePopulated() override;
    void postPopulated() override;

    Action *windowAction() const { return m_windowAction; }

public Q_SLOTS:
    void createTAWindow(const QModelIndex &index);
    void createTAWindow();

private:
    Action *m_windowAction;
};
