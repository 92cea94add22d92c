#include "marketsimulator.h"

#include "boarddirectory.h"
#include "calendardirectory.h"
#include "datetime.h"
#include "decimal.h"
#include "indexsort.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"
#include "tableregistry.h"
#include "xdecimal.h"

#include <QDebug>
#include <QVarLengthArray>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int MinutesPerDay = 1440;

// The numbers one second of one instrument's day trades by (splitmix64 over the run's seed,
// the day, the instrument and the second): any run invents that second alike.
class SecondRandom
{
public:
    SecondRandom(quint32 seed, const QDate &day, const qint64 sec, int board, qint64 second)
    {
        for (const quint64 part : {quint64(seed), quint64(day.toJulianDay()), quint64(sec),
                                   quint64(board), quint64(second)}) {
            m_state ^= part;
            m_state = next();
        }
    }
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double real() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    // In [0, n).
    qint64 bounded(qint64 n) { return qint64(next() % quint64(n)); }

private:
    quint64 m_state = 0;
};

} // namespace

MarketSimulator::MarketSimulator(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_thread(new QThread(this))
{
    m_thread->setObjectName(QStringLiteral("HostTableThread"));
}

MarketSimulator::~MarketSimulator()
{
    stop();
}

std::vector<bool> MarketSimulator::tradingClockMinutes(int stockId, int boardId, const QDate &day)
{
    const QList<ReferenceSchedule> schedules = ReferenceData::schedules();
    const ReferenceSchedule *schedule = ReferenceData::scheduleFor(
        schedules, StockDirectory::i()->codeById(stockId),
        BoardDirectory::i()->codeById(stockId, boardId));
    // Without a schedule the market trades on weekdays around the clock.
    const QList<ReferenceSchedule::Session> sessions
        = schedule ? schedule->sessions
                   : QList<ReferenceSchedule::Session>{{0, 5 * MinutesPerDay}};
    std::vector<bool> minutes(MinutesPerDay, false);
    // A session that began the day before may still be running: look at the day it began.
    for (int back = 0; back <= 1; ++back) {
        const QDate opened = day.addDays(-back);
        bool weekday = opened.dayOfWeek() <= 5;
        const QList<Record> exception
            = CalendarDirectory::i()->range(datetime(opened), datetime(opened));
        if (!exception.isEmpty())
            weekday = CalendarDirectory::i()->isTradingDay(exception.first());
        if (!weekday)
            continue;
        // A working weekend day trades like a Monday.
        const int dayIndex = opened.dayOfWeek() <= 5 ? opened.dayOfWeek() - 1 : 0;
        const int dayStart = dayIndex * MinutesPerDay + back * MinutesPerDay;
        for (const ReferenceSchedule::Session &s : sessions) {
            if (s.open / MinutesPerDay != dayIndex)
                continue;
            const int from = qMax(s.open, dayStart) - dayStart;
            const int to = qMin(s.open + s.length, dayStart + MinutesPerDay) - dayStart;
            for (int m = from; m < to; ++m)
                minutes[size_t(m)] = true;
        }
    }
    return minutes;
}

bool MarketSimulator::isTradingTime(int stockId, int boardId, const QDateTime &time)
{
    return tradingClockMinutes(stockId, boardId, time.date())[size_t(time.time().hour() * 60
                                                                     + time.time().minute())];
}

void MarketSimulator::start()
{
    if (m_timer)
        return;
    m_deals = TableRegistry::instance()->table(QStringLiteral("all_deals"));
    if (!m_deals) {
        qWarning() << "MarketSimulator::start: no all_deals table";
        return;
    }
    loadInstruments();
    const auto column = [this](const char *name) {
        return m_deals->columnIndex(QString::fromLatin1(name));
    };
    m_columns = {column("deal_id"),  column("stock_id"),     column("board_id"),
                 column("sec_id"),   column("sess_id"),      column("moment"),
                 column("price"),    column("quantity"),     column("value"),
                 column("open_interest"), column("nosystem"), column("buysell")};
    // Deal numbers keep growing across restarts of the terminal.
    m_nextDealId = datetime::now().toMSecsSinceEpoch() * 10;
    m_timer = new QTimer;
    m_timer->setInterval(m_options.tickMs);
    m_timer->moveToThread(m_thread);
    connect(m_timer, &QTimer::timeout, m_timer, [this] { tick(); }, Qt::DirectConnection);
    connect(m_thread, &QThread::started, m_timer, [this] {
        // Today's walk begins at midnight; without the morning the trades begin now.
        const datetime now = datetime::now();
        for (Instrument &in : m_instruments) {
            beginDay(in, now.getDate());
            if (!m_options.backfill)
                in.nextSecond = datetime(in.day).msecsTo(now) / 1000;
        }
        tick();
        m_timer->start();
    });
    connect(m_thread, &QThread::finished, m_timer, &QObject::deleteLater);
    m_thread->start();
}

void MarketSimulator::stop()
{
    if (!m_thread->isRunning())
        return;
    QMetaObject::invokeMethod(m_timer, &QTimer::stop, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    m_timer = nullptr;
}

void MarketSimulator::loadInstruments()
{
    Table *securities = TableRegistry::instance()->table(QStringLiteral("securities"));
    m_securities = securities;
    TableLocker locker(securities);
    for (const Record &r : securities->masterIndex()->records()) {
        const int stock = r.data(QStringLiteral("stock_id")).toInteger();
        const int board = r.data(QStringLiteral("board_id")).toInteger();
        // Indices have no trades; a proxy board's trades happen on its real board; boards
        // that cannot be charted are of no use to the demo.
        if (!BoardDirectory::i()->isChartById(stock, board)
            || BoardDirectory::i()->isIndexById(stock, board)
            || BoardDirectory::i()->isProxyById(stock, board))
            continue;
        const decimal price = r.data(QStringLiteral("price")).toDecimal();
        if (price.isZero())
            continue;
        Instrument i;
        i.stock = stock;
        i.board = board;
        i.sec = r.data(QStringLiteral("sec_id")).toInteger64();
        i.decimals = r.data(QStringLiteral("decimals")).toInteger();
        i.lot = qMax(1, r.data(QStringLiteral("lotsize")).toInteger());
        i.mantissa = std::llround(price.toDouble() * std::pow(10.0, i.decimals));
        i.reference = i.mantissa;
        // Trades a second: futures and currencies trade busier than shares, shares than bonds.
        // A start late in the day invents the whole day so far at these rates.
        i.activity = stock == 2 && board == 3 ? 0.01 : (stock == 2 ? 0.15 : 0.1);
        i.security = r;
        m_instruments.append(i);
    }
}

void MarketSimulator::beginDay(Instrument &in, const QDate &day)
{
    in.day = day;
    in.nextSecond = 0;
    in.mantissa = in.reference;
    // The clock minute of every minute since midnight: a day of a clock change has 23 or 25
    // hours. Worked out once a day for all instruments.
    const datetime midnight(day);
    if (m_clockMinutesDay != day) {
        m_clockMinutesDay = day;
        const qint64 minutes = (midnight.msecsTo(datetime(day.addDays(1))) / 1000 + 59) / 60;
        m_clockMinutes.resize(size_t(minutes));
        for (qint64 m = 0; m < minutes; ++m) {
            const QTime clock = midnight.addSecs(m * 60).getDateTime().time();
            m_clockMinutes[size_t(m)] = clock.hour() * 60 + clock.minute();
        }
    }
    in.tradingMinutes.assign(m_clockMinutes.size(), m_options.alwaysOpen);
    if (m_options.alwaysOpen)
        return;
    const std::vector<bool> trading = tradingClockMinutes(in.stock, in.board, day);
    for (size_t m = 0; m < m_clockMinutes.size(); ++m)
        in.tradingMinutes[m] = trading[size_t(m_clockMinutes[m])];
}

void MarketSimulator::inventUntil(std::vector<Trade> &trades, Instrument &in, const datetime &until)
{
    for (;;) {
        const datetime midnight(in.day);
        const qint64 length = midnight.msecsTo(datetime(in.day.addDays(1))) / 1000;
        for (; in.nextSecond < length; ++in.nextSecond) {
            const datetime second = midnight.addSecs(in.nextSecond);
            // A second is invented once it is over.
            if (second.addSecs(1) > until)
                return;
            if (in.tradingMinutes[size_t(in.nextSecond / 60)])
                inventSecond(trades, in, second);
        }
        beginDay(in, in.day.addDays(1));
    }
}

void MarketSimulator::inventSecond(std::vector<Trade> &trades, Instrument &in,
                                   const datetime &second)
{
    SecondRandom random(m_options.seed, in.day, in.sec, in.board, in.nextSecond);
    // Poisson arrivals at the instrument's activity, at moments within the second.
    int count = 0;
    for (double expected = in.activity; random.real() < expected; expected -= 1.0)
        ++count;
    if (count == 0)
        return;
    QVarLengthArray<qint64, 4> offsets;
    for (int k = 0; k < count; ++k)
        offsets.append(random.bounded(1000));
    std::sort(offsets.begin(), offsets.end());
    for (const qint64 offset : std::as_const(offsets)) {
        Trade trade;
        trade.instrument = &in;
        trade.msecs = second.toMSecsSinceEpoch() + offset;
        // Steps of about a basis point, at least one price increment, pulled gently back
        // towards the reference price so the walk stays plausible over a day.
        const qint64 step = qMax<qint64>(1, in.mantissa / 10000);
        const double pull = double(in.reference - in.mantissa) / double(in.reference) * 20.0;
        const double move = std::round(random.real() * 7.0 - 3.0 + pull);
        in.mantissa = qMax<qint64>(1, in.mantissa + qint64(move) * step);
        trade.mantissa = in.mantissa;
        // Mostly small orders, now and then a large one.
        trade.quantity = 1 + qint64(std::floor(-std::log(1.0 - random.real()) * 8));
        if (random.bounded(50) == 0)
            trade.quantity *= 20;
        trade.openInterest = in.stock == 1 ? int(100000 + random.bounded(5000)) : 0;
        trade.nosystem = random.bounded(200) == 0;
        trade.buy = random.bounded(2) != 0;
        in.traded = true;
        trades.push_back(trade);
    }
}

void MarketSimulator::tick()
{
    const datetime now = datetime::now();
    std::vector<Trade> trades;
    for (Instrument &in : m_instruments)
        inventUntil(trades, in, now);
    if (trades.empty())
        return;
    // Earlier trades first, as a feed would deliver them.
    std::stable_sort(trades.begin(), trades.end(),
                     [](const Trade &a, const Trade &b) { return a.msecs < b.msecs; });
    QList<Record> records;
    records.reserve(qsizetype(trades.size()));
    for (const Trade &trade : trades) {
        const Instrument &in = *trade.instrument;
        const decimal price(trade.mantissa, in.decimals);
        const qint64 units = in.stock == 2 || in.stock == 3 ? trade.quantity * in.lot
                                                            : trade.quantity;
        const datetime when = datetime::fromMSecsSinceEpoch(trade.msecs);
        const QDate date = when.getDate();
        Record r(m_deals);
        r.data(m_columns.deal) = m_nextDealId++;
        r.data(m_columns.stock) = in.stock;
        r.data(m_columns.board) = in.board;
        r.data(m_columns.sec) = in.sec;
        r.data(m_columns.session) = date.year() * 10000 + date.month() * 100 + date.day();
        r.data(m_columns.moment).setValue(QVariant::fromValue(when));
        r.data(m_columns.price).setValue(QVariant::fromValue(price));
        r.data(m_columns.quantity) = trade.quantity;
        r.data(m_columns.value).setValue(QVariant::fromValue(xdecimal(price).multiplied(units)));
        r.data(m_columns.openInterest) = trade.openInterest;
        r.data(m_columns.nosystem) = trade.nosystem ? 1 : 0;
        r.data(m_columns.buysell) = trade.buy ? 1 : 2;
        records.append(r);
    }
    m_deals->append(records);
    publishQuotes();
    Q_EMIT tradesAppended(int(records.size()));
}

void MarketSimulator::publishQuotes()
{
    if (!m_securities)
        return;
    const int priceColumn = m_securities->columnIndex(QStringLiteral("price"));
    const int bidColumn = m_securities->columnIndex(QStringLiteral("bid"));
    const int askColumn = m_securities->columnIndex(QStringLiteral("ask"));
    const int theorColumn = m_securities->columnIndex(QStringLiteral("theor_price"));
    for (Instrument &in : m_instruments) {
        if (!in.traded || in.security.isNull())
            continue;
        in.traded = false;
        const qint64 step = 1;
        QList<QPair<int, QVariant>> values;
        const auto add = [&](int column, qint64 mantissa) {
            if (column >= 0)
                values.append({column, QVariant::fromValue(decimal(qMax<qint64>(1, mantissa), in.decimals))});
        };
        add(priceColumn, in.mantissa);
        add(bidColumn, in.mantissa - step);
        add(askColumn, in.mantissa + step);
        add(theorColumn, (in.mantissa + in.reference) / 2);
        m_securities->update(in.security, values);
    }
}
