// Whether this unit may be saved, whether the save on the media may be
// restored onto it, and whether it is the disabled source unit itself.
#include "Eligibility.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "Disabling.h"
#include "DisablingFiles.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "ReleasePairs.h"
#include "RunContext.h"
#include "RunMaint.h"
#include "UnitIdentity.h"
#include "UnitState.h"

#include <string>

bool IsOwnSave(CRunContext& run, const char* serial, const char* part, int revision)
{
    const SavedIdentity& saved = run.Saved();
    // Only a unit that its serial number tells apart knows a save as its own.
    return IsValidSerialNum(serial) && IsSameUnitIdentity(saved.serial.c_str(), saved.part.c_str(), saved.revision,
                                                          serial, part, revision);
}

bool IsSameUnit(CRunContext& run, const char* serial, const char* part, int revision)
{
    const SavedIdentity& saved = run.Saved();
    if (!IsSameUnitIdentity(saved.serial.c_str(), saved.part.c_str(), saved.revision, serial, part, revision))
        return false;
    const CUnitState state(run.IsLegacy());
    if (state.IsDisabled()) {
        // A disabled unit takes back only the save that disabled it, the last
        // one it made, whose hive copy it keeps: an older save of its own
        // would enable it while the newer one can still go onto another unit.
        if (!FcPathExists(kLocalRegistryCopy) || CDisabling(run).IsSaveOfInterruptedRun()) return true;
        CsrLog(CSRLOG_WARNING, "IsSameUnitRestore: The save is this unit's own, but not the one that disabled it\n");
        return false;
    }
    // An undo cut off after it recorded "RESTORED-ORIGINAL" and before it
    // cleared the media: taking the save back again finishes it. Only a unit
    // that its serial number tells apart may do so, and only with the proof
    // that the undo of exactly this save was cut off: a later save of its
    // own, or a kept copy of an older one, is restored like any other.
    return IsValidSerialNum(serial) && state.Is(FerroxState::RestoredOriginal) &&
           CDisabling(run).IsUndoOfMediaSaveCutOff();
}

namespace {

// ChkSave on the run's context.
bool SaveAllowed(CRunContext& run, const char* part, int revision, EligibilityStatus* status)
{
    *status = ELIG_NONE;
    const bool disabled = CUnitState(run.IsLegacy()).IsDisabled();
    // A save on the media protects the unit it came from, unless that unit is
    // this one: then a save cut off before the disabling may be made again,
    // and a disabling that was cut off may be finished (MaintRun).
    bool ownSave = false;
    if (run.SavedFilesOnMedia("AreThereSavedFiles")) {
        char serial[IDENTITY_TEXT_SIZE] = {};
        GetSerialNum(serial, sizeof(serial));
        ownSave = IsOwnSave(run, serial, part, revision);
        if (!ownSave || (disabled && CDisabling(run).IsDisablingComplete())) {
            *status = ELIG_SAVED_FILES_ON_DISK;
            CsrLog(CSRLOG_TRACE, "ChkSave: Saved Files Present\n");
            return false;
        }
        CsrLog(CSRLOG_TRACE, "ChkSave: Saved Files Present are this unit's own save\n");
    }
    if (disabled && !ownSave) {
        CsrLog(CSRLOG_ERROR, "ChkSave: Unit is disabled already\n");
        *status = ELIG_DISABLED_UNIT;
        return false;
    }
    for (const ReleasePair* row = ReleasePairTable;; ++row) {
        *status = ELIG_INVALID_SOURCE;
        if (IsReleaseTableEnd(*row)) {
            CsrLog(CSRLOG_ERROR, "ChkSaveAllow: %s is not a valid source part and revision\n", part);
            return false;
        }
        CsrLog(CSRLOG_TRACE, "ChkSaveAllow: comparing [%s Rev %d =? %s Rev %d]\n", part, revision,
               row->pszSourcePart, static_cast<int>(row->nSourceRevision));
        if (IsSaveSourceRow(*row, part, revision)) return true;
    }
}

// ChkRestoreAllow on the run's context.
bool RestoreAllowed(CRunContext& run, const char* savedPart, int savedRevision, const char* part, int revision,
                    EligibilityStatus* status)
{
    *status = ELIG_RESTORE_START;
    const UnitIdentity& unit = run.Unit();
    if (IsSameUnit(run, unit.serial.c_str(), unit.part.c_str(), unit.revision)) return true;
    if (CUnitState(run.IsLegacy()).IsDisabled()) {
        *status = ELIG_DISABLED_UNIT;
        CsrLog(CSRLOG_ERROR, "ChkRestoreAllow: Unit is already disabled\n");
        return false;
    }
    *status = ELIG_INVALID_TARGET;
    for (const ReleasePair* row = ReleasePairTable; !IsReleaseTableEnd(*row); ++row)
        if (IsRestorePairRow(*row, savedPart, savedRevision, part, revision)) return true;
    CsrLog(CSRLOG_ERROR, "ChkRestoreAllow: %s is not a valid restore target\n", part);
    return false;
}

} // namespace

