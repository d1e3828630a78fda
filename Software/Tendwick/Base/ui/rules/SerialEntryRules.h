// The serial number as the technician types it with the knobs: a text of at
// most 10 characters from a 56-character set, edited at its last character.
// No windows.h.
#pragma once

#include <cstdint>

const int SERIAL_ENTRY_CHARS = 10;
// Index 0 (space) marks an empty position; editing moves between 1 and 55.
extern const char SERIAL_CHARACTER_SET[];   // 56 characters
const int SERIAL_FIRST_INDEX = 1;
const int SERIAL_LAST_INDEX = 55;

class SerialEntryText {
public:
    SerialEntryText() { Clear(); }

    void Clear();
    // The entry starts from text (its first 10 characters, shown in upper
    // case); each position's index is its character's in the set (1 for a
    // character that is not in it, or for the space at index 0); the cursor
    // goes to the last character (0 when empty).
    void Start(const char* text);

    // The knob edits. Each returns true when the entry changed (text or
    // cursor), so that the window shows the text again.
    bool Up();      // next character of the set, no wrap
    bool Down();    // previous character, no wrap
    bool Right();   // a new empty position after a non-empty cursor, up to 10
    bool Left();    // delete at the cursor and step back; at 0 empty the text

    const char* Text() const { return m_szText; }
    int Cursor() const { return m_nCursor; }
    // 0 (empty) for a position outside the text's 10.
    int IndexAt(int position) const
    {
        return (position >= 0 && position < SERIAL_ENTRY_CHARS) ? m_chIndex[position] : 0;
    }

private:
    char   m_szText[SERIAL_ENTRY_CHARS + 1];
    int8_t m_chIndex[SERIAL_ENTRY_CHARS];
    int    m_nCursor;
};
