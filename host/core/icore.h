#pragma once

#include "hostdata_global.h"

#include <QList>
#include <QObject>
#include <QTimer>

class IOptionsPage;
class IViewProvider;
class Table;

// The terminal's core: its tables, the loaded plug-ins, the options pages they registered,
// the view factories and the trading-day change.
class HOST_EXPORT ICore : public QObject
{
    Q_OBJECT
public:
    // Created on first use (on the GUI thread) and kept for the life of the process.
    static ICore *instance();

    // The host table of that name ("all_deals", "securities", ...), or null.
    Table *table(const QString &name) const;

    // Loaded plug-in objects; each answers to IPlugin for its name.
    QList<QObject *> plugins() const { return m_plugins; }
    // The first plug-in whose IPlugin::name() is exactly this name, or null.
    QObject *plugin(const QString &name) const;
    void addPlugin(QObject *plugin);
    void removePlugin(QObject *plugin);

    // Every factory of every plug-in that provides views.
    IViewProvider *viewProvider() const;

    void addOptionsPage(IOptionsPage *page);
    void removeOptionsPage(IOptionsPage *page);
    QList<IOptionsPage *> optionsPages() const { return m_pages; }

    // Announces a new trading day now.
    void announceNewDay();
    // Announces a new trading day at every local midnight from now on.
    void startDayWatch();

Q_SIGNALS:
    void aNewDay();
    void pluginsChanged();
    void optionsPagesChanged();

private:
    ICore();
    ~ICore() override;
    void armMidnightTimer();

    QList<QObject *> m_plugins;
    QList<IOptionsPage *> m_pages;
    IViewProvider *m_viewProvider;
    QTimer m_midnight;
};
