#include "hdxserver.h"

#include "datetime.h"
#include <QDir>

#include <cstdio>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <zlib.h>

namespace {

QByteArray gzip(const QByteArray &data)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&zs, uLong(data.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(int(zs.total_out));
    deflateEnd(&zs);
    return out;
}

QByteArray jsonString(const QString &text)
{
    QByteArray escaped = text.toUtf8();
    escaped.replace("\\", "\\\\").replace("\"", "\\\"");
    return '"' + escaped + '"';
}

QByteArray number(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

QByteArray stamp(const QDateTime &t)
{
    char text[24];
    const QDate d = t.date();
    const QTime tm = t.time();
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02d %02d:%02d:%02d\"", d.year(), d.month(),
                  d.day(), tm.hour(), tm.minute(), tm.second());
    return QByteArray(text);
}

} // namespace

HdxServer::HdxServer(SyntheticMarket *market, const Faults &faults, int pageSize,
                     const QString &replayDir, QObject *parent)
    : QObject(parent)
    , m_market(market)
    , m_faults(faults)
    , m_pageSize(qMax(1, pageSize))
    , m_replayDir(replayDir)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HdxServer::onConnection);
}

bool HdxServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void HdxServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HdxServer::onReadyRead(QTcpSocket *socket)
{
    // Requests may arrive in pieces and several on one connection.
    QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
    for (;;) {
        const qsizetype headerEnd = pending.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            break;
        const QByteArray header = pending.left(headerEnd);
        pending.remove(0, headerEnd + 4);
        const QList<QByteArray> lines = header.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        bool wantsGzip = false;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("accept-encoding:") && line.toLower().contains("gzip"))
                wantsGzip = true;
        }
        answer(socket, requestLine.value(1), wantsGzip);
    }
    socket->setProperty("pending", pending);
}

QByteArray HdxServer::block(const QString &name, const QList<QPair<QString, QString>> &columns,
                            const QList<QByteArrayList> &rows) const
{
    QByteArrayList metadata, names;
    QList<int> kept;
    for (int i = 0; i < columns.size(); ++i) {
        const QString &column = columns.at(i).first;
        if (column == m_faults.missingColumn)
            continue;
        const QString type = column == m_faults.wrongTypeColumn ? QStringLiteral("string")
                                                                 : columns.at(i).second;
        metadata.append(jsonString(column) + ": {\"type\": " + jsonString(type) + '}');
        names.append(jsonString(column));
        kept.append(i);
    }
    QByteArray data;
    data.reserve(rows.size() * 96);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QByteArrayList &row = rows.at(r);
        if (!data.isEmpty())
            data += ",\n";
        data += '[';
        bool first = true;
        const bool cut = m_faulty && m_faults.shortRow && name == QLatin1String("candles")
                         && r == rows.size() - 1;
        for (int i : std::as_const(kept)) {
            if (cut && i == kept.last())
                break;
            if (!first)
                data += ',';
            first = false;
            data += row.value(i);
        }
        data += ']';
    }
    return jsonString(name) + ": {\"metadata\": {" + metadata.join(", ") + "}, \"columns\": ["
           + names.join(", ") + "], \"data\": [" + data + "]}";
}

