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
#include <QThread>
#include <QTimer>

#include <cmath>

namespace {

constexpr int MinutesPerDay = 1440;
constexpr int MinutesPerWeek = 10080;

} // namespace

MarketSimulator::MarketSimulator(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_thread(new QThread(this))
    , m_random(options.seed ? options.seed : QRandomGenerator::global()->generate())
{
    m_thread->setObjectName(QStringLiteral("HostTableThread"));
}

MarketSimulator::~MarketSimulator()
{
    stop();
}

bool MarketSimulator::isTradingTime(int stockId, int boardId, const QDateTime &time)
{
    const QList<ReferenceSchedule> schedules = ReferenceData::schedules();
    const ReferenceSchedule *schedule = ReferenceData::scheduleFor(
        schedules, StockDirectory::i()->codeById(stockId),
        BoardDirectory::i()->codeById(stockId, boardId));
    // Without a schedule the market trades on weekdays around the clock.
    const QList<ReferenceSchedule::Session> sessions
        = schedule ? schedule->sessions
                   : QList<ReferenceSchedule::Session>{{0, 5 * MinutesPerDay}};
    const QDate day = time.date();
    const int minuteOfDay = time.time().hour() * 60 + time.time().minute();
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
        const int minute = dayIndex * MinutesPerDay + back * MinutesPerDay + minuteOfDay;
        for (const ReferenceSchedule::Session &s : sessions) {
            if (s.open / MinutesPerDay == dayIndex && minute >= s.open
                && minute < s.open + s.length)
                return true;
        }
    }
    return false;
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
    // Deal numbers keep growing across restarts of the terminal.
    m_nextDealId = datetime::now().toMSecsSinceEpoch() * 10;
    m_timer = new QTimer;
    m_timer->setInterval(m_options.tickMs);
    m_timer->moveToThread(m_thread);
    connect(m_timer, &QTimer::timeout, m_timer, [this] { tick(); }, Qt::DirectConnection);
    connect(m_thread, &QThread::started, m_timer, [this] {
        if (m_options.backfill)
            backfill();
        m_lastTick = datetime::now().getDateTime();
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
        // Futures and currencies trade busier than bonds.
        i.activity = stock == 2 && board == 3 ? 0.05 : (stock == 2 ? 0.6 : 1.0);
        i.security = r;
        m_instruments.append(i);
    }
}

qint64 MarketSimulator::nextPrice(Instrument &in)
{
    // Steps of about a basis point, at least one price increment, pulled gently back towards
    // the reference price so the walk stays plausible over a day.
    const qint64 step = qMax<qint64>(1, in.mantissa / 10000);
    const double pull = double(in.reference - in.mantissa) / double(in.reference) * 20.0;
    const double r = std::round(m_random.bounded(7.0) - 3.0 + pull);
    in.mantissa = qMax<qint64>(1, in.mantissa + qint64(r) * step);
    return in.mantissa;
}

void MarketSimulator::appendTrade(QList<Record> &records, Instrument &in, const QDateTime &when)
{
    Record r(m_deals);
    const qint64 mantissa = nextPrice(in);
    const decimal price(mantissa, in.decimals);
    in.traded = true;
    // Mostly small orders, now and then a large one.
    qint64 quantity = 1 + qint64(std::floor(-std::log(1.0 - m_random.generateDouble()) * 8));
    if (m_random.bounded(50) == 0)
        quantity *= 20;
    const qint64 units = in.stock == 2 || in.stock == 3 ? quantity * in.lot : quantity;
    r.data(QStringLiteral("deal_id")) = m_nextDealId++;
    r.data(QStringLiteral("stock_id")) = in.stock;
    r.data(QStringLiteral("board_id")) = in.board;
    r.data(QStringLiteral("sec_id")) = in.sec;
    r.data(QStringLiteral("sess_id")) = when.date().year() * 10000 + when.date().month() * 100
                                        + when.date().day();
    r.data(QStringLiteral("moment")).setValue(QVariant::fromValue(datetime(when)));
    r.data(QStringLiteral("price")).setValue(QVariant::fromValue(price));
    r.data(QStringLiteral("quantity")) = quantity;
    r.data(QStringLiteral("value")).setValue(QVariant::fromValue(xdecimal(price).multiplied(units)));
    r.data(QStringLiteral("open_interest")) = in.stock == 1 ? int(100000 + m_random.bounded(5000))
                                                             : 0;
    r.data(QStringLiteral("nosystem")) = m_random.bounded(200) == 0 ? 1 : 0;
    r.data(QStringLiteral("buysell")) = m_random.bounded(2) ? 1 : 2;
    records.append(r);
}

void MarketSimulator::tick()
{
    const QDateTime now = datetime::now().getDateTime();
    const double seconds = m_lastTick.isValid() ? m_lastTick.msecsTo(now) / 1000.0 : 0.25;
    m_lastTick = now;
    QList<Record> records;
    for (Instrument &in : m_instruments) {
        if (!m_options.alwaysOpen && !isTradingTime(in.stock, in.board, now))
            continue;
        // Poisson arrivals at the instrument's activity.
        double expected = in.activity * seconds;
        while (expected > 0 && m_random.generateDouble() < expected) {
            appendTrade(records, in, now);
            expected -= 1.0;
        }
    }
    if (!records.isEmpty()) {
        m_deals->append(records);
        publishQuotes();
        Q_EMIT tradesAppended(int(records.size()));
    }
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

void MarketSimulator::backfill()
{
    const QDateTime now = datetime::now().getDateTime();
    const QDateTime midnight(now.date(), QTime(0, 0));
    QList<Record> records;
    // One trade every 20 s on average per instrument, from midnight to now, in trading hours.
    for (QDateTime t = midnight; t < now; t = t.addSecs(10)) {
        for (Instrument &in : m_instruments) {
            if (m_options.alwaysOpen || isTradingTime(in.stock, in.board, t)) {
                if (m_random.bounded(2 * 100) < int(in.activity * 100))
                    appendTrade(records, in, t.addMSecs(m_random.bounded(10000)));
            }
        }
    }
    // Earlier trades first, as a feed would deliver them.
    std::stable_sort(records.begin(), records.end(), [](const Record &a, const Record &b) {
        return a.data(QStringLiteral("moment")).toDatetime()
               < b.data(QStringLiteral("moment")).toDatetime();
    });
    qint64 id = m_nextDealId;
    for (Record &r : records)
        r.data(QStringLiteral("deal_id")) = id++;
    m_nextDealId = id;
    if (!records.isEmpty()) {
        m_deals->append(records);
        publishQuotes();
        Q_EMIT tradesAppended(int(records.size()));
    }
}
