// The plan of the undo on the disabled source unit, and the serial number a
// finished restore or undo stores at its end.
#include "RestorePlanner.h"

#include "DisableRecord.h"
#include "DisablingFiles.h"
#include "IdentityRules.h"
#include "TextFields.h"

using keyfile::ValueType;

namespace restore_plan {

namespace {

// The first string value of one name in a saved file.
class CSavedSetting : public CSavedKeyVisitor {
public:
    explicit CSavedSetting(const char* name) : m_pszName(name) {}
    void OnRefusedLine(ParseOutcome, const char*) override {}
    void OnValue(const ImportValue& value) override
    {
        if (!m_bFound && value.kind == IMPORT_STRING && std::string(value.pszName) == m_pszName) {
            m_value = value.pszText;
            m_bFound = true;
        }
    }
    bool Done() const override { return m_bFound; }
    bool Found() const { return m_bFound; }
    const std::string& Value() const { return m_value; }

private:
    const char* m_pszName;
    std::string m_value;
    bool        m_bFound = false;
};

} // namespace

// The serial number a run on the Restore key stores once it has finished:
// the save's, when the unit gives no valid one of its own.
void PlanSerial(CPlanner& planner)
{
    SerialPlan& serial = planner.Plan().serial;
    serial.bChecked = true;
    serial.unitSerial = planner.Unit().RegistrySerial();
    if (serial.unitSerial.empty())
        planner.ReadString(kShellPersist, kSystemData, "SerialNumber", kWindowSerialChars, &serial.unitSerial);
    if (serial.unitSerial.empty()) serial.unitSerial = planner.Unit().ComputerName();
    if (IsValidSerialNum(serial.unitSerial.c_str())) return;
    const std::string& saved = planner.Input().savedSerial;
    if (!IsValidSerialNum(saved.c_str())) return;
    std::vector<PlannedWrite>& writes = planner.Plan().endWrites;
    planner.WriteTo(writes, kShellPersist, kSystemData, IMPORT_STRING, "SerialNumber", saved.c_str(), 0,
                    BY_SERIAL_NUMBER);
    serial.bStored = writes.back().result == KEY_WRITE_DONE;
    serial.stored = saved;
}

// The startup-app variant's undo: the unit's startup application and picture
// come back, and what the disabling installed goes.
void PlanShellUndo(CPlanner& planner)
{
    RestorePlan& plan = planner.Plan();
    const PlanInput& input = planner.Input();
    const std::string installedShell = JoinPath(input.persistRoot.c_str(), kInstalledShell);
    const std::string installedPicture = JoinPath(input.persistRoot.c_str(), kInstalledPicture);
    std::string app, picture;
    const bool haveApp = planner.ReadString(kShellPersist, kShellConfig, "StartupApp1", kUndoValueChars, &app);
    const bool havePicture = planner.ReadString(kShellPersist, kShellConfig, kSplashValue, kUndoValueChars, &picture);
    planner.WriteTo(plan.endWrites, kShellPersist, kShellConfig, IMPORT_DWORD, "NumStartupApps", "", 1, BY_UNDO);
    planner.WriteTo(plan.endWrites, kShellPersist, kShellConfig, IMPORT_STRING, "StartupApp1", RESTORE_STARTUP_APP,
                    0, BY_UNDO);

    // The save's own value, or the disabling's record when the save gives
    // none or the disabled picture.
    std::string original;
    bool haveOriginal = false;
    std::string bytes;
    long size = -1;
    if (planner.Media().Read(kSavedShellConfig, &bytes, &size) == SAVED_READ_OK) {
        std::vector<char> text(bytes.begin(), bytes.end());
        text.push_back('\0');
        CSavedSetting search(kSplashValue);
        WalkSavedKeyFile(text.data(), bytes.size(), nullptr, 0, search);
        haveOriginal = search.Found() && search.Value().size() <= kSavedSettingChars;
        if (haveOriginal) original = search.Value();
    }
    std::string recorded;
    const bool recordUsable = input.bRecordPresent && ShellRecordPicture(input.recordBytes, &recorded);
    if ((!haveOriginal || EqualsNoCase(original.c_str(), installedPicture.c_str())) && recordUsable) {
        original = recorded;
        haveOriginal = true;
        plan.steps.push_back(std::string("the unit's own picture is taken from ") + kRecordFile);
    }
    if (haveOriginal && !EqualsNoCase(original.c_str(), installedPicture.c_str()))
        planner.WriteTo(plan.endWrites, kShellPersist, kShellConfig, IMPORT_STRING, kSplashValue, original.c_str(), 0,
                        BY_UNDO);
    std::string now;
    const bool namesInstalled = planner.ReadString(kShellPersist, kShellConfig, kSplashValue, kUndoValueChars, &now) &&
                                EqualsNoCase(now.c_str(), installedPicture.c_str());
    if (namesInstalled && !input.bRecordPresent)
        plan.steps.push_back(std::string(kSplashValue) + " names the disabled picture and nothing recorded the unit's "
                                                         "own: the value is removed");
    planner.WriteTo(plan.endWrites, kShellPersist, kShellConfig, IMPORT_STRING, "Ferrox", FerroxStateText(FerroxState::RestoredOriginal), 0, BY_UNDO);

    const size_t bar = app.find('|');
    if (haveApp && bar != std::string::npos && app.substr(bar) == kDisabledAppSuffix &&
        EqualsNoCase(app.substr(0, bar).c_str(), installedShell.c_str()))
        plan.steps.push_back(installedShell + " is deleted");
    if (havePicture && EqualsNoCase(picture.c_str(), installedPicture.c_str()))
        plan.steps.push_back(installedPicture + " is deleted");
    // The record goes once the setting no longer names the disabled picture.
    if (input.bRecordPresent && !namesInstalled)
        plan.steps.push_back(std::string(kRecordFile) + " is deleted");
}

// The menu variant's undo: the registry's settings come back from the record.
void PlanMenuUndo(CPlanner& planner)
{
    RestorePlan& plan = planner.Plan();
    const TargetFinding& target = plan.target;
    if (!target.recordWord.empty())
        plan.steps.push_back("oemlogo and Map that name the installed files are put back from " +
                             std::string(kRecordFile) + ": \"" + target.recordPicture + "\", \"" + target.recordMap +
                             "\"");
    else
        plan.steps.push_back(std::string("no usable ") + kRecordFile +
                             ": the undo stops if oemlogo or Map still name the installed files");
    planner.WriteTo(plan.endWrites, kShellPersist, kSystemData, IMPORT_STRING, "Ferrox", FerroxStateText(FerroxState::RestoredOriginal), 0, BY_UNDO);
    plan.steps.push_back("the installed files that oemlogo and Map named are deleted");
}

} // namespace restore_plan
