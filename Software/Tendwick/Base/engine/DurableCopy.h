// Copies a file on the unit and makes the copy durable before the call
// returns: the steps after a copy (a setting that names it, a deleted
// secondary file that the store will repair from it) rely on it being on the
// disk. The copy is a plain writable file whatever the source's attributes.
#pragma once

#include <string>

// True when the whole file was copied and flushed. Otherwise the system's
// error is the last error, and *targetTouched (when asked) tells whether the
// target had already been replaced, and so may hold part of the copy.
bool CopyFileFlushed(const std::string& source, const std::string& target, bool* targetTouched = nullptr);

// Puts a flushed copy of source in the place of target without removing
// target first: the copy is made beside it and then moved over it, so a copy
// that fails or is cut off leaves target as it was. True when target now
// holds the whole copy; *replaced (when asked) tells whether a file was
// there before. Otherwise the system's error is the last error.
bool ReplaceFileFlushed(const std::string& source, const std::string& target, bool* replaced = nullptr);

// Puts a file holding exactly these bytes in the place of target the same
// way: written beside it, flushed, then moved over it with write-through, so
// that target is either as it was or whole. False with the system's error as
// the last error.
bool WriteFileReplacing(const std::string& target, const std::string& bytes);

// The name of the copy ReplaceFileFlushed and WriteFileReplacing make beside target.
std::string ReplacementName(const std::string& target);
