#include "syntheticmarket.h"

#include "boarddirectory.h"
#include "calendardirectory.h"
#include "datetime.h"
#include "indexsort.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"

#include <QRandomGenerator>

#include <cmath>

namespace {

quint32 seedOf(qint64 sec, const QDate &day, quint32 salt)
{
    return quint32(qHashMulti(salt, sec, day.toJulianDay()));
}

QString hdxEngine(const SyntheticMarket::Instrument &i)
{
    if (i.index || i.stock == 2)
        return QStringLiteral("stock");
    if (i.stock == 1)
        return QStringLiteral("futures");
    return QStringLiteral("currency");
}

} // namespace

SyntheticMarket::SyntheticMarket()
    : m_today(datetime::today())
{
    const QList<ReferenceSchedule> schedules = ReferenceData::schedules();
    Table *securities = SecurityDirectory::i()->table();
    TableLocker locker(securities);
    for (const Record &r : securities->masterIndex()->records()) {
        Instrument i;
        i.stock = r.data(QStringLiteral("stock_id")).toInteger();
        i.board = r.data(QStringLiteral("board_id")).toInteger();
        i.sec = r.data(QStringLiteral("sec_id")).toInteger64();
        i.code = r.data(QStringLiteral("sec_code")).toString();
        i.name = r.data(QStringLiteral("sec_name")).toString();
        i.boardCode = BoardDirectory::i()->codeById(i.stock, i.board);
        i.index = BoardDirectory::i()->isIndexById(i.stock, i.board);
        i.decimals = r.data(QStringLiteral("decimals")).toInteger();
        i.lot = qMax(1, r.data(QStringLiteral("lotsize")).toInteger());
        i.referencePrice = r.data(QStringLiteral("price")).toDouble();
        if (i.stock == 1)
            i.hdxMarket = i.board == 14 ? QStringLiteral("options") : QStringLiteral("fomar");
        else
            i.hdxMarket = BoardDirectory::i()->codeHdxById(i.stock, i.board);
        if (const ReferenceSchedule *s = ReferenceData::scheduleFor(
                schedules, StockDirectory::i()->codeById(i.stock), i.boardCode))
            i.sessions = s->sessions;
        else
            for (int day = 0; day < 5; ++day)
                i.sessions.append({day * 1440, 1440});
        if (i.referencePrice > 0 && !BoardDirectory::i()->isProxyById(i.stock, i.board))
            m_instruments.append(i);
    }
}

QList<SyntheticMarket::Instrument> SyntheticMarket::listed(const QString &engine,
                                                            const QString &market) const
{
    QList<Instrument> result;
    for (const Instrument &i : m_instruments) {
        if (hdxEngine(i) == engine && i.hdxMarket == market)
            result.append(i);
    }
    return result;
}

const SyntheticMarket::Instrument *SyntheticMarket::find(const QString &engine,
                                                         const QString &market,
                                                         const QString &board,
                                                         const QString &security) const
{
    for (const Instrument &i : m_instruments) {
        if (hdxEngine(i) != engine || i.hdxMarket != market)
            continue;
        // Futures and options are asked for by name, the rest by code and board.
        const bool byName = i.stock == 1;
        if (byName ? i.name == security : (i.code == security && i.boardCode == board))
            return &i;
    }
    return nullptr;
}

bool SyntheticMarket::tradingDay(const QDate &day) const
{
    bool trading = day.dayOfWeek() <= 5;
    const QList<Record> exception = CalendarDirectory::i()->range(datetime(day), datetime(day));
    if (!exception.isEmpty())
        trading = CalendarDirectory::i()->isTradingDay(exception.first());
    return trading;
}

double SyntheticMarket::anchor(const Instrument &instrument, const QDate &day)
{
    // Today opens at the reference price; each earlier day is one daily step back.
    if (day >= m_today)
        return instrument.referencePrice;
    const QString key = QStringLiteral("%1/%2").arg(instrument.sec).arg(day.toJulianDay());
    if (const auto it = m_anchors.constFind(key); it != m_anchors.cend())
        return *it;
    double price = instrument.referencePrice;
    for (QDate d = m_today; d > day; d = d.addDays(-1)) {
        QRandomGenerator random(seedOf(instrument.sec, d, 7));
        price /= 1.0 + (random.generateDouble() - 0.5) * 0.02;
        m_anchors.insert(QStringLiteral("%1/%2").arg(instrument.sec).arg(d.addDays(-1).toJulianDay()),
                         price);
    }
    return m_anchors.value(key, price);
}

