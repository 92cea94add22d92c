#include "exportcommand.h"

#include "datasession.h"

#include "datetime.h"
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
#include "tradesfile.h"
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

#include <algorithm>
#include <cstdio>

#include <memory>

namespace {

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
    TimeFrameValue parsed;
    if (t == QLatin1String("month")) {
        parsed = TimeFrameValue(1, Month);
    } else if (t == QLatin1String("year")) {
        parsed = TimeFrameValue(1, Year);
    } else {
        bool ok = false;
        parsed = TimeFrameValue(t.toInt(&ok), Interval);
        if (!ok)
            return false;
    }
    // Only the frames charts offer: their bars tile days and hours evenly.
    if (!standardTimeFrames().contains(parsed))
        return false;
    *timeFrame = parsed;
    return true;
}

QString standardTimeFrameList()
{
    QStringList frames;
    for (const TimeFrameValue &tf : standardTimeFrames()) {
        if (tf.kind == Interval)
            frames.append(QString::number(tf.value));
    }
    return frames.join(u' ') + QStringLiteral(" seconds, month or year");
}

int runExport(const ExportRequest &request, QString *error)
{
    const SeriesKey key = request.key;
    if (SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull()) {
        *error = QStringLiteral("unknown instrument %1").arg(key.toString());
        return 2;
    }
    DataSession session;
    if (!session.open({request.hdxUrl, request.gzip, request.history, request.dataDir}, error)
        || !DataSession::checkRange(key, request.timeFrame, request.days, request.to, error))
        return 2;
    SeriesDataManager *manager = session.manager();
    int status = 0;
    {
        SeriesDataModel model(key);
        MapSettings state;
        request.timeFrame.save(state);
        state.setValue(QStringLiteral("toCurrDate"), !request.to.isValid());
        state.setValue(QStringLiteral("dateTo"),
                       (request.to.isValid() ? request.to : datetime::today())
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
            if (!request.tradesFile.isEmpty()
                && !session.readTrades(request.tradesFile, key, &trades, error))
                status = 2;
        }
        if (status == 0) {
            model.build();
            // Trades arrive while the fillers work, as live trades do.
            session.appendTrades(trades);
            const QString failure = session.waitUntilFilled({&model});
            if (!failure.isEmpty()) {
                *error = failure;
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
    return status;
}
