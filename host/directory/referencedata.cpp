#include "referencedata.h"

#include "../data/settings.h"

#include "../data/applicationpaths.h"
#include "../data/datetime.h"
#include "../data/decimal.h"
#include "../data/indexsort.h"
#include "../data/table.h"
#include "../data/tableregistry.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSet>
#include <QTime>

#include <cmath>
#include <memory>

namespace {

using Columns = QList<Table::Column>;

// Thrown inside the loader with the place and the problem.
struct LoadError
{
    QString text;
};

[[noreturn]] void fail(const QString &where, const QString &problem)
{
    throw LoadError{where + QStringLiteral(": ") + problem};
}

QString at(const char *array, qsizetype i, const char *member = nullptr)
{
    QString s = QStringLiteral("%1[%2]").arg(QLatin1String(array)).arg(i);
    if (member)
        s += u'.' + QLatin1String(member);
    return s;
}

qint64 integer(const QJsonObject &o, const char *member, const QString &where, qint64 min,
               qint64 max, bool required = true, qint64 fallback = 0)
{
    const QJsonValue v = o.value(QLatin1String(member));
    if (v.isUndefined()) {
        if (required)
            fail(where, QStringLiteral("missing"));
        return fallback;
    }
    const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
    // Range first: converting a double beyond 64 bits to an integer is undefined.
    if (!v.isDouble() || !std::isfinite(d) || d < -9.2e18 || d > 9.2e18)
        fail(where, QStringLiteral("expected an integer from %1 to %2").arg(min).arg(max));
    if (d != std::floor(d))
        fail(where, QStringLiteral("expected an integer"));
    const qint64 i = static_cast<qint64>(d);
    if (i < min || i > max)
        fail(where, QStringLiteral("expected an integer from %1 to %2").arg(min).arg(max));
    return i;
}

QString text(const QJsonObject &o, const char *member, const QString &where, bool required = true)
{
    const QJsonValue v = o.value(QLatin1String(member));
    if (v.isUndefined()) {
        if (required)
            fail(where, QStringLiteral("missing"));
        return {};
    }
    if (!v.isString())
        fail(where, QStringLiteral("expected a string"));
    const QString s = v.toString().trimmed();
    if (required && s.isEmpty())
        fail(where, QStringLiteral("must not be empty"));
    return s;
}

bool flag(const QJsonObject &o, const char *member, const QString &where, bool fallback)
{
    const QJsonValue v = o.value(QLatin1String(member));
    if (v.isUndefined())
        return fallback;
    if (!v.isBool())
        fail(where, QStringLiteral("expected true or false"));
    return v.toBool();
}

// Prices are strings holding exact decimals; JSON numbers are refused because they are not
// exact.
QVariant price(const QJsonObject &o, const char *member, const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(member));
    if (v.isUndefined() || v.isNull())
        return {};
    if (!v.isString())
        fail(where, QStringLiteral("expected a decimal number in a string"));
    bool ok = false;
    QString why;
    const decimal d = decimal::fromString(v.toString(), &ok, &why);
    if (!ok)
        fail(where, QStringLiteral("\"%1\" is not a decimal number (%2)").arg(v.toString(), why));
    return QVariant::fromValue(d);
}

QJsonArray array(const QJsonObject &root, const char *member)
{
    const QJsonValue v = root.value(QLatin1String(member));
    if (!v.isArray())
        fail(QLatin1String(member), QStringLiteral("expected an array"));
    return v.toArray();
}

QJsonObject object(const QJsonValue &v, const QString &where)
{
    if (!v.isObject())
        fail(where, QStringLiteral("expected an object"));
    return v.toObject();
}

void set(Record &r, const char *column, const QVariant &value)
{
    if (!r.data(QLatin1String(column)).setValue(value))
        qFatal("ReferenceData: column %s refused a checked value", column);
}

const char *const PriceColumns[] = {"ask", "bid", "max_price", "min_price", "price", "avg_price",
                                    "market_price", "settlement_price_open", "open_price",
                                    "close_price", "settlement_price"};
