#pragma once

#include "appsettings.h"
#include "hostdata_global.h"

#include <memory>

// The host's store of default values, kept in the settings file under "Defaults/<path>". A
// read-only store ignores writes (with a warning).
class HOST_EXPORT DefaultSettings : public AppSettings
{
public:
    enum class Access { ReadOnly, ReadWrite };

    static std::unique_ptr<DefaultSettings> createReadOnly(const QString &path);
    static std::unique_ptr<DefaultSettings> createReadWrite(const QString &path);

    DefaultSettings(const QString &path, Access access);

    bool isWritable() const override { return m_access == Access::ReadWrite; }
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;

private:
    Access m_access;
};
