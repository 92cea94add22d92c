#pragma once

#include "networkdatasaverforhistoricaldata.h"
#include "serieskey.h"
#include "timeframevalue.h"

#include <QDate>
#include <QEventLoop>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class DealBatch;
class QNetworkAccessManager;
class QNetworkReply;
class SeriesDataModel;
class VisualEvent;

// Downloads candles of one instrument from the history service, turns every candle into four
// deals for a bar model and writes it to the cache. It works synchronously in its filler's
// thread: each request is sent and a local event loop runs until the reply is handled.
class NetworkDataManager : public QObject
{
    Q_OBJECT
public:
    enum State { Idle = 0, Stopped = 1, Names = 2, Borders = 3, Candles = 4 };

    NetworkDataManager(const SeriesKey &key, SeriesDataModel *model, DealBatch *batch,
                       QObject *parent = nullptr);
    ~NetworkDataManager() override;

    // Loads from..till (inclusive); false when nothing could be loaded or the load was stopped.
    bool load(const QDate &from, const QDate &till);

    int state() const { return m_state; }
    int candleCount() const { return m_candleCount; }
    QString errorText() const { return m_errorText; }
    QString hdxBoard() const { return m_hdxBoard; }
    QString hdxSecurity() const { return m_hdxSecurity; }
    // The request URL of the current state (empty when the instrument cannot be asked for).
    QString requestUrl() const;

public Q_SLOTS:
    void stopImmediately();
    void timeout();
    void requestFinished();
    void repeatLastRequest();

private:
    void sendQuery();
    bool runLoop();
    void endWait(bool success);
    void finish();
    // What a handled reply leads to: the next page of the same step, the end of the step, the
    // same request again a second later (a bad or empty reply), or the end of the load.
    enum class Outcome { NextPage, StepDone, Retry, Fail };
    // The reply's document, or false when it is no readable document (logged).
    bool readReply(QNetworkReply *reply, QJsonObject *root);
    Outcome parse(const QJsonObject &reply);
    Outcome parseInstrumentNames(const QJsonObject &reply);
    Outcome parseInstrumentCandleBorders(const QJsonObject &reply);
    Outcome parseInstrumentCandles(const QJsonObject &reply);
    // The most candles the current interval can hold: more pages than that never end.
    int maxCandlesOfInterval() const;
    // A service whose pages do not advance: the download fails at once, and the user is told.
    Outcome pagingFailed(const QString &why);
    void openSavers();
    void closeSavers();

    int m_state = Idle;
    QString m_name;
    QString m_code;
    SeriesKey m_key;
    TimeFrameValue m_timeFrame;
    SeriesDataModel *m_model;
    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timeoutTimer;
    bool m_gzip = false;
    QString m_baseUrl;
    const int m_retryLimit = 2;
    int m_attempt = 0;
    QString m_errorText;
    QList<QDate> m_intervals; // pairs [first, end)
    int m_intervalNumber = 0;
    int m_candleCount = 0;
    int m_pageStart = 0; // candles of the current interval so far: the next page's start
    datetime m_previousPageBegin; // of the first candle of the interval's previous page
    QEventLoop m_loop;
    bool m_success = false;
    VisualEvent *m_visualEvent;
    QString m_hdxBoard;
    QString m_hdxSecurity;
    std::unique_ptr<NetworkDataSaverForHistoricalData> m_saver;
    QString m_directory;
    DealBatch *m_batch;
};
