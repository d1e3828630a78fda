#include "MediaFiles.h"

#include "Crc32.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const size_t kBlockBytes = 64 * 1024;

} // namespace

bool IsFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool IsFolder(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

FileRead ReadWholeFile(const fs::path& path, size_t maxBytes, std::string* bytes)
{
    bytes->clear();
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return FILE_MISSING;
    uintmax_t size = fs::file_size(path, error);
    if (error) return FILE_UNREADABLE;
    if (size > maxBytes) return FILE_TOO_LARGE;
    std::ifstream in(path, std::ios::binary);
    if (!in) return FILE_UNREADABLE;
    bytes->resize(static_cast<size_t>(size));
    in.read(&(*bytes)[0], static_cast<std::streamsize>(size));
    bytes->resize(static_cast<size_t>(in.gcount()));
    // The file may have changed since its size was taken; what was read is what counts.
    return FILE_READ_OK;
}

FileRead ReadTextStart(const fs::path& path, size_t maxBytes, std::string* bytes)
{
    bytes->clear();
    if (!IsFile(path)) return FILE_MISSING;
    std::ifstream in(path);   // text mode, as the engine's fopen(.., "r")
    if (!in) return FILE_UNREADABLE;
    bytes->resize(maxBytes);
    in.read(&(*bytes)[0], static_cast<std::streamsize>(maxBytes));
    bytes->resize(static_cast<size_t>(in.gcount()));
    return FILE_READ_OK;
}

FileRead ReadStart(const fs::path& path, size_t maxBytes, std::string* bytes)
{
    bytes->clear();
    if (!IsFile(path)) return FILE_MISSING;
    std::ifstream in(path, std::ios::binary);
    if (!in) return FILE_UNREADABLE;
    bytes->resize(maxBytes);
    in.read(&(*bytes)[0], static_cast<std::streamsize>(maxBytes));
    bytes->resize(static_cast<size_t>(in.gcount()));
    return FILE_READ_OK;
}

bool IsLink(const fs::path& path)
{
#ifdef _WIN32
    // The library's link test does not see every reparse point (junctions).
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
#endif
}

FileRead ReadFileTail(const fs::path& path, size_t maxBytes, std::string* bytes)
{
    bytes->clear();
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return FILE_MISSING;
    uintmax_t size = fs::file_size(path, error);
    if (error) return FILE_UNREADABLE;
    if (size <= maxBytes) return ReadWholeFile(path, maxBytes, bytes);
    std::ifstream in(path, std::ios::binary);
    if (!in || !in.seekg(static_cast<std::streamoff>(size - maxBytes))) return FILE_UNREADABLE;
    bytes->resize(maxBytes);
    in.read(&(*bytes)[0], static_cast<std::streamsize>(maxBytes));
    bytes->resize(static_cast<size_t>(in.gcount()));
    // The first line was cut: it starts after the first line end.
    size_t lineEnd = bytes->find('\n');
    bytes->erase(0, lineEnd == std::string::npos ? bytes->size() : lineEnd + 1);
    return FILE_READ_OK;
}

FileRead FileCrc(const fs::path& path, uint32_t* crc, uint64_t* size)
{
    *crc = 0;
    *size = 0;
    if (!IsFile(path)) return FILE_MISSING;
    std::ifstream in(path, std::ios::binary);
    if (!in) return FILE_UNREADABLE;
    std::vector<char> block(kBlockBytes);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        size_t got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        *crc = keyfile::Crc32(block.data(), got, *crc);
        *size += got;
    }
    return in.bad() ? FILE_UNREADABLE : FILE_READ_OK;
}

fs::path JoinRelative(const fs::path& base, const std::string& backslashed)
{
    fs::path out = base;
    size_t from = 0;
    while (from <= backslashed.size()) {
        size_t end = backslashed.find('\\', from);
        if (end == std::string::npos) end = backslashed.size();
        if (end > from) out /= backslashed.substr(from, end - from);
        from = end + 1;
    }
    return out;
}

std::vector<std::string> ListEntriesBelow(const fs::path& folder)
{
    std::vector<std::string> entries;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    fs::recursive_directory_iterator end;
    for (; !error && it != end; it.increment(error)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        bool folderEntry = entry.is_directory(typeError);
        if (folderEntry) {
            // Only an empty folder is an entry of its own; a full one shows in its files.
            std::error_code emptyError;
            if (!fs::is_empty(entry.path(), emptyError)) continue;
        }
        std::string relative;
        try {
            for (const fs::path& part : entry.path().lexically_relative(folder)) {
                if (!relative.empty()) relative += '\\';
                relative += part.string();
            }
        } catch (const std::exception&) {
            // A name the narrow code page cannot show is still an entry.
            relative = "?";
        }
        if (folderEntry) relative += '\\';
        entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}
