#pragma once

#include "record.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QRandomGenerator>

class QThread;
class QTimer;
class Table;

// Invents trades for the reference instruments and appends them to "all_deals" from the
// host's table thread, as the exchange feed would: a random walk around each security's
// reference price, realistic sizes, now and then an off-book ("nosystem") trade, only during
// the trading hours of the security's market and never on holidays.
class MarketSimulator : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        bool alwaysOpen = false; // ignore trading hours (demos at night)
        bool backfill = true;    // invent today's earlier trades at start
        quint32 seed = 0;        // 0: a new seed every run
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
    };

    void loadInstruments();
    void tick();
    void backfill();
    qint64 nextPrice(Instrument &instrument);
    void appendTrade(QList<class Record> &records, Instrument &instrument, const QDateTime &when);
    // The last price, a bid and an ask one price step around it and a theoretical price
    // halfway to the reference, into "securities" for the instruments that traded.
    void publishQuotes();

    Options m_options;
    QThread *m_thread;
    QTimer *m_timer = nullptr;
    Table *m_deals = nullptr;
    Table *m_securities = nullptr;
    QList<Instrument> m_instruments;
    QRandomGenerator m_random;
    qint64 m_nextDealId = 0;
    QDateTime m_lastTick;
};
