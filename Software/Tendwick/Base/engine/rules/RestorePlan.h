// Everything a press of the Restore key would do to a unit, worked out before
// anything is written: whether it imports the save, undoes the disabling or is
// refused; per saved file each value set, kept or refused; the address book;
// the knob layout; the startup application; the serial number the window
// stores; and the unit's disabled state. The engine carries the plan out, the
// media inspector prints it. No windows.h.
#pragma once

#include "PersistLines.h"
#include "SavedFileCatalogue.h"
#include "SavedKeyImport.h"
#include "UnitSettings.h"

#include <string>
#include <vector>

// The save on the media, as a plan reads it.
class CSavedMedia {
public:
    virtual ~CSavedMedia() {}
    // Whether the save holds the file: the listing made before the import.
    virtual bool Lists(const char* mediaName) = 0;
    // The saved file's bytes (SavedKeyImport.h's reading rules); the size
    // found in *size, -1 when the file did not open.
    virtual SavedFileRead Read(const char* mediaName, std::string* bytes, long* size) = 0;
};

// What the Restore key does with the save on this unit.
enum RestoreCourse {
    COURSE_IMPORT,        // the import, then the end of the restore
    COURSE_UNDO,          // the unit is disabled and the save its own: the disabling is undone
    COURSE_FINISH_UNDO,   // an undo of exactly this save was cut off: it is finished
    COURSE_REFUSED,       // the unit is disabled and the save not the one that disabled it, the release
                          // table refuses, the media holds no whole save, or a save folder is a link
};

// What the caller finds on the media and the unit's files.
struct PlanInput {
    bool        bSavedIdentity = false;   // "SWPartNum.txt" read
    std::string savedSerial, savedPart;
    int         nSavedRevision = -1;
    bool        bSavedFiles = false;      // the saved hive and the identity record are both on the media
    bool        bLinkedFolder = false;    // the media's configuration or persist folder is a link
    bool        bUndoProof = false;       // the undo's proof on the unit names the save on the media
    bool        bHiveCopyOfAnotherSave = false;   // the unit's hive copy is not the save's
    bool        bRecordPresent = false;   // "SWDisable.txt" in the persist root, and its bytes
    std::string recordBytes;
    std::string persistRoot;              // as the engine names it (the installed files' paths)
    // The configurations whose factory flag the gate tests.
    const char* const* pGatedList = GatedKeyList;
    size_t             nGatedCount = GatedKeyCount;
};

// Who writes a value.
enum ChangeOrigin { BY_IMPORT, BY_DATALINK_FIX_UP, BY_KNOB_LAYOUT, BY_RESTORE_END, BY_UNDO, BY_SERIAL_NUMBER };
const char* ChangeOriginText(ChangeOrigin origin);

// One value write, in the order the run makes it.
struct PlannedWrite {
    std::string  subdir, key, name;
    ImportKind   kind;       // IMPORT_BAD_TYPE: a line of no known type, not written
    std::string  type;       // the type word
    std::string  text;       // as the saved line holds it
    uint32_t     number = 0;
    ChangeOrigin origin = BY_IMPORT;
    KeyWrite     result = KEY_WRITE_DONE;   // what the unit's key is expected to answer
};

// What becomes of one saved file in one step of the restore.
enum FileFate {
    FILE_IMPORTED,
    FILE_NOT_FACTORY_CONFIGURED,   // the gate skips the row
    FILE_NO_KEY_NAME,              // the catalogue's file name has no period
    FILE_NOT_ON_MEDIA,
    FILE_NOT_READ,                 // too large for a key, or unreadable
    FILE_KEY_NOT_OPEN,             // the unit's key does not open and the row does not go on without it
};

struct RefusedLine {
    ParseOutcome outcome;
    std::string  line;
    size_t       nBeforeWrite;   // the index in writes of the value line after it
};

// A saved value that the row's filter leaves out: the unit keeps its own.
struct KeptValue {
    std::string name, type, savedText;
    bool        bUnitHas = false;
    std::string unitType, unitText;
};

struct PlannedFile {
    RestoreStep               step;
    std::string               key;         // empty without a key name
    FileFate                  fate = FILE_IMPORTED;
    SavedFileRead             read = SAVED_READ_OK;
    long                      nSize = -1;
    bool                      bListed = false;
    bool                      bFailsCheck = false;   // imported all the same
    bool                      bKeyOpens = true;
    std::vector<PlannedWrite> writes;      // the import's, in file order
    std::vector<KeptValue>    kept;
    std::vector<RefusedLine>  refusedLines;
    std::vector<PlannedWrite> fixUp;       // the data-link fix-up after it
    bool                      bTaken = true;
};

