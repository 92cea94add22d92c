#pragma once

#include "hostdata_global.h"

#include <QByteArray>

// CRC-64 (the ECMA-182 polynomial, reflected, as used by xz) of the bytes.
HOST_EXPORT quint64 qChecksum64(const char *data, qsizetype length);
inline quint64 qChecksum64(const QByteArray &data)
{
    return qChecksum64(data.constData(), data.size());
}
