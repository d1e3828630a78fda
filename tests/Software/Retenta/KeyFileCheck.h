// An independent reading of key files for the tests: the CRC, the validity
// rule and the value lines, written again here so that a fault in the store's
// own format code cannot hide itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace keycheck {

// CRC-32, polynomial 0x04C11DB7, most significant bit first, start 0, no final XOR.
uint32_t Crc(const std::string& bytes);

std::string CrcLine(const std::string& text);   // "CRC:%u\r\n"

struct Value {
    std::string name;
    std::string type;    // "string", "dword", "bool"
    std::string text;    // the value text as it stands in the file
};

struct ParsedKey {
    bool               valid = false;
    std::string        why;        // what made the file invalid
    std::vector<Value> values;     // in file order
};

// Applies the validity rule (the first "CRC:" from 20 bytes before the end,
// followed by exactly the CRC line of what precedes it) and splits the text
// into value lines; a line of none of the three forms makes the file invalid.
ParsedKey Parse(const std::string& bytes);

// name (lower case) -> value
std::map<std::string, Value> ByName(const ParsedKey& key);

} // namespace keycheck
