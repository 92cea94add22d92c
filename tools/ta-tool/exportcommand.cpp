#include "exportcommand.h"

#include "appsettings.h"
#include "hdxtransport.h"
#include "icore.h"
#include "mapsettings.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "table.h"
#include "tableregistry.h"
#include "visualeventcenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <cstdio>

#include <memory>

namespace {

constexpr int TradesPerAppend = 1000;

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

// Reads the trades file: header "moment,price,quantity,value,open_interest,nosystem", moments
// as local "yyyy-MM-dd HH:mm:ss.zzz". Records are made for the ids the live path matches.
bool readTrades(const QString &path, Table *deals, const SeriesKey &ids, QList<Record> *records,
                QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: cannot open: %2").arg(path, file.errorString());
        return false;
    }
    const QStringList expected{QStringLiteral("moment"),        QStringLiteral("price"),
                               QStringLiteral("quantity"),      QStringLiteral("value"),
                               QStringLiteral("open_interest"), QStringLiteral("nosystem")};
    QTextStream in(&file);
    int lineNumber = 0;
    qint64 dealId = 1;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNumber;
        if (lineNumber == 1) {
            if (line.split(u',') != expected) {
                *error = QStringLiteral("%1:1: the header must be \"%2\"")
                             .arg(path, expected.join(u','));
                return false;
            }
            continue;
        }
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(u',');
        auto fail = [&](const QString &what) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(what);
            return false;
        };
        if (f.size() != expected.size())
            return fail(QStringLiteral("%1 fields instead of %2").arg(f.size()).arg(6));
        const QDateTime moment = QDateTime::fromString(f.at(0).trimmed(),
                                                       QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        if (!moment.isValid())
            return fail(QStringLiteral("bad moment \"%1\"").arg(f.at(0)));
        bool ok = false;
        const decimal price = decimal::fromString(f.at(1).trimmed(), &ok);
        if (!ok || price.isZero() || price < decimal())
            return fail(QStringLiteral("bad price \"%1\"").arg(f.at(1)));
        const qint64 quantity = f.at(2).trimmed().toLongLong(&ok);
        if (!ok || quantity < 0)
            return fail(QStringLiteral("bad quantity \"%1\"").arg(f.at(2)));
        xdecimal value;
        const bool hasValue = !f.at(3).trimmed().isEmpty();
        if (hasValue) {
            value = xdecimal::fromString(f.at(3).trimmed(), &ok);
            if (!ok)
                return fail(QStringLiteral("bad value \"%1\"").arg(f.at(3)));
        }
        int openInterest = 0;
        if (!f.at(4).trimmed().isEmpty()) {
            openInterest = f.at(4).trimmed().toInt(&ok);
            if (!ok || openInterest < 0)
                return fail(QStringLiteral("bad open interest \"%1\"").arg(f.at(4)));
        }
        int nosystem = 0;
        if (!f.at(5).trimmed().isEmpty()) {
            nosystem = f.at(5).trimmed().toInt(&ok);
            if (!ok || (nosystem != 0 && nosystem != 1))
                return fail(QStringLiteral("bad nosystem flag \"%1\"").arg(f.at(5)));
        }
        Record r(deals);
        r.data(QStringLiteral("deal_id")) = dealId++;
        r.data(QStringLiteral("stock_id")) = ids.stock_id;
        r.data(QStringLiteral("board_id")) = ids.board_id;
        r.data(QStringLiteral("sec_id")) = ids.sec_id;
        r.data(QStringLiteral("sess_id")) = moment.date().year() * 10000
                                            + moment.date().month() * 100 + moment.date().day();
        r.data(QStringLiteral("moment")).setValue(QVariant::fromValue(datetime(moment)));
        r.data(QStringLiteral("price")).setValue(QVariant::fromValue(price));
        r.data(QStringLiteral("quantity")) = quantity;
        if (hasValue)
            r.data(QStringLiteral("value")).setValue(QVariant::fromValue(value));
        r.data(QStringLiteral("open_interest")) = openInterest;
        r.data(QStringLiteral("nosystem")) = nosystem;
        r.data(QStringLiteral("buysell")) = 1;
        records->append(r);
    }
    if (lineNumber == 0) {
        *error = QStringLiteral("%1: empty file, the header is missing").arg(path);
        return false;
    }
    return true;
}

// Writes the valid bars as CSV lines; false when the device refused them.
bool writeBars(QIODevice &out, const SeriesDataModel &model)
{
    QByteArray text("time,open,high,low,close,volume,value,oi\n");
    // The date text of the current day, and its midnight when the day has 24 hours: most bars
    // then format their time without a calendar lookup.
    datetime dayStart;
    datetime nextDay;
    QByteArray dayText;
    bool regularDay = false;
    const int count = model.validBarCount();
    for (int k = 0; k < count; ++k) {
        const FrameIndex index = model.validBar(k);
        const TimeFrame bar = model.bar(index);
        const datetime start = model.frameTime(index, false);
        if (dayStart.isNull() || start < dayStart || !(start < nextDay)) {
            const QDate date = start.getDate();
            dayStart = datetime(date);
            nextDay = datetime(date.addDays(1));
            regularDay = dayStart.msecsTo(nextDay) == 86400000;
            dayText = date.toString(Qt::ISODate).toLatin1();
        }
        if (regularDay) {
            const int s = int(dayStart.msecsTo(start) / 1000);
            char clock[16];
            std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
            text.append(dayText).append(' ').append(clock);
        } else {
            text.append(start.getDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1());
        }
        text.append(',');
        bar.open.appendTo(text);
        text.append(',');
        bar.high.appendTo(text);
        text.append(',');
        bar.low.appendTo(text);
        text.append(',');
        bar.close.appendTo(text);
        text.append(',').append(QByteArray::number(bar.volume)).append(',');
        bar.value.appendTo(text);
        text.append(',').append(QByteArray::number(bar.openInterest)).append('\n');
        if (text.size() > (1 << 20)) {
            if (out.write(text) != text.size())
                return false;
            text.clear();
        }
    }
    return out.write(text) == text.size();
}

} // namespace

