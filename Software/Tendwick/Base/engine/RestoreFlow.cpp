// The restore onto a target unit: the saved key files are imported into the
// unit's own store (option configurations first), the address book comes
// back, the knob layout is re-applied on ZR455 units, and the unit's system
// program becomes its startup application again.
#include "RestoreFlow.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "DurableCopy.h"
#include "EngineKeys.h"
#include "EngineLimits.h"
#include "IdentityRules.h"
#include "MediaListing.h"
#include "MediaServices.h"
#include "MessagePump.h"
#include "PlanSources.h"
#include "Retenta.h"
#include "RestoreOutcome.h"
#include "RunContext.h"
#include "RunMaint.h"
#include "RunWindow.h"
#include "SavedFileCatalogue.h"
#include "SavedKeyImport.h"
#include "TextFields.h"
#include "UnitIdentity.h"
#include "UnitState.h"

#include <cstring>
#include <set>
#include <string>

bool CRestoreFlow::RestoreConfig(RestoreOutcome* outcome)
{
    *outcome = RestoreOutcome();
    m_run.RequireUpdatePaths("RestoreConfig");
    m_run.RequireMediaRoot("RestoreConfig");
    const std::string persistFolder = m_run.MediaRoot() + "ZelConfig\\Persist\\";
    m_pWindow->SetProgressRange(0, kRestoreProgressSteps);
    m_pWindow->SetStatusText("Updating configuration from removable media...", RUN_COLOUR_WHITE);

    // What the save holds is read once, before anything is imported: a file
    // that cannot be read later (the stick pulled, a bad sector) then counts
    // as not taken, never as one the save did not have.
    CMediaListing listing;
    if (!listing.Read(persistFolder.substr(0, persistFolder.size() - 1))) {
        CsrLog(CSRLOG_ERROR, "RestoreConfig: Unable to list %s; GetLastError = %d; nothing imported\n",
               persistFolder.c_str(), static_cast<int>(listing.Error()));
        outcome->bMediaUnreadable = true;
        return false;
    }

    // Option configurations first, then every row; RestorePersistFile applies
    // the factory-configuration gate and logs a skip. A file imported in both
    // passes counts once when it was not taken.
    std::set<const SavedFileEntry*> notTaken;
    for (const RestoreStep& step : RestoreSteps())
        if (!RestorePersistFile(*step.pEntry, persistFolder.c_str(), m_run.PersistRoot().c_str(), step.bStepProgress,
                                listing))
            notTaken.insert(step.pEntry);
    outcome->nFilesNotTaken = static_cast<unsigned>(notTaken.size());

    RestoreAddressBook(listing, persistFolder.c_str(), outcome);
    RestoreKnobLayout(outcome);
    outcome->bStartupFailed =
        PersistOneDW(RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY, kStoreTimeout, "NumStartupApps",
                     RESTORE_STARTUP_COUNT) == PERS_FAILED ||
        PersistOneString(RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY, kStoreTimeout, "StartupApp1",
                         RESTORE_STARTUP_APP) == PERS_FAILED;
    return outcome->Finished();
}

void CRestoreFlow::RestoreAddressBook(const CMediaListing& listing, const char* persistFolder,
                                      RestoreOutcome* outcome)
{
    const std::string savedBook = std::string(persistFolder) + "AddressBook.txt";
    const std::string bookFolder = TextPrefix(m_run.PersistRoot().c_str(), 3) + "ZelData\\DatalinkData";
    const std::string bookTarget = bookFolder + "\\AddressBook.txt";
    if (!listing.Contains("AddressBook.txt")) {
        CsrLog(CSRLOG_TRACE, "RestoreConfig: File (%s) not present on removable media\n", savedBook.c_str());
        return;
    }
    CsrLog(CSRLOG_TRACE, "RestoreConfig Copying %s to %s\n", savedBook.c_str(), bookTarget.c_str());
    // A folder that is there already is the usual case; one that cannot be
    // made fails the copy below, which is reported.
    FcCreateDirectory(bookFolder.c_str());
    if (CopyFileFlushed(savedBook, bookTarget)) {
        m_pWindow->SetDetailText(bookTarget.c_str(), RUN_COLOUR_WHITE);
    } else {
        outcome->bAddressBookFailed = true;
        CsrLog(CSRLOG_WARNING, "RestoreConfig: Unable to restore %s to %s; GetLastError = %d\n", savedBook.c_str(),
               bookTarget.c_str(), static_cast<int>(GetLastError()));
    }
    PumpMessagesFor(250);
}

