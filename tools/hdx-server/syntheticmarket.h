#pragma once

#include "referencedata.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// Candles for the reference instruments, made up but the same on every run for the same
// security and day: a random walk that ends today at the reference price (where the terminal's
// market simulator starts), only during the instrument's sessions and trading days.
class SyntheticMarket
{
public:
    struct Instrument
    {
        int stock = 0;
        int board = 0;
        qint64 sec = 0;
        QString code;
        QString name;
        QString boardCode;
        QString hdxMarket;
        int decimals = 2;
        int lot = 1;
        double referencePrice = 0;
        bool index = false;
        QList<ReferenceSchedule::Session> sessions;
    };

    struct Candle
    {
        QDateTime begin;
        QDateTime end;
        double open = 0, high = 0, low = 0, close = 0;
        qint64 volume = 0;
        double value = 0;
    };

    SyntheticMarket();

    QList<Instrument> instruments() const { return m_instruments; }
    // The instruments a names request of that engine and market lists.
    QList<Instrument> listed(const QString &engine, const QString &market) const;
    // The instrument a candles request addresses, or null.
    const Instrument *find(const QString &engine, const QString &market, const QString &board,
                           const QString &security) const;

    // Candles of an HDX interval code whose begin date lies in [from, till], oldest first.
    QList<Candle> candles(const Instrument &instrument, int intervalCode, const QDate &from,
                          const QDate &till);
    // The first day with history.
    static QDate historyStart() { return QDate(2024, 1, 1); }

private:
    QList<Candle> build(const Instrument &instrument, int intervalCode, const QDate &from,
                        const QDate &till);
    QList<Candle> minuteCandles(const Instrument &instrument, const QDate &sessionDay);
    double anchor(const Instrument &instrument, const QDate &day);
    bool tradingDay(const QDate &day) const;

    QList<Instrument> m_instruments;
    QDate m_today;
    // The last answer: the pages of one download ask for the same range again and again.
    QString m_lastKey;
    QList<Candle> m_lastCandles;
    QHash<QString, double> m_anchors;
};
