#include "SerialEntryRules.h"

#include <cstring>

// No '|': it parts the serial number from the part number in the saved
// identity record.
const char SERIAL_CHARACTER_SET[] = " 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ-=+~!@#$%^&*(){}[]";
static_assert(sizeof(SERIAL_CHARACTER_SET) == SERIAL_LAST_INDEX + 2, "56 characters and the terminator");

namespace {

// The index that editing starts from: a character outside the set, and the
// leading space that marks an empty position, start on the digit 0.
int8_t StartIndexOf(char ch)
{
    const char* pszFound = ch ? std::strchr(SERIAL_CHARACTER_SET, ch) : nullptr;
    if (!pszFound || pszFound == SERIAL_CHARACTER_SET)
        return SERIAL_FIRST_INDEX;
    return static_cast<int8_t>(pszFound - SERIAL_CHARACTER_SET);
}

char UpperAscii(char ch)
{
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

}  // namespace

void SerialEntryText::Clear()
{
    std::memset(m_szText, 0, sizeof(m_szText));
    std::memset(m_chIndex, 0, sizeof(m_chIndex));
    m_nCursor = 0;
}

void SerialEntryText::Start(const char* text)
{
    Clear();
    int nLength = 0;
    for (; text && nLength < SERIAL_ENTRY_CHARS && text[nLength]; ++nLength) {
        // The index comes from the character as stored, so a lower-case letter
        // starts on the digit 0 although it shows in upper case.
        m_chIndex[nLength] = StartIndexOf(text[nLength]);
        m_szText[nLength] = UpperAscii(text[nLength]);
    }
    m_nCursor = nLength > 0 ? nLength - 1 : 0;
}

bool SerialEntryText::Up()
{
    if (m_chIndex[m_nCursor] >= SERIAL_LAST_INDEX)
        return false;
    ++m_chIndex[m_nCursor];
    m_szText[m_nCursor] = SERIAL_CHARACTER_SET[m_chIndex[m_nCursor]];
    return true;
}

bool SerialEntryText::Down()
{
    if (m_chIndex[m_nCursor] <= SERIAL_FIRST_INDEX)
        return false;
    --m_chIndex[m_nCursor];
    m_szText[m_nCursor] = SERIAL_CHARACTER_SET[m_chIndex[m_nCursor]];
    return true;
}

bool SerialEntryText::Right()
{
    if (m_nCursor >= SERIAL_ENTRY_CHARS - 1 || m_szText[m_nCursor] == '\0')
        return false;
    ++m_nCursor;
    m_szText[m_nCursor] = '\0';
    m_chIndex[m_nCursor] = 0;
    return true;
}

bool SerialEntryText::Left()
{
    if (m_nCursor > 0) {
        m_szText[m_nCursor] = '\0';
        m_chIndex[m_nCursor] = 0;
        --m_nCursor;
        return true;
    }
    if (m_szText[0] == '\0')
        return false;
    m_szText[0] = '\0';
    m_chIndex[0] = 0;
    return true;
}
