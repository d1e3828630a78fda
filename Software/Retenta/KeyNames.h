// Forming a key's names from the base path, subdirectory and key name. Plain
// text work, bounded by the 260-character path buffers.
#pragma once

#include <cstddef>

// The shared-object name of a key: the key directory with doubled backslashes
// reduced to one and backslashes turned into '/', then '/' and the key name,
// in lower case. False when it would not fit in outSize - 1 characters.
bool FormSharedName(const char* keyDirectory, const char* keyName, char* out, size_t outSize);

// Appends the pieces to out (NUL-terminated, outSize bytes). False, leaving
// out empty, when the result would not fit: a cut path could name another key.
bool JoinPath(char* out, size_t outSize, const char* a, const char* b = "", const char* c = "",
              const char* d = "");
