#include "historicaldatamanager.h"

#include "talogging.h"
#include "applicationpaths.h"
#include "boarddirectory.h"
#include "dealbatch.h"
#include "hdxinterval.h"
#include "seriesdatamodel.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace HistoricalDataManager {

QString baseDirectory(const QString &subPath)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    QDir base;
    const QString chosen = qEnvironmentVariable("TA_DATA_DIR");
    if (!chosen.isEmpty()) {
        // Tools, tests and demos keep their cache apart from the user's.
        base.setPath(chosen);
        base.mkpath(QStringLiteral("."));
    } else if (ApplicationPaths::isInstalled(appDir)) {
        base.setPath(ApplicationPaths::userDataBase(appDir));
    } else {
        base.setPath(appDir);
        if (base.mkpath(QStringLiteral("user")))
            base.cd(QStringLiteral("user"));
    }
    if (!subPath.isEmpty() && base.mkpath(subPath))
        base.cd(subPath);
    return base.absolutePath();
}

QString safeFileName(const QString &name)
{
    if (name == QLatin1String("."))
        return QStringLiteral("%2E");
    if (name == QLatin1String(".."))
        return QStringLiteral("%2E%2E");
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|%");
    QString result;
    result.reserve(name.size());
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c)) {
            for (char byte : QString(c).toUtf8())
                result += QStringLiteral("%%1").arg(uchar(byte), 2, 16, QChar(u'0')).toUpper();
        } else {
            result += c;
        }
    }
    // File systems take names of up to 255 bytes.
    if (result.toUtf8().size() > 200)
        result = result.left(60) + u'~'
                 + QString::number(qHash(result), 16);
    return result;
}

QString instrumentDirectory(const SeriesKey &key)
{
    QString stockCode, boardCode, secName;
    {
        Table *securities = SecurityDirectory::i()->table();
        TableLocker securitiesLock(securities);
        TableLocker stocksLock(StockDirectory::i()->table());
        TableLocker boardsLock(BoardDirectory::i()->table());
        const Record real = SecurityDirectory::i()->realRecordById(key.stock_id, key.board_id,
                                                                   key.sec_id);
        const int realBoard = real.isNull() ? key.board_id
                                            : real.data(QStringLiteral("board_id")).toInteger();
        stockCode = StockDirectory::i()->codeById(key.stock_id);
        boardCode = BoardDirectory::i()->codeById(key.stock_id, realBoard);
        if (key.stock_id == 1)
            secName = real.data(QStringLiteral("sec_name")).toString().trimmed();
        else if (key.stock_id == 2 || key.stock_id == 3)
            secName = real.data(QStringLiteral("sec_code")).toString().trimmed();
    }
    if (stockCode.isEmpty() || boardCode.isEmpty() || secName.isEmpty())
        return {};
    return baseDirectory(QStringLiteral("tadata/%1/%2/%3")
                             .arg(safeFileName(stockCode), safeFileName(boardCode),
                                  safeFileName(secName)));
}

QString dayResolution(const TimeFrameValue &timeFrame)
{
    return timeFrame.kind == Interval && timeFrame.value < 60 ? QStringLiteral("1")
                                                              : QStringLiteral("60");
}

QString intervalResolution(const TimeFrameValue &timeFrame)
{
    if (timeFrame.kind == Month)
        return QStringLiteral("2678400");
    if (timeFrame.kind == Year)
        return QStringLiteral("8035200");
    if (timeFrame.value >= 60)
        return QString::number(HdxInterval::forTimeFrame(timeFrame).seconds);
    return QStringLiteral("1");
}

QString dayFilePath(const QString &directory, const QDate &date, const QString &resolution)
{
    return directory + u'/' + date.toString(QStringLiteral("yyyyMMdd")) + u'_' + resolution;
}

QString intervalFilePath(const QString &directory, const QDate &first, const QDate &end,
                         const QString &resolution)
{
    return directory + u'/' + first.toString(QStringLiteral("yyyyMMdd")) + u'-'
           + end.toString(QStringLiteral("yyyyMMdd")) + u'_' + resolution;
}

