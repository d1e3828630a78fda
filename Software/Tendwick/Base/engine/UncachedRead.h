// Reads a file as the device holds it: the cache is bypassed, so a stick that
// dropped a write or ignored a flush shows it here. Others may read the file
// at the same time (an indexer or a scanner looking at a fresh stick).
#pragma once

#include <windows.h>

#include <cstdint>

// The size and CRC-32 (the store's, start 0) of the whole file; 0, or the
// operating-system error of the open or of a read. The window's pending
// messages are handled between the blocks.
DWORD SumFileUncached(const char* path, uint64_t* size, uint32_t* crc);
