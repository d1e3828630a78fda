// A root longer than the part of it that paths are built from would give cut
// paths that name some other folder, perhaps another save: such a root is
// refused, never cut.
#pragma once

#include <cstddef>

// Whether root has at most maxChars characters; a longer one is logged as an
// error of caller ("<caller>: <what> longer than <n> characters: ...").
bool RootIsWhole(const char* caller, const char* what, const char* root, size_t maxChars);

// The same, raising the file exception (name too long) for a longer root.
void RequireWholeRoot(const char* caller, const char* what, const char* root, size_t maxChars);
