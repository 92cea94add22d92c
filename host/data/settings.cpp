#include "settings.h"

#include "appsettings.h"
#include "datetime.h"
#include "decimal.h"
#include "defaultsettings.h"
#include "mapsettings.h"
#include "xdecimal.h"

#include <QDebug>
#include <QDir>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString joinKey(const QStringList &groups, const QString &key)
{
    QStringList parts = groups;
    if (!key.isEmpty())
        parts.append(key);
    QString result = parts.join(u'/');
    while (result.contains(QLatin1String("//")))
        result.replace(QLatin1String("//"), QLatin1String("/"));
    while (result.startsWith(u'/'))
        result.remove(0, 1);
    while (result.endsWith(u'/'))
        result.chop(1);
    return result;
}

QMutex fileNameMutex;
QString overriddenFileName;

} // namespace

Settings::~Settings() = default;

QVariant Settings::storable(const QVariant &value)
{
    const int id = value.metaType().id();
    if (id == decimal::metatypeId())
        return value.value<decimal>().toString();
    if (id == xdecimal::metatypeId())
        return value.value<xdecimal>().toString();
    if (id == datetime::metatypeId())
        return value.value<datetime>().toString();
    return value;
}

void Settings::copyFrom(const Settings &source)
{
    const QStringList keys = source.allKeys();
    for (const QString &key : keys)
        setValue(key, source.value(key));
}

// --- AppSettings -------------------------------------------------------------------------

AppSettings::AppSettings(const QString &path)
    : m_path(joinKey({}, path))
    , m_settings(std::make_unique<QSettings>(fileName(), QSettings::IniFormat))
{
    if (!m_path.isEmpty())
        m_settings->beginGroup(m_path);
}

AppSettings::~AppSettings() = default;

QString AppSettings::fileName()
{
    {
        QMutexLocker locker(&fileNameMutex);
        if (!overriddenFileName.isEmpty())
            return overriddenFileName;
    }
    const QString fromEnvironment = qEnvironmentVariable("TA_TERMINAL_SETTINGS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config/ta-terminal");
    return dir + QStringLiteral("/terminal.ini");
}

void AppSettings::setFileName(const QString &fileName)
{
    QMutexLocker locker(&fileNameMutex);
    overriddenFileName = fileName;
}

void AppSettings::syncAll()
{
    QSettings(fileName(), QSettings::IniFormat).sync();
}

void AppSettings::beginGroup(const QString &prefix)
{
    m_groups.append(prefix);
    m_settings->beginGroup(prefix);
}

void AppSettings::endGroup()
{
    if (m_groups.isEmpty()) {
        qWarning() << "AppSettings::endGroup: no group is open";
        return;
    }
    m_groups.removeLast();
    m_settings->endGroup();
}

QString AppSettings::group() const
{
    return joinKey(m_groups, {});
}

QStringList AppSettings::childGroups() const
{
    return m_settings->childGroups();
}

QStringList AppSettings::childKeys() const
{
    return m_settings->childKeys();
}

QStringList AppSettings::allKeys() const
{
    return m_settings->allKeys();
}

QVariant AppSettings::value(const QString &key, const QVariant &defaultValue) const
{
    return m_settings->value(key, defaultValue);
}

void AppSettings::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, storable(value));
}

bool AppSettings::contains(const QString &key) const
{
    return m_settings->contains(key);
}

void AppSettings::remove(const QString &key)
{
    m_settings->remove(key);
}

void AppSettings::sync()
{
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        qWarning() << "AppSettings::sync: cannot write" << m_settings->fileName();
}

// --- DefaultSettings ---------------------------------------------------------------------

std::unique_ptr<DefaultSettings> DefaultSettings::createReadOnly(const QString &path)
{
    return std::make_unique<DefaultSettings>(path, Access::ReadOnly);
}

