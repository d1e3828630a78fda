// The store's file repairs: the copy that tries four ways to replace its
// destination, and the creation of every missing directory of a path.
#pragma once

// Copies source over destination in up to four attempts, each failure of a
// file call written to the debug output. A copy made is flushed to the disk
// before the call returns.
bool FileCopy(const char* destination, const char* source);

// Creates every missing directory of path; a plain file in the way is
// replaced. True when the whole path is then a directory.
bool CreateDirectoryPath(const char* path);

bool IsDirectory(const char* path);
