// Key-file text: value lines, the closing CRC line and the validity rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keyfile {

enum class ValueType { None, String, Dword, Bool };

// How long a writer waits for a key file that another one holds without
// sharing (a save of the same key a moment from its end): this many opens,
// this many milliseconds apart. Every program that opens key files waits
// as long, and no longer.
constexpr int kBusyFileAttempts = 20;
constexpr unsigned kBusyFilePauseMs = 5;

// "CRC:%u\r\n" into out (at least 17 bytes, NUL-terminated); returns its length.
size_t FormatCrcLine(uint32_t crc, char* out);

// Value text read the way the C library's atoi reads it (leading white space,
// an optional sign, digits up to the first non-digit), but accumulated modulo
// 2^32 so that "-1" and "4294967295" both give 0xFFFFFFFF.
uint32_t ParseDword(const char* text);
// The same over at most len bytes, for value text inside a key's block.
uint32_t ParseDword(const char* text, size_t len);

// The same reading with what the modulo loses kept: whether any of the digits
// read is not 0, so that a reader asking "is the number non-zero" also gets
// the right answer for multiples of 2^32.
struct DecimalReading {
    uint32_t value;      // as ParseDword gives it
    bool     nonZero;    // the number itself (before the modulo) is not 0
};
DecimalReading ReadDecimal(const char* text, size_t len);

// Decimal forms of a dword: created lines carry "%u", rewritten lines "%d".
// out needs 12 bytes; returns the digit count.
size_t FormatDwordUnsigned(uint32_t value, char* out);
size_t FormatDwordSigned(uint32_t value, char* out);

// Bytes the format cannot carry: a name with '"', CR or LF; a string value
// holding CR LF (which covers '"' CR LF: loading splits lines at every CR LF)
// or a NUL within its length.
bool NameIsWritable(const char* name, size_t len);
// The length of a value name of 1 to 100 bytes that the format can carry, or
// 0 for any other; it reads no further than the 101st byte.
size_t WritableNameLength(const char* name);
bool StringIsWritable(const char* value, size_t len);

// The complete file for a text of value lines: the text, then its CRC line.
std::string BuildKeyFile(const char* text, size_t len);

// The validity rule: the first "CRC:" found from 20 bytes before the end must
// be followed by exactly the CRC line of everything before it and nothing else.
// On success *textLength is the length of the text before "CRC:".
bool ValidateKeyFile(const char* data, size_t size, size_t* textLength);

} // namespace keyfile
