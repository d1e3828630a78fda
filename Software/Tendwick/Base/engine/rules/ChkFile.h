// The hive's checksum file "CorvaneUserRegistry.chk": the CRC of the hive
// printed as a signed decimal number and one line feed, nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

enum ChkOutcome {
    CHK_OK = 0,
    CHK_EMPTY,
    CHK_NOT_A_NUMBER,     // no digits where the number should start
    CHK_OUT_OF_RANGE,     // more than a 32-bit signed number holds, or a leading zero
    CHK_BAD_ENDING,       // anything but a single line feed after the number
};

// Reads the file's bytes. On CHK_OK and CHK_BAD_ENDING *crc holds the number
// as the 32 bits that the save printed.
ChkOutcome ParseChkText(const char* bytes, size_t length, uint32_t* crc);

const char* ChkOutcomeText(ChkOutcome outcome);
