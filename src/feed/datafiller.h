#pragma once

#include "datetime.h"
#include "runnable.h"

#include <QDate>
#include <QObject>

#include <memory>

class DealBatch;
class NetworkDataManager;
class SeriesDataModel;
struct SecurityEntry;

// A background task that fills one bar model of an instrument; run once by the data
// manager's pool and deleted afterwards. A and B are two moments whose meaning each filler
// gives.
class DataFiller : public QObject, public Runnable
{
    Q_OBJECT
public:
    DataFiller(SecurityEntry *entry, SeriesDataModel *model, const datetime &a,
               const datetime &b);

    void run() override;
    void stop() override;

    SeriesDataModel *model() const { return m_model; }
    // Which of the model's fill requests started the filler.
    void setGeneration(int generation) { m_generation = generation; }
    // A number for the log.
    int number() const { return m_number; }

Q_SIGNALS:
    void filled(SeriesDataModel *model);
    // Emitted by stop(): a download in progress ends at once.
    void stopThread();

protected:
    virtual void fill() = 0;
    // A history client for the model's instrument feeding the batch; stop() ends its download.
    std::unique_ptr<NetworkDataManager> makeClient(DealBatch *batch);
    // Loads from..to holding the instrument's history lock, so that one filler at a time
    // downloads it; false when stopped (also while waiting for the lock) or the load failed.
    bool download(NetworkDataManager *client, const QDate &from, const QDate &to);

    SecurityEntry *m_entry;
    SeriesDataModel *m_model;
    datetime m_a;
    datetime m_b;
    int m_generation = 0;

private:
    int m_number;
};
