#pragma once

#include "../data/decimal.h"
#include "../data/record.h"
#include "directorybase.h"
#include "enums.h"

class QTimer;

// Securities of every board. A security on a proxy board has a real record: the same
// instrument on the board where it actually trades.
class HOST_EXPORT SecurityDirectory : public DirectoryBase
{
    Q_OBJECT
public:
    static SecurityDirectory *i();
    ~SecurityDirectory() override;

    QString codeById(int stockId, int boardId, qint64 secId) const;
    QString nameById(int stockId, int boardId, qint64 secId) const;
    // The instrument key "stock,board,security".
    QString textIdById(int stockId, int boardId, qint64 secId) const;
    int decimalsById(int stockId, int boardId, qint64 secId) const;
    // 1 when the security is unknown.
    int lotsizeById(int stockId, int boardId, qint64 secId) const;

    // The security's record, null when unknown.
    Record recordById(int stockId, int boardId, qint64 secId) const;
    // For a security on a proxy board the record it points at, otherwise its own record.
    Record realRecordById(int stockId, int boardId, qint64 secId) const;

    decimal getPriceLimitHighByFullId(int stockId, int boardId, qint64 secId) const;
    decimal getPriceLimitLowByFullId(int stockId, int boardId, qint64 secId) const;
    decimal getTheorPriceBySecId(qint64 secId, Enums::OptionPricingModel model) const;

    // Ticks whenever the host has recalculated volatilities and theoretical prices.
    QTimer *getCalcVolatTimer();

private:
    SecurityDirectory();
    QString text(int stockId, int boardId, qint64 secId, const char *column) const;
    decimal price(int stockId, int boardId, qint64 secId, const char *column) const;

    QTimer *m_calcVolatTimer = nullptr;
};
