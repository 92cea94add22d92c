#pragma once

#include "directorybase.h"

#include <QList>

// Stocks (markets): "stock_id", "stock_code", "stock_name".
class HOST_EXPORT StockDirectory : public DirectoryBase
{
    Q_OBJECT
public:
    static StockDirectory *i();

    QString codeById(int stockId) const;
    QString nameById(int stockId) const;
    QList<int> ids() const;

private:
    StockDirectory();
};
