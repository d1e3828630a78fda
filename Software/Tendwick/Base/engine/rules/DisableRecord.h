// The disabling's record "SWDisable.txt" as the undo of the menu variant
// reads it back: one word (reading stops at the first white space) of at most
// DISABLE_RECORD_CHARS characters, split at '|' into the previous picture and
// the previous map entry. The record lies in the unit's persist root, where
// anything may have changed it. No windows.h.
#pragma once

#include <cstddef>
#include <string>

const size_t DISABLE_VALUE_BYTES = 200;
const size_t DISABLE_RECORD_CHARS = DISABLE_VALUE_BYTES - 1;

// Collects the record's word from the bytes as they are read, in any pieces.
class CRecordWordReader {
public:
    // Takes the next bytes; false once the word is complete, when reading
    // may stop.
    bool Feed(const char* bytes, size_t count);
    const std::string& Word() const { return m_word; }
    // Whether the word went on beyond DISABLE_RECORD_CHARS characters.
    bool WasCut() const { return m_bCut; }

private:
    std::string m_word;
    bool        m_bStarted = false;
    bool        m_bDone = false;
    bool        m_bCut = false;
};

struct DisableRecordFields {
    char szPicture[DISABLE_VALUE_BYTES];   // the previous "oemlogo"
    char szMap[DISABLE_VALUE_BYTES];       // the previous "Map"
};

// The two fields of the word (SplitFields: each keeps at most 198 characters).
void SplitDisableRecord(const std::string& word, DisableRecordFields* fields);

// The startup-app variant's record: the previous "SplashNoticeBitmap"
// followed by "| ". At most this many bytes.
const size_t SHELL_RECORD_MAX_BYTES = DISABLE_RECORD_CHARS + 2;

// The previous value, when the bytes are such a record whole; false for an
// empty or cut one (a disabling cut off while it wrote it) or anything longer.
bool ShellRecordPicture(const std::string& bytes, std::string* picture);
