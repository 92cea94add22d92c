#pragma once

#include "deal.h"
#include "historicaldatamanager.h"
#include "record.h"
#include "serieskey.h"

#include <QList>

#include <map>
#include <shared_mutex>
#include <vector>

class RunnableManager;
class SeriesDataModel;

// What the data manager keeps for one instrument with at least one registered model: today's
// trades as one-second bars, the models, and the fillers working on each model.
struct SecurityEntry
{
    // The fillers of one model.
    struct Runner
    {
        RunnableManager *manager = nullptr;
        // Counts the cancellations: a filler started before the last one is stale.
        int generation = 0;
        // Live trades go to the model only once its today filler has read the second bars: a
        // trade folded into them before is replayed by the filler and must not come twice.
        bool live = false;
        // The last cancellation stopped fillers that had not finished: the model is partial.
        bool cutShort = false;
    };

    SeriesKey key;
    QList<SeriesDataModel *> models;
    // Bar s covers [today start + s s, + 1 s); the list grows up to the last second that
    // traded, never beyond the day's length (86,400 seconds, one hour more or less on a day
    // of a daylight-saving change).
    SecondBars seconds;
    int dayLength = 86400;
    // The ids live trades are matched by: the key's own, or the real board's for a security
    // of a proxy board.
    Record keyRecord;
    SeriesKey matched;
    int lotSize = 1;
    // Volumes of the share and currency markets count pieces: quantity times lot size.
    bool volumeInPieces = false;
    bool indexBoard = false;
    // Held for writing around each download, so one filler at a time loads the instrument.
    std::shared_timed_mutex historyLock;
    std::map<SeriesDataModel *, Runner> runners;
    // Guards seconds, runners and live flags.
    mutable std::shared_mutex dataLock;

    // Trades of the current table notification waiting to be folded (table thread only).
    std::vector<Deal> pending;

    // Forgets the runners' live hand-over (the fillers' snapshots no longer count); the caller
    // holds the data lock for writing.
    void dropLive()
    {
        for (auto &[model, runner] : runners) {
            ++runner.generation;
            runner.live = false;
        }
    }

    // Folds one trade into the second bars; false when it lies outside today. The caller
    // holds the data lock for writing.
    bool foldSecond(const datetime &todayStart, Deal &deal)
    {
        const qint64 ms = todayStart.msecsTo(deal.time);
        if (ms < 0 || ms >= qint64(dayLength) * 1000)
            return false;
        const int s = int(ms / 1000);
        if (s >= int(seconds.bars.size()))
            seconds.bars.resize(size_t(s) + 1);
        if (s > seconds.lastSecond)
            seconds.lastSecond = s;
        foldDeal(seconds.bars[size_t(s)], deal);
        return true;
    }
};