const char *const PriceMembers[] = {"ask", "bid", "maxPrice", "minPrice", "price", "avgPrice",
                                    "marketPrice", "settlementPriceOpen", "openPrice",
                                    "closePrice", "settlementPrice"};

struct Tables
{
    std::unique_ptr<Table> stocks;
    std::unique_ptr<Table> boards;
    std::unique_ptr<Table> securities;
    std::unique_ptr<Table> calendar;
    QList<ReferenceSchedule> schedules;
};

QMutex schedulesMutex;
QList<ReferenceSchedule> loadedSchedules;

constexpr int MinutesPerDay = 1440;
constexpr int MinutesPerWeek = 10080;

// "hh:mm" as minutes of the day; -1 when malformed.
int minuteOfDay(const QString &text)
{
    const QTime t = QTime::fromString(text, QStringLiteral("H:mm"));
    return t.isValid() ? t.hour() * 60 + t.minute() : -1;
}

QList<ReferenceSchedule> readSchedules(const QJsonObject &root,
                                       const QHash<QString, QSet<QString>> &boardCodes)
{
    QList<ReferenceSchedule> result;
    const QJsonValue value = root.value(QLatin1String("schedules"));
    if (value.isUndefined())
        return result;
    if (!value.isArray())
        fail(QStringLiteral("schedules"), QStringLiteral("expected an array"));
    const QJsonArray schedules = value.toArray();
    QSet<QString> seen;
    for (qsizetype i = 0; i < schedules.size(); ++i) {
        const QJsonObject o = object(schedules.at(i), at("schedules", i));
        ReferenceSchedule schedule;
        schedule.stockCode = text(o, "stock", at("schedules", i, "stock"));
        schedule.boardCode = text(o, "board", at("schedules", i, "board"), false);
        if (!boardCodes.contains(schedule.stockCode))
            fail(at("schedules", i, "stock"),
                 QStringLiteral("unknown stock code %1").arg(schedule.stockCode));
        if (!schedule.boardCode.isEmpty()
            && !boardCodes.value(schedule.stockCode).contains(schedule.boardCode))
            fail(at("schedules", i, "board"), QStringLiteral("unknown board code %1 of stock %2")
                                                  .arg(schedule.boardCode, schedule.stockCode));
        const QString id = schedule.stockCode + u'_' + schedule.boardCode;
        if (seen.contains(id))
            fail(at("schedules", i), QStringLiteral("a second schedule for %1").arg(id));
        seen.insert(id);
        const QJsonValue sessionsValue = o.value(QLatin1String("sessions"));
        if (!sessionsValue.isArray() || sessionsValue.toArray().isEmpty())
            fail(at("schedules", i, "sessions"), QStringLiteral("expected a non-empty array"));
        const QJsonArray sessions = sessionsValue.toArray();
        for (qsizetype k = 0; k < sessions.size(); ++k) {
            const QString where = at("schedules", i, "sessions") + QStringLiteral("[%1]").arg(k);
            const QJsonObject so = object(sessions.at(k), where);
            const int day = int(integer(so, "day", where + QStringLiteral(".day"), 1, 7));
            const int from = minuteOfDay(text(so, "from", where + QStringLiteral(".from")));
            const int to = minuteOfDay(text(so, "to", where + QStringLiteral(".to")));
            if (from < 0)
                fail(where + QStringLiteral(".from"), QStringLiteral("expected a time hh:mm"));
            if (to < 0)
                fail(where + QStringLiteral(".to"), QStringLiteral("expected a time hh:mm"));
            // A session that closes at or before its opening time closes the next day.
            const int length = to > from ? to - from : MinutesPerDay - from + to;
            schedule.sessions.append({(day - 1) * MinutesPerDay + from, length});
        }
        for (qsizetype k = 0; k + 1 < schedule.sessions.size(); ++k) {
            const auto &s = schedule.sessions.at(k);
            if (s.open + s.length > schedule.sessions.at(k + 1).open)
                fail(at("schedules", i, "sessions") + QStringLiteral("[%1]").arg(k + 1),
                     QStringLiteral("sessions must be in order and must not overlap"));
        }
        const auto &first = schedule.sessions.constFirst();
        const auto &last = schedule.sessions.constLast();
        if (last.open + last.length >= MinutesPerWeek
            && (last.open + last.length) % MinutesPerWeek > first.open)
            fail(at("schedules", i, "sessions"),
                 QStringLiteral("the last session runs into the first one"));
        result.append(schedule);
    }
    return result;
}

