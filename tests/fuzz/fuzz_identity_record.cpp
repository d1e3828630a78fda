// Arbitrary bytes as the identity record "SWPartNum.txt": taken apart as the
// engine does (field split, part-number scan, serial rule, release rows), and
// the field split and scan again with buffer sizes picked by the input.
#include "FuzzCheck.h"
#include "IdentityRules.h"
#include "MediaInspection.h"
#include "ReleasePairs.h"
#include "TextFields.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string record(reinterpret_cast<const char*>(data), size);
    IdentityFinding identity = ParseIdentityRecord(record.substr(0, SAVED_RECORD_BYTES));
    FUZZ_CHECK(identity.serial.size() <= SAVED_FIELD_SIZE - 2);
    FUZZ_CHECK(identity.part.size() <= SAVED_FIELD_SIZE - 2);
    FUZZ_CHECK(identity.serial.find('|') == std::string::npos);
    FUZZ_CHECK(identity.bSerialValid == IsValidSerialNum(identity.serial.c_str()));
    for (size_t row : identity.acceptingRows) {
        FUZZ_CHECK(row < RELEASE_PAIR_ROWS - 1);
        FUZZ_CHECK(identity.part == ReleasePairTable[row].pszSourcePart);
        FUZZ_CHECK(identity.nRevision == ReleasePairTable[row].nSourceRevision);
    }
    if (identity.part.empty()) FUZZ_CHECK(identity.nRevision == -1);

    // The split and the scan with small buffers: every field stays terminated
    // inside its own bytes.
    if (size < 2) return 0;
    const size_t fieldSize = 1 + data[0] % 40;
    const size_t maxFields = 1 + data[1] % 4;
    std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    text = text.substr(0, text.find('\0'));
    std::vector<char> fields(fieldSize * maxFields + 1, '\x7f');
    SplitFields(text.c_str(), static_cast<char>(data[0]), fields.data(), fieldSize, maxFields);
    FUZZ_CHECK(fields.back() == '\x7f');
    for (size_t i = 0; i < maxFields; ++i) {
        const char* field = &fields[i * fieldSize];
        FUZZ_CHECK(std::memchr(field, '\0', fieldSize) != nullptr);
        FUZZ_CHECK(std::strlen(field) <= (fieldSize >= 2 ? fieldSize - 2 : 0));
    }
    std::vector<char> part(fieldSize + 1, '\x7f');
    int revision = -7;
    int assigned = ScanPartNumText(text.c_str(), part.data(), fieldSize, &revision);
    FUZZ_CHECK(part.back() == '\x7f');
    FUZZ_CHECK(assigned >= 0 && assigned <= 2);
    FUZZ_CHECK(std::memchr(part.data(), '\0', fieldSize) != nullptr || assigned == 0);
    if (assigned < 2) FUZZ_CHECK(revision == -7);
    return 0;
}
