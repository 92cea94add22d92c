#pragma once

#include "hostdata_global.h"

#include <QStringList>
#include <QVariant>

// A store of values under slash-separated keys, with nested groups. Keys are relative to the
// current group.
class HOST_EXPORT Settings
{
public:
    virtual ~Settings();

    virtual void beginGroup(const QString &prefix) = 0;
    virtual void endGroup() = 0;
    // The current group, "" at the top.
    virtual QString group() const = 0;

    virtual QStringList childGroups() const = 0;
    virtual QStringList childKeys() const = 0;
    // Every key under the current group, relative to it.
    virtual QStringList allKeys() const = 0;

    virtual QVariant value(const QString &key, const QVariant &defaultValue = {}) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual bool contains(const QString &key) const = 0;
    // Removes the key and every key under it as a group; "" clears the current group.
    virtual void remove(const QString &key) = 0;

    virtual bool isWritable() const { return true; }
    virtual void sync() {}

    // Copies every key under the current group of source into the current group of this one.
    void copyFrom(const Settings &source);

protected:
    // decimal, xdecimal and datetime values are kept as text, which every store can hold.
    static QVariant storable(const QVariant &value);
};

// Opens a group for the lifetime of the object.
class HOST_EXPORT SettingsGroup
{
public:
    SettingsGroup(Settings &settings, const QString &group)
        : m_settings(settings)
    {
        m_settings.beginGroup(group);
    }
    ~SettingsGroup() { m_settings.endGroup(); }
    SettingsGroup(const SettingsGroup &) = delete;
    SettingsGroup &operator=(const SettingsGroup &) = delete;

private:
    Settings &m_settings;
};
