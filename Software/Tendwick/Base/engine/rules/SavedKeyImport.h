// How a save on the media becomes writes into a unit's keys: the order in
// which a restore takes the catalogue, the key each row goes to, which lines
// of a saved file it takes and what each becomes. The engine writes through
// the store; the media inspector plays the same steps on a copy of a unit's
// keys. Both go through these functions, so the two cannot drift. No windows.h.
#pragma once

#include "EngineKeys.h"
#include "KeyDataBlock.h"
#include "PersistLines.h"
#include "SavedFileCatalogue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A saved key file read whole, a NUL after its last byte.
struct SavedFileText {
    std::unique_ptr<char[]> pBytes;
    size_t                  nLength = 0;
};

enum SavedFileRead {
    SAVED_READ_OK,
    SAVED_READ_NO_FILE,
    SAVED_READ_NO_MEMORY,
    SAVED_READ_TOO_LARGE,   // larger than any store key can be: not read at all
    SAVED_READ_SHORT,       // the read stopped before the file's end
};

// The largest saved file taken: a store key's whole text, index included,
// is bounded by this, so a larger file is no key the save wrote.
const size_t SAVED_FILE_MAX_BYTES = keyfile::kMaxKeyBytes;

// Reads the file at path (a name the C library opens) into text; the size
// found is in *size (when given) whatever the result.
SavedFileRead ReadSavedFileText(const char* path, SavedFileText* text, long* size = nullptr);

// How many refused lines of one file are logged each; the rest are counted.
const unsigned REFUSED_LINES_LOGGED = 5;

// What a value line's type word asks for; the words are compared exactly.
enum ImportKind { IMPORT_BOOL, IMPORT_DWORD, IMPORT_STRING, IMPORT_BAD_TYPE };
ImportKind ImportKindOf(const char* type);

// One value line that passed the parse and the filter.
struct ImportValue {
    const char* pszName;
    const char* pszType;
    const char* pszText;    // as the line holds it
    ImportKind  kind;
    uint32_t    dwNumber;   // bool: the text as a signed number; dword: as the store's 32 bits; else 0
};

// Receives the lines of one saved file in file order.
class CSavedKeyVisitor {
public:
    virtual ~CSavedKeyVisitor() {}
    virtual void OnRefusedLine(ParseOutcome outcome, const char* line) = 0;
    // A line the row's filter does not admit: the unit keeps its own value.
    virtual void OnFilteredOut(const char* name, const char* type, const char* text) {}
    virtual void OnValue(const ImportValue& value) = 0;
    // True once the visitor has what it wanted: the walk ends there.
    virtual bool Done() const { return false; }
};

// The import's walk: every line before the CRC line that ends in CR LF is
// parsed; a refused line is reported and passed over, a parsed one is taken
// only when the filter (nullptr or count 0: every name) lists its name
// exactly. The text's line ends are replaced by NULs.
void WalkSavedKeyFile(char* text, size_t length, const ValueFilterItem* filter, uint32_t filterCount,
                      CSavedKeyVisitor& visitor);

// The store key a row is imported into: its file name up to the first period
// ("ShellConfig.pri" gives ShellConfig). False, key empty, when the name has
// no period or the key would not fit size.
bool SavedKeyName(const char* file, char* key, size_t size);

// One call of the per-row import in a restore.
struct RestoreStep {
    const SavedFileEntry* pEntry;
    bool                  bFirstPass;      // the option configurations, imported before all rows
    bool                  bStepProgress;
};

// The restore's order: the open-tolerant rows in table order (only the first
// of them steps the progress bar), then every row in table order.
std::vector<RestoreStep> RestoreSteps(const SavedFileEntry* rows = SavedFileCatalogue,
                                      size_t count = SAVED_FILE_COUNT);

// After the data-link client key is imported from a save of the legacy part
// family, the client's device is filled in where the save lacks it.
const char DATALINK_SUBDIR[] = "DatalinkPersist";
const char DATALINK_KEY[] = "Client";
const char DATALINK_DEVICE[] = "Device";
const uint32_t DATALINK_DEVICE_DEFAULT = 1;
const char DATALINK_DEVICE_TEXT[] = "DeviceStr";
const char DATALINK_DEVICE_TEXT_DEFAULT[] = "VuvodUV";
// Each present value is read as text into a buffer of this size; a read that
// fails or does not fit counts as missing.
const size_t DATALINK_READ_SIZE = 100;

bool NeedsDatalinkFixUp(const char* subdir, const char* key, const char* savedPart);

// What every restore leaves as the unit's startup application.
const char* const RESTORE_STARTUP_SUBDIR = kShellPersist;
const char RESTORE_STARTUP_KEY[] = "ShellConfig";
const uint32_t RESTORE_STARTUP_COUNT = 1;
const char RESTORE_STARTUP_APP[] = "c:\\zelsys\\system.exe|Maintenance";
