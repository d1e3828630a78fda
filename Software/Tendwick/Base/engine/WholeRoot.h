// A root longer than the part of it that paths are built from would give cut
// paths that name some other folder, perhaps another save: such a root is
// refused, never cut.
#pragma once

#include <cstddef>

// Whether root has at most maxChars characters; a longer one is logged as an
// error of caller (LogLongRoot).
bool RootIsWhole(const char* caller, const char* what, const char* root, size_t maxChars);

// Logs root as too long: "<caller>: <what> longer than <n> characters: ...".
void LogLongRoot(const char* caller, const char* what, const char* root, size_t maxChars);
