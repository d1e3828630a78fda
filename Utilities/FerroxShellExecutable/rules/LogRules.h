// The shell logger's byte-level rules: names cut from paths, the repeat
// table with its hash, and the body of a message with its exclusions. No
// windows.h, so they build and are tested natively as well as for the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Levels, most severe first; a message passes when its value is at most the limit.
enum ShellLogLevel {
    SHELL_FATAL = 0,
    SHELL_ERROR = 1,
    SHELL_WARNG = 2,
    SHELL_STATE = 3,
    SHELL_TRACE = 4,
};

// How a level is written and reported.
struct LevelTraits {
    const char* word;        // with its one trailing space
    unsigned short eventType; // error 1, warning 2, information 4
    uint32_t eventId;
    bool toEventLog;
};
// Levels outside the table are written as TRACE.
const LevelTraits& TraitsOfLevel(int level);

// The program's name from its full path: the text between the last backslash
// and the last period after it (to the end when there is no such period).
// Cut to fit out (size bytes with the terminator).
void ModuleNameFromPath(const char* path, char* out, size_t size);

// The part of a source path after its last backslash.
const char* SourceFileName(const char* path);

// XOR of the whole little-endian 32-bit words among the first
// min(length, compareLength) bytes; fewer than 4 bytes hash to 0.
uint32_t RepeatHash(const char* text, size_t length, size_t compareLength);

// The hashes of the messages written since the table last started over.
class CRepeatTable {
public:
    explicit CRepeatTable(size_t size) : m_hashes(size) {}

    // True when the hash is among the used entries; otherwise it is
    // remembered. A full table starts over first. A table of size 0
    // remembers nothing.
    bool SeenBefore(uint32_t hash);
    // A new size empties the table; false (old size kept) when memory is short.
    bool Resize(size_t size);
    void Clear() { m_nCount = 0; }

    size_t Size() const { return m_hashes.size(); }
    size_t Count() const { return m_nCount; }

private:
    std::vector<uint32_t> m_hashes;
    size_t m_nCount = 0;
};

// What decides whether a message is written and how its body reads.
struct LogBodyRules {
    unsigned long levelLimit = SHELL_TRACE;
    bool moduleExcluded = false;     // only FATAL passes
    bool suppressFilename = false;   // no file name (and no file exclusion)
    bool suppressLineNumber = false;
    bool fileExclusion = false;
    std::string excludedFile;        // with extension, without directory
};

// The message up to its system-error text: level word, source file name and
// a space, "line %u: ", the formatted text. False when the rules drop it.
bool ComposeLogBody(const LogBodyRules& rules, int level, const char* sourcePath, unsigned line,
                    const char* text, std::string* body);