// A value whose content the run changes: before and after.
struct ValueChange {
    std::string  name;
    bool         bExisted = false;   // false: the value is created
    std::string  oldType, oldText;
    std::string  newType, newText;
    ChangeOrigin origin = BY_IMPORT;
};

struct RefusedWrite {
    std::string name, type, text;
    KeyWrite    reason;
};

// One of the unit's keys the run reads or writes, in the order it first does.
struct PlannedKey {
    std::string               subdir, key;
    std::vector<std::string>  mediaNames;   // the rows that import into it
    std::vector<ValueChange>  changes;
    std::vector<RefusedWrite> refused;
    std::vector<KeptValue>    kept;
    size_t                    nRefusedLines = 0;
    size_t                    nBadTypes = 0;
    std::vector<std::string>  notes;
};

struct TargetFinding {
    std::string   partText;   // SystemData "SoftwarePartNum", or "Unknown"
    std::string   part;
    int           nRevision = -1;
    std::string   serial;     // the store's "SerialNumber"
    std::string   unitSerial;   // the one the unit gives: the registry's, the store's or its computer name
    std::string   ferrox;     // the disabled state, empty when none
    std::string   stateKey;   // the key that holds it
    bool          bDisabled = false;
    bool          bReleaseAllows = false;
    bool          bRecordPresent = false;
    std::string   recordWord;
    bool          bRecordCut = false;
    std::string   recordPicture, recordMap;
    bool          bOwnSave = false;
    bool          bUndoProof = false;
    bool          bSavedFiles = false;
    bool          bLinkedFolder = false;
    bool          bOtherSaveDisabled = false;
    RestoreCourse course = COURSE_IMPORT;
};

// The knob layout: applied on ZR455 units only.
struct KnobPlan {
    bool          bPlatformRead = false;
    unsigned long nPlatformDetail = 0;   // why it was not (CUnitSettings::ReadDetail)
    std::string   platform;
    bool          bApplied = false;
    bool          bLevelsRead = false;
    unsigned long nLevelsDetail = 0;
    bool        bDual = false;
    std::vector<PlannedWrite> writes;
};

// The serial number a finished restore or undo stores at its end: the
// save's, when the unit gives no valid one of its own.
struct SerialPlan {
    bool        bChecked = false;   // the run finishes, so the window looks
    std::string unitSerial;         // what the unit gives after the run
    bool        bStored = false;
    std::string stored;
};

struct RestorePlan {
    TargetFinding             target;
    std::vector<PlannedFile>  files;          // one per restore step
    std::vector<PlannedKey>   keys;           // in the order the run first reads or writes them
    std::vector<std::string>  skippedRows;    // "configuration: media name", not factory-configured
    std::vector<std::string>  steps;          // the run's other steps, as text
    bool                      bAddressBook = false;   // copied from the media
    KnobPlan                  knob;
    std::vector<PlannedWrite> endWrites;      // startup application; the undo's settings
    size_t                    nFilesNotTaken = 0;
    bool                      bFinishes = false;      // every saved file taken: the unit is marked
    std::string               stateBefore, stateAfter;
    SerialPlan                serial;

    size_t ChangedKeys() const;
    size_t ChangedValues() const;
};

RestorePlan BuildRestorePlan(const PlanInput& input, CUnitSettings& unit, CSavedMedia& media);

// The same plan a step at a time, for a caller that carries each step out
// before it plans the next (the engine): the unit is read as the steps before
// left it, and each saved file when its step comes.
PlannedFile PlanRestoreFile(const RestoreStep& step, const PlanInput& input, CUnitSettings& unit, CSavedMedia& media);
// forZR455: the platform is known to be ZR455, and not read.
KnobPlan    PlanKnobLayout(const PlanInput& input, CUnitSettings& unit, bool forZR455 = false);
// The knob assignments of one layout, "KnobLevels" first, in the order they are made.
std::vector<PlannedWrite> KnobLayoutWrites(bool dualConcentric);

// The course by the engine's rules, from what the target and input tell.
RestoreCourse DecideRestoreCourse(const TargetFinding& target);
const char* RestoreCourseText(RestoreCourse course);
