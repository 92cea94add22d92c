// The terminal's simulated market: its trades into "all_deals", alike in every run of a day,
// and in the sessions of the reference schedules.

#include "decimal.h"
#include "marketsimulator.h"
#include "referencedata.h"
#include "indexsort.h"
#include "table.h"
#include "tableregistry.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The order-book and off-book trades of the table: instrument, moment, price, quantity.
QStringList tradesIn(Table *deals)
{
    QStringList list;
    TableLocker locker(deals);
    for (const Record &r : deals->masterIndex()->records()) {
        list.append(QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(r.data(QStringLiteral("sec_id")).toInteger64())
                        .arg(r.data(QStringLiteral("moment")).toDatetime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                             r.data(QStringLiteral("price")).toDecimal().toString())
                        .arg(r.data(QStringLiteral("quantity")).toInteger64())
                        .arg(r.data(QStringLiteral("nosystem")).toInteger()));
    }
    list.sort();
    return list;
}

// Starts a simulator with the options and stops it once it has appended trades; false when it
// appends none within 20 s.
bool tradesAppended(const MarketSimulator::Options &options)
{
    MarketSimulator simulator(options);
    QSignalSpy appended(&simulator, &MarketSimulator::tradesAppended);
    simulator.start();
    const bool appendedAny = appended.wait(20000);
    simulator.stop();
    return appendedAny;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void aDayTradesAlikeInEveryRun();
    void currenciesTradePastMidnight();

private:
    QTemporaryDir m_dir;
};

void TestSimulator::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "simulator.ini");
}

// The market's trades are a function of the day, the instrument and the seed: a restart on
// the same day invents the same morning, and the trades that follow a start are those a run
// that never stopped makes. Wednesday 25 November 2026.
void TestSimulator::aDayTradesAlikeInEveryRun()
{
    Table *deals = TableRegistry::instance()->table(QStringLiteral("all_deals"));
    QVERIFY(deals);
    const QDate wednesday(2026, 11, 25);
    // A run started at `start` and kept going until `end`: what "all_deals" then holds.
    const auto run = [&](const QTime &start, const QTime &end, quint32 seed) {
        // A start of the terminal: the reference prices as shipped, no trades yet.
        QString error;
        if (!ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error))
            return QStringList{error};
        deals->reset({});
        PinnedClock clock(datetime(QDateTime(wednesday, start)));
        MarketSimulator::Options options;
        options.seed = seed;
        options.tickMs = 10;
        MarketSimulator simulator(options);
        QSignalSpy appended(&simulator, &MarketSimulator::tradesAppended);
        simulator.start();
        bool ok = appended.wait(20000);
        if (end != start) {
            appended.clear();
            hostclock::freezeAt(datetime(QDateTime(wednesday, end)));
            ok = ok && appended.wait(20000);
        }
        simulator.stop();
        return ok ? tradesIn(deals) : QStringList();
    };
    const QStringList since = run(QTime(10, 20), QTime(10, 20), 1);
    QVERIFY(!since.isEmpty());
    // Currencies trade from 07:00, futures and shares from later: thousands of trades by 10:20.
    QVERIFY2(since.size() > 500, qPrintable(QString::number(since.size())));
    QCOMPARE(run(QTime(10, 20), QTime(10, 20), 1), since);
    const QStringList uninterrupted = run(QTime(10, 5), QTime(10, 20), 1);
    QCOMPARE(uninterrupted.size(), since.size());
    QCOMPARE(uninterrupted, since);
    QVERIFY(run(QTime(10, 20), QTime(10, 20), 2) != since);
}

// The currency boards trade 07:00-01:30: the session a weekday opens goes on after midnight,
// in the next day's first hour and a half. Thursday 26 November 2026 at 01:45: the night so
// far has currency trades, the 00:45 minute's among them, none from 01:30, and no other
// market's. Saturday 28 November trades so after Friday; Monday 30 November after Sunday and
// Thursday 5 November after a holiday do not.
void TestSimulator::currenciesTradePastMidnight()
{
    Table *deals = TableRegistry::instance()->table(QStringLiteral("all_deals"));
    QVERIFY(deals);
    QString error;
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
    // The night after a Friday, a Sunday and a holiday, on either currency board.
    for (const int board : {4, 6}) {
        QVERIFY(MarketSimulator::isTradingTime(3, board, QDateTime(QDate(2026, 11, 28), QTime(1, 29))));
        QVERIFY(!MarketSimulator::isTradingTime(3, board, QDateTime(QDate(2026, 11, 30), QTime(0, 45))));
        QVERIFY(!MarketSimulator::isTradingTime(3, board, QDateTime(QDate(2026, 11, 5), QTime(0, 45))));
    }
    deals->reset({});
    const QDate thursday(2026, 11, 26);
    {
        PinnedClock clock(datetime(QDateTime(thursday, QTime(1, 45))));
        MarketSimulator::Options options;
        options.tickMs = 10;
        QVERIFY(tradesAppended(options));
    }
    bool atQuarterToOne = false;
    TableLocker locker(deals);
    const QList<Record> records = deals->masterIndex()->records();
    QVERIFY(!records.isEmpty());
    for (const Record &r : records) {
        const QDateTime moment = r.data(QStringLiteral("moment")).toDatetime().getDateTime();
        QCOMPARE(moment.date(), thursday);
        QVERIFY(moment.time() < QTime(1, 30));
        QCOMPARE(r.data(QStringLiteral("stock_id")).toInteger(), 3);
        const QTime time = moment.time();
        atQuarterToOne = atQuarterToOne || (time.hour() == 0 && time.minute() == 45);
    }
    QVERIFY(atQuarterToOne);
}

TA_REGISTER_TEST(TestSimulator)

#include "tst_simulator.moc"
