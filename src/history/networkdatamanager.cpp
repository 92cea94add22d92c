#include "networkdatamanager.h"

#include "talogging.h"
#include "appsettings.h"
#include "boarddirectory.h"
#include "dealbatch.h"
#include "hdxinterval.h"
#include "historicaldatamanager.h"
#include "responseparser.h"
#include "securitydirectory.h"
#include "seriesdatamodel.h"
#include "table.h"
#include "visualevent.h"
#include "zlibstream.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <limits>

namespace {

const QString ParametersGroup = QStringLiteral("Transports/hdxplugin/Parameters");

QString segment(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

NetworkDataManager::NetworkDataManager(const SeriesKey &key, SeriesDataModel *model,
                                       DealBatch *batch, QObject *parent)
    : QObject(parent)
    , m_key(key)
    , m_timeFrame(model->timeFrame())
    , m_model(model)
    , m_network(new QNetworkAccessManager(this))
    , m_visualEvent(new VisualEvent(this))
    , m_batch(batch)
{
    {
        Table *securities = SecurityDirectory::i()->table();
        TableLocker locker(securities);
        const Record real = SecurityDirectory::i()->realRecordById(key.stock_id, key.board_id,
                                                                   key.sec_id);
        m_name = real.isNull() ? SecurityDirectory::i()->nameById(key.stock_id, key.board_id,
                                                                   key.sec_id)
                               : real.data(QStringLiteral("sec_name")).toString();
        m_code = SecurityDirectory::i()->codeById(key.stock_id, key.board_id, key.sec_id);
    }
    AppSettings settings(ParametersGroup);
    m_gzip = settings.value(QStringLiteral("requestGzip"), false).toBool();
    m_baseUrl = settings.value(QStringLiteral("url")).toString();
    while (m_baseUrl.endsWith(u'/'))
        m_baseUrl.chop(1);
    m_timeoutTimer.setSingleShot(true);
    m_timeoutTimer.setInterval(settings.value(QStringLiteral("requestTimeout"), 5000).toInt());
    connect(&m_timeoutTimer, &QTimer::timeout, this, &NetworkDataManager::timeout);
    m_visualEvent->setEventType(5);
    m_directory = HistoricalDataManager::instrumentDirectory(key);
}

NetworkDataManager::~NetworkDataManager()
{
    finish();
}

QString NetworkDataManager::requestUrl() const
{
    QString engine, market, board, security;
    if (m_key.board_id == 16) {
        engine = QStringLiteral("stock");
        market = QStringLiteral("index");
        board = m_hdxBoard;
        security = m_hdxSecurity;
    } else if (m_key.stock_id == 1) {
        const Record real = SecurityDirectory::i()->realRecordById(m_key.stock_id, m_key.board_id,
                                                                   m_key.sec_id);
        const int realBoard = real.isNull() ? m_key.board_id
                                            : real.data(QStringLiteral("board_id")).toInteger();
        engine = QStringLiteral("futures");
        if (m_key.board_id == 14) {
            market = QStringLiteral("options");
            board = QStringLiteral("QOBD");
        } else if (realBoard == 1) {
            market = QStringLiteral("fomar");
            board = QStringLiteral("QFBD");
        }
        security = m_name.trimmed();
    } else if (m_key.stock_id == 2 || m_key.stock_id == 3) {
        engine = m_key.stock_id == 2 ? QStringLiteral("stock") : QStringLiteral("currency");
        market = BoardDirectory::i()->codeHdxById(m_key.stock_id, m_key.board_id);
        board = BoardDirectory::i()->codeById(m_key.stock_id, m_key.board_id);
        security = m_code;
    }
    if (engine.isEmpty() || market.isEmpty() || m_name.isEmpty() || m_baseUrl.isEmpty())
        return {};
    const QString markets = QStringLiteral("%1/hdx/engines/%2/markets/%3")
                                .arg(m_baseUrl, segment(engine), segment(market));
    switch (m_state) {
    case Names:
        return markets
               + QStringLiteral("/securities.json?hdx.only=securities&securities.columns="
                                "SECID,BOARDID,SHORTNAME");
    case Borders:
    case Candles: {
        if (board.isEmpty() || security.isEmpty())
            return {};
        const QString candles = QStringLiteral("%1/boards/%2/securities/%3")
                                    .arg(markets, segment(board), segment(security));
        if (m_state == Borders)
            return candles + QStringLiteral("/candleborders.json");
        const int i = 2 * m_intervalNumber;
        return candles
               + QStringLiteral("/candles.json?from=%1&till=%2&interval=%3&hdx.reverse=true"
                                "&start=%4")
                     .arg(m_intervals.value(i).toString(Qt::ISODate),
                          m_intervals.value(i + 1).addDays(-1).toString(Qt::ISODate))
                     .arg(HdxInterval::forTimeFrame(m_timeFrame).code)
                     .arg(m_pageStart);
    }
    default: return {};
    }
}

bool NetworkDataManager::load(const QDate &from, const QDate &till)
{
    if (m_name.isEmpty() || (m_timeFrame.kind == Interval && m_timeFrame.value < 60)
        || SecurityDirectory::i()
               ->recordById(m_key.stock_id, m_key.board_id, m_key.sec_id)
               .isNull())
        return false;
    m_errorText.clear();
    m_candleCount = 0;
    m_intervals = {from, till.addDays(1)};
    bool result = false;
    if (m_key.board_id == 16) {
        m_state = Names;
        m_attempt = 0;
        if (!runLoop() || m_state == Stopped) {
            finish();
            return false;
        }
    }
    m_state = Borders;
    m_attempt = 0;
    if (!runLoop() || m_state == Stopped) {
        finish();
        return false;
    }
    result = true;
    for (m_intervalNumber = 0; 2 * m_intervalNumber + 1 < m_intervals.size() && result
                               && m_state != Stopped;
         ++m_intervalNumber) {
        const QDate first = m_intervals.at(2 * m_intervalNumber);
        const QDate end = m_intervals.at(2 * m_intervalNumber + 1);
        qCInfo(lcHistory).noquote() << "Loading data from HDX for interval #" << m_intervalNumber << " ["
                          << first.toString(Qt::ISODate) << "," << end.toString(Qt::ISODate)
                          << ") " << m_timeFrame.value;
        openSavers();
        m_state = Candles;
        m_attempt = 0;
        // Every interval pages from its own first candle.
        m_pageStart = 0;
        m_previousPageBegin = {};
        result = runLoop();
        closeSavers();
    }
    result = result && m_state != Stopped;
    finish();
    return result;
}

bool NetworkDataManager::runLoop()
{
    m_success = false;
    m_loop.setProperty("ended", false);
    sendQuery();
    if (!m_loop.property("ended").toBool())
        m_loop.exec();
    return m_success;
}

void NetworkDataManager::endWait(bool success)
{
    m_timeoutTimer.stop();
    m_success = success;
    m_loop.setProperty("ended", true);
    m_loop.exit();
}

void NetworkDataManager::sendQuery()
{
    const QString url = requestUrl();
    if (url.isEmpty()) {
        m_state = Stopped;
        endWait(false);
        return;
    }
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Kestova Terminal/7.21.2082"));
    if (m_gzip)
        request.setRawHeader("Accept-Encoding", "gzip");
    if (m_reply) {
        QNetworkReply *old = m_reply;
        m_reply = nullptr;
        old->abort();
        old->deleteLater();
    }
    qCInfo(lcHistory).noquote() << "Sending query in state" << m_state << "to HDX:" << url;
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &NetworkDataManager::requestFinished);
    // Every arriving piece restarts the timeout: a slow but steady reply is not cut off.
    connect(m_reply, &QNetworkReply::readyRead, &m_timeoutTimer, qOverload<>(&QTimer::start));
    m_timeoutTimer.start();
}

void NetworkDataManager::requestFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != m_reply)
        return; // an aborted earlier request
    m_timeoutTimer.stop();
    m_reply = nullptr;
    reply->deleteLater();
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcHistory).noquote() << QStringLiteral("NetworkDataManager::requestFinished : Network "
                                               "error: %1, desc: %2, URL: %3")
                                    .arg(int(reply->error()))
                                    .arg(reply->errorString(), reply->url().toString());
        m_errorText = reply->errorString();
        QTimer::singleShot(1000, this, &NetworkDataManager::repeatLastRequest);
        return;
    }
    Outcome outcome = Outcome::Fail;
    try {
        QJsonObject root;
        outcome = readReply(reply, &root) ? parse(root) : Outcome::Retry;
    } catch (const QString &message) {
        // An empty text is a reply that could not be read: asked again. A text is final.
        if (message.isEmpty()) {
            outcome = Outcome::Retry;
        } else {
            qCWarning(lcHistory).noquote() << message;
            m_errorText = message;
        }
    } catch (...) {
        qCWarning(lcHistory) << "NetworkDataManager::requestFinished: Unknown exception handled!";
    }
    switch (outcome) {
    case Outcome::NextPage: sendQuery(); break;
    case Outcome::StepDone: endWait(true); break;
    case Outcome::Retry:
        m_errorText.clear();
        QTimer::singleShot(1000, this, &NetworkDataManager::repeatLastRequest);
        break;
    case Outcome::Fail: endWait(false); break;
    }
}

