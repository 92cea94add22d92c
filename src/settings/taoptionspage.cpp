#include "taoptionspage.h"

#include "taconstants.h"

#include <QVBoxLayout>
#include <QWidget>

TAOptionsPage::TAOptionsPage(const QString &id, const QString &displayName, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_displayName(displayName)
{
}

QString TAOptionsPage::category() const
{
    return QString::fromLatin1(TA::Constants::SettingsCategory);
}

QString TAOptionsPage::displayCategory() const
{
    return tr("Графики и ТА");
}

QIcon TAOptionsPage::categoryIcon() const
{
    return QIcon(QString::fromLatin1(TA::Constants::CategoryIcon));
}

bool TAOptionsPage::matches(const QString &searchText) const
{
    Q_UNUSED(searchText)
    return false;
}

void TAOptionsPage::finish()
{
    m_widget = nullptr;
}

QWidget *TAOptionsPage::createPage(const Settings &settings, QWidget *parent)
{
    m_widget = createForm(settings, parent);
    return m_widget;
}

void TAOptionsPage::apply(Settings &settings)
{
    if (!m_widget)
        return;
    applyForm(settings);
    Q_EMIT changed();
}

QWidget *TAOptionsPage::createForm(const Settings &settings, QWidget *parent)
{
    Q_UNUSED(settings)
    auto *form = new QWidget(parent);
    auto *layout = new QVBoxLayout(form);
    layout->addStretch();
    return form;
}

void TAOptionsPage::applyForm(Settings &settings)
{
    Q_UNUSED(settings)
}
