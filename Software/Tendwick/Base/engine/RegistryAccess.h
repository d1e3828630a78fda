// Registry helpers. Two kinds: below a predefined root with a separate key
// path (never creating keys), and by one full path that starts with the
// root's name (creating missing keys). Each closes what it opens and reports
// success as a boolean; nothing is logged.
#pragma once

#include <windows.h>

#include "FrameworkString.h"
#include "RegistryKey.h"

// Opens root\keyPath with full access, or with create creates it when missing.
// Returns the key in its owner, empty on failure.
UniqueRegKey OpenRegistryKey(HKEY root, const CString& keyPath, bool create);

// The same for a full path such as "HKEY_CURRENT_USER\Software\Corvane";
// the root names are case-sensitive, and one without a backslash names the
// root itself. Empty for an unknown root name.
UniqueRegKey OpenRegistryPath(const CString& fullPath, bool create);

// Reads a string value whole; result changes only on success, which needs
// the value to exist with the string type.
bool QueryRegistryString(HKEY key, const CString& valueName, CString& result);
bool SetRegistryString(HKEY key, const CString& valueName, const CString& text);
bool SetRegistryDword(HKEY key, const CString& valueName, DWORD value);

bool WriteRegistryPathString(const CString& fullPath, const CString& valueName, const CString& text);
bool WriteRegistryPathDword(const CString& fullPath, const CString& valueName, DWORD value);

// Below a predefined root; keys are never created. Read empties result first.
bool ReadRegistryString(HKEY root, const CString& keyPath, const CString& valueName, CString& result);
bool WriteRegistryString(HKEY root, const CString& keyPath, const CString& valueName, const CString& text);
