// Whether this unit may be saved, whether the save on the media may be
// restored onto it, and whether it is the disabled source unit itself.
#include "RunMaint.h"

#include "CsrLog.h"
#include "DisablingFiles.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "MediaRoot.h"
#include "ReleasePairs.h"
#include "Retenta.h"
#include "TextFields.h"

#include <string>

bool CRunMaint::AreThereSavedFiles()
{
    std::string media;
    MediaRootSource source = ReadMediaRoot(kSavedFilesRootRule, media);
    if (source == MediaRootSource::NoKey) CsrLog(CSRLOG_WARNING, "AreThereSavedFiles: Could not open RegKey");
    if (source == MediaRootSource::NoValue) CsrLog(CSRLOG_WARNING, "AreThereSavedFiles: Could not open RegValue");
    if (source == MediaRootSource::TooLong) {
        CsrLog(CSRLOG_ERROR, "AreThereSavedFiles: Media root longer than %u characters: \"%.80s...\"\n",
               static_cast<unsigned>(kMediaRootChars), media.c_str());
        return false;
    }

    // The saved registry file marks a save, but only with the identity record
    // that a save writes last: without it the save was cut off, its remains
    // are no save, and a new save may clear them.
    std::string folder = media + "ZelConfig\\";
    return PathExists(JoinPath(folder.c_str(), "CorvaneUserRegistry.reg")) &&
           PathExists(JoinPath(folder.c_str(), "SWPartNum.txt"));
}

namespace {

// Whether the unit's Ferrox state reads as this text (without regard to case).
bool FerroxStateIs(bool legacy, const char* text)
{
    const char* key = legacy ? "SystemData" : "ShellConfig";
    char state[101] = {};
    long result = GetOnePersistedString("ShellPersist", key, kStoreTimeout, "Ferrox", sizeof(state), state, nullptr);
    state[sizeof(state) - 1] = '\0';
    return result == PERS_SUCCESS && EqualsNoCase(state, text);
}

} // namespace

bool CRunMaint::IsUnitDisabled()
{
    return FerroxStateIs(IsLegacyShellPart(), "SAVED");
}

bool CRunMaint::IsOwnSave(const char* serial, const char* part, int revision)
{
    char savedPart[SAVED_FIELD_OUT_SIZE] = {};
    int savedRevision = -1;
    char savedSerial[SAVED_FIELD_OUT_SIZE] = {};
    ReadSavedPartNum(savedPart, &savedRevision, savedSerial);
    // Only a unit that its serial number tells apart knows a save as its own.
    return IsValidSerialNum(serial) &&
           IsSameUnitIdentity(savedSerial, savedPart, savedRevision, serial, part, revision);
}

bool CRunMaint::ChkSave(const char* part, int revision, int* status)
{
    int ignored = 0;
    if (!status) status = &ignored;
    if (!part) part = "";

    *status = ELIG_NONE;
    // A save on the media protects the unit it came from, unless that unit is
    // this one: then a save cut off before the disabling may be made again,
    // and a disabling that was cut off may be finished (MaintRun).
    bool ownSave = false;
    if (AreThereSavedFiles()) {
        char serial[100] = {};
        GetSerialNum(serial, sizeof(serial));
        ownSave = IsOwnSave(serial, part, revision);
        if (!ownSave || (IsUnitDisabled() && IsDisablingComplete())) {
            *status = ELIG_SAVED_FILES_ON_DISK;
            CsrLog(CSRLOG_TRACE, "ChkSave: Saved Files Present\n");
            return m_bSaveAllowed = false;
        }
        CsrLog(CSRLOG_TRACE, "ChkSave: Saved Files Present are this unit's own save\n");
    }
    if (IsUnitDisabled() && !ownSave) {
        CsrLog(CSRLOG_ERROR, "ChkSave: Unit is disabled already\n");
        *status = ELIG_DISABLED_UNIT;
        return m_bSaveAllowed = false;
    }
    for (const ReleasePair* row = ReleasePairTable;; ++row) {
        *status = ELIG_INVALID_SOURCE;
        if (IsReleaseTableEnd(*row)) {
            CsrLog(CSRLOG_ERROR, "ChkSaveAllow: %s is not a valid source part and revision\n", part);
            return m_bSaveAllowed = false;
        }
        CsrLog(CSRLOG_TRACE, "ChkSaveAllow: comparing [%s Rev %d =? %s Rev %d]\n", part, revision,
               row->pszSourcePart, static_cast<int>(row->nSourceRevision));
        if (IsSaveSourceRow(*row, part, revision)) return m_bSaveAllowed = true;
    }
}

bool CRunMaint::ChkRestoreAllow(const char* savedPart, int savedRevision, const char* part, int revision,
                                int* status)
{
    int ignored = 0;
    if (!status) status = &ignored;
    if (!part) part = "";

    *status = ELIG_RESTORE_START;
    if (IsSameUnitRestore()) return m_bRestoreAllowed = true;
    if (IsUnitDisabled()) {
        *status = ELIG_DISABLED_UNIT;
        CsrLog(CSRLOG_ERROR, "ChkRestoreAllow: Unit is already disabled\n");
        return m_bRestoreAllowed = false;
    }
    *status = ELIG_INVALID_TARGET;
    for (const ReleasePair* row = ReleasePairTable; !IsReleaseTableEnd(*row); ++row)
        if (IsRestorePairRow(*row, savedPart, savedRevision, part, revision)) return m_bRestoreAllowed = true;
    CsrLog(CSRLOG_ERROR, "ChkRestoreAllow: %s is not a valid restore target\n", part);
    return m_bRestoreAllowed = false;
}

bool CRunMaint::IsSameUnitRestore()
{
    char savedPart[SAVED_FIELD_OUT_SIZE] = {};
    int savedRevision = -1;
    char savedSerial[SAVED_FIELD_OUT_SIZE] = {};
    ReadSavedPartNum(savedPart, &savedRevision, savedSerial);

    char partText[100];
    char serial[100];
    GetSwPartNum(partText, serial, sizeof(serial));
    char part[100] = {};
    int revision = -1;
    ScanPartNumText(partText, part, sizeof(part), &revision);

    return IsSameUnit(savedSerial, savedPart, savedRevision, serial, part, revision);
}

bool CRunMaint::IsSameUnit(const char* savedSerial, const char* savedPart, int savedRevision, const char* serial,
                           const char* part, int revision)
{
    if (!IsSameUnitIdentity(savedSerial, savedPart, savedRevision, serial, part, revision)) return false;
    if (IsUnitDisabled()) {
        // A disabled unit takes back only the save that disabled it, the last
        // one it made, whose hive copy it keeps: an older save of its own
        // would enable it while the newer one can still go onto another unit.
        if (!PathExists(kLocalRegistryCopy) || IsSaveOfInterruptedRun()) return true;
        CsrLog(CSRLOG_WARNING, "IsSameUnitRestore: The save is this unit's own, but not the one that disabled it\n");
        return false;
    }
    // An undo cut off after it recorded "RESTORED-ORIGINAL" and before it
    // cleared the media: taking the save back again finishes it. Only a unit
    // that its serial number tells apart may do so, and only with the proof
    // that the undo of exactly this save was cut off: a later save of its
    // own, or a kept copy of an older one, is restored like any other.
    return IsValidSerialNum(serial) && FerroxStateIs(IsLegacyShellPart(), "RESTORED-ORIGINAL") &&
           IsUndoOfMediaSaveCutOff();
}
