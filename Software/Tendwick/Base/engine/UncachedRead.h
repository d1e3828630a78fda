// Reads a file as the device holds it: the cache is bypassed, so a stick that
// dropped a write or ignored a flush shows it here. Others may read the file
// at the same time (an indexer or a scanner looking at a fresh stick).
#pragma once

#include <windows.h>

#include <cstdint>

// Whether the window's pending messages are handled between the blocks. Only
// a step that runs with the window's keys held off may let them through: a
// check made while the window opens, or before a run starts, could otherwise
// dispatch a key that starts a run inside it.
enum class UncachedPump { Messages, None };

// The size and CRC-32 (the store's, start 0) of the whole file; 0, or the
// operating-system error of the open or of a read.
DWORD SumFileUncached(const char* path, uint64_t* size, uint32_t* crc, UncachedPump pump);
