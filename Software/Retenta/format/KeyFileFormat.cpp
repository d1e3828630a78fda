#include "KeyFileFormat.h"

#include "Crc32.h"
#include "KeyDataBlock.h"

#include <cstdio>
#include <cstring>

namespace keyfile {

namespace {

constexpr char   kCrcTag[]  = "CRC:";
constexpr size_t kCrcTagLen = 4;
// The CRC line is at most 16 bytes ("CRC:4294967295\r\n"), so its tag lies
// within the last 20 bytes of any valid file.
constexpr size_t kCrcSearchWindow = 20;

// isspace() of the C locale, without depending on the process's locale.
bool IsCSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The atoi reading of text; inRange(i) says whether byte i may be read.
template <class InRange>
DecimalReading ParseAtoi(const char* text, InRange inRange)
{
    size_t i = 0;
    while (inRange(i) && IsCSpace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (inRange(i) && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0; // unsigned: wraps modulo 2^32 by definition
    bool nonZero = false;
    while (inRange(i) && text[i] >= '0' && text[i] <= '9') {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
        nonZero = nonZero || text[i] != '0';
        ++i;
    }
    return {negative ? 0u - value : value, nonZero};
}

} // namespace

size_t FormatCrcLine(uint32_t crc, char* out)
{
    int n = std::snprintf(out, 17, "CRC:%u\r\n", static_cast<unsigned>(crc));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

uint32_t ParseDword(const char* text, size_t len)
{
    return ReadDecimal(text, len).value;
}

uint32_t ParseDword(const char* text)
{
    // A NUL is neither space, sign nor digit, so the scan stops there.
    return ParseAtoi(text, [](size_t) { return true; }).value;
}

DecimalReading ReadDecimal(const char* text, size_t len)
{
    return ParseAtoi(text, [len](size_t i) { return i < len; });
}

size_t FormatDwordUnsigned(uint32_t value, char* out)
{
    int n = std::snprintf(out, 12, "%u", static_cast<unsigned>(value));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t FormatDwordSigned(uint32_t value, char* out)
{
    int n = std::snprintf(out, 12, "%d", static_cast<int>(static_cast<int32_t>(value)));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t WritableNameLength(const char* name)
{
    size_t len = 0;
    for (; name[len] != '\0'; ++len) {
        if (len == kMaxValueName || name[len] == '"' || name[len] == '\r' || name[len] == '\n')
            return 0;
    }
    return len;
}

bool NameIsWritable(const char* name, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        if (name[i] == '"' || name[i] == '\r' || name[i] == '\n')
            return false;
    }
    return true;
}

bool StringIsWritable(const char* value, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        if (value[i] == '\0')
            return false;
        if (value[i] == '\r' && i + 1 < len && value[i + 1] == '\n')
            return false;
    }
    return true;
}

std::string BuildKeyFile(const char* text, size_t len)
{
    char line[17];
    size_t lineLen = FormatCrcLine(Crc32(text, len), line);
    std::string file;
    file.reserve(len + lineLen);
    file.append(text, len);
    file.append(line, lineLen);
    return file;
}

bool ValidateKeyFile(const char* data, size_t size, size_t* textLength)
{
    if (size < kCrcTagLen)
        return false;
    size_t from = size < kCrcSearchWindow ? 0 : size - kCrcSearchWindow;
    size_t tag = size;
    for (size_t i = from; i + kCrcTagLen <= size; ++i) {
        if (std::memcmp(data + i, kCrcTag, kCrcTagLen) == 0) {
            tag = i;
            break;
        }
    }
    if (tag == size)
        return false;

    char line[17];
    size_t lineLen = FormatCrcLine(Crc32(data, tag), line);
    if (size - tag != lineLen || std::memcmp(data + tag, line, lineLen) != 0)
        return false;
    if (textLength)
        *textLength = tag;
    return true;
}

} // namespace keyfile
