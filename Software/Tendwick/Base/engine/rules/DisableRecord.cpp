#include "DisableRecord.h"

#include "TextFields.h"

#include <cctype>

bool CRecordWordReader::Feed(const char* bytes, size_t count)
{
    for (size_t i = 0; i < count && !m_bDone; ++i) {
        bool space = std::isspace(static_cast<unsigned char>(bytes[i])) != 0;
        if (!m_bStarted) {
            if (space) continue;
            m_bStarted = true;
        }
        if (space) {
            m_bDone = true;
        } else if (m_word.size() == DISABLE_RECORD_CHARS) {
            m_bCut = true;
            m_bDone = true;
        } else {
            m_word += bytes[i];
        }
    }
    return !m_bDone;
}

void SplitDisableRecord(const std::string& word, DisableRecordFields* fields)
{
    // The two buffers lie one after the other, as SplitFields wants them.
    char split[2][DISABLE_VALUE_BYTES];
    SplitFields(word.c_str(), '|', split[0], DISABLE_VALUE_BYTES, 2);
    CopyText(fields->szPicture, sizeof(fields->szPicture), split[0]);
    CopyText(fields->szMap, sizeof(fields->szMap), split[1]);
}

bool ShellRecordPicture(const std::string& bytes, std::string* picture)
{
    static const char kEnd[] = "| ";
    const size_t endLength = sizeof(kEnd) - 1;
    if (bytes.size() < endLength || bytes.size() > SHELL_RECORD_MAX_BYTES ||
        bytes.compare(bytes.size() - endLength, endLength, kEnd) != 0)
        return false;
    picture->assign(bytes, 0, bytes.size() - endLength);
    return true;
}
