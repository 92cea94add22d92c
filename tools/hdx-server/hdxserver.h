#pragma once

#include "syntheticmarket.h"

#include <QObject>
#include <QTcpServer>

class QTcpSocket;
class QUrlQuery;

// Answers the history service's three requests over HTTP on loopback, optionally with faults
// injected for tests.
class HdxServer : public QObject
{
    Q_OBJECT
public:
    struct Faults
    {
        int delayMs = 0;           // wait before answering
        qint64 stallAfter = -1;    // send so many bytes of the response, then nothing
        bool drop = false;         // close the connection without an answer
        int status = 0;            // answer with this HTTP error status
        bool truncateGzip = false; // send half of a gzip body
        bool malformedJson = false;
        QString missingColumn;
        QString wrongTypeColumn;
        int chunkDelayMs = 0; // send the body in pieces with pauses in between
        int chunkSize = 1024;
        int count = 0; // only the first so many requests get the faults (0: all)
        bool shortRow = false;    // the last row of a candle page one field short
        bool ignoreStart = false; // every candle page is the first one
    };

    HdxServer(SyntheticMarket *market, const Faults &faults, int pageSize,
              const QString &replayDir, QObject *parent = nullptr);

    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    int requestCount() const { return m_requests; }

private:
    void onConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &target, bool gzip);
    QByteArray body(const QString &path, const QUrlQuery &query, int *status);
    QByteArray block(const QString &name, const QList<QPair<QString, QString>> &columns,
                     const QList<QByteArrayList> &rows) const;
    void send(QTcpSocket *socket, const QByteArray &response, bool faulty);

    SyntheticMarket *m_market;
    Faults m_faults;
    int m_pageSize;
    QString m_replayDir;
    QTcpServer m_server;
    int m_requests = 0;
    // The candle rows of the last download asked for, formatted, and what it asked.
    QString m_rowsKey;
    QList<QByteArrayList> m_rows;
    bool m_faulty = false; // whether the request being answered gets the faults
};
