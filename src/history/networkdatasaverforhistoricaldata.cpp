#include "networkdatasaverforhistoricaldata.h"

#include "talogging.h"
#include "historicaldatamanager.h"

#include <QDebug>

namespace {

const QString IntervalPre = QStringLiteral(".1dx.pre");
const QString DayPre = QStringLiteral(".hdx.pre");

void appendDigits(QByteArray &out, int value, int width)
{
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char('0' + value % 10);
        value /= 10;
    }
    out.append(digits, width);
}

// ";open;high;low;close;volume;value;openInterest\n"
void appendFields(QByteArray &out, const Candle &candle)
{
    out += ';';
    candle.open.appendTo(out);
    out += ';';
    candle.high.appendTo(out);
    out += ';';
    candle.low.appendTo(out);
    out += ';';
    candle.close.appendTo(out);
    out += ';';
    out += QByteArray::number(candle.volume);
    out += ';';
    candle.value.appendTo(out);
    out += ';';
    out += QByteArray::number(candle.openInterest);
    out += '\n';
}

} // namespace

NetworkDataSaverForHistoricalData::LocalParts
NetworkDataSaverForHistoricalData::partsOf(const datetime &t)
{
    const qint64 ms = t.toMSecsSinceEpoch();
    if (!(m_knownDate.isValid() && ms >= m_knownStart && ms < m_knownEnd)) {
        const QDate date = t.getDate();
        const qint64 start = datetime(date).toMSecsSinceEpoch();
        const qint64 end = datetime(date.addDays(1)).toMSecsSinceEpoch();
        if (end - start != 86400000) {
            // A day of a clock change: its hours are not counted from midnight.
            const QTime time = t.getTime();
            return {date, time.hour(), time.minute(), time.second()};
        }
        m_knownDate = date;
        m_knownStart = start;
        m_knownEnd = end;
    }
    const int seconds = int((ms - m_knownStart) / 1000);
    return {m_knownDate, seconds / 3600, seconds / 60 % 60, seconds % 60};
}

void NetworkDataSaverForHistoricalData::appendStamp(QByteArray &out, const datetime &t)
{
    const LocalParts p = partsOf(t);
    appendDigits(out, p.date.year(), 4);
    appendDigits(out, p.date.month(), 2);
    appendDigits(out, p.date.day(), 2);
    out += ' ';
    appendDigits(out, p.hour, 2);
    appendDigits(out, p.minute, 2);
    appendDigits(out, p.second, 2);
}

NetworkDataSaverForHistoricalData::NetworkDataSaverForHistoricalData(const QString &intervalPath,
                                                                     const QString &directory,
                                                                     const TimeFrameValue &tf)
    : m_intervalPath(intervalPath)
    , m_directory(directory)
    , m_timeFrame(tf)
    , m_intervalFile(intervalPath + IntervalPre)
{
    if (intervalPath.isEmpty())
        return;
    // A download starts its interval file afresh: a file left by an interrupted one would
    // otherwise be continued with the same candles again.
    if (!m_intervalFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qCWarning(lcCache).noquote() << "NetworkDataSaverForHistoricalData::openFile: Can't open file"
                             << m_intervalFile.fileName();
}

NetworkDataSaverForHistoricalData::~NetworkDataSaverForHistoricalData()
{
    closeDay();
    m_intervalFile.close();
}

void NetworkDataSaverForHistoricalData::write(const Candle &candle)
{
    if (!m_intervalFile.isOpen() || !candle.valid)
        return;
    // Lines are put together by hand: this runs for every candle of every download.
    m_line.clear();
    appendStamp(m_line, candle.begin);
    m_line += ';';
    appendStamp(m_line, candle.end);
    appendFields(m_line, candle);
    m_intervalFile.write(m_line);
    ++m_count;
    if (!(m_timeFrame.kind == Interval && m_timeFrame.value == 60) || m_directory.isEmpty())
        return;
    const QDate date = partsOf(candle.begin).date;
    if (date != m_dayDate)
        openDay(date);
    if (!m_dayFile)
        return;
    const LocalParts end = partsOf(candle.end);
    m_line.clear();
    appendDigits(m_line, end.hour, 2);
    appendDigits(m_line, end.minute, 2);
    appendDigits(m_line, end.second, 2);
    appendFields(m_line, candle);
    m_dayFile->write(m_line);
}

void NetworkDataSaverForHistoricalData::openDay(const QDate &date)
{
    closeDay();
    m_dayDate = date;
    m_dayPath = HistoricalDataManager::dayFilePath(m_directory, date, QStringLiteral("60"));
    m_dayFile = std::make_unique<QFile>(m_dayPath + DayPre);
    // The first time this download opens a day it starts the file afresh, so that candles of
    // an interrupted earlier download are not doubled; later pages of the day are appended.
    const QIODevice::OpenMode mode = m_daysOpened.contains(date)
                                         ? QIODevice::ReadWrite | QIODevice::Append
                                         : QIODevice::ReadWrite | QIODevice::Truncate;
    if (!m_dayFile->open(mode)) {
        qCWarning(lcCache).noquote() << "NetworkDataSaverForHistoricalData::openFile: Can't open file"
                             << m_dayFile->fileName();
        m_dayFile.reset();
        return;
    }
    m_daysOpened.insert(date);
}

void NetworkDataSaverForHistoricalData::closeDay()
{
    if (!m_dayFile)
        return;
    m_dayFile->close();
    m_dayFile.reset();
    HistoricalDataManager::finishFile(m_dayPath, DayPre, QStringLiteral(".hdx"));
}
