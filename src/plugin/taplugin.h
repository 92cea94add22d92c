#pragma once

#include <QObject>

// The plug-in object the terminal obtains through the plug-in loader.
class TAPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "qdsk.plugin.taplugin")
public:
    explicit TAPlugin(QObject *parent = nullptr);
};
