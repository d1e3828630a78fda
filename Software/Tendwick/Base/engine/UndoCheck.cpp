// Whether the undo brought the unit's own settings back: the media's save is
// its only copy until then.
#include "RunMaint.h"
#include "UpdatePaths.h"

#include "DisablingFiles.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "Retenta.h"
#include "SavedKeyImport.h"
#include "TextFields.h"

bool CRunMaint::IsUndoComplete()
{
    if (DisablingSettingUnsaved()) return false;
    const bool legacy = IsLegacyShellPart();
    char state[64] = {};
    if (GetOnePersistedString("ShellPersist", legacy ? "SystemData" : "ShellConfig", kStoreTimeout, "Ferrox",
                              sizeof(state), state, nullptr) != PERS_SUCCESS)
        return false;
    state[sizeof(state) - 1] = '\0';
    if (!EqualsNoCase(state, "RESTORED-ORIGINAL")) return false;
    // The menu variant puts the unit's own picture and map entry back; the
    // other one the system program as the only startup application.
    if (legacy) return !MenuNamesInstalledFiles();
    unsigned long count = 0;
    char app[200] = {};
    if (GetOnePersistedDW("ShellPersist", "ShellConfig", kStoreTimeout, "NumStartupApps", &count) != PERS_SUCCESS ||
        GetOnePersistedString("ShellPersist", "ShellConfig", kStoreTimeout, "StartupApp1", sizeof(app), app,
                              nullptr) != PERS_SUCCESS)
        return false;
    app[sizeof(app) - 1] = '\0';
    return count == RESTORE_STARTUP_COUNT && EqualsNoCase(app, RESTORE_STARTUP_APP);
}

bool CRunMaint::MenuNamesInstalledFiles()
{
    UpdatePaths paths;
    if (!ReadUpdatePaths(*this, &paths)) {
        // Without the paths nothing tells the settings apart: they count as not put back.
        return true;
    }
    const char* persist = paths.persist;
    CString logo;
    CString map;
    ReadRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", logo);
    ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);
    const int comma = map.Find(',');
    const CString program = comma < 0 ? map : map.Left(comma);
    return EqualsNoCase(logo, JoinPath(persist, kInstalledPicture).c_str()) ||
           EqualsNoCase(program, JoinPath(persist, kInstalledShell).c_str());
}
