#pragma once

#include "hostdata_global.h"
#include "settings.h"

#include <QMap>

// Settings kept in memory: property sets and templates passed between objects.
class HOST_EXPORT MapSettings : public Settings
{
public:
    MapSettings() = default;
    // A copy of every key under the current group of the source.
    explicit MapSettings(const Settings &source);
    MapSettings(const MapSettings &other);
    MapSettings &operator=(const MapSettings &other);

    Settings &asSetRef() { return *this; }
    const Settings &asSetRef() const { return *this; }

    void beginGroup(const QString &prefix) override;
    void endGroup() override;
    QString group() const override;
    QStringList childGroups() const override;
    QStringList childKeys() const override;
    QStringList allKeys() const override;
    QVariant value(const QString &key, const QVariant &defaultValue = {}) const override;
    void setValue(const QString &key, const QVariant &value) override;
    bool contains(const QString &key) const override;
    void remove(const QString &key) override;

    bool isEmpty() const { return m_values.isEmpty(); }
    void clear();

private:
    QString fullKey(const QString &key) const;
    QString prefix() const;

    QMap<QString, QVariant> m_values;
    QStringList m_groups;
};
