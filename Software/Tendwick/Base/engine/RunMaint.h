// CRunMaint, the save-and-restore engine: one object per maintenance window,
// the window's one way in. It tells the window who the unit is and what it
// may do (Survey), and runs one key press at a time (MaintRun): each press
// reads its run context once (RunContext.h) and hands it to the save
// (SaveFlow.h), the restore (RestoreFlow.h) or the disabling and its undo
// (Disabling.h).
//
// The files that make up a unit's configuration, walked by the save and
// restore flows, are the saved-file catalogue: SavedFileCatalogue.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "FileException.h"
#include "ReleasePairs.h"
#include "RunContext.h"
#include "RestoreOutcome.h"
#include "RunResults.h"
#include "RunWindow.h"

// Size of the media-root and persist-root buffers of GetUpdatePath: a
// registry value of up to 512 bytes, the backslash added to it, the terminator.
const size_t MAINT_ROOT_SIZE = 514;

// What the opening screen shows and the keys depend on, as the engine
// decided it when last asked.
struct UnitSurvey {
    UnitIdentity      unit;
    bool              bSavedFiles = false;
    SavedIdentity     saved;
    bool              bSaveAllowed = false;
    EligibilityStatus saveStatus = ELIG_NONE;
    bool              bRestoreAllowed = false;
    EligibilityStatus restoreStatus = ELIG_RESTORE_UNKNOWN_ERROR;
};

class CRunMaint {
public:
    // The engine owns nothing: the window it reports to is the caller's.
    explicit CRunMaint(RunWindow* owner);

    // Unit identity: the part-number text and serial number (each in size
    // characters; false when only the fixed text was found); the part number
    // (at most 63 characters, it decides the unit's family) and revision
    // this engine works for; the identity a save left on the media (outputs
    // of at least SAVED_FIELD_OUT_SIZE characters keep their presets without one).
    bool GetSwPartNum(char* partText, char* serial, size_t size);
    void SetSwPartNum(const char* partNumber, int revision);
    void ReadSavedPartNum(char* partOut, int* revisionOut, char* serialOut);

    // Eligibility, each read afresh.
    bool AreThereSavedFiles();
    bool IsUnitDisabled();
    bool ChkSave(const char* part, int revision, EligibilityStatus* status);
    bool ChkRestoreAllow(const char* savedPart, int savedRevision, const char* part, int revision,
                         EligibilityStatus* status);
    bool IsSameUnitRestore();
    // Reads the unit, the media and both verdicts anew, and keeps them for
    // the presses that follow; LastSurvey gives them again without reading.
    // The next MaintRun works from the run context this survey read: a
    // window that surveys at each press reads the registry once per press.
    const UnitSurvey& Survey();
    const UnitSurvey& LastSurvey() const { return m_survey; }

    // One press of the Save key (0x70) or the Restore key (0x72). File
    // exceptions of the flows pass through.
    MaintResult MaintRun(RunWindow* window, uint32_t keyCode);
    // The questions and entries a press left standing.
    const RunPrompts& Prompts() const { return m_prompts; }
    // The window's ShowConfirm sets this for every prompt it shows.
    void SetConfirmShown(bool shown) { m_prompts.bConfirmShown = shown; }
    // Forgets every question and entry shown: the next press starts afresh.
    void ResetPrompts() { m_prompts = RunPrompts(); }

    // The save and the restore of one press, on its context.
    SaveStage SaveConfig(CRunContext& run);
    bool RestoreConfig(CRunContext& run, RestoreOutcome* outcome);

    // Media paths: the media root and the persist root (each cut to its
    // buffer's size - 1; MAINT_ROOT_SIZE takes them whole). Raises
    // CFileException without them. The run context gives them to the flows.
    bool GetUpdatePath(char* mediaRoot, size_t mediaSize, char* persistRoot, size_t persistSize);
    // The media root, when it fits into size - 1 characters.
    bool GetMediaRoot(char* buffer, size_t size);
    // Clears the save from the media of this moment.
    void ClearRemovableMedia();
    // File checksum: 0 and the CRC in *crc, or an operating-system error code.
    static DWORD GetFileCrc(const char* path, uint32_t* crc);

private:
    RunWindow*                   m_pOwner;
    UnitSurvey                   m_survey;
    RunPrompts                   m_prompts;
    std::unique_ptr<CRunContext> m_pPressRun;   // read by Survey for the next press
};
