// The key files' checksum: CRC-32, polynomial 0x04C11DB7, most significant bit
// first, register starting at 0, no final XOR. "123456789" gives 0x89A1897F.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyfile {

// Continues a CRC over len bytes; pass 0 as crc to start. Eight bytes a step
// through eight tables, which are built with the program.
uint32_t Crc32(const void* data, size_t len, uint32_t crc = 0);

// The same CRC one byte at a time through one table: the plain form of the
// algorithm, kept as the reference the fast one is tested against.
uint32_t Crc32Bytewise(const void* data, size_t len, uint32_t crc = 0);

} // namespace keyfile
