// The knob layout of the plan: applied on ZR455 units, by "KnobLevels".
#include "RestorePlanner.h"

#include "KnobAssignments.h"
#include "TextFields.h"

using keyfile::ValueType;

namespace restore_plan {

void PlanKnob(CPlanner& planner, const std::string& persistRoot, bool forZR455)
{
    RestorePlan& plan = planner.Plan();
    KnobPlan& knob = plan.knob;
    KeyValue value;
    knob.bPlatformRead = forZR455 || (planner.Read(kShellPersist, kShellConfig, "Platform", &value) &&
                                      value.type == ValueType::String);
    if (!knob.bPlatformRead) {
        knob.nPlatformDetail = planner.Unit().ReadDetail(ValueType::String);
        plan.steps.push_back("Platform cannot be read: the knob layout stays");
        return;
    }
    knob.platform = forZR455 ? std::string("ZR455") : value.text.substr(0, kPlatformChars);
    if (knob.platform != "ZR455") {
        plan.steps.push_back("Platform " + knob.platform + ": the knob layout stays");
        return;
    }
    knob.bApplied = true;
    knob.bLevelsRead = planner.Read(KNOB_SUBDIR, KNOB_LEVELS_KEY, KNOB_LEVELS_VALUE, &value) &&
                       value.type == ValueType::Dword;
    if (!knob.bLevelsRead) {
        knob.nLevelsDetail = planner.Unit().ReadDetail(ValueType::Dword);
        plan.steps.push_back("Platform ZR455, but KnobLevels cannot be read: the knob layout stays");
        return;
    }
    knob.bDual = keyfile::ParseDword(value.text.c_str()) == KNOB_LEVELS_DUAL;
    for (PlannedWrite write : KnobLayoutWrites(knob.bDual)) {
        planner.Write(write);
        knob.writes.push_back(write);
    }
    std::string root = persistRoot;
    AddTrailingBackslash(root);
    const char* layout = knob.bDual ? KNOB_DUAL_TEMPLATE : KNOB_SINGLE_TEMPLATE;
    plan.steps.push_back(std::string("Platform ZR455: the ") + (knob.bDual ? "dual-concentric" : "single") +
                         " knob layout is applied");
    for (size_t i = 0; i < KnobPageCount; ++i)
        plan.steps.push_back(root + KnobPages[i] + layout + " replaces " + root + KnobPages[i] +
                             ".pri where it exists; " + root + KnobPages[i] + ".sec is deleted");
}


} // namespace restore_plan

using namespace restore_plan;

KnobPlan PlanKnobLayout(const PlanInput& input, CUnitSettings& unit, bool forZR455)
{
    // The knob layout reads no saved file.
    class CNoMedia : public CSavedMedia {
    public:
        bool Lists(const char*) override { return false; }
        SavedFileRead Read(const char*, std::string*, long*) override { return SAVED_READ_NO_FILE; }
    } media;
    RestorePlan plan;
    CPlanner planner(input, unit, media, plan, false);
    PlanKnob(planner, input.persistRoot, forZR455);
    return plan.knob;
}

std::vector<PlannedWrite> KnobLayoutWrites(bool dual)
{
    std::vector<PlannedWrite> writes;
    PlannedWrite levels;
    levels.subdir = KNOB_SUBDIR;
    levels.key = KNOB_LEVELS_KEY;
    levels.name = KNOB_LEVELS_VALUE;
    levels.kind = IMPORT_DWORD;
    levels.type = "dword";
    levels.number = static_cast<uint32_t>(dual ? KNOB_LEVELS_DUAL : KNOB_LEVELS_SINGLE);
    levels.text = std::to_string(levels.number);
    levels.origin = BY_KNOB_LAYOUT;
    writes.push_back(levels);
    for (size_t i = 0; i < KnobWriteCount; ++i) {
        PlannedWrite write = levels;
        write.key = KnobWrites[i].pszKey;
        write.name = KnobWrites[i].pszName;
        write.kind = IMPORT_STRING;
        write.type = "string";
        write.text = dual ? KnobWrites[i].pszDual : KnobWrites[i].pszSingle;
        write.number = 0;
        writes.push_back(write);
    }
    return writes;
}
