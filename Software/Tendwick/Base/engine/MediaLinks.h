// Links on the media (junctions, symbolic links: reparse points) lead out of
// it, onto the unit's own folders. Nothing of the engine follows one: the
// clearing removes the link itself where the system lets it, and leaves it
// (logged) where it would reach what the link points at.
#pragma once

#include <windows.h>

#include <string>

inline bool IsLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether the path itself is a link.
bool IsLinkPath(const std::string& path);

// Removes the link at path, never what it leads to: only when the system
// opens the link itself (not its target) is it deleted. False when it stays.
bool RemoveLinkItself(const std::string& path);
