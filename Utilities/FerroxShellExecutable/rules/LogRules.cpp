#include "LogRules.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

const LevelTraits kLevels[] = {
    {"FATAL ", 1, 0xC0000001u, true},
    {"ERROR ", 1, 0xC0000002u, true},
    {"WARNG ", 2, 0x80000003u, true},
    {"STATE ", 4, 0x40000004u, true},
    {"TRACE ", 4, 0x40000004u, false},
};

} // namespace

const LevelTraits& TraitsOfLevel(int level)
{
    if (level < SHELL_FATAL || level > SHELL_TRACE) return kLevels[SHELL_TRACE];
    return kLevels[level];
}

void ModuleNameFromPath(const char* path, char* out, size_t size)
{
    if (size == 0) return;
    out[0] = '\0';
    if (!path) return;
    const char* start = std::strrchr(path, '\\');
    start = start ? start + 1 : path;
    const char* end = std::strrchr(start, '.');
    if (!end) end = start + std::strlen(start);
    size_t length = static_cast<size_t>(end - start);
    if (length >= size) length = size - 1;
    std::memcpy(out, start, length);
    out[length] = '\0';
}

const char* SourceFileName(const char* path)
{
    if (!path) return "";
    const char* slash = std::strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

uint32_t RepeatHash(const char* text, size_t length, size_t compareLength)
{
    size_t covered = length < compareLength ? length : compareLength;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    uint32_t hash = 0;
    for (size_t word = 0; word < covered / 4; ++word) {
        const unsigned char* b = bytes + word * 4;
        hash ^= static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    }
    return hash;
}

bool CRepeatTable::SeenBefore(uint32_t hash)
{
    if (m_hashes.empty()) return false;
    if (m_nCount >= m_hashes.size()) m_nCount = 0;
    for (size_t i = 0; i < m_nCount; ++i)
        if (m_hashes[i] == hash) return true;
    m_hashes[m_nCount++] = hash;
    return false;
}

bool CRepeatTable::Resize(size_t size)
{
    std::vector<uint32_t> resized;
    try {
        resized.resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    m_hashes.swap(resized);
    m_nCount = 0;
    return true;
}

bool ComposeLogBody(const LogBodyRules& rules, int level, const char* sourcePath, unsigned line,
                    const char* text, std::string* body)
{
    bool fatal = level == SHELL_FATAL;
    if (rules.moduleExcluded && !fatal) return false;
    if (level < SHELL_FATAL || level > SHELL_TRACE) level = SHELL_TRACE;
    if (static_cast<unsigned long>(level) > rules.levelLimit) return false;
    std::string composed = TraitsOfLevel(level).word;
    if (!rules.suppressFilename) {
        const char* name = SourceFileName(sourcePath);
        if (rules.fileExclusion && !fatal && rules.excludedFile == name) return false;
        composed += name;
        composed += ' ';
    }
    if (!rules.suppressLineNumber) {
        char number[32];
        std::snprintf(number, sizeof number, "line %u: ", line);
        composed += number;
    }
    composed += text ? text : "";
    body->swap(composed);
    return true;
}
