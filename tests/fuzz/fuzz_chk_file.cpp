// Arbitrary bytes as the hive's checksum file: a file the reading calls
// well-formed is exactly what the save prints for the number it read.
#include "ChkFile.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t crc = 0x12345678;
    ChkOutcome outcome = ParseChkText(reinterpret_cast<const char*>(data), size, &crc);
    FUZZ_CHECK(outcome >= CHK_OK && outcome <= CHK_BAD_ENDING);
    char printed[16];
    int length = std::snprintf(printed, sizeof(printed), "%d\n", static_cast<int32_t>(crc));
    if (outcome == CHK_OK) {
        FUZZ_CHECK(static_cast<size_t>(length) == size && std::memcmp(printed, data, size) == 0);
    } else if (outcome == CHK_BAD_ENDING) {
        // The number itself was the save's: only what follows it differs.
        FUZZ_CHECK(size >= static_cast<size_t>(length - 1) && std::memcmp(printed, data, length - 1) == 0);
    } else {
        FUZZ_CHECK(crc == 0);
    }
    return 0;
}
