// Arbitrary bytes as the disabling record "SWDisable.txt" in a unit's persist
// root: the word the undo reads, fed in pieces whose size the first byte
// picks, must be what a plain reading gives, and its two fields must fit.
#include "DisableRecord.h"
#include "FuzzCheck.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The record's word read the plain way, all bytes at once.
std::string PlainWord(const std::string& bytes, bool* cut)
{
    size_t at = 0;
    while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
    size_t end = at;
    while (end < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[end]))) ++end;
    *cut = end - at > DISABLE_RECORD_CHARS;
    return bytes.substr(at, std::min(end - at, DISABLE_RECORD_CHARS));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 64;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    CRecordWordReader reader;
    size_t fed = 0;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        fed = at;
        if (!reader.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at))) break;
    }
    bool cut = false;
    FUZZ_CHECK(reader.Word() == PlainWord(bytes, &cut));
    FUZZ_CHECK(reader.WasCut() == cut);
    // Feeding more after the word is complete changes nothing.
    std::string word = reader.Word();
    if (fed + chunk < bytes.size()) FUZZ_CHECK(!reader.Feed("more", 4) && reader.Word() == word);

    DisableRecordFields fields;
    std::memset(&fields, 0x7f, sizeof(fields));
    SplitDisableRecord(word, &fields);
    FUZZ_CHECK(std::strlen(fields.szPicture) <= DISABLE_VALUE_BYTES - 2);
    FUZZ_CHECK(std::strlen(fields.szMap) <= DISABLE_VALUE_BYTES - 2);
    FUZZ_CHECK(std::strchr(fields.szPicture, '|') == nullptr);
    FUZZ_CHECK(std::strchr(fields.szMap, '|') == nullptr);
    FUZZ_CHECK(word.compare(0, std::strlen(fields.szPicture), fields.szPicture) == 0);
    return 0;
}
