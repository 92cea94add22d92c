#pragma once

#include "hostdata_global.h"
#include "iplugin.h"
#include "itransport.h"

#include <QObject>

// The terminal's connection to the exchange's history service. Its parameters live in
// "Transports/hdxplugin/Parameters": "url" (the service's base address), "requestGzip" and
// "requestTimeout" (ms).
class HOST_EXPORT HdxTransport : public QObject, public IPlugin, public ITransport
{
    Q_OBJECT
    Q_INTERFACES(IPlugin ITransport)
public:
    static constexpr char ParametersGroup[] = "Transports/hdxplugin/Parameters";
    static constexpr char UrlKey[] = "url";
    static constexpr char GzipKey[] = "requestGzip";
    static constexpr char TimeoutKey[] = "requestTimeout";

    explicit HdxTransport(QObject *parent = nullptr);

    QLatin1String name() const override { return QLatin1String("hdxplugin"); }
    QString displayName() const override;
    QString vendor() const override;
    QString version() const override { return QStringLiteral("1.0"); }
    QString description() const override;
    bool initialize(ICore *) override { return true; }
    void shutdown() override {}

    QString parametersGroup() const override { return QString::fromLatin1(ParametersGroup); }
    bool isConnected() const override { return true; }

    // Writes the defaults of the parameters that are missing; url given on the command line
    // replaces the stored one when not empty.
    static void ensureParameters(const QString &url);
};
