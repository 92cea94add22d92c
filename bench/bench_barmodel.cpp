// Folding deals into a bar model and laying models out, next to plain baselines measured in
// the same run. Figures only: nothing here passes or fails.

#include "appsettings.h"
#include "benchhelpers.h"
#include "dealbatch.h"
#include "mapsettings.h"
#include "referencedata.h"
#include "schedulestore.h"
#include "seriesdatamodel.h"
#include "session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include <unistd.h>

namespace {

const SeriesKey Shares{2, 2, 2001};

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

struct PlainBar
{
    double open = 0, high = 0, low = 0, close = 0;
    qint64 openTime = 0, closeTime = 0;
    qint64 volume = 0;
    bool valid = false;
};

// The baseline: bars indexed by minute since the start of the year, prices as doubles.
double plainFold(const std::vector<Deal> &deals, qint64 yearStart, std::vector<PlainBar> &bars)
{
    QElapsedTimer clock;
    clock.start();
    for (const Deal &d : deals) {
        const qint64 ms = d.time.toMSecsSinceEpoch();
        PlainBar &b = bars[size_t((ms - yearStart) / 60000)];
        const double price = d.price.toDouble();
        if (!b.valid) {
            b = {price, price, price, price, ms, ms, d.quantity, true};
            continue;
        }
        if (ms < b.openTime) {
            b.openTime = ms;
            b.open = price;
        }
        if (ms >= b.closeTime) {
            b.closeTime = ms;
            b.close = price;
        }
        b.low = std::min(b.low, price);
        b.high = std::max(b.high, price);
        b.volume += d.quantity;
    }
    return clock.nsecsElapsed() / 1e9;
}

double modelFold(SeriesDataModel &model, const std::vector<Deal> &deals)
{
    QElapsedTimer clock;
    clock.start();
    {
        DealBatch batch(&model, 4, true);
        for (const Deal &d : deals)
            batch.append(d);
    }
    return clock.nsecsElapsed() / 1e9;
}

double layoutSeconds(const TimeFrameValue &tf, const QDate &from, const QDate &to, int *bars)
{
    SeriesDataModel model(Shares);
    QElapsedTimer clock;
    clock.start();
    Bench::restore(model, tf, from, to);
    const double seconds = clock.nsecsElapsed() / 1e9;
    *bars = model.totalBarCount();
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    AppSettings::setFileName(dir.filePath(QStringLiteral("bench.ini")));
    QString error;
    if (!ReferenceData::load(ReferenceData::defaultPath(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    // 10:00 to 18:45 on weekdays: a year of one-minute bars is about 130 000 slots.
    Bench::storeSchedule(Bench::weekdays({{10 * 60, 525}}));
    // Memory first, before other models leave freed pages behind: resident growth per slot.
    const long before = residentBytes();
    auto *big = new SeriesDataModel(Shares);
    Bench::restore(*big, TimeFrameValue(1), QDate(2025, 6, 2), QDate(2025, 6, 13)); // 10 days of seconds
    const long after = residentBytes();
    const int slotCount = big->totalBarCount();
    std::printf("memory: %d one-second slots, %.1f bytes per slot (sizeof(TimeFrame) = %zu)\n",
                slotCount, double(after - before) / slotCount, sizeof(TimeFrame));
    std::printf("\n");
    delete big;

    const QDate from(2025, 1, 1), to(2025, 12, 31);

    SeriesDataModel probe(Shares);
    Bench::restore(probe, TimeFrameValue(60), from, to);
    const QList<datetime> sessions = probe.sessionIntervals();
    const qint64 yearStart = datetime(from).toMSecsSinceEpoch();

    // Deals inside the sessions, 40 a minute on average, in time order.
    std::mt19937_64 random(20261206);
    std::vector<Deal> deals;
    for (qsizetype p = 0; p + 1 < sessions.size(); p += 2) {
        const qint64 start = sessions.at(p).toMSecsSinceEpoch();
        const qint64 end = sessions.at(p + 1).toMSecsSinceEpoch();
        for (qint64 ms = start; ms < end; ms += 1 + qint64(random() % 3000)) {
            Deal d;
            d.time = datetime::fromMSecsSinceEpoch(ms);
            d.price = decimal(18000 + qint64(random() % 200), 2);
            d.quantity = 1 + qint64(random() % 50);
            d.value = xdecimal(d.price).multiplied(d.quantity);
            deals.push_back(d);
        }
    }
    std::vector<Deal> reversed(deals.rbegin(), deals.rend());
    std::printf("%zu deals over %d one-minute bars\n\n", deals.size(), probe.totalBarCount());

    std::printf("%-34s %14s %14s %8s\n", "benchmark", "figure", "plain loop", "ratio");
    for (const auto &[name, input] :
         {std::pair<const char *, const std::vector<Deal> *>{"addDeals, time order", &deals},
          std::pair<const char *, const std::vector<Deal> *>{"addDeals, reverse time order",
                                                             &reversed}}) {
        double best = 1e9, bestPlain = 1e9;
        for (int run = 0; run < 3; ++run) {
            SeriesDataModel model(Shares);
            Bench::restore(model, TimeFrameValue(60), from, to);
            model.build();
            best = std::min(best, modelFold(model, *input));
            std::vector<PlainBar> bars(size_t(366) * 1440);
            bestPlain = std::min(bestPlain, plainFold(*input, yearStart, bars));
        }
        const double rate = double(input->size()) / best;
        const double plainRate = double(input->size()) / bestPlain;
        std::printf("%-34s %10.2f M/s %10.2f M/s %8.2f\n", name, rate / 1e6, plainRate / 1e6,
                    plainRate / rate);
    }

    std::printf("\n%-34s %14s %10s\n", "layout", "milliseconds", "bars");
    struct Case
    {
        const char *name;
        TimeFrameValue tf;
        QDate from;
        QDate to;
    };
    Bench::storeSchedule(Bench::weekdays({{10 * 60, 525}}));
    const Case cases[] = {
        {"5 days at 1 second", TimeFrameValue(1), QDate(2025, 6, 2), QDate(2025, 6, 6)},
        {"a year at 1 minute", TimeFrameValue(60), from, to},
        {"ten years at 1 day", TimeFrameValue(86400), QDate(2016, 1, 1), to},
    };
    for (const Case &c : cases) {
        double best = 1e9;
        int bars = 0;
        for (int run = 0; run < 3; ++run)
            best = std::min(best, layoutSeconds(c.tf, c.from, c.to, &bars));
        std::printf("%-34s %14.2f %10d\n", c.name, best * 1000, bars);
    }

    return 0;
}
