#include "datasession.h"

#include "appsettings.h"
#include "hdxtransport.h"
#include "icore.h"
#include "referencedata.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "table.h"
#include "tableregistry.h"
#include "tradesfile.h"
#include "visualeventcenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int TradesPerAppend = 1000;
} // namespace

// The host's table thread: trades enter "all_deals" here, as the terminal's feed does.
class TableThread
{
public:
    TableThread()
    {
        m_thread.setObjectName(QStringLiteral("HostTableThread"));
        m_thread.start();
        m_context.moveToThread(&m_thread);
    }
    ~TableThread()
    {
        m_thread.quit();
        m_thread.wait();
    }

    // Appends on the table thread and returns once the table and its indexes have taken them.
    void append(Table *table, const QList<Record> &records)
    {
        QMetaObject::invokeMethod(
            &m_context, [table, records] { table->append(records); },
            Qt::BlockingQueuedConnection);
    }

private:
    QThread m_thread;
    QObject m_context;
};

DataSession::DataSession() = default;

DataSession::~DataSession()
{
    if (!m_open)
        return;
    SeriesDataManager::destroyInstance();
    if (m_transport)
        ICore::instance()->removePlugin(m_transport.get());
}

bool DataSession::open(const Options &options, QString *error)
{
    if (!m_settingsDir.isValid()) {
        *error = QStringLiteral("cannot create a temporary directory: %1")
                     .arg(m_settingsDir.errorString());
        return false;
    }
    AppSettings::setFileName(m_settingsDir.filePath(QStringLiteral("ta-tool.ini")));
    {
        AppSettings ta(QStringLiteral("TechAnalysis"));
        ReferenceData::writeScheduleSettings(ta);
    }
    HdxTransport::ensureParameters(options.hdxUrl);
    AppSettings(QString::fromLatin1(HdxTransport::ParametersGroup))
        .setValue(QString::fromLatin1(HdxTransport::GzipKey), options.gzip);

    if (!options.dataDir.isEmpty()) {
        if (!QDir().mkpath(options.dataDir)) {
            *error = QStringLiteral("%1: cannot create the data directory").arg(options.dataDir);
            return false;
        }
        qputenv("TA_DATA_DIR", QDir(options.dataDir).absolutePath().toLocal8Bit());
    }
    if (options.history) {
        m_transport = std::make_unique<HdxTransport>();
        ICore::instance()->addPlugin(m_transport.get());
    }
    // Failures of the history service are announced as notifications.
    m_listening = std::make_unique<QObject>();
    QObject::connect(VisualEventCenter::instance(), &VisualEventCenter::eventShown,
                     m_listening.get(), [this](int, const QString &text) {
                         if (m_historyFailure.isEmpty())
                             m_historyFailure = text;
                     });
    m_deals = TableRegistry::instance()->table(QStringLiteral("all_deals"));
    m_tableThread = std::make_unique<TableThread>();
    SeriesDataManager::instance();
    m_open = true;
    return true;
}

bool DataSession::checkRange(const SeriesKey &key, const TimeFrameValue &frame, int days,
                             const QDate &to, QString *error)
{
    const QDate last = to.isValid() ? to : datetime::today();
    const QString refused = SeriesDataModel::rangeRefusal(key, frame, last.addDays(-(days - 1)),
                                                          last);
    if (refused.isEmpty())
        return true;
    *error = refused;
    return false;
}

SeriesDataManager *DataSession::manager() const
{
    return SeriesDataManager::instance();
}

bool DataSession::readTrades(const QString &fileName, const SeriesKey &key, QList<Record> *trades,
                             QString *error)
{
    if (!m_deals) {
        *error = QStringLiteral("the host has no trades table");
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot open: %2").arg(fileName, file.errorString());
        return false;
    }
    // A security of a proxy board trades under its real board's ids.
    return ::readTrades(file, fileName, m_deals, manager()->matchedKey(key), trades, error);
}

void DataSession::appendTrades(const QList<Record> &trades)
{
    if (!m_deals)
        return;
    for (qsizetype i = 0; i < trades.size(); i += TradesPerAppend)
        m_tableThread->append(m_deals, trades.mid(i, TradesPerAppend));
    SeriesDataManager *data = manager();
    const qint64 outside = std::count_if(trades.cbegin(), trades.cend(), [&](const Record &r) {
        const datetime moment = r.data(QStringLiteral("moment")).toDatetime();
        return moment < data->todayStart() || !(moment < data->tomorrowStart());
    });
    if (outside > 0)
        std::fprintf(stderr, "ta-tool: %lld trades not of today were ignored\n",
                     static_cast<long long>(outside));
}

QString DataSession::waitUntilFilled(const QList<SeriesDataModel *> &models)
{
    SeriesDataManager *data = manager();
    const auto filling = [&] {
        return std::any_of(models.cbegin(), models.cend(),
                           [&](SeriesDataModel *model) { return data->isFilling(model); });
    };
    if (filling()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!filling())
                loop.quit();
        });
        poll.start(10);
        loop.exec();
    }
    // Notifications posted by the last download are delivered now.
    QCoreApplication::processEvents();
    return m_historyFailure;
}
