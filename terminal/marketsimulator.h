#pragma once

#include "datetime.h"
#include "record.h"

#include <QDateTime>
#include <QList>
#include <QObject>

#include <vector>

class QThread;
class QTimer;
class Table;

// Invents trades for the reference instruments and appends them to "all_deals" from the
// host's table thread, as the exchange feed would: a random walk around each security's
// reference price, realistic sizes, now and then an off-book ("nosystem") trade, only during
// the trading hours of the security's market and never on holidays.
//
// The trades are a function of the day, the instrument and the seed: every second of a day
// draws from numbers of its own, and each day's walk starts at the reference price. A start
// late in the day invents the morning exactly as a run since midnight did, and goes on with
// the trades that run would have made; trades come once their second is over.
class MarketSimulator : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        bool alwaysOpen = false; // ignore trading hours (demos at night)
        bool backfill = true;    // invent today's earlier trades at start
        quint32 seed = 1;        // the same seed trades the same on the same day
        int tickMs = 250;
    };

    explicit MarketSimulator(const Options &options, QObject *parent = nullptr);
    ~MarketSimulator() override;

    void start();
    void stop();
    // The thread the trades are appended on.
    QThread *thread() const { return m_thread; }

    // Whether the board trades at that local time by the reference schedules (the board's,
    // else its stock's), the calendar's holidays and working weekend days included.
    static bool isTradingTime(int stockId, int boardId, const QDateTime &time);
    // The clock minutes of the day (0 to 1439) in which the board trades, a session begun the
    // day before included.
    static std::vector<bool> tradingClockMinutes(int stockId, int boardId, const QDate &day);

Q_SIGNALS:
    void tradesAppended(int count);

private:
    struct Instrument
    {
        int stock;
        int board;
        qint64 sec;
        int decimals;
        int lot;
        qint64 mantissa; // price * 10^decimals
        qint64 reference;
        double activity; // expected trades per second
        Record security; // the instrument's row of "securities"
        bool traded = false; // since the quotes were last published
        QDate day;           // the day being invented
        qint64 nextSecond = 0; // of that day, from its midnight
        std::vector<bool> tradingMinutes; // of that day, from its midnight
    };

    struct Trade
    {
        const Instrument *instrument;
        qint64 msecs;
        qint64 mantissa;
        qint64 quantity;
        int openInterest;
        bool nosystem;
        bool buy;
    };
    // Columns of "all_deals".
    struct Columns
    {
        int deal, stock, board, sec, session, moment, price, quantity, value, openInterest,
            nosystem, buysell;
    };

    void loadInstruments();
    // Invents the trades of every whole second up to now and appends them in time order.
    void tick();
    void beginDay(Instrument &instrument, const QDate &day);
    void inventUntil(std::vector<Trade> &trades, Instrument &instrument, const datetime &until);
    void inventSecond(std::vector<Trade> &trades, Instrument &instrument, const datetime &second);
    // The last price, a bid and an ask one price step around it and a theoretical price
    // halfway to the reference, into "securities" for the instruments that traded.
    void publishQuotes();

    Options m_options;
    QThread *m_thread;
    QTimer *m_timer = nullptr;
    Table *m_deals = nullptr;
    Table *m_securities = nullptr;
    QList<Instrument> m_instruments;
    qint64 m_nextDealId = 0;
    Columns m_columns{};
    QDate m_clockMinutesDay;
    std::vector<int> m_clockMinutes; // of that day, from its midnight
};