bool NetworkDataManager::readReply(QNetworkReply *reply, QJsonObject *root)
{
    const QString url = reply->url().toString();
    QByteArray body;
    bool good = true;
    if (m_gzip && reply->rawHeader("Content-Encoding").toLower().contains("gzip"))
        good = ZlibStream::readAllGzip(reply, &body);
    else
        body = reply->readAll();
    if (!good) {
        qCWarning(lcHistory).noquote() << "NetworkDataManager::parseNetworkReply" << ": "
                             << QStringLiteral("Некорректный ответ от сервера: %1").arg(url);
        return false;
    }
    if (body.isEmpty()) {
        qCWarning(lcHistory).noquote() << "NetworkDataManager::parseNetworkReply" << ": "
                             << QStringLiteral("Пустой ответ от сервера: %1").arg(url);
        return false;
    }
    QString error;
    if (!ResponseParser::parseDocument(body, root, &error)) {
        qCWarning(lcHistory).noquote() << "NetworkDataManager::parseNetworkReply" << ": "
                             << QStringLiteral("Некорректный ответ от сервера: %1").arg(url)
                             << error;
        return false;
    }
    return true;
}

NetworkDataManager::Outcome NetworkDataManager::parse(const QJsonObject &reply)
{
    switch (m_state) {
    case Names: return parseInstrumentNames(reply);
    case Borders: return parseInstrumentCandleBorders(reply);
    case Candles: return parseInstrumentCandles(reply);
    default:
        m_errorText = QStringLiteral("NetworkDataManager::parse: State is UNKNOWN!");
        qCWarning(lcHistory).noquote() << m_errorText;
        return Outcome::Fail;
    }
}

