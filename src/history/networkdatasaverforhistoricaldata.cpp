#include "networkdatasaverforhistoricaldata.h"

#include "talogging.h"
#include "historicaldatamanager.h"

#include <QDebug>

namespace {

const QString IntervalPre = QStringLiteral(".1dx.pre");
const QString DayPre = QStringLiteral(".hdx.pre");

QString stamp(const datetime &t)
{
    return t.toString(QStringLiteral("yyyyMMdd hhmmss"));
}

} // namespace

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
    if (m_intervalFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        m_interval.setDevice(&m_intervalFile);
    else
        qCWarning(lcCache).noquote() << "NetworkDataSaverForHistoricalData::openFile: Can't open file"
                             << m_intervalFile.fileName();
}

NetworkDataSaverForHistoricalData::~NetworkDataSaverForHistoricalData()
{
    closeDay();
    m_interval.flush();
    m_intervalFile.close();
}

void NetworkDataSaverForHistoricalData::write(const Candle &candle)
{
    if (!m_intervalFile.isOpen() || !candle.valid)
        return;
    m_interval << stamp(candle.begin) << ';' << stamp(candle.end) << ';'
               << candle.open.toString() << ';' << candle.high.toString() << ';'
               << candle.low.toString() << ';' << candle.close.toString() << ';' << candle.volume
               << ';' << candle.value.toString() << ';' << candle.openInterest << '\n';
    ++m_count;
    if (!(m_timeFrame.kind == Interval && m_timeFrame.value == 60) || m_directory.isEmpty())
        return;
    const QDate date = candle.begin.getDate();
    if (date != m_dayDate)
        openDay(date);
    if (!m_day)
        return;
    const QTime end = candle.end.getTime();
    *m_day << QStringLiteral("%1%2%3")
                  .arg(end.hour(), 2, 10, QChar(u'0'))
                  .arg(end.minute(), 2, 10, QChar(u'0'))
                  .arg(end.second(), 2, 10, QChar(u'0'))
           << ';' << candle.open.toString() << ';' << candle.high.toString() << ';'
           << candle.low.toString() << ';' << candle.close.toString() << ';' << candle.volume
           << ';' << candle.value.toString() << ';' << candle.openInterest << '\n';
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
    m_day = std::make_unique<QTextStream>(m_dayFile.get());
}

void NetworkDataSaverForHistoricalData::closeDay()
{
    if (!m_dayFile)
        return;
    m_day.reset();
    m_dayFile->close();
    m_dayFile.reset();
    HistoricalDataManager::finishFile(m_dayPath, DayPre, QStringLiteral(".hdx"));
}