std::unique_ptr<DefaultSettings> DefaultSettings::createReadWrite(const QString &path)
{
    return std::make_unique<DefaultSettings>(path, Access::ReadWrite);
}

DefaultSettings::DefaultSettings(const QString &path, Access access)
    : AppSettings(joinKey({QStringLiteral("Defaults")}, path))
    , m_access(access)
{
}

void DefaultSettings::setValue(const QString &key, const QVariant &value)
{
    if (m_access == Access::ReadOnly) {
        qWarning() << "DefaultSettings::setValue: read-only store" << path() << "ignores" << key;
        return;
    }
    AppSettings::setValue(key, value);
}

void DefaultSettings::remove(const QString &key)
{
    if (m_access == Access::ReadOnly) {
        qWarning() << "DefaultSettings::remove: read-only store" << path() << "ignores" << key;
        return;
    }
    AppSettings::remove(key);
}

// --- MapSettings -------------------------------------------------------------------------

MapSettings::MapSettings(const Settings &source)
{
    copyFrom(source);
}

MapSettings::MapSettings(const MapSettings &other)
    : Settings()
    , m_values(other.m_values)
    , m_groups(other.m_groups)
{
}

MapSettings &MapSettings::operator=(const MapSettings &other)
{
    m_values = other.m_values;
    m_groups = other.m_groups;
    return *this;
}

QString MapSettings::fullKey(const QString &key) const
{
    return joinKey(m_groups, key);
}

QString MapSettings::prefix() const
{
    const QString g = fullKey({});
    return g.isEmpty() ? g : g + u'/';
}

void MapSettings::beginGroup(const QString &prefix)
{
    m_groups.append(prefix);
}

void MapSettings::endGroup()
{
    if (m_groups.isEmpty()) {
        qWarning() << "MapSettings::endGroup: no group is open";
        return;
    }
    m_groups.removeLast();
}

QString MapSettings::group() const
{
    return fullKey({});
}

QStringList MapSettings::childGroups() const
{
    QStringList result;
    const QString p = prefix();
    for (auto it = m_values.lowerBound(p); it != m_values.cend() && it.key().startsWith(p); ++it) {
        const QString rest = it.key().mid(p.size());
        const qsizetype slash = rest.indexOf(u'/');
        if (slash > 0) {
            const QString name = rest.left(slash);
            if (result.isEmpty() || result.constLast() != name)
                result.append(name);
        }
    }
    result.removeDuplicates();
    return result;
}

QStringList MapSettings::childKeys() const
{
    QStringList result;
    const QString p = prefix();
    for (auto it = m_values.lowerBound(p); it != m_values.cend() && it.key().startsWith(p); ++it) {
        const QString rest = it.key().mid(p.size());
        if (!rest.contains(u'/'))
            result.append(rest);
    }
    return result;
}

QStringList MapSettings::allKeys() const
{
    QStringList result;
    const QString p = prefix();
    for (auto it = m_values.lowerBound(p); it != m_values.cend() && it.key().startsWith(p); ++it)
        result.append(it.key().mid(p.size()));
    return result;
}

QVariant MapSettings::value(const QString &key, const QVariant &defaultValue) const
{
    return m_values.value(fullKey(key), defaultValue);
}

void MapSettings::setValue(const QString &key, const QVariant &value)
{
    const QString k = fullKey(key);
    if (k.isEmpty())
        return;
    m_values.insert(k, storable(value));
}

bool MapSettings::contains(const QString &key) const
{
    return m_values.contains(fullKey(key));
}

void MapSettings::remove(const QString &key)
{
    const QString k = fullKey(key);
    if (k.isEmpty()) {
        m_values.clear();
        return;
    }
    m_values.remove(k);
    const QString under = k + u'/';
    auto it = m_values.lowerBound(under);
    while (it != m_values.end() && it.key().startsWith(under))
        it = m_values.erase(it);
}

void MapSettings::clear()
{
    m_values.clear();
    m_groups.clear();
}