Tables build(const QJsonObject &root)
{
    Tables t;
    t.stocks = std::make_unique<Table>(
        QStringLiteral("stocks"),
        Columns{{QStringLiteral("stock_id"), FieldType::Integer},
                {QStringLiteral("stock_code"), FieldType::String},
                {QStringLiteral("stock_name"), FieldType::String}},
        QStringList{QStringLiteral("stock_id")});
    t.boards = std::make_unique<Table>(
        QStringLiteral("boards"),
        Columns{{QStringLiteral("stock_id"), FieldType::Integer},
                {QStringLiteral("board_id"), FieldType::Integer},
                {QStringLiteral("board_code"), FieldType::String},
                {QStringLiteral("board_code_hdx"), FieldType::String},
                {QStringLiteral("board_name"), FieldType::String},
                {QStringLiteral("is_chart"), FieldType::Bool},
                {QStringLiteral("is_index"), FieldType::Bool},
                {QStringLiteral("is_proxy"), FieldType::Bool}},
        QStringList{QStringLiteral("stock_id"), QStringLiteral("board_id")});
    Columns securityColumns{{QStringLiteral("stock_id"), FieldType::Integer},
                            {QStringLiteral("board_id"), FieldType::Integer},
                            {QStringLiteral("sec_id"), FieldType::Integer64},
                            {QStringLiteral("sec_code"), FieldType::String},
                            {QStringLiteral("sec_name"), FieldType::String},
                            {QStringLiteral("text_id"), FieldType::String},
                            {QStringLiteral("decimals"), FieldType::Integer},
                            {QStringLiteral("lotsize"), FieldType::Integer},
                            {QStringLiteral("real_stock_id"), FieldType::Integer},
                            {QStringLiteral("real_board_id"), FieldType::Integer},
                            {QStringLiteral("real_sec_id"), FieldType::Integer64},
                            {QStringLiteral("price_lmt_high"), FieldType::Decimal},
                            {QStringLiteral("price_lmt_low"), FieldType::Decimal},
                            {QStringLiteral("theor_price"), FieldType::Decimal}};
    for (const char *column : PriceColumns)
        securityColumns.append({QLatin1String(column), FieldType::Decimal});
    t.securities = std::make_unique<Table>(
        QStringLiteral("securities"), securityColumns,
        QStringList{QStringLiteral("stock_id"), QStringLiteral("board_id"),
                    QStringLiteral("sec_id")});
    t.calendar = std::make_unique<Table>(
        QStringLiteral("calendar"),
        Columns{{QStringLiteral("date"), FieldType::Datetime},
                {QStringLiteral("is_trading"), FieldType::Bool},
                {QStringLiteral("note"), FieldType::String}},
        QStringList{QStringLiteral("date")});

    // Stocks.
    QSet<int> stockIds;
    QSet<QString> stockCodesSeen;
    QList<Record> records;
    const QJsonArray stocks = array(root, "stocks");
    if (stocks.isEmpty())
        fail(QStringLiteral("stocks"), QStringLiteral("no stock is defined"));
    for (qsizetype i = 0; i < stocks.size(); ++i) {
        const QJsonObject o = object(stocks.at(i), at("stocks", i));
        const int id = int(integer(o, "id", at("stocks", i, "id"), 1, 1000000));
        if (stockIds.contains(id))
            fail(at("stocks", i, "id"), QStringLiteral("stock %1 is defined twice").arg(id));
        stockIds.insert(id);
        const QString code = text(o, "code", at("stocks", i, "code"));
        // Codes name the settings groups of schedules and the cache folders: keep them unique.
        if (stockCodesSeen.contains(code))
            fail(at("stocks", i, "code"), QStringLiteral("stock code %1 is used twice").arg(code));
        stockCodesSeen.insert(code);
        Record r(t.stocks.get());
        set(r, "stock_id", id);
        set(r, "stock_code", code);
        set(r, "stock_name", text(o, "name", at("stocks", i, "name")));
        records.append(r);
    }
    t.stocks->append(records);

    // Boards.
    QSet<QPair<int, int>> boardIds;
    QSet<QPair<int, int>> proxyBoards;
    QHash<int, QString> stockCodes;
    for (const Record &r : records)
        stockCodes.insert(r.data(QStringLiteral("stock_id")).toInteger(),
                          r.data(QStringLiteral("stock_code")).toString());
    QHash<QString, QSet<QString>> boardCodes;
    for (const QString &code : std::as_const(stockCodes))
        boardCodes.insert(code, {});
    records.clear();
    const QJsonArray boards = array(root, "boards");
    for (qsizetype i = 0; i < boards.size(); ++i) {
        const QJsonObject o = object(boards.at(i), at("boards", i));
        const int stock = int(integer(o, "stock", at("boards", i, "stock"), 1, 1000000));
        if (!stockIds.contains(stock))
            fail(at("boards", i, "stock"), QStringLiteral("unknown stock %1").arg(stock));
        const int id = int(integer(o, "id", at("boards", i, "id"), 1, 1000000));
        if (boardIds.contains({stock, id}))
            fail(at("boards", i, "id"),
                 QStringLiteral("board %1 of stock %2 is defined twice").arg(id).arg(stock));
        boardIds.insert({stock, id});
        Record r(t.boards.get());
        set(r, "stock_id", stock);
        set(r, "board_id", id);
        const QString boardCode = text(o, "code", at("boards", i, "code"));
        set(r, "board_code", boardCode);
        QSet<QString> &codesOfStock = boardCodes[stockCodes.value(stock)];
        if (codesOfStock.contains(boardCode))
            fail(at("boards", i, "code"), QStringLiteral("board code %1 of stock %2 is used twice")
                                              .arg(boardCode)
                                              .arg(stock));
        codesOfStock.insert(boardCode);
        set(r, "board_code_hdx", text(o, "hdxCode", at("boards", i, "hdxCode"), false));
        set(r, "board_name", text(o, "name", at("boards", i, "name")));
        set(r, "is_chart", flag(o, "chart", at("boards", i, "chart"), true));
        set(r, "is_index", flag(o, "index", at("boards", i, "index"), false));
        const bool proxy = flag(o, "proxy", at("boards", i, "proxy"), false);
        set(r, "is_proxy", proxy);
        if (proxy)
            proxyBoards.insert({stock, id});
        records.append(r);
    }
    t.boards->append(records);

    // Securities; real records are checked once all securities are known.
    struct RealRef
    {
        qsizetype item;
        int stock;
        int board;
        qint64 sec;
    };
    QList<RealRef> realRefs;
    QSet<QString> securityIds;
    auto securityKey = [](int stock, int board, qint64 sec) {
        return QStringLiteral("%1,%2,%3").arg(stock).arg(board).arg(sec);
    };
    records.clear();
    const QJsonArray securities = array(root, "securities");
    for (qsizetype i = 0; i < securities.size(); ++i) {
        const QJsonObject o = object(securities.at(i), at("securities", i));
        const int stock = int(integer(o, "stock", at("securities", i, "stock"), 1, 1000000));
        const int board = int(integer(o, "board", at("securities", i, "board"), 1, 1000000));
        if (!boardIds.contains({stock, board}))
            fail(at("securities", i, "board"),
                 QStringLiteral("unknown board %1 of stock %2").arg(board).arg(stock));
        const qint64 id = integer(o, "id", at("securities", i, "id"), 1,
                                  std::numeric_limits<qint32>::max() * qint64(1000));
        if (securityIds.contains(securityKey(stock, board, id)))
            fail(at("securities", i, "id"), QStringLiteral("security %1,%2,%3 is defined twice")
                                                 .arg(stock)
                                                 .arg(board)
                                                 .arg(id));
        securityIds.insert(securityKey(stock, board, id));
        Record r(t.securities.get());
        set(r, "stock_id", stock);
        set(r, "board_id", board);
        set(r, "sec_id", id);
        set(r, "sec_code", text(o, "code", at("securities", i, "code")));
        set(r, "sec_name", text(o, "name", at("securities", i, "name")));
        set(r, "text_id", QStringLiteral("%1,%2,%3").arg(stock).arg(board).arg(id));
        set(r, "decimals", integer(o, "decimals", at("securities", i, "decimals"), 0, 8));
        set(r, "lotsize", integer(o, "lotSize", at("securities", i, "lotSize"), 1, 1000000000,
                                  false, 1));
        set(r, "price_lmt_high", price(o, "priceLimitHigh", at("securities", i, "priceLimitHigh")));
        set(r, "price_lmt_low", price(o, "priceLimitLow", at("securities", i, "priceLimitLow")));
        set(r, "theor_price", price(o, "theorPrice", at("securities", i, "theorPrice")));
        for (size_t p = 0; p < std::size(PriceColumns); ++p) {
            set(r, PriceColumns[p],
                price(o, PriceMembers[p], at("securities", i, PriceMembers[p])));
        }
        const QJsonValue real = o.value(QLatin1String("real"));
        if (!real.isUndefined()) {
            const QJsonObject ro = object(real, at("securities", i, "real"));
            const QString where = at("securities", i, "real");
            RealRef ref{i, int(integer(ro, "stock", where + QStringLiteral(".stock"), 1, 1000000)),
                        int(integer(ro, "board", where + QStringLiteral(".board"), 1, 1000000)),
                        integer(ro, "id", where + QStringLiteral(".id"), 1,
                                std::numeric_limits<qint32>::max() * qint64(1000))};
            set(r, "real_stock_id", ref.stock);
            set(r, "real_board_id", ref.board);
            set(r, "real_sec_id", ref.sec);
            realRefs.append(ref);
        } else if (proxyBoards.contains({stock, board})) {
            fail(at("securities", i, "real"),
                 QStringLiteral("a security on a proxy board needs its real record"));
        }
        records.append(r);
    }
    for (const RealRef &ref : std::as_const(realRefs)) {
        const QString where = at("securities", ref.item, "real");
        if (!securityIds.contains(securityKey(ref.stock, ref.board, ref.sec)))
            fail(where, QStringLiteral("unknown security %1,%2,%3")
                            .arg(ref.stock)
                            .arg(ref.board)
                            .arg(ref.sec));
        if (proxyBoards.contains({ref.stock, ref.board}))
            fail(where, QStringLiteral("a real record must not be on a proxy board"));
    }
    t.securities->append(records);

    // Calendar.
    QSet<QDate> days;
    records.clear();
    const QJsonArray calendar = array(root, "calendar");
    for (qsizetype i = 0; i < calendar.size(); ++i) {
        const QJsonObject o = object(calendar.at(i), at("calendar", i));
        const QString dateText = text(o, "date", at("calendar", i, "date"));
        const QDate date = QDate::fromString(dateText, Qt::ISODate);
        if (!date.isValid())
            fail(at("calendar", i, "date"),
                 QStringLiteral("\"%1\" is not a date (yyyy-MM-dd)").arg(dateText));
        if (days.contains(date))
            fail(at("calendar", i, "date"), QStringLiteral("%1 is listed twice").arg(dateText));
        days.insert(date);
        const QJsonValue trading = o.value(QLatin1String("trading"));
        if (!trading.isBool())
            fail(at("calendar", i, "trading"), QStringLiteral("expected true or false"));
        Record r(t.calendar.get());
        set(r, "date", QVariant::fromValue(datetime(date)));
        set(r, "is_trading", trading.toBool());
        set(r, "note", text(o, "note", at("calendar", i, "note"), false));
        records.append(r);
    }
    t.calendar->append(records);

    t.schedules = readSchedules(root, boardCodes);
    return t;
}

} // namespace

