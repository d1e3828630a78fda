#include "Crc32.h"

namespace keyfile {

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7u;

struct CrcTable {
    uint32_t entry[256];

    CrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
            entry[i] = r;
        }
    }
};

// A function-local static: built on first use, and the language guarantees
// that concurrent first callers wait for the one construction.
const CrcTable& Table()
{
    static const CrcTable table;
    return table;
}

} // namespace

uint32_t Crc32(const void* data, size_t len, uint32_t crc)
{
    const CrcTable& table = Table();
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < len; ++i)
        crc = (crc << 8) ^ table.entry[((crc >> 24) ^ p[i]) & 0xFFu];
    return crc;
}

} // namespace keyfile
