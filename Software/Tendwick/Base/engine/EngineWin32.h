// Owners and small registry helpers shared by the engine's Win32 code.
#pragma once

#include <windows.h>

#include "FindHandle.h"
#include "RegistryKey.h"

#include <string>

// Reads a string value of at most maxBytes bytes into text. A value that is
// longer, missing or not a string fails with the system's error code; the
// text ends at the data's first NUL or at its end.
LONG QueryTextValue(HKEY key, const char* name, DWORD maxBytes, std::string& text);

// Opens root\\path through the file-call table into key (closed first).
LONG OpenRegKey(HKEY root, const char* path, UniqueRegKey& key, REGSAM access = KEY_ALL_ACCESS);

// Whether a file or folder of that name exists (its attributes can be read).
bool PathExists(const std::string& path);
