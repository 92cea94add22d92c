#pragma once

// Row storage shared by Record and Field; internal to the host library.

#include "field.h"

#include <QHash>
#include <QList>
#include <QSharedData>
#include <QString>

#include <memory>

class Table;

class TableSchema
{
public:
    struct Column
    {
        QString name;
        FieldType type;
        int stringSlot = -1;
    };
    const Table *table = nullptr;
    QList<Column> columns;
    QHash<QString, int> byName;
    int stringCount = 0;
};

struct Cell
{
    enum Flags : quint8 { Null = 1, Inexact = 2 };
    qint64 value = 0;  // integer, bool, double bits, decimal mantissa or msecs since the epoch
    qint16 exponent = 0; // decimal and xdecimal
    quint8 flags = Null;
};

class RowData : public QSharedData
{
public:
    explicit RowData(std::shared_ptr<const TableSchema> s)
        : schema(std::move(s))
        , cells(schema->columns.size())
        , strings(schema->stringCount)
    {
    }
    std::shared_ptr<const TableSchema> schema;
    QList<Cell> cells;
    QList<QString> strings;
};