bool CRunMaint::AreThereSavedFiles()
{
    return CRunContext(m_survey.unit.part.c_str()).SavedFilesOnMedia("AreThereSavedFiles");
}

bool CRunMaint::IsUnitDisabled()
{
    return CUnitState(IsLegacyShellPart(m_survey.unit.part.c_str())).IsDisabled();
}

bool CRunMaint::ChkSave(const char* part, int revision, EligibilityStatus* status)
{
    EligibilityStatus ignored = ELIG_NONE;
    CRunContext run(m_survey.unit.part.c_str());
    m_survey.bSaveAllowed = SaveAllowed(run, part ? part : "", revision, status ? status : &ignored);
    return m_survey.bSaveAllowed;
}

bool CRunMaint::ChkRestoreAllow(const char* savedPart, int savedRevision, const char* part, int revision,
                                EligibilityStatus* status)
{
    EligibilityStatus ignored = ELIG_NONE;
    CRunContext run(m_survey.unit.part.c_str());
    m_survey.bRestoreAllowed =
        RestoreAllowed(run, savedPart, savedRevision, part ? part : "", revision, status ? status : &ignored);
    return m_survey.bRestoreAllowed;
}

bool CRunMaint::IsSameUnitRestore()
{
    CRunContext run(m_survey.unit.part.c_str());
    const UnitIdentity& unit = run.Unit();
    return IsSameUnit(run, unit.serial.c_str(), unit.part.c_str(), unit.revision);
}

const UnitSurvey& CRunMaint::Survey()
{
    m_pPressRun.reset();
    std::unique_ptr<CRunContext> press(new CRunContext(m_survey.unit.part.c_str()));
    CRunContext& run = *press;
    UnitSurvey survey;
    survey.unit = run.Unit();
    // The unit's family follows its part number from here on.
    SetSwPartNum(survey.unit.part.c_str(), survey.unit.revision);
    survey.unit.part = m_survey.unit.part;
    run.SetUnitPart(m_survey.unit.part.c_str());
    survey.bSavedFiles = run.SavedFilesOnMedia("AreThereSavedFiles");
    if (survey.bSavedFiles) survey.saved = run.Saved();
    const char* part = survey.unit.part.c_str();
    survey.restoreStatus = ELIG_NO_SAVED_FILES;
    if (survey.bSavedFiles)
        survey.bRestoreAllowed = RestoreAllowed(run, survey.saved.part.c_str(), survey.saved.revision, part,
                                                survey.unit.revision, &survey.restoreStatus);
    survey.bSaveAllowed = SaveAllowed(run, part, survey.unit.revision, &survey.saveStatus);
    m_survey = survey;
    m_pPressRun = std::move(press);
    return m_survey;
}
