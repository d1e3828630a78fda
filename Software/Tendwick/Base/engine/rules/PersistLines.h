// The value lines of a saved key file as the import reads them. Saved files
// come from the media and are untrusted: every item is bounded, and one that
// does not fit is refused rather than cut. No windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Capacities of the import's working storage (terminator included).
const size_t PARSE_LINE_SIZE = 1024;
const size_t PARSE_NAME_SIZE = 104;
const size_t PARSE_TYPE_SIZE = 12;
const size_t PARSE_VALUE_SIZE = 512;

enum ParseOutcome {
    PARSE_OK = 0,
    PARSE_NO_FIELDS,        // no name, no type word, or no value for a type other than string
    PARSE_LINE_TOO_LONG,
    PARSE_NAME_TOO_LONG,
    PARSE_TYPE_TOO_LONG,
    PARSE_VALUE_TOO_LONG,
};

// Splits a line into name, type word and value, as the successive token scan
// with the delimiters "\"=", "=:" and "\"\r" does: a name ends at its first
// '"' or '=', a string value at its first '"'. A string with no value text
// reads as empty. Outputs have the capacities above and are emptied first.
ParseOutcome ParseValueLine(const char* line, char* name, char* type, char* value);

// Walks the lines of a file read into text (length bytes, NUL after them).
// Each line ends with CR LF; the walk stops at a line without one after it
// and at a line that begins with "CRC". Next replaces the CR LF by NULs.
class SavedLineWalker {
public:
    SavedLineWalker(char* text, size_t length) : m_text(text), m_length(length), m_at(0) {}
    // The next line, or nullptr at the end.
    const char* Next();

private:
    char*  m_text;
    size_t m_length;
    size_t m_at;
};

// A bool value's text read as a signed decimal number (atoi's reading,
// accumulated modulo 2^32; no digits read 0).
int32_t ReadSignedValue(const char* text);
// A dword value's text: unsigned decimal, a leading minus negating modulo 2^32.
uint32_t ReadDwordValue(const char* text);
