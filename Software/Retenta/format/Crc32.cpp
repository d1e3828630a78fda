#include "Crc32.h"

namespace keyfile {

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7u;

// table[0][i] is the register after byte i enters an empty one; table[k][i]
// after byte i and then k zero bytes. Eight bytes then cost eight lookups
// that do not wait on each other, where the byte loop is one long chain.
struct CrcTables {
    uint32_t table[8][256];

    constexpr CrcTables() : table()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
            table[0][i] = r;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                table[k][i] = (table[k - 1][i] << 8) ^ table[0][table[k - 1][i] >> 24];
    }
};

// Built by the compiler: there is nothing to initialise at run time, and no
// first caller to race.
constexpr CrcTables kTables;

uint32_t Step(uint32_t crc, unsigned char byte)
{
    return (crc << 8) ^ kTables.table[0][((crc >> 24) ^ byte) & 0xFFu];
}

} // namespace

uint32_t Crc32(const void* data, size_t len, uint32_t crc)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const auto& t = kTables.table;
    for (; len >= 8; len -= 8, p += 8) {
        // The first four bytes meet the register, most significant first.
        uint32_t high = crc ^ (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
        crc = t[7][high >> 24] ^ t[6][(high >> 16) & 0xFFu] ^ t[5][(high >> 8) & 0xFFu] ^ t[4][high & 0xFFu] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; len > 0; --len, ++p) crc = Step(crc, *p);
    return crc;
}

uint32_t Crc32Bytewise(const void* data, size_t len, uint32_t crc)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < len; ++i) crc = Step(crc, p[i]);
    return crc;
}

} // namespace keyfile
