// Indexing and editing of a key's value lines inside its data block. None of
// these functions allocate or grow anything: the caller has already made the
// block large enough (capacity above the new total) before an edit.
#pragma once

#include "KeyDataBlock.h"
#include "KeyFileFormat.h"

namespace keyfile {

// Indexes the text of a freshly loaded valid file. The text (textLength bytes,
// cut before its CRC line) already stands at offset 524 followed by a NUL.
// Sets the sorted flag, count (at most 255 lines) and the end entry; returns
// the total length (524 + textLength).
uint32_t IndexKeyText(KeyDataBlock* block, uint32_t textLength);

// ASCII case-insensitive comparison over n bytes, as _strnicmp in the C locale.
int CompareNoCase(const char* a, const char* b, size_t n);

struct Lookup {
    bool found;
    int  index;            // the matching line, or where a missing name is to be inserted
    bool damaged = false;  // an offset on the way pointed outside the text
};

// Finds a name among the indexed lines: binary search when the sorted flag is
// set, otherwise from the first line (a missing name then goes at the end).
// Names compare without case as if followed by their closing quote, the order
// the sorted flag was computed in. No byte at or past `total` is read: each
// offset is checked before it is used, and one outside the text ends the
// search as damaged.
Lookup FindValue(const KeyDataBlock* block, uint32_t total, const char* name, size_t nameLen);
// The same in a private block of full size whose text ends in its NUL.
Lookup FindValue(const KeyDataBlock* block, const char* name, size_t nameLen);

// What a process may trust of a block that every process maps, whose total
// length `length` some process stored, given the `viewBytes` this process
// mapped. The frame (enough for a read, which checks each offset it uses):
// the length within the view, the count within 0..255, the end entry within
// the text, and the NUL after the text.
bool BlockFrameSound(const KeyDataBlock* block, uint32_t length, uint32_t viewBytes);
// The frame and every indexed offset: inside the text and rising line by
// line. Required before a change, which moves bytes by these offsets.
bool BlockSound(const KeyDataBlock* block, uint32_t length, uint32_t viewBytes);

struct ValueRef {
    ValueType type;      // None when the line has none of the three forms
    uint32_t  offset;    // first byte of the value text
    uint32_t  length;    // string: bytes up to the first '"' CR LF; others: up to CR LF
};

// The type and value text of indexed line `index`. Every scan stays within
// the line (up to the next indexed line, or the end entry) and below total.
// nameLen, when known (the line was found by a name holding no quote), spares
// the search for the name's closing quote.
ValueRef ReadValue(const KeyDataBlock* block, uint32_t total, int index, size_t nameLen = 0);

// Inserts the line `"name"=type:value` + CR LF at position p (0..count); at
// p == count it goes right behind the indexed text. Returns the new total
// (capacity > new total is the caller's), or total unchanged when the line
// cannot go in: 255 lines indexed, p out of range, or past 65536 bytes.
uint32_t InsertLine(KeyDataBlock* block, uint32_t total, int p, const char* name, size_t nameLen,
                    ValueType type, const char* value, size_t valueLen);

// Line length of a new line of the given kind (what InsertLine adds).
uint32_t LineLength(ValueType type, size_t nameLen, size_t valueLen);

// Replaces the value text of line `index` (found by ReadValue) with newValue,
// moving the rest of the text and the following offsets. Returns the new total.
// newValue must not point into the block.
uint32_t ReplaceValue(KeyDataBlock* block, uint32_t total, int index, const ValueRef& old,
                      const char* newValue, size_t newLen);

// Removes indexed line `index` and returns the new total. Text after the
// indexed lines (lines beyond the 255th) is kept.
uint32_t DeleteLine(KeyDataBlock* block, uint32_t total, int index);

} // namespace keyfile