QString ReferenceData::defaultPath()
{
    const QString fromEnvironment = qEnvironmentVariable("TA_REFERENCE_DATA");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return ApplicationPaths::dataDirectory() + QStringLiteral("/reference.json");
}

bool ReferenceData::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: cannot open the reference data: %2")
                         .arg(path, file.errorString());
        return false;
    }
    return loadFromData(file.readAll(), path, error);
}

bool ReferenceData::loadFromData(const QByteArray &json, const QString &path, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("%1: not valid JSON at offset %2: %3")
                         .arg(path)
                         .arg(parseError.offset)
                         .arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("%1: the top level must be a JSON object").arg(path);
        return false;
    }
    Tables tables;
    try {
        tables = build(document.object());
    } catch (const LoadError &e) {
        if (error)
            *error = path + QStringLiteral(": ") + e.text;
        return false;
    }
    TableRegistry *registry = TableRegistry::instance();
    registry->addTable(tables.stocks.release());
    registry->addTable(tables.boards.release());
    registry->addTable(tables.securities.release());
    registry->addTable(tables.calendar.release());
    {
        QMutexLocker locker(&schedulesMutex);
        loadedSchedules = tables.schedules;
    }
    if (!registry->table(QStringLiteral("all_deals")))
        registry->addTable(createDealsTable());
    return true;
}

