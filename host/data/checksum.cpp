#include "checksum.h"

#include <array>

namespace {

constexpr quint64 Polynomial = 0xC96C5795D7870F42ULL;

constexpr std::array<quint64, 256> makeTable()
{
    std::array<quint64, 256> table{};
    for (quint64 i = 0; i < 256; ++i) {
        quint64 crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ Polynomial : crc >> 1;
        table[i] = crc;
    }
    return table;
}

constexpr std::array<quint64, 256> Table = makeTable();

} // namespace

quint64 qChecksum64(const char *data, qsizetype length)
{
    quint64 crc = ~0ULL;
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    for (qsizetype i = 0; i < length; ++i)
        crc = Table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
