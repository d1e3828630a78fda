// Links on the media (junctions, symbolic links: reparse points) lead out of
// it, onto the unit's own folders. Nothing of the engine follows one: the
// clearing removes the link itself where the system lets it, and leaves it
// (logged) where it would reach what the link points at.
#pragma once

#include <windows.h>

#include <string>

#include "LinkPaths.h"

// Removes the link at path, never what it leads to: a file link goes with
// DeleteFile (which deletes the link, not its target); a folder link only
// when the system opens the link itself (not its target), and only once that
// open is proven to be the link. False when it stays.
bool RemoveLinkItself(const std::string& path);

// Whether a link is left in the folder (not below it): logged, one line each.
bool FolderHoldsLink(const std::string& folder);

// Whether the media's configuration folder, or its Persist folder, is a link
// (logged): nothing may be written or read through it.
bool MediaFoldersAreLinks(const char* mediaRoot);