NetworkDataManager::Outcome NetworkDataManager::parseInstrumentNames(const QJsonObject &reply)
{
    ResponseParser parser(reply, QStringLiteral("securities"), ResponseParser::namesColumns());
    if (!parser.init()) {
        qCWarning(lcHistory).noquote() << "NetworkDataManager::parseInstrumentNames: HDX does not contain "
                                "data for specified security:"
                             << m_name;
        return Outcome::Retry;
    }
    const QString name = m_name.trimmed();
    const QString code = m_code.trimmed();
    do {
        const QString secId = parser.toString(QStringLiteral("SECID")).trimmed();
        const QString shortName = parser.toString(QStringLiteral("SHORTNAME")).trimmed();
        auto matches = [&](const QString &value) {
            return !value.isEmpty()
                   && (value.compare(name, Qt::CaseInsensitive) == 0
                       || value.compare(code, Qt::CaseInsensitive) == 0);
        };
        if (matches(secId) || matches(shortName)) {
            m_hdxSecurity = parser.toString(QStringLiteral("SECID"));
            m_hdxBoard = parser.toString(QStringLiteral("BOARDID")).trimmed();
            break;
        }
    } while (parser.nextRow());
    return Outcome::StepDone;
}

NetworkDataManager::Outcome NetworkDataManager::parseInstrumentCandleBorders(const QJsonObject &reply)
{
    ResponseParser parser(reply, QStringLiteral("borders"), ResponseParser::bordersColumns());
    const int code = HdxInterval::forTimeFrame(m_timeFrame).code;
    if (parser.init()) {
        do {
            if (parser.toInt(QStringLiteral("interval")) != code)
                continue;
            const QDate begin = parser.toDatetime(QStringLiteral("begin")).getDate();
            const QDate end = parser.toDatetime(QStringLiteral("end")).getDate().addDays(1);
            QList<QDate> clipped;
            for (qsizetype i = 0; i + 1 < m_intervals.size(); i += 2) {
                const QDate first = std::max(m_intervals.at(i), begin);
                const QDate last = std::min(m_intervals.at(i + 1), end);
                if (first < last)
                    clipped << first << last;
            }
            m_intervals = clipped;
            return Outcome::StepDone;
        } while (parser.nextRow());
    }
    qCWarning(lcHistory).noquote() << "NetworkDataManager::parseInstrumentCandleBorders: HDX does not "
                            "provide candles for specified security:"
                         << m_name;
    return Outcome::Retry;
}

