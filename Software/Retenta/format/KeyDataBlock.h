// The in-memory image of an open key. Every process that loads the store maps
// this same block, so its layout is fixed to the byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyfile {

constexpr int      kMaxIndexedLines = 255;   // value lines that can be looked up
constexpr uint32_t kIndexBytes      = 524;   // header plus offset table; the text follows
constexpr uint32_t kMaxKeyBytes     = 65536; // index plus text plus its NUL
constexpr size_t   kMaxValueName    = 100;
constexpr size_t   kMaxStringValue  = 1024;

struct KeyDataBlock {
    uint8_t  sorted;        // 1 while the value lines are in name order
    uint8_t  reserved[3];
    int32_t  count;         // indexed value lines, 0 to 255
    int32_t  position;      // result of the last lookup made under the write lock
    uint16_t offsets[256];  // [i] = first byte of line i's name; [count] = end of the indexed text
    // text at offset 524: the value lines, then a NUL

    char*       text()       { return reinterpret_cast<char*>(this) + kIndexBytes; }
    const char* text() const { return reinterpret_cast<const char*>(this) + kIndexBytes; }
    char*       at(uint32_t offset)       { return reinterpret_cast<char*>(this) + offset; }
    const char* at(uint32_t offset) const { return reinterpret_cast<const char*>(this) + offset; }
};

static_assert(offsetof(KeyDataBlock, sorted) == 0, "layout");
static_assert(offsetof(KeyDataBlock, count) == 4, "layout");
static_assert(offsetof(KeyDataBlock, position) == 8, "layout");
static_assert(offsetof(KeyDataBlock, offsets) == 12, "layout");
static_assert(sizeof(KeyDataBlock) == kIndexBytes, "layout");

} // namespace keyfile
