#include "icore.h"

#include "datetime.h"
#include "ioptionspage.h"
#include "iplugin.h"
#include "iviewprovider.h"
#include "tableregistry.h"

#include <QDateTime>
#include <QDebug>

namespace {

// The factories of every loaded plug-in that provides views.
class CoreViewProvider : public IViewProvider
{
public:
    explicit CoreViewProvider(const ICore *core)
        : m_core(core)
    {
    }
    QList<IViewFactory *> factories() const override
    {
        QList<IViewFactory *> result;
        for (QObject *plugin : m_core->plugins()) {
            if (auto *provider = qobject_cast<IViewProvider *>(plugin))
                result += provider->factories();
        }
        return result;
    }

private:
    const ICore *m_core;
};

} // namespace

ICore::ICore()
    : m_viewProvider(new CoreViewProvider(this))
{
    m_midnight.setSingleShot(true);
    connect(&m_midnight, &QTimer::timeout, this, [this] {
        announceNewDay();
        armMidnightTimer();
    });
}

ICore::~ICore()
{
    delete m_viewProvider;
}

ICore *ICore::instance()
{
    // Never deleted: plug-ins and directories may refer to it until the process ends.
    static ICore *const core = new ICore;
    return core;
}

Table *ICore::table(const QString &name) const
{
    return TableRegistry::instance()->table(name);
}

QObject *ICore::plugin(const QString &name) const
{
    for (QObject *p : m_plugins) {
        if (auto *plugin = qobject_cast<IPlugin *>(p); plugin && plugin->name() == name)
            return p;
    }
    return nullptr;
}

void ICore::addPlugin(QObject *plugin)
{
    if (!plugin || m_plugins.contains(plugin))
        return;
    m_plugins.append(plugin);
    connect(plugin, &QObject::destroyed, this, [this, plugin] {
        m_plugins.removeOne(plugin);
        Q_EMIT pluginsChanged();
    });
    Q_EMIT pluginsChanged();
}

void ICore::removePlugin(QObject *plugin)
{
    if (m_plugins.removeOne(plugin)) {
        disconnect(plugin, &QObject::destroyed, this, nullptr);
        Q_EMIT pluginsChanged();
    }
}

IViewProvider *ICore::viewProvider() const
{
    return m_viewProvider;
}

void ICore::addOptionsPage(IOptionsPage *page)
{
    if (!page || m_pages.contains(page))
        return;
    m_pages.append(page);
    if (auto *object = dynamic_cast<QObject *>(page)) {
        // A page dies with its plug-in; forget it then.
        connect(object, &QObject::destroyed, this, [this, page] {
            m_pages.removeOne(page);
            Q_EMIT optionsPagesChanged();
        });
    }
    Q_EMIT optionsPagesChanged();
}

void ICore::removeOptionsPage(IOptionsPage *page)
{
    if (m_pages.removeOne(page)) {
        if (auto *object = dynamic_cast<QObject *>(page))
            disconnect(object, &QObject::destroyed, this, nullptr);
        Q_EMIT optionsPagesChanged();
    }
}

void ICore::announceNewDay()
{
    qInfo().noquote() << "ICore::announceNewDay:" << datetime::now().getDateTime().toString(Qt::ISODate);
    Q_EMIT aNewDay();
}

void ICore::startDayWatch()
{
    armMidnightTimer();
}

void ICore::armMidnightTimer()
{
    const QDateTime now = datetime::now().getDateTime();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0));
    // A little after midnight, so that "today" has surely changed when the signal arrives.
    const qint64 ms = now.msecsTo(midnight) + 200;
    m_midnight.start(int(qBound<qint64>(1000, ms, 25LL * 3600 * 1000)));
}
