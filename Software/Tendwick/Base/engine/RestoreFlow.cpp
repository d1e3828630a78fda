// The restore onto a target unit: the saved key files are imported into the
// unit's own store (option configurations first), the address book comes
// back, the knob layout is re-applied on ZR455 units, and the unit's system
// program becomes its startup application again.
#include "RunMaint.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "DurableCopy.h"
#include "EngineLimits.h"
#include "MediaListing.h"
#include "PlanSources.h"
#include "Retenta.h"
#include "RestoreOutcome.h"
#include "SavedFileCatalogue.h"
#include "SavedKeyImport.h"
#include "TextFields.h"
#include "WholeRoot.h"

#include <cstring>
#include <set>
#include <string>

namespace {

const size_t kLocalRootChars = 511;

} // namespace

int CRunMaint::RestoreConfig(const char* mediaRoot, const char* persistRoot, HKEY)
{
    RequireWholeRoot("RestoreConfig", "Media root", mediaRoot, kMediaRootChars);
    RequireWholeRoot("RestoreConfig", "Persist root", persistRoot, kLocalRootChars);
    const std::string configFolder = TextPrefix(mediaRoot, kMediaRootChars) + "ZelConfig\\";
    m_pOwner->SetProgressRange(0, kRestoreProgressSteps);
    const std::string persistFolder = configFolder + "Persist\\";
    const std::string localRoot = TextPrefix(persistRoot, kLocalRootChars);

    m_pOwner->SetStatusText("Updating configuration from removable media...", 0);
    m_restoreOutcome = RestoreOutcome();

    // What the save holds is read once, before anything is imported: a file
    // that cannot be read later (the stick pulled, a bad sector) then counts
    // as not taken, never as one the save did not have.
    CMediaListing listing;
    if (!listing.Read(persistFolder.substr(0, persistFolder.size() - 1))) {
        CsrLog(CSRLOG_ERROR, "RestoreConfig: Unable to list %s; GetLastError = %d; nothing imported\n",
               persistFolder.c_str(), static_cast<int>(listing.Error()));
        m_restoreOutcome.bMediaUnreadable = true;
        return 0;
    }

    // Option configurations first, then every row; RestorePersistFile applies
    // the factory-configuration gate and logs a skip. A file imported in both
    // passes counts once when it was not taken.
    std::set<const SavedFileEntry*> notTaken;
    for (const RestoreStep& step : RestoreSteps())
        if (!RestorePersistFile(*step.pEntry, persistFolder.c_str(), localRoot.c_str(), step.bStepProgress,
                                listing))
            notTaken.insert(step.pEntry);
    m_restoreOutcome.nFilesNotTaken = static_cast<unsigned>(notTaken.size());

    const std::string savedBook = persistFolder + "AddressBook.txt";
    const std::string bookFolder = TextPrefix(persistRoot, 3) + "ZelData\\DatalinkData";
    const std::string bookTarget = bookFolder + "\\AddressBook.txt";
    if (!listing.Contains("AddressBook.txt")) {
        CsrLog(CSRLOG_TRACE, "RestoreConfig: File (%s) not present on removable media\n", savedBook.c_str());
    } else {
        CsrLog(CSRLOG_TRACE, "RestoreConfig Copying %s to %s\n", savedBook.c_str(), bookTarget.c_str());
        FcCreateDirectory(bookFolder.c_str());
        if (CopyFileFlushed(savedBook, bookTarget)) {
            m_pOwner->SetDetailText(bookTarget.c_str(), 0);
        } else {
            m_restoreOutcome.bAddressBookFailed = true;
            CsrLog(CSRLOG_WARNING, "RestoreConfig: Unable to restore %s to %s; GetLastError = %d\n",
                   savedBook.c_str(), bookTarget.c_str(), static_cast<int>(GetLastError()));
        }
        PumpMessages(250);
    }

    // The knob layout as the plan gives it, from the unit as the import left it.
    PlanInput input;
    input.persistRoot = persistRoot;
    CStoreSettings unit;
    const KnobPlan knob = PlanKnobLayout(input, unit);
    if (!knob.bPlatformRead) {
        // The layout depends on the platform: without it, it is not known to be right.
        m_restoreOutcome.bKnobLayoutFailed = knob.nPlatformDetail != PERS_FAILED_VALUE_MISSING_NOT_CREATED;
        CsrLogEvent("RestoreConfig: Unable to access ShellConfig\\Platform; GetLastError = %d\n",
                    static_cast<int>(knob.nPlatformDetail));
    } else if (knob.bApplied) {
        CsrLogEvent("RestoreConfig: Platform is ZR455; calling SetKnobConfig\n");
        m_restoreOutcome.bKnobLayoutFailed = !CarryOutKnobLayout(knob, persistRoot);
    } else {
        CsrLogEvent("RestoreConfig: Platform is %s; skipping SetKnobConfig\n", knob.platform.c_str());
    }

    m_restoreOutcome.bStartupFailed =
        PersistOneDW(RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY, kStoreTimeout, "NumStartupApps",
                     RESTORE_STARTUP_COUNT) == PERS_FAILED ||
        PersistOneString(RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY, kStoreTimeout, "StartupApp1",
                         RESTORE_STARTUP_APP) == PERS_FAILED;
    return m_restoreOutcome.Finished() ? 1 : 0;
}

bool CRunMaint::IsSaveStillReadable(const char* mediaRoot)
{
    const std::string configFolder = TextPrefix(mediaRoot, kMediaRootChars) + "ZelConfig\\";
    for (const char* name : {"CorvaneUserRegistry.reg", "SWPartNum.txt"}) {
        const std::string path = configFolder + name;
        uint32_t crc = 0;
        DWORD error = GetFileCrc(path.c_str(), &crc);
        if (error == ERROR_SUCCESS) continue;
        CsrLog(CSRLOG_ERROR, "RestoreConfig: %s no longer reads whole; GetLastError = %d\n", path.c_str(),
               static_cast<int>(error));
        return false;
    }
    return true;
}
