// What a restore of the media would do to a unit whose store folder is given,
// computed without writing anything: the import's own rules (order, gate,
// key names, lines, filters, data-link fix-up) played on models of the
// unit's keys, then the steps that end every restore.
#pragma once

#include "KeyModel.h"
#include "MediaFiles.h"
#include "SavedFileCatalogue.h"

#include <string>
#include <vector>

struct DryRunOptions {
    // The configurations whose factory flag the gate tests (the system's list by default).
    const char* const* pGatedList = GatedKeyList;
    size_t             nGatedCount = GatedKeyCount;
    // The hive copy the unit's last save left on it ("C:\\CopyOfCorvaneUserReg.reg"
    // on the unit); empty when not known. A disabled unit takes back only the
    // save whose checksum file gives its CRC.
    fs::path           hiveCopy;
};

// Who writes a value in a restore.
enum ChangeOrigin { BY_IMPORT, BY_DATALINK_FIX_UP, BY_RESTORE_END };

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

// A saved value that the row's filter leaves out: the unit keeps its own.
struct KeptValue {
    std::string name, type, savedText;
    bool        bUnitHas = false;
    std::string unitType, unitText;
};

struct KeyDryRun {
    std::string               subdir, key;
    std::vector<std::string>  mediaNames;   // the rows that import into it
    KeySource                 source = KEY_CREATED;
    std::vector<ValueChange>  changes;
    std::vector<RefusedWrite> refused;
    std::vector<KeptValue>    kept;
    size_t                    nRefusedLines = 0;
    size_t                    nBadTypes = 0;
    std::vector<std::string>  notes;

    bool Changes() const { return !changes.empty(); }
};

// What a run of the Restore key does with the save on this unit.
enum RestoreCourse {
    COURSE_IMPORT,        // the import below, then the end of the restore
    COURSE_UNDO,          // the unit is disabled and the save its own: the disabling is undone
    COURSE_FINISH_UNDO,   // an undo of exactly this save was cut off: it is finished
    COURSE_REFUSED,       // the Restore key is not offered: the unit is disabled and the save not the one that
                          // disabled it, the release table refuses, the media holds no whole save, or a
                          // save folder is a link
};

struct TargetFinding {
    std::string partText;         // SystemData "SoftwarePartNum", or "Unknown"
    std::string part;
    int         nRevision = -1;
    std::string serial;           // SystemData "SerialNumber" (the registry's, when set, wins on the unit)
    std::string ferrox;           // the Ferrox state, empty when none
    bool        bDisabled = false;
    bool        bReleaseAllows = false;
    bool        bRecordPresent = false;   // "SWDisable.txt"
    std::string recordWord;
    bool        bRecordCut = false;
    std::string recordPicture, recordMap;
    bool        bOwnSave = false;         // the save names this unit (by the store's serial number)
    bool        bUndoProof = false;       // the undo's proof on the unit names the save on the media
    bool        bSavedFiles = false;      // the saved hive and the identity record are both on the media
    bool        bLinkedFolder = false;    // the media's configuration or persist folder is a link
    bool        bOtherSaveDisabled = false;   // the unit's hive copy names another save of the unit
    RestoreCourse course = COURSE_IMPORT;
};

struct DryRunReport {
    std::string              shownPersistRoot;
    bool                     bPersistRootFound = false;
    TargetFinding            target;
    std::vector<KeyDryRun>   keys;           // in the order the restore first opens them
    std::vector<std::string> skippedRows;    // "configuration: media name", not factory-configured
    std::vector<std::string> steps;          // the restore's other steps, as text
    size_t                   nFilesNotTaken = 0;   // saved files present that the import would not take whole

    size_t ChangedKeys() const;
    size_t ChangedValues() const;
};

DryRunReport DryRunRestore(const fs::path& mediaRoot, const fs::path& persistRoot, const std::string& shownPersistRoot,
                           const DryRunOptions& options = DryRunOptions());

const char* ChangeOriginText(ChangeOrigin origin);
const char* RestoreCourseText(RestoreCourse course);
