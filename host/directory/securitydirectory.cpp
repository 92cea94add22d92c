#include "securitydirectory.h"

#include "../data/indexsort.h"
#include "../data/table.h"

#include <QTimer>

SecurityDirectory::SecurityDirectory()
    : DirectoryBase(QStringLiteral("securities"))
{
}

SecurityDirectory::~SecurityDirectory() = default;

SecurityDirectory *SecurityDirectory::i()
{
    static SecurityDirectory *const instance = new SecurityDirectory;
    return instance;
}

namespace {

Record findSecurity(Table *t, int stockId, int boardId, qint64 secId)
{
    Record key(t);
    key.data(QStringLiteral("stock_id")) = stockId;
    key.data(QStringLiteral("board_id")) = boardId;
    key.data(QStringLiteral("sec_id")) = secId;
    return t->masterIndex()->find(key);
}

} // namespace

Record SecurityDirectory::recordById(int stockId, int boardId, qint64 secId) const
{
    Table *t = table();
    TableLocker locker(t);
    return t ? findSecurity(t, stockId, boardId, secId) : Record();
}

Record SecurityDirectory::realRecordById(int stockId, int boardId, qint64 secId) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return {};
    const Record own = findSecurity(t, stockId, boardId, secId);
    if (own.isNull() || own.data(QStringLiteral("real_sec_id")).isNull())
        return own;
    const Record real = findSecurity(t, own.data(QStringLiteral("real_stock_id")).toInteger(),
                                     own.data(QStringLiteral("real_board_id")).toInteger(),
                                     own.data(QStringLiteral("real_sec_id")).toInteger64());
    return real.isNull() ? own : real;
}

QString SecurityDirectory::text(int stockId, int boardId, qint64 secId, const char *column) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return {};
    return findSecurity(t, stockId, boardId, secId).data(QLatin1String(column)).toString();
}

decimal SecurityDirectory::price(int stockId, int boardId, qint64 secId, const char *column) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return {};
    return findSecurity(t, stockId, boardId, secId).data(QLatin1String(column)).toDecimal();
}

QString SecurityDirectory::codeById(int stockId, int boardId, qint64 secId) const
{
    return text(stockId, boardId, secId, "sec_code");
}

QString SecurityDirectory::nameById(int stockId, int boardId, qint64 secId) const
{
    return text(stockId, boardId, secId, "sec_name");
}

QString SecurityDirectory::textIdById(int stockId, int boardId, qint64 secId) const
{
    return text(stockId, boardId, secId, "text_id");
}

int SecurityDirectory::decimalsById(int stockId, int boardId, qint64 secId) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return 0;
    return findSecurity(t, stockId, boardId, secId).data(QStringLiteral("decimals")).toInteger();
}

int SecurityDirectory::lotsizeById(int stockId, int boardId, qint64 secId) const
{
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return 1;
    const Record r = findSecurity(t, stockId, boardId, secId);
    const int lot = r.isNull() ? 1 : r.data(QStringLiteral("lotsize")).toInteger();
    return lot > 0 ? lot : 1;
}

decimal SecurityDirectory::getPriceLimitHighByFullId(int stockId, int boardId, qint64 secId) const
{
    return price(stockId, boardId, secId, "price_lmt_high");
}

decimal SecurityDirectory::getPriceLimitLowByFullId(int stockId, int boardId, qint64 secId) const
{
    return price(stockId, boardId, secId, "price_lmt_low");
}

decimal SecurityDirectory::getTheorPriceBySecId(qint64 secId,
                                                Enums::OptionPricingModel model) const
{
    if (model != Enums::ExchangeTheoreticalPrice)
        return {};
    Table *t = table();
    TableLocker locker(t);
    if (!t)
        return {};
    const int secColumn = t->columnIndex(QStringLiteral("sec_id"));
    const int priceColumn = t->columnIndex(QStringLiteral("theor_price"));
    for (const Record &r : t->masterIndex()->records()) {
        if (r.data(secColumn).toInteger64() == secId && !r.data(priceColumn).isNull())
            return r.data(priceColumn).toDecimal();
    }
    return {};
}

QTimer *SecurityDirectory::getCalcVolatTimer()
{
    if (!m_calcVolatTimer) {
        m_calcVolatTimer = new QTimer(this);
        m_calcVolatTimer->setObjectName(QStringLiteral("calcVolatTimer"));
        m_calcVolatTimer->setInterval(10000);
        m_calcVolatTimer->start();
    }
    return m_calcVolatTimer;
}
