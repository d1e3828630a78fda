// Byte-level text helpers of the engine: bounded copies, field splitting,
// prefix comparison, the part-number scan and the path-joining rule. No
// windows.h: the native sanitizer build covers them.
#pragma once

#include <cstddef>
#include <string>

// The one way text enters a fixed buffer: copies at most size - 1
// characters of src (none of a null src) into dest and terminates it; never
// writes past size bytes. False when src did not fit whole (it was cut), or
// when there is no buffer (size 0).
bool CopyText(char* dest, size_t size, const char* src);

// The first maxChars characters of text (all of it when shorter).
std::string TextPrefix(const char* text, size_t maxChars);

// Splits text at separator into at most maxFields fields. The fields lie one
// after the other, fieldSize bytes apart, starting at fields. Every field is
// first emptied; each keeps at most fieldSize - 2 characters and is always
// terminated. A field ends at each separator and at the text's last
// character, so "A|" gives one field and "|B" gives an empty first field.
void SplitFields(const char* text, char separator, char* fields, size_t fieldSize, size_t maxFields);

// True when the first n characters of a and b are equal without regard to
// case, n being the length of the shorter text: an empty text matches all.
bool PrefixMatch(const char* a, const char* b);

// Whole-text comparison without regard to case (ASCII letters only).
bool EqualsNoCase(const char* a, const char* b);

// The scan "%s %*s %d" of a part-number text such as "612-00340-000 Rev 1":
// the first word goes to part (cut to partSize - 1 characters), the second
// word is skipped, the third is read as a decimal number into revision
// (clamped to the 32-bit range). What the text lacks stays as the caller
// preset it. Returns how many of part and revision were assigned (0 to 2).
int ScanPartNumText(const char* text, char* part, size_t partSize, int* revision);

// The engine's path-joining rule: the folder up to and including its last
// backslash (the whole folder and a backslash when it has none), then name
// without one leading backslash.
std::string JoinPath(const char* folder, const char* name);

// Adds a backslash unless text already ends in one.
void AddTrailingBackslash(std::string& text);