QByteArray HdxServer::body(const QString &path, const QUrlQuery &query, int *status)
{
    *status = 200;
    static const QRegularExpression names(
        QStringLiteral("^/hdx/engines/([^/]+)/markets/([^/]+)/securities\\.json$"));
    static const QRegularExpression borders(QStringLiteral(
        "^/hdx/engines/([^/]+)/markets/([^/]+)/boards/([^/]+)/securities/([^/]+)/"
        "candleborders\\.json$"));
    static const QRegularExpression candles(QStringLiteral(
        "^/hdx/engines/([^/]+)/markets/([^/]+)/boards/([^/]+)/securities/([^/]+)/"
        "candles\\.json$"));
    if (const auto m = names.match(path); m.hasMatch()) {
        QList<QByteArrayList> rows;
        for (const SyntheticMarket::Instrument &i : m_market->listed(m.captured(1), m.captured(2)))
            rows.append({jsonString(i.code), jsonString(i.boardCode), jsonString(i.name)});
        return '{' + block(QStringLiteral("securities"),
                           {{QStringLiteral("SECID"), QStringLiteral("string")},
                            {QStringLiteral("BOARDID"), QStringLiteral("string")},
                            {QStringLiteral("SHORTNAME"), QStringLiteral("string")}},
                           rows)
               + '}';
    }
    if (const auto m = borders.match(path); m.hasMatch()) {
        if (!m_market->find(m.captured(1), m.captured(2), m.captured(3), m.captured(4))) {
            *status = 404;
            return "{}";
        }
        QList<QByteArrayList> rows;
        const QDateTime begin(SyntheticMarket::historyStart(), QTime(0, 0));
        const QDateTime end(datetime::today(), QTime(23, 59, 59));
        for (int code : {1, 10, 60, 24, 7, 31, 4})
            rows.append({stamp(begin), stamp(end), QByteArray::number(code)});
        return '{' + block(QStringLiteral("borders"),
                           {{QStringLiteral("begin"), QStringLiteral("datetime")},
                            {QStringLiteral("end"), QStringLiteral("datetime")},
                            {QStringLiteral("interval"), QStringLiteral("int32")}},
                           rows)
               + '}';
    }
    if (const auto m = candles.match(path); m.hasMatch()) {
        const SyntheticMarket::Instrument *instrument
            = m_market->find(m.captured(1), m.captured(2), m.captured(3), m.captured(4));
        const QDate from = QDate::fromString(query.queryItemValue(QStringLiteral("from")),
                                             Qt::ISODate);
        const QDate till = QDate::fromString(query.queryItemValue(QStringLiteral("till")),
                                             Qt::ISODate);
        if (!instrument || !from.isValid() || !till.isValid()) {
            *status = instrument ? 400 : 404;
            return "{}";
        }
        const int interval = query.queryItemValue(QStringLiteral("interval")).toInt();
        const int start = m_faulty && m_faults.ignoreStart
                              ? 0
                              : qMax(0, query.queryItemValue(QStringLiteral("start")).toInt());
        const bool reverse = query.queryItemValue(QStringLiteral("hdx.reverse"))
                             == QLatin1String("true");
        // The rows of a download's candles are formatted once: its pages come one by one.
        const QString key = QStringLiteral("%1 %2 %3 %4 %5")
                                .arg(path, from.toString(Qt::ISODate), till.toString(Qt::ISODate))
                                .arg(interval)
                                .arg(reverse);
        if (key != m_rowsKey) {
            const QList<SyntheticMarket::Candle> all
                = m_market->candles(*instrument, interval, from, till);
            const int d = instrument->decimals;
            m_rows.clear();
            m_rows.reserve(all.size());
            for (qsizetype k = 0; k < all.size(); ++k) {
                const SyntheticMarket::Candle &c = all.at(reverse ? all.size() - 1 - k : k);
                m_rows.append({number(c.open, d), number(c.close, d), number(c.high, d),
                               number(c.low, d), number(c.value, 2),
                               QByteArray::number(c.volume), stamp(c.begin), stamp(c.end)});
            }
            m_rowsKey = key;
        }
        const QList<QByteArrayList> rows = m_rows.mid(start, m_pageSize);
        return '{' + block(QStringLiteral("candles"),
                           {{QStringLiteral("open"), QStringLiteral("double")},
                            {QStringLiteral("close"), QStringLiteral("double")},
                            {QStringLiteral("high"), QStringLiteral("double")},
                            {QStringLiteral("low"), QStringLiteral("double")},
                            {QStringLiteral("value"), QStringLiteral("double")},
                            {QStringLiteral("volume"), QStringLiteral("int64")},
                            {QStringLiteral("begin"), QStringLiteral("datetime")},
                            {QStringLiteral("end"), QStringLiteral("datetime")}},
                           rows)
               + '}';
    }
    *status = 404;
    return "{}";
}

void HdxServer::answer(QTcpSocket *socket, const QByteArray &target, bool wantsGzip)
{
    ++m_requests;
    const bool faulty = m_faults.count <= 0 || m_requests <= m_faults.count;
    m_faulty = faulty;
    const QUrl url(QString::fromUtf8(target));
    int status = 200;
    QByteArray content;
    if (!m_replayDir.isEmpty()) {
        // Recorded replies: the request path with its query, slashes as underscores.
        QString name = url.path() + (url.hasQuery() ? u'?' + url.query() : QString());
        name.replace(u'/', u'_');
        QFile file(QDir(m_replayDir).filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            file.setFileName(QDir(m_replayDir).filePath(url.path().replace(u'/', u'_')));
            file.open(QIODevice::ReadOnly);
        }
        status = file.isOpen() ? 200 : 404;
        content = file.isOpen() ? file.readAll() : QByteArray("{}");
    } else {
        content = body(url.path(), QUrlQuery(url), &status);
    }
    if (faulty && m_faults.malformedJson)
        content = content.left(content.size() / 2);
    if (faulty && m_faults.status > 0)
        status = m_faults.status;
    QByteArray headers = "HTTP/1.1 " + QByteArray::number(status)
                         + (status == 200 ? " OK" : " Error") + "\r\n"
                         + "Content-Type: application/json; charset=utf-8\r\n";
    if (wantsGzip) {
        content = gzip(content);
        headers += "Content-Encoding: gzip\r\n";
    }
    headers += "Content-Length: " + QByteArray::number(content.size()) + "\r\n\r\n";
    if (faulty && m_faults.truncateGzip && wantsGzip) {
        content = content.left(content.size() / 2);
        QByteArray response = headers + content;
        QTimer::singleShot(m_faults.delayMs, socket, [socket, response] {
            socket->write(response);
            socket->flush();
            socket->disconnectFromHost();
        });
        return;
    }
    const QByteArray response = headers + content;
    if (faulty && m_faults.drop) {
        socket->abort();
        return;
    }
    QTimer::singleShot(faulty ? m_faults.delayMs : 0, socket,
                       [this, socket, response, faulty] { send(socket, response, faulty); });
}

void HdxServer::send(QTcpSocket *socket, const QByteArray &response, bool faulty)
{
    if (faulty && m_faults.stallAfter >= 0) {
        socket->write(response.left(m_faults.stallAfter));
        return; // and nothing more: the client's timeout has to end it
    }
    if (faulty && m_faults.chunkDelayMs > 0) {
        // Piece by piece with pauses: slow in total, steady per piece.
        auto *offset = new qint64(0);
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, response, offset, timer, this] {
            socket->write(response.mid(*offset, m_faults.chunkSize));
            *offset += m_faults.chunkSize;
            if (*offset >= response.size()) {
                timer->stop();
                timer->deleteLater();
                delete offset;
            }
        });
        timer->start(m_faults.chunkDelayMs);
        return;
    }
    socket->write(response);
}