NetworkDataManager::Outcome NetworkDataManager::parseInstrumentCandles(const QJsonObject &reply)
{
    ResponseParser parser(reply, QStringLiteral("candles"), ResponseParser::candleColumns());
    if (ResponseParser::hasBlock(reply, QStringLiteral("candles.cursor")))
        qCInfo(lcHistory) << "NetworkDataManager::parseInstrumentCandles: loading the data should be "
                   "continued, porocessed via cursors!";
    if (!parser.init())
        return Outcome::StepDone;
    // The whole page is read before any of it counts: a page that fails half-way (a short
    // row) is asked again without its first half in the bars twice.
    std::vector<Candle> page;
    page.reserve(size_t(parser.rowCount()));
    const int openAt = parser.position(QStringLiteral("open"));
    const int closeAt = parser.position(QStringLiteral("close"));
    const int highAt = parser.position(QStringLiteral("high"));
    const int lowAt = parser.position(QStringLiteral("low"));
    const int valueAt = parser.position(QStringLiteral("value"));
    const int volumeAt = parser.position(QStringLiteral("volume"));
    const int beginAt = parser.position(QStringLiteral("begin"));
    const int endAt = parser.position(QStringLiteral("end"));
    int rows = 0;
    do {
        // Every row counts for paging, whether or not it becomes bars.
        ++rows;
        bool ok[8];
        Candle c;
        c.open = parser.decimalAt(openAt, &ok[0]);
        c.close = parser.decimalAt(closeAt, &ok[1]);
        c.high = parser.decimalAt(highAt, &ok[2]);
        c.low = parser.decimalAt(lowAt, &ok[3]);
        c.value = parser.xdecimalAt(valueAt, &ok[4]);
        const double volume = parser.doubleAt(volumeAt, &ok[5]);
        c.begin = parser.datetimeAt(beginAt, &ok[6]);
        c.end = parser.datetimeAt(endAt, &ok[7]);
        if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; })
            || !(volume >= 0)) {
            qCWarning(lcHistory) << "NetworkDataManager::parseInstrumentCandles: a candle with an empty or "
                          "invalid field is skipped, row"
                       << parser.row();
            continue;
        }
        // A volume no 64-bit count holds is not a volume.
        if (!(volume < 9.2e18)) {
            qCWarning(lcHistory) << "NetworkDataManager::parseInstrumentCandles: a candle with the volume"
                                 << volume << "is skipped, row" << parser.row();
            continue;
        }
        c.volume = qint64(volume);
        c.valid = true;
        page.push_back(c);
    } while (parser.nextRow());

    // A service that ignores "start" sends the same page again and again: the download stops.
    const datetime firstBegin = page.empty() ? datetime() : page.front().begin;
    if (m_pageStart > 0 && !firstBegin.isNull() && firstBegin == m_previousPageBegin)
        return pagingFailed(QStringLiteral("the service sent the same page twice"));
    m_previousPageBegin = firstBegin;
    m_candleCount += rows;
    m_pageStart += rows;
    if (m_pageStart > maxCandlesOfInterval())
        return pagingFailed(QStringLiteral("more candles than the interval holds"));

    const QList<datetime> sessions = m_model->sessionIntervals();
    for (Candle &c : page) {
        // Fit the candle into the session that holds its begin, or the next one.
        const auto it = std::upper_bound(sessions.cbegin(), sessions.cend(), c.begin);
        qsizetype pair = (it - sessions.cbegin());
        pair = pair % 2 == 1 ? pair - 1 : pair; // inside a pair, or the next pair's start
        if (pair + 1 >= sessions.size() || !(sessions.at(pair) < c.end)) {
            // After the last session, or wholly between sessions: nothing to fold.
            continue;
        }
        if (c.begin < sessions.at(pair))
            c.begin = sessions.at(pair);
        // A candle running past the session's end closes in the session's last bar: the end
        // itself belongs to no bar of the session.
        if (!(c.end < sessions.at(pair + 1)))
            c.end = sessions.at(pair + 1).addMSecs(-1);
        const datetime half = c.begin.addSecs(30);
        const datetime middle = c.end < half ? c.end : half;
        if (m_saver)
            m_saver->write(c);
        Deal open, low, high, close;
        open.time = c.begin;
        open.price = c.open;
        low.time = middle.addMSecs(-1);
        low.price = c.low;
        high.time = middle.addMSecs(1);
        high.price = c.high;
        close.time = c.end;
        close.price = c.close;
        close.quantity = c.volume;
        close.value = c.value;
        m_batch->append(open);
        m_batch->append(low);
        m_batch->append(high);
        m_batch->append(close);
    }
    return Outcome::NextPage;
}