QList<SyntheticMarket::Candle> SyntheticMarket::minuteCandles(const Instrument &instrument,
                                                              const QDate &sessionDay)
{
    QList<Candle> result;
    if (!tradingDay(sessionDay) || sessionDay > m_today || sessionDay < historyStart())
        return result;
    // A working weekend day trades like a Monday.
    const int dayIndex = sessionDay.dayOfWeek() <= 5 ? sessionDay.dayOfWeek() - 1 : 0;
    QRandomGenerator random(seedOf(instrument.sec, sessionDay, 11));
    const double tick = std::pow(10.0, -instrument.decimals);
    double price = anchor(instrument, sessionDay);
    const QDateTime midnight(sessionDay, QTime(0, 0));
    const QDateTime now = datetime::now().getDateTime();
    for (const ReferenceSchedule::Session &s : instrument.sessions) {
        if (s.open / 1440 != dayIndex)
            continue;
        for (int minute = 0; minute < s.length; ++minute) {
            Candle c;
            c.begin = midnight.addSecs(qint64(s.open % 1440 + minute) * 60);
            if (c.begin.addSecs(60) > now)
                return result; // no candles for the future or the running minute
            c.end = c.begin.addSecs(59);
            auto step = [&] {
                price *= 1.0 + (random.generateDouble() - 0.5) * 0.002;
                return std::max(tick, std::round(price / tick) * tick);
            };
            c.open = step();
            const double a = step(), b = step();
            c.close = step();
            c.high = std::max({c.open, a, b, c.close});
            c.low = std::min({c.open, a, b, c.close});
            // Volumes of the share and currency markets count pieces (lots times lot size),
            // derivatives count contracts, as the terminal's trades do.
            // An index trades nothing itself; its value is the turnover of its members.
            const qint64 lots = qint64(1 + random.bounded(400));
            if (instrument.index) {
                c.volume = 0;
                c.value = (c.open + c.close) / 2 * double(lots) * 1000;
            } else {
                c.volume = instrument.stock == 2 || instrument.stock == 3 ? lots * instrument.lot
                                                                            : lots;
                c.value = (c.open + c.close) / 2 * double(c.volume);
            }
            result.append(c);
        }
    }
    return result;
}

QList<SyntheticMarket::Candle> SyntheticMarket::candles(const Instrument &instrument,
                                                        int intervalCode, const QDate &from,
                                                        const QDate &till)
{
    const QString key = QStringLiteral("%1/%2/%3/%4")
                            .arg(instrument.sec)
                            .arg(intervalCode)
                            .arg(from.toJulianDay())
                            .arg(till.toJulianDay());
    if (key == m_lastKey)
        return m_lastCandles;
    m_lastKey = key;
    m_lastCandles = build(instrument, intervalCode, from, till);
    return m_lastCandles;
}

QList<SyntheticMarket::Candle> SyntheticMarket::build(const Instrument &instrument,
                                                      int intervalCode, const QDate &from,
                                                      const QDate &till)
{
    QList<Candle> minutes;
    // A session may start the day before and run past midnight.
    for (QDate d = from.addDays(-1); d <= till; d = d.addDays(1)) {
        for (const Candle &c : minuteCandles(instrument, d)) {
            if (c.begin.date() >= from && c.begin.date() <= till)
                minutes.append(c);
        }
    }
    if (intervalCode == 1)
        return minutes;
    auto bucketOf = [intervalCode](const QDateTime &t) {
        const QDate d = t.date();
        switch (intervalCode) {
        case 10: return QDateTime(d, QTime(t.time().hour(), t.time().minute() / 10 * 10));
        case 60: return QDateTime(d, QTime(t.time().hour(), 0));
        case 24: return QDateTime(d, QTime(0, 0));
        case 7: return QDateTime(d.addDays(1 - d.dayOfWeek()), QTime(0, 0));
        case 31: return QDateTime(QDate(d.year(), d.month(), 1), QTime(0, 0));
        default: return QDateTime(QDate(d.year(), (d.month() - 1) / 3 * 3 + 1, 1), QTime(0, 0));
        }
    };
    QList<Candle> result;
    for (const Candle &m : std::as_const(minutes)) {
        const QDateTime bucket = bucketOf(m.begin);
        if (result.isEmpty() || bucketOf(result.last().begin) != bucket) {
            Candle c = m;
            c.begin = bucket;
            result.append(c);
        } else {
            Candle &c = result.last();
            c.high = std::max(c.high, m.high);
            c.low = std::min(c.low, m.low);
            c.close = m.close;
            c.volume += m.volume;
            c.value += m.value;
        }
        result.last().end = m.end;
    }
    return result;
}
