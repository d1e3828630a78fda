#include "TextFields.h"

#include <climits>
#include <cstring>

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The white space of the C locale; bytes above 0x7F are not white space.
bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

const char* SkipBlanks(const char* p)
{
    while (*p && IsBlank(*p)) ++p;
    return p;
}

const char* SkipWord(const char* p)
{
    while (*p && !IsBlank(*p)) ++p;
    return p;
}

} // namespace

bool CopyText(char* dest, size_t size, const char* src)
{
    if (!dest || size == 0) return false;
    size_t n = 0;
    if (src)
        while (n < size - 1 && src[n]) ++n;
    if (n) std::memmove(dest, src, n);
    dest[n] = '\0';
    return !src || src[n] == '\0';
}

std::string TextPrefix(const char* text, size_t maxChars)
{
    if (!text) return std::string();
    size_t n = 0;
    while (n < maxChars && text[n]) ++n;
    return std::string(text, n);
}

void SplitFields(const char* text, char separator, char* fields, size_t fieldSize, size_t maxFields)
{
    if (!fields || fieldSize == 0) return;
    for (size_t i = 0; i < maxFields; ++i) fields[i * fieldSize] = '\0';
    if (!text) return;

    const size_t keep = fieldSize >= 2 ? fieldSize - 2 : 0;
    size_t field = 0;
    const char* start = text;
    for (const char* p = text; *p && field < maxFields; ++p) {
        bool atSeparator = *p == separator;
        if (!atSeparator && p[1] != '\0') continue;
        size_t length = static_cast<size_t>((atSeparator ? p : p + 1) - start);
        if (length > keep) length = keep;
        char* out = fields + field * fieldSize;
        std::memcpy(out, start, length);
        out[length] = '\0';
        ++field;
        start = p + 1;
    }
}

bool PrefixMatch(const char* a, const char* b)
{
    if (!a || !b) return true;
    for (; *a && *b; ++a, ++b)
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
    return true;
}

bool EqualsNoCase(const char* a, const char* b)
{
    if (!a || !b) return a == b;
    for (; *a && *b; ++a, ++b)
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
    return *a == *b;
}

int ScanPartNumText(const char* text, char* part, size_t partSize, int* revision)
{
    if (!text) return 0;
    const char* p = SkipBlanks(text);
    if (!*p) return 0;
    const char* wordEnd = SkipWord(p);
    // A longer part number is cut to the buffer, as the scan always did.
    if (part) CopyText(part, partSize, std::string(p, static_cast<size_t>(wordEnd - p)).c_str());

    p = SkipBlanks(wordEnd);
    if (!*p) return 1;
    p = SkipBlanks(SkipWord(p));

    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return 1;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*p - '0');
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    if (revision) *revision = static_cast<int>(value);
    return 2;
}

std::string JoinPath(const char* folder, const char* name)
{
    std::string path = folder ? folder : "";
    size_t last = path.rfind('\\');
    if (last == std::string::npos)
        path += '\\';
    else
        path.erase(last + 1);
    if (name) path += (name[0] == '\\') ? name + 1 : name;
    return path;
}

void AddTrailingBackslash(std::string& text)
{
    if (text.empty() || text.back() != '\\') text += '\\';
}