int NetworkDataManager::maxCandlesOfInterval() const
{
    const int i = 2 * m_intervalNumber;
    const qint64 days = m_intervals.value(i).daysTo(m_intervals.value(i + 1));
    const qint64 seconds = HdxInterval::forTimeFrame(m_timeFrame).seconds;
    // A candle may straddle each end; a day of a clock change has 25 hours.
    return int(qMin<qint64>(std::numeric_limits<int>::max(),
                            days * 90000 / qMax<qint64>(1, seconds) + 2));
}

NetworkDataManager::Outcome NetworkDataManager::pagingFailed(const QString &why)
{
    qCWarning(lcHistory).noquote() << "NetworkDataManager::parseInstrumentCandles: the download stops:"
                                   << why << "(start=" << m_pageStart << ")";
    m_visualEvent->showEvent(
        QStringLiteral("Тех. анализ: не удалось получить данные из HDX по %1. ").arg(m_name)
        + QStringLiteral("Сервер отвечает одними и теми же данными."));
    return Outcome::Fail;
}

void NetworkDataManager::openSavers()
{
    closeSavers();
    if (m_directory.isEmpty())
        return;
    const QDate first = m_intervals.at(2 * m_intervalNumber);
    const QDate end = m_intervals.at(2 * m_intervalNumber + 1);
    m_saver = std::make_unique<NetworkDataSaverForHistoricalData>(
        HistoricalDataManager::intervalFilePath(m_directory, first, end,
                                                HistoricalDataManager::intervalResolution(
                                                    m_timeFrame)),
        m_directory, m_timeFrame);
}

void NetworkDataManager::closeSavers()
{
    if (!m_saver)
        return;
    const QString path = m_saver->intervalPath();
    m_saver.reset();
    HistoricalDataManager::finishFile(path, QStringLiteral(".1dx.pre"), QStringLiteral(".1dx"));
}

void NetworkDataManager::finish()
{
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->abort();
        reply->deleteLater();
    }
    closeSavers();
    if (m_state != Stopped)
        m_state = Idle;
}

void NetworkDataManager::stopImmediately()
{
    m_state = Stopped;
    m_batch->discard();
    endWait(false);
}

void NetworkDataManager::timeout()
{
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->abort();
        reply->deleteLater();
    }
    m_errorText = QStringLiteral("Время на соединение истекло");
    qCWarning(lcHistory) << "NetworkDataManager::timeout: Request timeout";
    repeatLastRequest();
}

void NetworkDataManager::repeatLastRequest()
{
    if (m_state == Stopped)
        return;
    qCInfo(lcHistory).noquote() << "repeatLastRequest #" << m_attempt;
    if (m_attempt < m_retryLimit) {
        ++m_attempt;
        sendQuery();
        return;
    }
    if (!m_errorText.isEmpty())
        m_visualEvent->showEvent(
            QStringLiteral("Тех. анализ: не удалось получить данные из HDX по %1. ").arg(m_name)
            + m_errorText);
    endWait(false);
}
