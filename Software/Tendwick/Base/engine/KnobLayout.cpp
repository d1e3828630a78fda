// The knob layout of a restored configuration: the knob assignments of the
// layout that "KnobLevels" names, and that layout's page files, as the
// restore plan gives them.
#include "RestoreFlow.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "DurableCopy.h"
#include "EngineWin32.h"
#include "EngineLimits.h"
#include "KnobAssignments.h"
#include "PlanSources.h"
#include "PersistSection.h"
#include "Retenta.h"

#include <string>

bool SetKnobConfig(const char* persistRoot)
{
    PlanInput input;
    input.persistRoot = persistRoot ? persistRoot : "";
    CStoreSettings unit;
    return CarryOutKnobLayout(PlanKnobLayout(input, unit, true), persistRoot);
}

bool CarryOutKnobLayout(const KnobPlan& knob, const char* persistRoot)
{
    if (!knob.bLevelsRead) {
        CsrLog(CSRLOG_WARNING, "SetKnobConfig: Unable to extract KnobLevels from ShellConfig; GetLastError = %d\n",
               static_cast<int>(knob.nLevelsDetail));
        // A save without a layout leaves the unit's own; one that cannot be read is a failure.
        return knob.nLevelsDetail == PERS_FAILED_VALUE_MISSING_NOT_CREATED;
    }
    return ApplyKnobLayout(persistRoot, knob.bDual, knob.writes);
}

bool RestoreButtonSettings(const char* persistRoot, bool dualConcentric)
{
    return ApplyKnobLayout(persistRoot, dualConcentric, KnobLayoutWrites(dualConcentric));
}

bool ApplyKnobLayout(const char* persistRoot, bool dualConcentric, const std::vector<PlannedWrite>& writes)
{
    std::string root = persistRoot ? persistRoot : "";
    if (root.empty() || root.back() != '\\') root += '\\';

    CsrLog(CSRLOG_TRACE, dualConcentric ? "RestoreButtonSettings: Restoring DC knob layout pages\n"
                                        : "RestoreButtonSettings: Restoring Single knob layout pages\n");

    // Every step is made even when one before it failed; a failed write of a
    // setting is reported, a missing template is normal (the page stays).
    bool changed = true;
    for (const PlannedWrite& write : writes) {
        CPersistSection section(write.subdir.c_str(), write.key.c_str());
        changed &= write.kind == IMPORT_DWORD ? section.SetDW(write.name.c_str(), write.number)
                                              : section.SetString(write.name.c_str(), write.text.c_str());
    }

    for (size_t i = 0; i < KnobPageCount; ++i) {
        std::string base = root + KnobPagePath(i);
        std::string layoutTemplate = base + (dualConcentric ? KNOB_DUAL_TEMPLATE : KNOB_SINGLE_TEMPLATE);
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
