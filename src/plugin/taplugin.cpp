#include "taplugin.h"

TAPlugin::TAPlugin(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("taplugin"));
}
