#include "tasecuritiesmenu.h"

#include "action.h"
#include "actionmanager.h"
#include "command.h"
#include "favsecmodelproxyrecent.h"
#include "instrumentselectordialog.h"
#include "iwindowmanager.h"
#include "taconstants.h"

using namespace TA::Constants;

namespace {

void openChartWindow(const QString &key)
{
    if (key.isEmpty())
        return;
    if (IWindowManager *manager = IWindowManager::instance())
        manager->openView(QByteArray(WindowFactoryName), key);
}

} // namespace

TASecuritiesMenu::TASecuritiesMenu(QWidget *parent)
    : ModelMenu(parent)
    , m_windowAction(new Action(TAWindow, this))
{
    setTextRole(MenuTextRole);
    connect(this, &ModelMenu::activated, this,
            qOverload<const QModelIndex &>(&TASecuritiesMenu::createTAWindow));
    connect(m_windowAction, &QAction::triggered, this,
            qOverload<>(&TASecuritiesMenu::createTAWindow));
    connect(menuAction(), &QAction::triggered, this,
            qOverload<>(&TASecuritiesMenu::createTAWindow));
}

bool TASecuritiesMenu::prePopulated()
{
    if (!model())
        setModel(new FavSecModelProxyRecent(this));
    return false;
}

void TASecuritiesMenu::postPopulated()
{
    addSeparator();
    if (Command *favorites = ActionManager::instance()->command(FavoriteSecurities))
        addAction(favorites->commandAction());
    if (Command *window = ActionManager::instance()->command(TAWindow))
        addAction(window->commandAction());
}

void TASecuritiesMenu::createTAWindow(const QModelIndex &index)
{
    const QString key = index.model() ? index.data(InstrumentKeyRole).toString() : QString();
    openChartWindow(key);
}

void TASecuritiesMenu::createTAWindow()
{
    InstrumentSelectorDialog dialog(nullptr);
    dialog.setShowChartOnly(true);
    dialog.setWindowTitle(tr("Выбор инструмента для открытия окна 'Тех. анализ'"));
    if (dialog.exec() == QDialog::Accepted)
        openChartWindow(dialog.currentText());
}
