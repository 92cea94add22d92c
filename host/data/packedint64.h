#pragma once

#include <QtGlobal>

// A 64-bit integer kept as two 32-bit halves. Values that hold one align to 4 bytes instead of
// 8, so arrays of bars (four prices and a turnover each) stay compact.
class PackedInt64
{
public:
    PackedInt64() = default;
    PackedInt64(qint64 value)
        : m_lo(static_cast<quint32>(static_cast<quint64>(value)))
        , m_hi(static_cast<qint32>(static_cast<quint64>(value) >> 32))
    {
    }
    operator qint64() const
    {
        return static_cast<qint64>((static_cast<quint64>(static_cast<quint32>(m_hi)) << 32)
                                   | m_lo);
    }

private:
    quint32 m_lo = 0;
    qint32 m_hi = 0;
};
