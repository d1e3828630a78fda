// The knob layout of a restored configuration: the knob assignments of the
// layout that "KnobLevels" names, and that layout's page files.
#include "RunMaint.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "DurableCopy.h"
#include "EngineWin32.h"
#include "EngineLimits.h"
#include "PersistSection.h"
#include "Retenta.h"

#include <string>

namespace {

const char kShellPersist[] = "ShellPersist";

struct KnobWrite {
    const char* pszKey;
    const char* pszName;
    const char* pszDual;
    const char* pszSingle;
};

// In the order they are made, after "KnobLevels".
const KnobWrite kKnobWrites[] = {
    {"ShellConfig", "PageKnob", "R|O", "L|O"},
    {"UI_Brightness", "pos_Coarse", "Brightness,RO", "Brightness,LO"},
    {"UI_Brightness", "pos_Fine", "Brightness,RI", "Brightness,RO"},
    {"UI_Map", "pos_Change", "MapSetup,RI", "MapSetup,RO"},
    {"UI_Map", "pos_Field", "MapSetup,RO", "MapSetup,LO"},
    {"UI_Map", "pos_Range", "Map,RI/TrafficMode,RI", "Map,RO/TrafficMode,RO"},
    {"UI_Map", "pos_Select", "Trip,RI/Nrst,RI/Setup,RI", "Trip,RO/Nrst,RO/Setup,RO"},
    {"UI_Standard", "pos_Select", "Dialog,RO", "Dialog,RO"},
    {"UI_Standard", "pos_Change", "Dialog,RI", "Dialog,LO"},
};

const char* const kPages[] = {"ShellPersist\\UI_Taws", "ShellPersist\\UI_KTX", "ShellPersist\\UI_Map"};

} // namespace

bool CRunMaint::SetKnobConfig(const char* persistRoot)
{
    unsigned long levels = 0;
    if (GetOnePersistedDW(kShellPersist, "ShellConfig", kStoreTimeout, "KnobLevels", &levels) == PERS_FAILED) {
        DWORD detail = GetLastError();
        CsrLog(CSRLOG_WARNING, "SetKnobConfig: Unable to extract KnobLevels from ShellConfig; GetLastError = %d\n",
               static_cast<int>(detail));
        // A save without a layout leaves the unit's own; one that cannot be read is a failure.
        return detail == PERS_FAILED_VALUE_MISSING_NOT_CREATED;
    }
    return RestoreButtonSettings(persistRoot, levels == 2);
}

bool CRunMaint::RestoreButtonSettings(const char* persistRoot, bool dualConcentric)
{
    std::string root = persistRoot ? persistRoot : "";
    if (root.empty() || root.back() != '\\') root += '\\';

    CsrLog(CSRLOG_TRACE, dualConcentric ? "RestoreButtonSettings: Restoring DC knob layout pages\n"
                                        : "RestoreButtonSettings: Restoring Single knob layout pages\n");

    // Every step is made even when one before it failed; a failed write of a
    // setting is reported, a missing template is normal (the page stays).
    bool changed = CPersistSection(kShellPersist, "ShellConfig").SetDW("KnobLevels", dualConcentric ? 2 : 1);
    for (const KnobWrite& write : kKnobWrites)
        changed &= CPersistSection(kShellPersist, write.pszKey)
                       .SetString(write.pszName, dualConcentric ? write.pszDual : write.pszSingle);

    for (const char* page : kPages) {
        std::string base = root + page;
        std::string layoutTemplate = base + (dualConcentric ? "4Knobs.pri" : "2Knobs.pri");
        // The template is copied beside the page and moved over it: a copy
        // that fails (a full disk) leaves the page whole, since the secondary
        // beside it may be a save of the store's that failed the same way.
        // The secondary goes only beside a whole primary.
        if (!ReplaceFileFlushed(layoutTemplate, base + ".pri")) {
            if (PathExists(layoutTemplate)) {
                CsrLog(CSRLOG_ERROR, "RestoreButtonSettings: Unable to copy %s; GetLastError = %d\n",
                       layoutTemplate.c_str(), static_cast<int>(GetLastError()));
                changed = false;
                continue;
            }
        }
        FcDeleteFile((base + ".sec").c_str());
    }
    if (!changed) CsrLog(CSRLOG_ERROR, "CRunMaint::RestoreButtonSettings: failure changing knob settings \n");
    return changed;
}