bool parseTimeFrame(const QString &text, TimeFrameValue *timeFrame)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("month")) {
        *timeFrame = TimeFrameValue(1, Month);
        return true;
    }
    if (t == QLatin1String("year")) {
        *timeFrame = TimeFrameValue(1, Year);
        return true;
    }
    bool ok = false;
    const int seconds = t.toInt(&ok);
    if (!ok || seconds <= 0)
        return false;
    *timeFrame = TimeFrameValue(seconds, Interval);
    return true;
}

int runExport(const ExportRequest &request, QString *error)
{
    const SeriesKey key = request.key;
    if (SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull()) {
        *error = QStringLiteral("unknown instrument %1").arg(key.toString());
        return 2;
    }
    Table *deals = TableRegistry::instance()->table(QStringLiteral("all_deals"));

    // The tool keeps its settings in a file of its own: the reference schedules and the
    // history service's parameters from the command line; the user's terminal settings are
    // neither read nor written.
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid()) {
        *error = QStringLiteral("cannot create a temporary directory: %1")
                     .arg(settingsDir.errorString());
        return 2;
    }
    AppSettings::setFileName(settingsDir.filePath(QStringLiteral("ta-tool.ini")));
    {
        AppSettings ta(QStringLiteral("TechAnalysis"));
        ReferenceData::writeScheduleSettings(ta);
    }
    HdxTransport::ensureParameters(request.hdxUrl);
    AppSettings(QString::fromLatin1(HdxTransport::ParametersGroup))
        .setValue(QString::fromLatin1(HdxTransport::GzipKey), request.gzip);

    if (!request.dataDir.isEmpty()) {
        if (!QDir().mkpath(request.dataDir)) {
            *error = QStringLiteral("%1: cannot create the data directory").arg(request.dataDir);
            return 2;
        }
        qputenv("TA_DATA_DIR", QDir(request.dataDir).absolutePath().toLocal8Bit());
    }

    ICore *core = ICore::instance();
    std::unique_ptr<HdxTransport> transport;
    if (request.history) {
        transport = std::make_unique<HdxTransport>();
        core->addPlugin(transport.get());
    }

    // Failures of the history service are announced as notifications.
    QString historyFailure;
    QObject::connect(VisualEventCenter::instance(), &VisualEventCenter::eventShown,
                     VisualEventCenter::instance(), [&historyFailure](int, const QString &text) {
                         if (historyFailure.isEmpty())
                             historyFailure = text;
                     });

    TableThread tableThread;
    SeriesDataManager *manager = SeriesDataManager::instance();
    int status = 0;
    {
        SeriesDataModel model(key);
        MapSettings state;
        request.timeFrame.save(state);
        state.setValue(QStringLiteral("toCurrDate"), !request.to.isValid());
        state.setValue(QStringLiteral("dateTo"),
                       (request.to.isValid() ? request.to : QDate::currentDate())
                           .toString(Qt::ISODate));
        state.setValue(QStringLiteral("daysBack"), request.days);
        try {
            model.restoreState(state);
        } catch (const QString &e) {
            *error = QStringLiteral("invalid range or schedule: %1").arg(e);
            status = 2;
        }

        QList<Record> trades;
        if (status == 0) {
            manager->registerModel(&model);
            // A security of a proxy board trades under its real board's ids.
            if (!request.tradesFile.isEmpty() && deals
                && !readTrades(request.tradesFile, deals, manager->matchedKey(key), &trades,
                               error))
                status = 2;
        }
        if (status == 0) {
            model.build();
            // Trades arrive while the fillers work, as live trades do.
            for (qsizetype i = 0; i < trades.size(); i += TradesPerAppend)
                tableThread.append(deals, trades.mid(i, TradesPerAppend));
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (!manager->isFilling(&model))
                    loop.quit();
            });
            poll.start(10);
            loop.exec();
            // Notifications posted by the last download are delivered now.
            QCoreApplication::processEvents();
            if (!historyFailure.isEmpty()) {
                *error = historyFailure;
                status = 1;
            }
        }
        if (status == 0) {
            if (request.outputFile.isEmpty()) {
                QFile out;
                if (!out.open(stdout, QIODevice::WriteOnly) || !writeBars(out, model)
                    || !out.flush()) {
                    *error = QStringLiteral("cannot write to standard output");
                    status = 2;
                }
            } else {
                QSaveFile out(request.outputFile);
                const bool written = out.open(QIODevice::WriteOnly) && writeBars(out, model)
                                     && out.commit();
                if (!written) {
                    *error = QStringLiteral("%1: cannot write: %2")
                                 .arg(request.outputFile, out.errorString());
                    status = 2;
                }
            }
        }
        manager->unregisterModel(&model);
    }
    SeriesDataManager::destroyInstance();
    if (transport)
        core->removePlugin(transport.get());
    return status;
}
