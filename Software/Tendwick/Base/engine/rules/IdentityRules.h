// The rules of a unit's identity that work on text alone: when a serial number
// is valid, which part numbers belong to the legacy family, and how the saved
// identity record "SWPartNum.txt" is taken apart. No windows.h.
#pragma once

#include <cstddef>

// The fixed text that stands in for a serial number when no source has one.
const char DEFAULT_SERIAL_NUMBER[] = "TARNVELLO";

// Capacity of each field of the saved identity record: SplitFields keeps
// SAVED_FIELD_SIZE - 2 = 28 characters, so output buffers of at least
// SAVED_FIELD_OUT_SIZE characters take a field whole.
const size_t SAVED_FIELD_SIZE = 30;
const size_t SAVED_FIELD_OUT_SIZE = 29;
// How much of the record is read from the media.
const size_t SAVED_RECORD_BYTES = 100;
// The buffers a part-number text or a serial number is read into from the
// unit's store and registry (terminator included).
const size_t IDENTITY_TEXT_SIZE = 128;

// A serial number is valid when it has 4 to 10 characters and does not start
// like the product-family word, compared without regard to case: 4 to 9
// characters equal to the word's beginning, or 10 whose first 9 are the word,
// are invalid.
bool IsValidSerialNum(const char* text);

// The legacy part family keeps its state in the older store key: part
// numbers whose first 9 characters are exactly "612-00288".
bool IsLegacyShellPart(const char* partNumber);

// Whether the save whose identity record names savedSerial and the release
// savedPart / savedRevision came from the unit with this identity. A unit
// with a valid serial number is told apart by it: both texts must be equal as
// a whole, without regard to case (a serial number that merely begins
// another names another unit). A unit without a valid serial number of its
// own cannot be told apart so, and the release decides alone: the part
// numbers match over the shorter length and the revisions are equal.
bool IsSameUnitIdentity(const char* savedSerial, const char* savedPart, int savedRevision, const char* serial,
                        const char* part, int revision);

// Takes a saved identity record (serial number, '|', part-number text) apart:
// serialOut gets the first field, partOut and revisionOut the scan of the
// second ("%s %*s %d"); partOut starts empty and revisionOut at -1. Each
// field keeps at most 28 characters; outputs have outSize characters (at
// least SAVED_FIELD_OUT_SIZE to take a field whole).
void ParseSavedPartNum(const char* record, char* partOut, int* revisionOut, char* serialOut, size_t outSize);
