// Where the key files live: the per-process base path and the per-thread
// backup drive.
#pragma once

#include <cstddef>

// Copies the current base path (empty, or ending in a backslash) into out.
void CopyBasePath(char* out, size_t outSize);

// The directory of the secondary files for keyDirectory, created if missing.
// *driveLetter is the thread's backup drive: 0 on the thread's first call,
// when it is determined and stored. False when the result would not fit.
bool BackupDirectory(const char* keyDirectory, char* driveLetter, char* out, size_t outSize);
