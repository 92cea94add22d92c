#pragma once

#include "iplugin.h"
#include "iviewprovider.h"

#include <QList>
#include <QObject>

class IViewFactory;

// The plug-in object the terminal obtains through the plug-in loader: it registers the menus,
// commands, tool-bar container and settings pages, and provides the chart window factory.
class TAPlugin : public QObject, public IPlugin, public IViewProvider
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "qdsk.plugin.taplugin")
    Q_INTERFACES(IPlugin IViewProvider)
public:
    explicit TAPlugin(QObject *parent = nullptr);
    ~TAPlugin() override;

    QLatin1String name() const override;
    QString displayName() const override;
    QString vendor() const override;
    QString version() const override;
    QString description() const override;
    bool initialize(ICore *core) override;
    void shutdown() override;
    void pluginsInitialized() override;

    QList<IViewFactory *> factories() const override;

public Q_SLOTS:
    void showStudyEditor();

private:
    void setupMenus();
    void setupSettingsPages(ICore *core);
    void setupScriptFiles();
    void setupToolBarCommands();

    QList<IViewFactory *> m_factories;
};
