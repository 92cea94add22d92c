#pragma once

#include "bartesthelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <atomic>
#include <thread>
#include <vector>

// Fillers fold deals from several threads while the GUI thread lays the model out again and
// again. Shared by the test suite (under AddressSanitizer) and a plain program run under
// ThreadSanitizer, where the test library's own threads would only add noise.
namespace BarModelStress {

// Counts the model's notifications on the GUI thread.
class Receiver : public QObject
{
    Q_OBJECT
public:
    std::atomic<int> changes{0};
public Q_SLOTS:
    void onChanged(const FrameIndex &, const FrameIndex &) { ++changes; }
};

// Runs the scenario; returns an empty text, or what went wrong.
inline QString run()
{
    using namespace BarTest;
    const QDate from(2026, 11, 30), to(2026, 12, 4);
    SeriesDataModel model(Shares);
    restore(model, TimeFrameValue(60), from, to);
    model.build();
    Receiver receiver;
    QObject::connect(&model, &SeriesDataModel::dataChanged, &receiver, &Receiver::onChanged,
                     Qt::QueuedConnection);

    std::atomic<bool> stop{false};
    std::atomic<int> accepted{0};
    // Standard threads: ThreadSanitizer sees their joins (Qt's own are invisible to it).
    std::vector<std::thread> fillers;
    for (int n = 0; n < 4; ++n) {
        fillers.emplace_back([&, n] {
            QRandomGenerator random(1000 + n);
            while (!stop.load()) {
                DealBatch batch(&model, 4, n % 2 == 0);
                for (int i = 0; i < 2500; ++i) {
                    const QDate day = from.addDays(random.bounded(5));
                    const datetime when = t(day, 10, 0).addMSecs(
                        qint64(random.bounded(525 * 60)) * 1000);
                    batch.append(deal(when, "100.5", 1 + random.bounded(5)));
                }
                batch.flush();
                if (batch.handedOver())
                    ++accepted;
            }
        });
    }

    // The GUI thread changes the layout under the fillers' feet and reads as it goes.
    QString failure;
    QElapsedTimer clock;
    clock.start();
    int relayouts = 0;
    const TimeFrameValue frames[] = {TimeFrameValue(60), TimeFrameValue(300),
                                     TimeFrameValue(15), TimeFrameValue(86400)};
    while (clock.elapsed() < 1500 && failure.isEmpty()) {
        model.setTimeFrame(frames[relayouts % 4]);
        model.build();
        for (int k = 0; k < model.validBarCount(); k += 37) {
            if (!model.bar(model.validBar(k)).valid)
                failure = QStringLiteral("a bar of the valid list is empty");
        }
        if (relayouts % 5 == 0)
            model.rebuild();
        if (relayouts % 7 == 0 && model.chunkCount() > 0)
            model.expand({model.chunkCount() - 1, model.chunkSize(model.chunkCount() - 1) + 3});
        QCoreApplication::processEvents();
        ++relayouts;
    }
    stop = true;
    for (std::thread &thread : fillers)
        thread.join();
    QCoreApplication::processEvents();
    if (!failure.isEmpty())
        return failure;
    if (relayouts <= 5 || accepted.load() == 0 || receiver.changes.load() == 0)
        return QStringLiteral("the scenario did not run: %1 layouts, %2 batches, %3 signals")
            .arg(relayouts)
            .arg(accepted.load())
            .arg(receiver.changes.load());

    // Whatever happened, the model still folds correctly afterwards.
    restore(model, TimeFrameValue(60), from, to);
    model.build();
    {
        DealBatch batch(&model, 4, false);
        batch.append(deal(t(from, 10, 0, 30), "1.5", 2));
        batch.append(deal(t(to, 18, 44, 59), "2.5", 3));
    }
    if (model.validBarCount() != 2 || model.bar(model.validBar(1)).volume != 3
        || model.lastIndex() != model.validBar(1))
        return QStringLiteral("the model folds wrongly after the stress");
    return {};
}

} // namespace BarModelStress
