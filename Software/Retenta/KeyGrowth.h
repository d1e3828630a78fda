// A key's data block grows within the store's limits: whole 4096-byte steps,
// never past 65536 bytes. A refusal becomes the store's detail code, set and
// written to the debug output as every named code is.
#pragma once

#include <windows.h>

#include "SharedMemory.h"

// Makes the block hold `required` bytes, with room to spare for the edits
// that follow. 0, or PERS_FAILED_MAX_KEY_SIZE_REACHED past the limit, or
// PERS_FAILED_VALUE_MISSING_NOT_CREATED when the block is shared or cannot be
// replaced. The caller holds the write lock; the block may move.
DWORD GrowKeyBlock(SharedMemory& memory, DWORD required);

// Makes the block hold `bytes` in the fewest steps (a load, which must fit
// every key the store can write). Same results as GrowKeyBlock.
DWORD ReserveKeyBlock(SharedMemory& memory, DWORD bytes);

// The detail code of a growth's result (0 when it fits), set and reported.
DWORD ReportGrowth(GrowResult result);
