#pragma once

#include "datamanagerhelpers.h"

#include <QRandomGenerator>

#include <atomic>
#include <thread>

// Trades pour into "all_deals" on a table thread while the fillers replay today's bars, the
// GUI thread re-lays models out, cancels their fillers and turns the day over. In the end
// every model must hold exactly the trades: none lost, none counted twice. Shared by the test
// suite (under AddressSanitizer) and a plain program run under ThreadSanitizer.
namespace DataManagerStress {

// Runs the scenario with the schedules, reference data and settings already in place;
// returns an empty text, or what went wrong.
inline QString run(int tradeCount = 20000)
{
    using namespace DataTest;
    const QDate today = datetime::today();
    SeriesDataManager *manager = SeriesDataManager::instance();
    struct Chart
    {
        SeriesKey key;
        int frame;
        int lot;
        std::unique_ptr<SeriesDataModel> model;
    };
    std::vector<Chart> charts;
    for (const auto &[key, frame, lot] : std::vector<std::tuple<SeriesKey, int, int>>{
             {Dollar, 1, 1000}, {Dollar, 5, 1000}, {Dollar, 60, 1000}, {Dollar, 300, 1000},
             {Futures, 60, 1}, {Futures, 15, 1}}) {
        Chart chart{key, frame, lot, std::make_unique<SeriesDataModel>(key)};
        BarTest::restore(*chart.model, TimeFrameValue(frame), today, today);
        manager->registerModel(chart.model.get());
        chart.model->build();
        charts.push_back(std::move(chart));
    }

    // The trades, made up front: the table thread only appends them.
    QList<Record> dollar, futures;
    QList<QList<Record>> appends;
    QRandomGenerator random(42);
    int made = 0;
    while (made < tradeCount) {
        QList<Record> group;
        const int size = 1 + int(random.bounded(40));
        for (int i = 0; i < size && made < tradeCount; ++i, ++made) {
            const bool isDollar = random.bounded(3) != 0;
            const datetime when = BarTest::t(today, 10, 0).addMSecs(
                qint64(made) * (8 * 3600000LL / tradeCount) + random.bounded(1000));
            const QByteArray price = QByteArray::number(90.0 + random.bounded(400) / 100.0, 'f', 2);
            const Record r = trade(isDollar ? Dollar : Futures, when, price.constData(),
                                   1 + random.bounded(9), random.bounded(50) == 0 ? 1 : 0);
            group.append(r);
            (isDollar ? dollar : futures).append(r);
        }
        appends.append(group);
    }

    std::atomic<bool> fed{false};
    // A standard thread: ThreadSanitizer sees its join (Qt's own threads are invisible to it).
    std::thread feeder([&] {
        for (const QList<Record> &group : std::as_const(appends)) {
            deals()->append(group);
            // Paced, so that the GUI thread's actions fall among the appends.
            std::this_thread::sleep_for(std::chrono::microseconds(2500));
        }
        fed.store(true);
    });

    QRandomGenerator actions(7);
    int dayTurns = 0;
    int relayouts = 0;
    while (!fed.load()) {
        ++relayouts;
        Chart &chart = charts[size_t(actions.bounded(int(charts.size())))];
        switch (actions.bounded(6)) {
        case 0:
            chart.model->rebuild();
            break;
        case 1: {
            // Another frame and back: two layouts while trades arrive.
            chart.model->setTimeFrame(TimeFrameValue(chart.frame == 60 ? 120 : 60));
            chart.model->rebuild();
            chart.model->setTimeFrame(TimeFrameValue(chart.frame));
            chart.model->rebuild();
            break;
        }
        case 2:
            manager->cancelFillers(chart.model.get());
            chart.model->rebuild();
            break;
        case 3:
            if (dayTurns < 3) {
                // The same day again: stores, resets and rebuilds everything.
                manager->turnDay(today);
                ++dayTurns;
            }
            break;
        default:
            break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(actions.bounded(15)));
    }
    feeder.join();
    for (Chart &chart : charts) {
        if (!waitFilled(*chart.model, 60000))
            return QStringLiteral("a filler did not finish");
    }
    QCoreApplication::processEvents();

    for (Chart &chart : charts) {
        const QList<Record> &trades = chart.key == Dollar ? dollar : futures;
        // A second's trades may arrive partly replayed, partly live, and a replay knows
        // only the second: open and close may then differ, sums and extremes never.
        const QStringList shown = barsOf(*chart.model, Compare::SumsAndExtremes);
        const QStringList expected = plainFold(trades, chart.frame, chart.lot,
                                               Compare::SumsAndExtremes);
        if (shown != expected) {
            qsizetype k = 0;
            while (k < shown.size() && k < expected.size() && shown.at(k) == expected.at(k))
                ++k;
            return QStringLiteral("%1 s chart of %2: %3 bars instead of %4; bar %5 is %6, "
                                  "expected %7")
                .arg(chart.frame)
                .arg(chart.key.toString())
                .arg(shown.size())
                .arg(expected.size())
                .arg(k)
                .arg(shown.value(k), expected.value(k));
        }
    }
    for (Chart &chart : charts)
        manager->unregisterModel(chart.model.get());
    if (relayouts < 20 || dayTurns == 0)
        return QStringLiteral("too few actions: %1, %2 day changes").arg(relayouts).arg(dayTurns);
    return {};
}

} // namespace DataManagerStress
