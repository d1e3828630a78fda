// The undo of this unit's own disabling, and whether it brought the unit's
// own settings back: the media's save is its only copy until then.
#include "Disabling.h"

#include "EngineKeys.h"
#include "FrameworkString.h"
#include "RegistryAccess.h"
#include "RunContext.h"
#include "UnitState.h"

#include "CsrLog.h"
#include "DisablingFiles.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "RestoreOutcome.h"
#include "Retenta.h"
#include "SavedKeyImport.h"
#include "TextFields.h"

bool CDisabling::IsUndoComplete()
{
    if (SettingUnsaved()) return false;
    const bool legacy = m_run.IsLegacy();
    if (!CUnitState(legacy).Is(FerroxState::RestoredOriginal)) return false;
    // The menu variant puts the unit's own picture and map entry back; the
    // other one the system program as the only startup application.
    if (legacy) return !MenuNamesInstalledFiles();
    unsigned long count = 0;
    char app[200] = {};
    if (GetOnePersistedDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", &count) != PERS_SUCCESS ||
        GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", sizeof(app), app,
                              nullptr) != PERS_SUCCESS)
        return false;
    app[sizeof(app) - 1] = '\0';
    return count == RESTORE_STARTUP_COUNT && EqualsNoCase(app, RESTORE_STARTUP_APP);
}

bool CDisabling::MenuNamesInstalledFiles()
{
    // Without the paths nothing tells the settings apart: they count as not put back.
    if (!m_run.HasUpdatePaths()) return true;
    const char* persist = m_run.PersistRoot().c_str();
    CString logo;
    CString map;
    ReadRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", logo);
    ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);
    const int comma = map.Find(',');
    const CString program = comma < 0 ? map : map.Left(comma);
    return EqualsNoCase(logo, JoinPath(persist, kInstalledPicture).c_str()) ||
           EqualsNoCase(program, JoinPath(persist, kInstalledShell).c_str());
}

bool CDisabling::UndoSave(RestoreOutcome* outcome)
{
    *outcome = RestoreOutcome();
    m_run.RequireUpdatePaths("UndoSave");
    // Nothing changes with a media root that the clearing at the end would
    // refuse, nor before the proof that names this very save is on the unit.
    m_run.RequireMediaRoot("UndoSave");
    if (!WriteUndoProof()) {
        outcome->bProofFailed = true;
        return false;
    }
    if (m_run.IsLegacy())
        UndoSaveMenu();
    else
        UndoSaveShell();
    // The media is the only copy of the save: it goes only once the unit is
    // its own again.
    if (!IsUndoComplete()) {
        CsrLog(CSRLOG_ERROR, "UndoSave: The unit's settings did not all come back; the media keeps the save\n");
        outcome->bUndoFailed = true;
        return false;
    }
    outcome->bMediaNotCleared = !ClearMediaEndingUndo();
    return outcome->Finished();
}
