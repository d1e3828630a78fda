#include "ChkFile.h"

ChkOutcome ParseChkText(const char* bytes, size_t length, uint32_t* crc)
{
    *crc = 0;
    if (length == 0) return CHK_EMPTY;
    size_t at = 0;
    bool negative = bytes[0] == '-';
    if (negative) ++at;
    size_t digitsFrom = at;
    // At most 10 digits are read: the widest value, 2147483648, has 10.
    uint64_t magnitude = 0;
    while (at < length && at - digitsFrom < 11 && bytes[at] >= '0' && bytes[at] <= '9')
        magnitude = magnitude * 10u + static_cast<uint64_t>(bytes[at++] - '0');
    size_t digits = at - digitsFrom;
    if (digits == 0) return CHK_NOT_A_NUMBER;
    // "%d" writes no leading zeros and no "-0"; a longer run is no 32-bit number.
    bool leadingZero = bytes[digitsFrom] == '0' && (digits > 1 || negative);
    if (digits > 10 || leadingZero || magnitude > (negative ? 2147483648ull : 2147483647ull))
        return CHK_OUT_OF_RANGE;
    *crc = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude)) : static_cast<uint32_t>(magnitude);
    if (length - at != 1 || bytes[at] != '\n') return CHK_BAD_ENDING;
    return CHK_OK;
}

const char* ChkOutcomeText(ChkOutcome outcome)
{
    switch (outcome) {
    case CHK_OK:           return "well-formed";
    case CHK_EMPTY:        return "empty";
    case CHK_NOT_A_NUMBER: return "holds no number";
    case CHK_OUT_OF_RANGE: return "holds no 32-bit number";
    case CHK_BAD_ENDING:   return "does not end in one line feed after the number";
    }
    return "unreadable";
}
