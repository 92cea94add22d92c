#pragma once

#include "bartesthelpers.h"
#include "calendardirectory.h"
#include "indexsort.h"
#include "securitydirectory.h"
#include "seriesdatamanager.h"
#include "table.h"
#include "tableregistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <map>

// Shared by the data manager suites and its stress program: trades for "all_deals", a host
// table thread, and waiting for fillers.
namespace DataTest {

// Futures on the derivatives market: volumes count contracts.
inline const SeriesKey Futures{1, 1, 1001};
// Dollar on the currency market, lot size 1000.
inline const SeriesKey Dollar{3, 4, 3001};
// An index board: no trades of its own.
inline const SeriesKey IndexKey{2, 16, 1601};
// ARKT on the mirror board, whose real record is ARKT on the main board.
inline const SeriesKey Mirror{2, 5, 2501};

inline Table *deals()
{
    return TableRegistry::instance()->table(QStringLiteral("all_deals"));
}

// A trade of the instrument as the terminal's feed writes it: the value counts pieces (lots
// times lot size) on the share and currency markets.
inline Record trade(const SeriesKey &key, const datetime &moment, const char *price,
                    qint64 quantity, int nosystem = 0, int openInterest = 0)
{
    Record r(deals());
    const decimal p(QString::fromLatin1(price));
    const int lot = SecurityDirectory::i()->lotsizeById(key.stock_id, key.board_id, key.sec_id);
    const qint64 pieces = key.stock_id == 2 || key.stock_id == 3 ? quantity * lot : quantity;
    static qint64 dealId = 0;
    r.data(QStringLiteral("deal_id")) = ++dealId;
    r.data(QStringLiteral("stock_id")) = key.stock_id;
    r.data(QStringLiteral("board_id")) = key.board_id;
    r.data(QStringLiteral("sec_id")) = key.sec_id;
    r.data(QStringLiteral("sess_id")) = 1;
    r.data(QStringLiteral("moment")).setValue(QVariant::fromValue(moment));
    r.data(QStringLiteral("price")).setValue(QVariant::fromValue(p));
    r.data(QStringLiteral("quantity")) = quantity;
    r.data(QStringLiteral("value")).setValue(QVariant::fromValue(xdecimal(p).multiplied(pieces)));
    r.data(QStringLiteral("open_interest")) = openInterest;
    r.data(QStringLiteral("nosystem")) = nosystem;
    r.data(QStringLiteral("buysell")) = 1;
    return r;
}

// The host's table thread: appends land there, and the data manager hears them there.
class TableThread
{
public:
    TableThread()
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
    }
    ~TableThread()
    {
        m_thread.quit();
        m_thread.wait();
    }
    void append(const QList<Record> &records)
    {
        QMetaObject::invokeMethod(
            &m_context, [records] { deals()->append(records); }, Qt::BlockingQueuedConnection);
    }

private:
    QThread m_thread;
    QObject m_context;
};

// Runs the GUI thread's events until the condition holds; false after the timeout.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    QCoreApplication::processEvents();
    return true;
}

inline bool waitFilled(SeriesDataModel &model, int timeoutMs = 20000)
{
    return waitFor([&] { return !SeriesDataManager::instance()->isFilling(&model); },
                   timeoutMs);
}

// Every day of the week 10:00-18:45: today has a session whatever day the tests run on.
inline SessionList everyDay()
{
    SessionList list;
    for (int day = 1; day <= 7; ++day)
        list.append(BarTest::at(day, 10, 0, 8 * 60 + 45));
    return list;
}

// Stores the sessions as the schedules of the derivatives, share and currency markets.
inline void setScheduleEverywhere(const SessionList &sessions)
{
    BarTest::setSchedule(sessions);
    AppSettings ta(QStringLiteral("TechAnalysis"));
    for (const char *stock : {"Schedule_DRV", "Schedule_FX"}) {
        SettingsGroup scope(ta, QString::fromLatin1(stock));
        saveSchedule(sessions, ta);
    }
}

// Today trades whatever day the tests run on: the calendar is emptied (its records are
// returned, to be put back) and every market trades every day.
inline QList<Record> tradeEveryDay()
{
    Table *calendar = CalendarDirectory::i()->table();
    QList<Record> kept;
    {
        TableLocker locker(calendar);
        kept = calendar->masterIndex()->records();
    }
    calendar->reset({});
    setScheduleEverywhere(everyDay());
    return kept;
}

enum class Compare { Everything, SumsAndExtremes };

// A bar as text: its start, prices (open and close left out when only sums and extremes
// count), volume and value.
inline QString barText(const datetime &start, const TimeFrame &bar, Compare what)
{
    const bool ends = what == Compare::Everything;
    return QStringLiteral("%1 %2 %3 %4 %5 vol %6 val %7")
        .arg(start.getDateTime().toString(Qt::ISODate), ends ? bar.open.toString() : QString(),
             bar.high.toString(), bar.low.toString(), ends ? bar.close.toString() : QString())
        .arg(bar.volume)
        .arg(bar.value.toString());
}

// The model's valid bars, in time order.
inline QStringList barsOf(const SeriesDataModel &model, Compare what = Compare::Everything)
{
    QStringList bars;
    for (int k = 0; k < model.validBarCount(); ++k)
        bars.append(barText(model.frameTime(model.validBar(k), false),
                            model.bar(model.validBar(k)), what));
    return bars;
}

// Bars folded straight from the order-book trades (frames that divide the day): what a model
// must show.
inline QStringList plainFold(const QList<Record> &trades, int frameSeconds, int lot,
                             Compare what = Compare::Everything)
{
    std::map<qint64, TimeFrame> bars;
    for (const Record &r : trades) {
        if (r.data(QStringLiteral("nosystem")).toInteger() != 0)
            continue;
        const datetime when = r.data(QStringLiteral("moment")).toDatetime();
        const datetime midnight(when.getDate());
        const qint64 step = qint64(frameSeconds) * 1000;
        const datetime start = midnight.addMSecs(midnight.msecsTo(when) / step * step);
        const decimal price = r.data(QStringLiteral("price")).toDecimal();
        auto [it, fresh] = bars.try_emplace(start.toMSecsSinceEpoch());
        TimeFrame &b = it->second;
        if (fresh) {
            b.open = b.high = b.low = b.close = price;
            b.firstTime = b.lastTime = when;
        }
        if (when < b.firstTime) {
            b.firstTime = when;
            b.open = price;
        }
        if (b.lastTime <= when) {
            b.lastTime = when;
            b.close = price;
        }
        b.low = std::min(b.low, price);
        b.high = std::max(b.high, price);
        b.volume += r.data(QStringLiteral("quantity")).toInteger64() * lot;
        b.value += r.data(QStringLiteral("value")).toXDecimal();
    }
    QStringList text;
    for (const auto &[start, bar] : bars)
        text.append(barText(datetime::fromMSecsSinceEpoch(start), bar, what));
    return text;
}

} // namespace DataTest
