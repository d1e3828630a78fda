#include "PersistLines.h"

#include "KeyFileFormat.h"

#include <cstring>

namespace {

bool IsOneOf(char c, const char* set)
{
    return c != '\0' && std::strchr(set, c) != nullptr;
}

// One token of the scan: skips leading delimiters, ends at the next one.
// Returns the token's start and length (length 0 and *found false when the
// text holds only delimiters); *rest is where the next scan begins.
const char* Token(const char* from, const char* delimiters, size_t* length, const char** rest, bool* found)
{
    while (IsOneOf(*from, delimiters)) ++from;
    *found = *from != '\0';
    const char* end = from;
    while (*end && !IsOneOf(*end, delimiters)) ++end;
    *length = static_cast<size_t>(end - from);
    *rest = *end ? end + 1 : end;
    return from;
}

bool Store(char* out, size_t size, const char* text, size_t length)
{
    if (length >= size) return false;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

} // namespace

ParseOutcome ParseValueLine(const char* line, char* name, char* type, char* value)
{
    name[0] = type[0] = value[0] = '\0';
    if (!line) return PARSE_NO_FIELDS;
    if (std::strlen(line) >= PARSE_LINE_SIZE) return PARSE_LINE_TOO_LONG;

    size_t length = 0;
    const char* rest = nullptr;
    bool found = false;
    const char* token = Token(line, "\"=", &length, &rest, &found);
    if (!found) return PARSE_NO_FIELDS;
    if (!Store(name, PARSE_NAME_SIZE, token, length)) { name[0] = '\0'; return PARSE_NAME_TOO_LONG; }

    token = Token(rest, "=:", &length, &rest, &found);
    if (!found) { name[0] = '\0'; return PARSE_NO_FIELDS; }
    if (!Store(type, PARSE_TYPE_SIZE, token, length)) { name[0] = type[0] = '\0'; return PARSE_TYPE_TOO_LONG; }

    token = Token(rest, "\"\r", &length, &rest, &found);
    if (!found) {
        if (std::strcmp(type, "string") == 0) return PARSE_OK;
        name[0] = type[0] = '\0';
        return PARSE_NO_FIELDS;
    }
    if (!Store(value, PARSE_VALUE_SIZE, token, length)) {
        name[0] = type[0] = value[0] = '\0';
        return PARSE_VALUE_TOO_LONG;
    }
    return PARSE_OK;
}

const char* SavedLineWalker::Next()
{
    if (!m_text || m_at >= m_length) return nullptr;
    char* line = m_text + m_at;
    size_t remaining = m_length - m_at;
    if (remaining >= 3 && std::memcmp(line, "CRC", 3) == 0) return nullptr;
    for (size_t i = 0; i + 1 < remaining; ++i) {
        if (line[i] == '\r' && line[i + 1] == '\n') {
            line[i] = line[i + 1] = '\0';
            m_at += i + 2;
            return line;
        }
    }
    m_at = m_length;
    return nullptr;
}

int32_t ReadSignedValue(const char* text)
{
    return static_cast<int32_t>(ReadDwordValue(text));
}

uint32_t ReadDwordValue(const char* text)
{
    return text ? keyfile::ParseDword(text) : 0;
}
