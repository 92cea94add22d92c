#include "hdxtransport.h"

#include "appsettings.h"

HdxTransport::HdxTransport(QObject *parent)
    : QObject(parent)
{
}

QString HdxTransport::displayName() const
{
    return tr("Исторические данные HDX");
}

QString HdxTransport::vendor() const
{
    return tr("Терминал");
}

QString HdxTransport::description() const
{
    return tr("Доступ к сервису исторических данных биржи");
}

void HdxTransport::ensureParameters(const QString &url)
{
    AppSettings settings(QString::fromLatin1(ParametersGroup));
    const QString urlKey = QString::fromLatin1(UrlKey);
    if (!url.isEmpty())
        settings.setValue(urlKey, url);
    else if (!settings.contains(urlKey))
        settings.setValue(urlKey, QStringLiteral("http://127.0.0.1:8765"));
    if (!settings.contains(QString::fromLatin1(GzipKey)))
        settings.setValue(QString::fromLatin1(GzipKey), false);
    if (!settings.contains(QString::fromLatin1(TimeoutKey)))
        settings.setValue(QString::fromLatin1(TimeoutKey), 5000);
}
