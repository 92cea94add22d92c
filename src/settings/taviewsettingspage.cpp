#include "taviewsettingspage.h"

#include <QVBoxLayout>
#include <QWidget>

TAViewSettingsPage::TAViewSettingsPage(const QString &id, const QString &displayName,
                                       const QIcon &icon, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_displayName(displayName)
    , m_icon(icon)
{
}

QWidget *TAViewSettingsPage::createPage(const Settings &settings, QWidget *parent)
{
    m_widget = createForm(settings, parent);
    return m_widget;
}

void TAViewSettingsPage::apply(Settings &settings)
{
    if (m_widget)
        applyForm(settings);
}

QWidget *TAViewSettingsPage::createForm(const Settings &settings, QWidget *parent)
{
    Q_UNUSED(settings)
    auto *form = new QWidget(parent);
    auto *layout = new QVBoxLayout(form);
    layout->addStretch();
    return form;
}

void TAViewSettingsPage::applyForm(Settings &settings)
{
    Q_UNUSED(settings)
}
