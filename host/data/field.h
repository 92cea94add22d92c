#pragma once

#include "hostdata_global.h"

#include <QExplicitlySharedDataPointer>
#include <QString>
#include <QVariant>

class datetime;
class decimal;
class xdecimal;
class RowData;

// The type of a table column.
enum class FieldType : int {
    Integer = 1,    // 32-bit signed
    Integer64 = 2,  // 64-bit signed
    Double = 3,
    Decimal = 4,
    XDecimal = 5,
    Datetime = 6,
    String = 7,
    Bool = 8,
};

HOST_EXPORT QString fieldTypeName(FieldType type);

// A view of one value of a record. Reads convert between types where that makes sense (an
// integer reads as a decimal, a decimal as a double); an empty (null) value reads as zero, an
// empty string or a null datetime.
class HOST_EXPORT Field
{
public:
    Field(const QExplicitlySharedDataPointer<RowData> &row, int column);
    Field(const Field &other);
    ~Field();

    FieldType type() const;
    int column() const { return m_column; }
    bool isNull() const;

    int toInteger() const;
    qint64 toInteger64() const;
    double toDouble() const;
    decimal toDecimal() const;
    xdecimal toXDecimal() const;
    datetime toDatetime() const;
    QString toString() const;
    bool toBool() const;
    QVariant toVariant() const;

    // Assigning a field copies the value into this field, converted to its type.
    Field &operator=(const Field &other);
    Field &operator=(int value);
    Field &operator=(qint64 value);
    // Stores the value converted to the column's type; false (value unchanged) when it does
    // not convert. A null QVariant empties the field.
    bool setValue(const QVariant &value);
    void setNull();

    // -1, 0 or 1; null values order first.
    int compare(const Field &other) const;

private:
    QExplicitlySharedDataPointer<RowData> m_row;
    int m_column;
};

// Converts a value to the representation of a field type: qint32, qint64, double, decimal,
// xdecimal, datetime, QString or bool. Text is parsed strictly; a value that does not convert
// gives a null QVariant. A null input stays null.
HOST_EXPORT QVariant variant_convert(const QVariant &value, FieldType type);
HOST_EXPORT QVariant variant_convert(const QVariant &value, int type);
