// The terminal's simulated market: trades into "all_deals" and, with them, the quotes of the
// instruments that traded in "securities" (last price, bid, ask, theoretical price).

#include "marketsimulator.h"
#include "securitydirectory.h"
#include "indexsort.h"
#include "table.h"
#include "tableregistry.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void tradesMoveTheQuotes();

private:
    QTemporaryDir m_dir;
};

void TestSimulator::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "simulator.ini");
}

void TestSimulator::tradesMoveTheQuotes()
{
    Table *securities = TableRegistry::instance()->table(QStringLiteral("securities"));
    QVERIFY(securities);
    // ARKT on the main board: its quotes as the reference data gives them.
    const auto quote = [&](const char *column) {
        TableLocker locker(securities);
        for (const Record &r : securities->masterIndex()->records()) {
            if (r.data(QStringLiteral("sec_id")).toInteger64() == 2001
                && r.data(QStringLiteral("board_id")).toInteger() == 2)
                return r.data(QLatin1String(column)).toDecimal();
        }
        return decimal();
    };
    const decimal referencePrice = quote("price");
    QVERIFY(!referencePrice.isZero());

    // The run's Wednesday afternoon: the morning's trades are invented at the start.
    MarketSimulator::Options options;
    options.seed = 7;
    MarketSimulator simulator(options);
    QSignalSpy appended(&simulator, &MarketSimulator::tradesAppended);
    simulator.start();
    QVERIFY(appended.wait(20000));
    simulator.stop();

    const decimal price = quote("price");
    const decimal bid = quote("bid");
    const decimal ask = quote("ask");
    const decimal theor = quote("theor_price");
    // The morning's walk moved the last price away from the reference.
    QVERIFY2(price.toDouble() != referencePrice.toDouble(), qPrintable(price.toString()));
    const double step = 0.01; // two decimals
    QVERIFY2(std::abs(bid.toDouble() - (price.toDouble() - step)) < 1e-9, qPrintable(bid.toString()));
    QVERIFY2(std::abs(ask.toDouble() - (price.toDouble() + step)) < 1e-9, qPrintable(ask.toString()));
    // Halfway between the last price and the reference price.
    const double low = std::min(price.toDouble(), referencePrice.toDouble()) - step;
    const double high = std::max(price.toDouble(), referencePrice.toDouble()) + step;
    QVERIFY2(theor.toDouble() >= low && theor.toDouble() <= high, qPrintable(theor.toString()));
    QCOMPARE(SecurityDirectory::i()->getTheorPriceBySecId(2001, Enums::ExchangeTheoreticalPrice).toDouble() > 0, true);
}

TA_REGISTER_TEST(TestSimulator)

#include "tst_simulator.moc"
