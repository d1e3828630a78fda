// Links (junctions, symbolic links: reparse points) lead off the folder they
// sit in. Shared by the engine and the run log, which both write to the media.
#pragma once

#include <windows.h>

#include <string>

inline bool IsLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether the path itself is a link.
bool IsLinkPath(const std::string& path);

// Whether the path, or any folder along it below its drive's root, is a link:
// what is written there would land wherever the link leads.
bool PathHasLink(const std::string& path);
