#pragma once

#include "ioptionspage.h"
#include "iplugin.h"
#include "itransport.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSpinBox;

// The terminal's connection to the exchange's history service. Its parameters live in
// "Transports/hdxplugin/Parameters": "url" (the service's base address), "requestGzip" and
// "requestTimeout" (ms).
class HdxTransport : public QObject, public IPlugin, public ITransport
{
    Q_OBJECT
    Q_INTERFACES(IPlugin ITransport)
public:
    static constexpr char ParametersGroup[] = "Transports/hdxplugin/Parameters";

    explicit HdxTransport(QObject *parent = nullptr);

    QLatin1String name() const override { return QLatin1String("hdxplugin"); }
    QString displayName() const override;
    QString vendor() const override;
    QString version() const override { return QStringLiteral("1.0"); }
    QString description() const override;
    bool initialize(ICore *core) override;
    void shutdown() override {}

    QString parametersGroup() const override { return QString::fromLatin1(ParametersGroup); }
    bool isConnected() const override { return true; }

    // Writes the defaults of the parameters that are missing; url given on the command line
    // replaces the stored one when not empty.
    static void ensureParameters(const QString &url);
};

// Options page of the history service connection.
class HdxTransportPage : public QObject, public IOptionsPage
{
    Q_OBJECT
    Q_INTERFACES(IOptionsPage)
public:
    explicit HdxTransportPage(QObject *parent = nullptr);

    QString id() const override { return QStringLiteral("Terminal.Hdx"); }
    QString displayName() const override;
    QString category() const override { return QStringLiteral("Terminal"); }
    QString displayCategory() const override;
    QIcon categoryIcon() const override;
    void finish() override { m_widget = nullptr; }
    QWidget *createPage(const Settings &settings, QWidget *parent) override;
    void apply(Settings &settings) override;

private:
    QPointer<QWidget> m_widget;
    QLineEdit *m_url = nullptr;
    QCheckBox *m_gzip = nullptr;
    QSpinBox *m_timeout = nullptr;
};
