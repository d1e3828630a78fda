// Reading the media and a unit's store folder with the standard library only
// (but for the link test on Windows), so that the inspector is the same
// program on Windows and natively. No call
// throws: a file that cannot be read is reported as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Nothing the store or the import reads comes near this; larger files are
// reported, not read.
const size_t MEDIA_READ_LIMIT = 16u * 1024 * 1024;

enum FileRead { FILE_READ_OK, FILE_MISSING, FILE_TOO_LARGE, FILE_UNREADABLE };

// The whole file when it is a regular file of at most maxBytes bytes.
FileRead ReadWholeFile(const fs::path& path, size_t maxBytes, std::string* bytes);

// The first maxBytes bytes, read as text the way the C library's text mode
// reads on this platform (the engine reads its identity record so).
FileRead ReadTextStart(const fs::path& path, size_t maxBytes, std::string* bytes);

// The first maxBytes bytes as they are, as the engine reads the pieces of its
// undo's proof.
FileRead ReadStart(const fs::path& path, size_t maxBytes, std::string* bytes);

// Whether the path is a link (a reparse point on Windows): the engine neither
// reads nor writes through one.
bool IsLink(const fs::path& path);

// The last maxBytes bytes of a file that may be longer, from the start of a
// line: a log appended to without end is read from its latest runs.
FileRead ReadFileTail(const fs::path& path, size_t maxBytes, std::string* bytes);

// The key files' CRC over the whole file, read in blocks; any size.
FileRead FileCrc(const fs::path& path, uint32_t* crc, uint64_t* size);

// base joined with a relative text whose parts are separated by backslashes,
// as the catalogue and the store write them ("ShellPersist\\MFD Configuration").
fs::path JoinRelative(const fs::path& base, const std::string& backslashed);

bool IsFile(const fs::path& path);
bool IsFolder(const fs::path& path);

// Every entry below folder (files, and folders that hold no file), relative to
// it, with backslashes between the parts; sorted. Folders that cannot be read
// are passed over.
std::vector<std::string> ListEntriesBelow(const fs::path& folder);
