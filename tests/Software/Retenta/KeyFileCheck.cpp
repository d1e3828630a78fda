#include "KeyFileCheck.h"

#include <cstdio>

namespace keycheck {

uint32_t Crc(const std::string& bytes)
{
    // Bit by bit, deliberately unlike the store's table.
    uint32_t reg = 0;
    for (unsigned char b : bytes) {
        reg ^= static_cast<uint32_t>(b) << 24;
        for (int i = 0; i < 8; ++i) reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
    }
    return reg;
}

std::string CrcLine(const std::string& text)
{
    char line[32];
    std::snprintf(line, sizeof line, "CRC:%lu\r\n", static_cast<unsigned long>(Crc(text)));
    return line;
}

ParsedKey Parse(const std::string& bytes)
{
    ParsedKey key;
    size_t from = bytes.size() > 20 ? bytes.size() - 20 : 0;
    size_t crc = bytes.find("CRC:", from);
    if (crc == std::string::npos) {
        key.why = "no CRC line";
        return key;
    }
    std::string text = bytes.substr(0, crc);
    if (bytes.compare(crc, std::string::npos, CrcLine(text)) != 0) {
        key.why = "CRC line does not match";
        return key;
    }
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            key.why = "text after the last line end";
            return key;
        }
        std::string line = text.substr(at, end - at);
        at = end + 2;
        size_t quote = line.find('"', 1);
        if (line.empty() || line[0] != '"' || quote == std::string::npos) {
            key.why = "line without a quoted name: " + line;
            return key;
        }
        Value v;
        v.name = line.substr(1, quote - 1);
        std::string rest = line.substr(quote + 1);
        if (rest.compare(0, 9, "=string:\"") == 0 && rest.size() >= 10 && rest.back() == '"') {
            v.type = "string";
            v.text = rest.substr(9, rest.size() - 10);
        } else if (rest.compare(0, 7, "=dword:") == 0) {
            v.type = "dword";
            v.text = rest.substr(7);
        } else if (rest.compare(0, 6, "=bool:") == 0) {
            v.type = "bool";
            v.text = rest.substr(6);
        } else {
            key.why = "line of no known type: " + line;
            return key;
        }
        key.values.push_back(v);
    }
    key.valid = true;
    return key;
}

std::map<std::string, Value> ByName(const ParsedKey& key)
{
    std::map<std::string, Value> out;
    for (const Value& v : key.values) {
        std::string lower = v.name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        out[lower] = v;
    }
    return out;
}

} // namespace keycheck
