#pragma once

#include "hostdata_global.h"
#include "settings.h"

#include <memory>

class QSettings;

// The host's persistent settings: one INI file per process, opened at a group path. Every
// AppSettings object of the process sees the others' changes at once. The file is
// $TA_TERMINAL_SETTINGS when set, else "terminal.ini" in the user's configuration directory,
// unless setFileName() chose another.
class HOST_EXPORT AppSettings : public Settings
{
public:
    explicit AppSettings(const QString &path = QString());
    ~AppSettings() override;

    static QString fileName();
    // Used by the terminal's command line and by tests; affects objects created afterwards.
    static void setFileName(const QString &fileName);
    // Writes pending changes of every AppSettings of the process to the file.
    static void syncAll();

    QString path() const { return m_path; }

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
    void sync() override;

private:
    QString m_path;
    QStringList m_groups;
    std::unique_ptr<QSettings> m_settings;
};
