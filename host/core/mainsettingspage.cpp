#include "mainsettingspage.h"

#include "settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QWidget>

MainSettingsPage::MainSettingsPage(QObject *parent)
    : QObject(parent)
{
}

QString MainSettingsPage::id() const
{
    return QStringLiteral("Host.Window");
}

QString MainSettingsPage::displayName() const
{
    return tr("Окно");
}

QIcon MainSettingsPage::categoryIcon() const
{
    return QIcon(QStringLiteral(":/terminal/icons/window.png"));
}

void MainSettingsPage::finish()
{
    m_widget = nullptr;
    m_caption = nullptr;
    m_stayOnTop = nullptr;
}

QWidget *MainSettingsPage::createPage(const Settings &settings, QWidget *parent)
{
    m_widget = new QWidget(parent);
    auto *layout = new QFormLayout(m_widget);
    m_caption = new QLineEdit(settings.value(QStringLiteral("Host/caption")).toString(),
                              m_widget);
    m_caption->setPlaceholderText(tr("по инструментам окна"));
    layout->addRow(tr("Заголовок окна:"), m_caption);
    m_stayOnTop = new QCheckBox(tr("Поверх других окон"), m_widget);
    m_stayOnTop->setChecked(settings.value(QStringLiteral("Host/stayOnTop"), false).toBool());
    layout->addRow(m_stayOnTop);
    return m_widget;
}

void MainSettingsPage::apply(Settings &settings)
{
    if (!m_widget)
        return;
    settings.setValue(QStringLiteral("Host/caption"), m_caption->text().trimmed());
    settings.setValue(QStringLiteral("Host/stayOnTop"), m_stayOnTop->isChecked());
}