namespace {

// Bar end times are written as the local time of day. On a day with 86,400 seconds that is the
// offset from midnight; on a day of a daylight-saving change the offset is turned into the
// clock time, so the seconds after the 24th hour of a 25-hour day do not wrap round onto the
// morning. The bar ending at the next midnight is "000000".
class DayClock
{
public:
    explicit DayClock(const QDate &date)
        : m_midnight(date)
        , m_next(date.addDays(1))
        , m_regular(m_midnight.msecsTo(m_next) == 86400000)
    {
    }

    QString timeOfDay(int endSecond) const
    {
        int s = endSecond % 86400;
        if (!m_regular) {
            const datetime end = m_midnight.addMSecs(qint64(endSecond) * 1000);
            const QTime clock = end.getTime();
            s = m_next <= end ? 0 : clock.hour() * 3600 + clock.minute() * 60 + clock.second();
        }
        return QStringLiteral("%1%2%3")
            .arg(s / 3600, 2, 10, QChar(u'0'))
            .arg(s / 60 % 60, 2, 10, QChar(u'0'))
            .arg(s % 60, 2, 10, QChar(u'0'));
    }

private:
    datetime m_midnight;
    datetime m_next;
    bool m_regular;
};

void writeDayLine(QTextStream &out, const DayClock &clock, int endSecond, const TimeFrame &bar)
{
    out << clock.timeOfDay(endSecond) << ';' << bar.open.toString() << ';'
        << bar.high.toString() << ';' << bar.low.toString() << ';' << bar.close.toString() << ';'
        << bar.volume << ';' << bar.value.toString() << ';' << bar.openInterest << '\n';
}

} // namespace

void storeSecondFile(const SeriesKey &key, const QDate &date, const SecondBars &seconds)
{
    if (seconds.lastSecond < 0)
        return;
    const QString directory = instrumentDirectory(key);
    if (directory.isEmpty())
        return;
    const QString path = dayFilePath(directory, date, QStringLiteral("1"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcCache).noquote() << "HistoricalDataManager::storeSecondFile: Can't open file" << path;
    } else {
        QTextStream out(&file);
        out.setGenerateByteOrderMark(true);
        const DayClock clock(date);
        const int last = qMin(seconds.lastSecond, int(seconds.bars.size()) - 1);
        for (int s = 0; s <= last; ++s) {
            if (seconds.bars[size_t(s)].valid)
                writeDayLine(out, clock, s + 1, seconds.bars[size_t(s)]);
        }
    }
    storeMinuteFile(dayFilePath(directory, date, QStringLiteral("60")), date, seconds);
}

void storeMinuteFile(const QString &path, const QDate &date, const SecondBars &seconds)
{
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcCache).noquote() << "HistoricalDataManager::storeMinuteFile: Can't open file" << path;
        return;
    }
    QTextStream out(&file);
    out.setGenerateByteOrderMark(true);
    const int count = int(seconds.bars.size());
    const DayClock clock(date);
    for (int m = 0; 60 * m <= seconds.lastSecond; ++m) {
        TimeFrame minute;
        for (int s = 60 * m; s < 60 * m + 60 && s < count; ++s) {
            const TimeFrame &bar = seconds.bars[size_t(s)];
            if (!bar.valid)
                continue;
            if (!minute.valid) {
                minute = bar;
                continue;
            }
            if (bar.low < minute.low)
                minute.low = bar.low;
            if (minute.high < bar.high)
                minute.high = bar.high;
            minute.close = bar.close;
            minute.value += bar.value;
            minute.volume += bar.volume;
            minute.openInterest = bar.openInterest;
        }
        if (minute.valid)
            writeDayLine(out, clock, 60 * (m + 1), minute);
    }
}

void finishFile(const QString &path, const QString &preSuffix, const QString &finalSuffix)
{
    const QString pre = path + preSuffix;
    if (!QFile::exists(pre))
        return;
    if (QFile::exists(path + finalSuffix))
        QFile::remove(pre);
    else
        QFile::rename(pre, path + finalSuffix);
}

