// The services the flows share on the media and the process: clearing the
// media, proving a save gone from it, looking for a file on it, and the
// backup privileges.
#pragma once

#include <string>

class CRunContext;

// Clears the save from the media of the run: the identity record and the
// registry file first, then everything below the configuration folder.
// Raises for a media root too long to build from; a configuration folder
// that is a link is left alone (logged).
void ClearRemovableMedia(const CRunContext& run);

// Deletes the files of folder (at most 255 characters of it), and with
// descend those of its subfolders; links are removed, never followed.
void DeleteFolderContents(const char* folder, bool descend);

// Whether the media answers and holds no file at path. A stick that was
// pulled, cannot be read or kept the file (write-protected) proves nothing
// gone: its save may still go onto another unit.
bool GoneFromMedia(const std::string& path, const std::string& mediaRoot);
// Whether the save has left the media of the run: the media answers, and
// the identity record that makes its files a save is not there.
bool SaveGoneFromMedia(const CRunContext& run);

// Whether name lies in subPath below the media root.
bool FileOnMedia(const CRunContext& run, const char* subPath, const char* name);

// The backup and restore privileges the hive save needs; raises without them.
void EnableBackupPrivileges();
