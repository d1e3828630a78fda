#include "IdentityRules.h"

#include "TextFields.h"

#include <cstring>

namespace {

const char kFamilyWord[] = "tarnvello";
const size_t kFamilyWordChars = sizeof(kFamilyWord) - 1;

const char kLegacyFamily[] = "612-00288";
const size_t kLegacyFamilyChars = sizeof(kLegacyFamily) - 1;

bool EqualsNoCaseN(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        char ca = a[i], cb = b[i];
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb) return false;
        if (!ca) return true;
    }
    return true;
}

} // namespace

bool IsValidSerialNum(const char* text)
{
    if (!text) return false;
    size_t length = std::strlen(text);
    if (length < 4 || length > kFamilyWordChars + 1) return false;
    // '|' parts the serial number from the part number in the saved identity
    // record: such a save would read back as another unit's.
    if (std::strchr(text, '|')) return false;
    size_t compared = length <= kFamilyWordChars ? length : kFamilyWordChars;
    return !EqualsNoCaseN(text, kFamilyWord, compared);
}

bool IsLegacyShellPart(const char* partNumber)
{
    return partNumber && std::strncmp(partNumber, kLegacyFamily, kLegacyFamilyChars) == 0;
}

bool IsSameUnitIdentity(const char* savedSerial, const char* savedPart, int savedRevision, const char* serial,
                        const char* part, int revision)
{
    if (IsValidSerialNum(serial) && !EqualsNoCase(savedSerial ? savedSerial : "", serial)) return false;
    return PrefixMatch(savedPart ? savedPart : "", part ? part : "") && savedRevision == revision;
}

void ParseSavedPartNum(const char* record, char* partOut, int* revisionOut, char* serialOut, size_t outSize)
{
    CopyText(partOut, outSize, "");
    if (revisionOut) *revisionOut = -1;

    char fields[2][SAVED_FIELD_SIZE];
    SplitFields(record, '|', &fields[0][0], SAVED_FIELD_SIZE, 2);
    CopyText(serialOut, outSize, fields[0]);
    ScanPartNumText(fields[1], partOut, outSize, revisionOut);
}