void readCacheFiles(SeriesDataModel *model, const QDate &from, const QDate &to,
                    const std::function<bool()> &canGoOn)
{
    const TimeFrameValue timeFrame = model->timeFrame();
    const QString directory = instrumentDirectory(model->seriesKey());
    if (directory.isEmpty())
        return;
    const bool seconds = timeFrame.kind == Interval && timeFrame.value < 60;
    const int step = seconds ? 1 : 60;
    const QString resolution = seconds ? QStringLiteral("1") : QStringLiteral("60");
    DealBatch batch(model, 4, true);
    batch.reserve(batch.capacity());
    for (QDate d = from; d <= to; d = d.addDays(1)) {
        if (canGoOn && !canGoOn()) {
            batch.discard();
            return;
        }
        QString path = dayFilePath(directory, d, resolution);
        if (!seconds && QFile::exists(path + QStringLiteral(".hdx")))
            path += QStringLiteral(".hdx");
        QFile file(path);
        if (!file.exists() || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = file.readAll();
        const datetime midnight(d);
        const datetime nextMidnight(d.addDays(1));
        // Seconds after midnight are elapsed time except on a day with a clock change.
        const bool regularDay = midnight.msecsTo(nextMidnight) == 86400000;
        qsizetype pos = 0;
        if (content.startsWith("\xEF\xBB\xBF"))
            pos = 3;
        // On the day the clocks go back one hour of clock times comes twice: a time that does
        // not move on from the previous line is its second occurrence.
        datetime previousEnd;
        int lines = 0;
        while (pos < content.size()) {
            if (canGoOn && ++lines % 4096 == 0 && !canGoOn()) {
                batch.discard();
                return;
            }
            qsizetype end = content.indexOf('\n', pos);
            if (end < 0)
                end = content.size();
            const QByteArrayView line(content.constData() + pos, end - pos);
            pos = end + 1;
            QByteArrayView fields[9];
            int count = 0;
            qsizetype start = 0;
            for (qsizetype i = 0; i <= line.size() && count < 9; ++i) {
                if (i == line.size() || line.at(i) == ';') {
                    fields[count++] = line.sliced(start, i - start);
                    start = i + 1;
                }
            }
            // Lines are written with 8 fields; a shorter one ends the file.
            if (count < 8)
                break;
            const QByteArrayView t = fields[0];
            if (t.size() != 6 || !std::all_of(t.begin(), t.end(), [](char c) {
                    return c >= '0' && c <= '9';
                }))
                break;
            const int h = (t.at(0) - '0') * 10 + (t.at(1) - '0');
            const int mi = (t.at(2) - '0') * 10 + (t.at(3) - '0');
            const int s = (t.at(4) - '0') * 10 + (t.at(5) - '0');
            if (h > 23 || mi > 59 || s > 59)
                break;
            bool ok[7];
            Deal open, high, low, close;
            open.price = decimal::fromLatin1(fields[1], &ok[0]);
            high.price = decimal::fromLatin1(fields[2], &ok[1]);
            low.price = decimal::fromLatin1(fields[3], &ok[2]);
            close.price = decimal::fromLatin1(fields[4], &ok[3]);
            close.quantity = QByteArray::fromRawData(fields[5].data(), fields[5].size())
                                 .toLongLong(&ok[4]);
            // A volume cannot be negative.
            ok[4] = ok[4] && close.quantity >= 0;
            close.value = xdecimal::fromLatin1(fields[6], &ok[5]);
            close.openInterest = QByteArray::fromRawData(fields[7].data(), fields[7].size())
                                     .toUInt(&ok[6]);
            if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }))
                break;
            // "000000" is the end of the day's last bar: the next midnight.
            const int secondOfDay = h * 3600 + mi * 60 + s;
            datetime endTime;
            if (secondOfDay == 0)
                endTime = nextMidnight;
            else if (regularDay)
                endTime = midnight.addMSecs(qint64(secondOfDay) * 1000);
            else {
                endTime = datetime(d, QTime(h, mi, s));
                if (!previousEnd.isNull() && !(previousEnd < endTime)) {
                    const datetime later = endTime.addMSecs(3600000);
                    if (later.getTime() == QTime(h, mi, s) && later < nextMidnight)
                        endTime = later;
                }
            }
            previousEnd = endTime;
            const datetime barStart = endTime.addMSecs(-qint64(step) * 1000);
            open.time = barStart;
            high.time = low.time = barStart.addMSecs(500LL * step);
            close.time = endTime.addMSecs(-1);
            batch.append(open);
            batch.append(high);
            batch.append(low);
            batch.append(close);
        }
    }
}

} // namespace HistoricalDataManager