void CRestoreFlow::RestoreKnobLayout(RestoreOutcome* outcome)
{
    // The knob layout as the plan gives it, from the unit as the import left it.
    PlanInput input;
    input.persistRoot = m_run.PersistRoot();
    CStoreSettings unit;
    const KnobPlan knob = PlanKnobLayout(input, unit);
    if (!knob.bPlatformRead) {
        // The layout depends on the platform: without it, it is not known to be right.
        outcome->bKnobLayoutFailed = knob.nPlatformDetail != PERS_FAILED_VALUE_MISSING_NOT_CREATED;
        CsrLogEvent("RestoreConfig: Unable to access ShellConfig\\Platform; GetLastError = %d\n",
                    static_cast<int>(knob.nPlatformDetail));
    } else if (knob.bApplied) {
        CsrLogEvent("RestoreConfig: Platform is ZR455; calling SetKnobConfig\n");
        outcome->bKnobLayoutFailed = !CarryOutKnobLayout(knob, m_run.PersistRoot().c_str());
    } else {
        CsrLogEvent("RestoreConfig: Platform is %s; skipping SetKnobConfig\n", knob.platform.c_str());
    }
}

bool CRestoreFlow::FinishRestore(RestoreOutcome* outcome)
{
    // The stick may have gone and come back during the import: only a save
    // still whole on it is cleared.
    outcome->bMediaUnreadable = !IsSaveStillReadable();
    if (outcome->Finished()) outcome->bStateFailed = !MarkRestored();
    // Restored, and the save still on a stick that was pulled or is
    // write-protected as it was cleared: it could go onto another unit. The
    // restore is not finished until the media answers without the save; the
    // same key runs it again and clears it.
    if (outcome->Finished()) outcome->bMediaNotCleared = !SaveGoneFromMedia(m_run);
    return outcome->Finished();
}

bool CRestoreFlow::MarkRestored()
{
    // The state first: a run cut off between the two then leaves the save on
    // the media, and the restore can simply be run again; the other way round
    // it would leave a restored unit that never records it.
    if (!CUnitState(m_run.IsLegacy()).Record(FerroxStep::Restore)) {
        CsrLog(CSRLOG_ERROR, "MarkRestored: Unable to record the state RESTORED; the media keeps the save\n");
        return false;
    }
    ClearRemovableMedia(m_run);
    return true;
}

bool CRestoreFlow::IsSaveStillReadable()
{
    const std::string configFolder = TextPrefix(m_run.MediaRoot().c_str(), kMediaRootChars) + "ZelConfig\\";
    for (const char* name : {"CorvaneUserRegistry.reg", "SWPartNum.txt"}) {
        const std::string path = configFolder + name;
        uint32_t crc = 0;
        DWORD error = CRunMaint::GetFileCrc(path.c_str(), &crc);
        if (error == ERROR_SUCCESS) continue;
        CsrLog(CSRLOG_ERROR, "RestoreConfig: %s no longer reads whole; GetLastError = %d\n", path.c_str(),
               static_cast<int>(error));
        return false;
    }
    return true;
}

void CRestoreFlow::StoreSourceSerialIfNeeded(const char* savedSerial)
{
    if (HasValidSerialNum() || !IsValidSerialNum(savedSerial)) return;
    // The restore is done and the media cleared: a number not stored leaves
    // the unit as it was before, and the entry asks for one at its next save.
    if (PersistOneString(kShellPersist, kSystemData, kStoreTimeout, "SerialNumber", savedSerial) == PERS_FAILED)
        CsrLog(CSRLOG_WARNING, "MaintRun: The saved serial number could not be stored\n");
}
