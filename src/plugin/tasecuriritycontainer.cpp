#include "tasecuriritycontainer.h"

#include "tasecuritiesmenu.h"

TASecurirityContainer::TASecurirityContainer(const QByteArray &id, QObject *parent)
    : CommandContainer(id, parent)
{
}

TASecurirityContainer::~TASecurirityContainer()
{
    delete m_menu;
}

QMenu *TASecurirityContainer::menu()
{
    if (!m_menu) {
        m_menu = new TASecuritiesMenu;
        m_menu->setTitle(title());
        m_menu->setIcon(icon());
        connect(this, &CommandContainer::changed, m_menu, [this] {
            m_menu->setTitle(title());
            m_menu->setIcon(icon());
        });
    }
    return m_menu;
}
