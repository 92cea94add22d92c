#include "hdxtransportpage.h"

#include "hdxtransport.h"
#include "settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QUrl>

namespace {

const QString UrlKey = QString::fromLatin1(HdxTransport::UrlKey);
const QString GzipKey = QString::fromLatin1(HdxTransport::GzipKey);
const QString TimeoutKey = QString::fromLatin1(HdxTransport::TimeoutKey);

} // namespace

HdxTransportPage::HdxTransportPage(QObject *parent)
    : QObject(parent)
{
}

QString HdxTransportPage::displayName() const
{
    return tr("Исторические данные");
}

QString HdxTransportPage::displayCategory() const
{
    return tr("Терминал");
}

QIcon HdxTransportPage::categoryIcon() const
{
    return QIcon(QStringLiteral(":/terminal/icons/options.png"));
}

QWidget *HdxTransportPage::createPage(const Settings &settings, QWidget *parent)
{
    const QString group = QString::fromLatin1(HdxTransport::ParametersGroup) + u'/';
    m_widget = new QWidget(parent);
    auto *layout = new QFormLayout(m_widget);
    m_url = new QLineEdit(settings.value(group + UrlKey).toString(), m_widget);
    layout->addRow(tr("Адрес сервиса:"), m_url);
    m_gzip = new QCheckBox(tr("Запрашивать сжатые ответы (gzip)"), m_widget);
    m_gzip->setChecked(settings.value(group + GzipKey, false).toBool());
    layout->addRow(m_gzip);
    m_timeout = new QSpinBox(m_widget);
    m_timeout->setRange(500, 120000);
    m_timeout->setSingleStep(500);
    m_timeout->setSuffix(tr(" мс"));
    m_timeout->setValue(settings.value(group + TimeoutKey, 5000).toInt());
    layout->addRow(tr("Тайм-аут запроса:"), m_timeout);
    return m_widget;
}

void HdxTransportPage::apply(Settings &settings)
{
    if (!m_widget)
        return;
    const QString group = QString::fromLatin1(HdxTransport::ParametersGroup) + u'/';
    const QUrl url = QUrl::fromUserInput(m_url->text().trimmed());
    if (url.isValid() && !m_url->text().trimmed().isEmpty())
        settings.setValue(group + UrlKey, url.toString());
    settings.setValue(group + GzipKey, m_gzip->isChecked());
    settings.setValue(group + TimeoutKey, m_timeout->value());
}