QList<ReferenceSchedule> ReferenceData::schedules()
{
    QMutexLocker locker(&schedulesMutex);
    return loadedSchedules;
}

void ReferenceData::writeScheduleSettings(Settings &settings)
{
    for (const ReferenceSchedule &schedule : schedules()) {
        QString group = QStringLiteral("Schedule_") + schedule.stockCode;
        if (!schedule.boardCode.isEmpty())
            group += u'_' + schedule.boardCode;
        SettingsGroup scope(settings, group);
        settings.setValue(QStringLiteral("sessionsCount"), int(schedule.sessions.size()));
        for (qsizetype i = 0; i < schedule.sessions.size(); ++i) {
            const ReferenceSchedule::Session &s = schedule.sessions.at(i);
            const int ofDay = s.open % 1440;
            settings.setValue(QStringLiteral("open_%1").arg(i + 1),
                              QStringLiteral("%1:%2:%3")
                                  .arg(s.open / 1440 + 1)
                                  .arg(ofDay / 60)
                                  .arg(ofDay % 60));
            settings.setValue(QStringLiteral("length_%1").arg(i + 1),
                              QStringLiteral("%1:%2").arg(s.length / 60).arg(s.length % 60));
        }
    }
}

const ReferenceSchedule *ReferenceData::scheduleFor(const QList<ReferenceSchedule> &schedules,
                                                   const QString &stockCode,
                                                   const QString &boardCode)
{
    const ReferenceSchedule *stockSchedule = nullptr;
    for (const ReferenceSchedule &s : schedules) {
        if (s.stockCode != stockCode)
            continue;
        if (!boardCode.isEmpty() && s.boardCode == boardCode)
            return &s;
        if (s.boardCode.isEmpty())
            stockSchedule = &s;
    }
    return stockSchedule;
}

Table *ReferenceData::createDealsTable()
{
    return new Table(QStringLiteral("all_deals"),
                     Columns{{QStringLiteral("deal_id"), FieldType::Integer64},
                             {QStringLiteral("stock_id"), FieldType::Integer},
                             {QStringLiteral("board_id"), FieldType::Integer},
                             {QStringLiteral("sec_id"), FieldType::Integer64},
                             {QStringLiteral("sess_id"), FieldType::Integer},
                             {QStringLiteral("moment"), FieldType::Datetime},
                             {QStringLiteral("price"), FieldType::Decimal},
                             {QStringLiteral("quantity"), FieldType::Integer64},
                             {QStringLiteral("value"), FieldType::XDecimal},
                             {QStringLiteral("open_interest"), FieldType::Integer},
                             {QStringLiteral("nosystem"), FieldType::Integer},
                             {QStringLiteral("buysell"), FieldType::Integer}},
                     QStringList{QStringLiteral("deal_id")});
}
