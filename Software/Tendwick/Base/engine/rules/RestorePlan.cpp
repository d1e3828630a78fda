#include "RestorePlan.h"
#include "RestorePlanner.h"

#include "DisableRecord.h"
#include "IdentityRules.h"
#include "ReleasePairs.h"
#include "TextFields.h"

#include <set>

using keyfile::ValueType;
using namespace restore_plan;

namespace {

// What the unit tells about itself, read before anything is imported.
void ReadTarget(CPlanner& planner, TargetFinding& target)
{
    const PlanInput& input = planner.Input();
    if (!planner.ReadString(kShellPersist, kSystemData, "SoftwarePartNum", kIdentityChars, &target.partText))
        target.partText = "Unknown";
    char part[kIdentityChars + 1] = {};
    ScanPartNumText(target.partText.c_str(), part, sizeof(part), &target.nRevision);
    target.part = part;
    planner.ReadString(kShellPersist, kSystemData, "SerialNumber", kIdentityChars, &target.serial);
    target.unitSerial = planner.Unit().RegistrySerial();
    if (target.unitSerial.empty()) target.unitSerial = target.serial;
    if (target.unitSerial.empty()) target.unitSerial = planner.Unit().ComputerName();
    target.stateKey = IsLegacyShellPart(part) ? kSystemData : kShellConfig;
    planner.ReadString(kShellPersist, target.stateKey, "Ferrox", kIdentityChars, &target.ferrox);
    target.bDisabled = EqualsNoCase(target.ferrox.c_str(), FerroxStateText(FerroxState::Saved));
    for (size_t i = 0; !IsReleaseTableEnd(ReleasePairTable[i]); ++i)
        if (IsRestorePairRow(ReleasePairTable[i], input.savedPart.c_str(), input.nSavedRevision, part,
                             target.nRevision))
            target.bReleaseAllows = true;

    target.bRecordPresent = input.bRecordPresent;
    if (input.bRecordPresent) {
        // The undo reads the record in pieces of 256 bytes.
        CRecordWordReader reader;
        const std::string& record = input.recordBytes;
        for (size_t at = 0; at < record.size(); at += 256)
            if (!reader.Feed(record.data() + at, std::min<size_t>(256, record.size() - at))) break;
        target.recordWord = reader.Word();
        target.bRecordCut = reader.WasCut();
        DisableRecordFields fields;
        SplitDisableRecord(reader.Word(), &fields);
        target.recordPicture = fields.szPicture;
        target.recordMap = fields.szMap;
    }
    target.bOwnSave = input.bSavedIdentity &&
                      IsSameUnitIdentity(input.savedSerial.c_str(), input.savedPart.c_str(), input.nSavedRevision,
                                         target.unitSerial.c_str(), target.part.c_str(), target.nRevision);
    target.bUndoProof = input.bUndoProof;
    target.bSavedFiles = input.bSavedFiles;
    target.bLinkedFolder = input.bLinkedFolder;
    target.bOtherSaveDisabled = target.bDisabled && target.bOwnSave && input.bHiveCopyOfAnotherSave;
    target.course = DecideRestoreCourse(target);
}

// Why the Restore key is refused, for the report.
std::string RefusalText(const TargetFinding& target)
{
    if (!target.bSavedFiles)
        return "the media holds no whole save (the saved hive or the identity record is missing): the Restore key "
               "is not offered";
    if (target.bLinkedFolder) return "a save folder on the media is a link: the run reads and writes nothing";
    if (target.bOtherSaveDisabled)
        return "the save is this disabled unit's own, but not the one that disabled it (its checksum file does not "
               "give the CRC of the unit's hive copy): the unit takes back only that one";
    if (target.bDisabled)
        return "the unit is disabled: a run on it restores only its own save, and does so by undoing the disabling "
               "instead of the import below";
    return "the release table allows no restore of this save onto this unit";
}
// The import, then the steps of a restore after it.
void PlanImport(CPlanner& planner)
{
    RestorePlan& plan = planner.Plan();
    const TargetFinding& target = plan.target;
    if (target.bOwnSave && EqualsNoCase(target.ferrox.c_str(), FerroxStateText(FerroxState::RestoredOriginal)))
        plan.steps.push_back("the save is this unit's own, and no undo of it was cut off: it is imported like any "
                             "other");
    // A file met in both passes and not taken counts once, as in the restore.
    std::set<const SavedFileEntry*> notTaken;
    for (const RestoreStep& step : RestoreSteps()) {
        plan.files.push_back(PlanFile(planner, step));
        if (!plan.files.back().bTaken) notTaken.insert(step.pEntry);
    }
    plan.nFilesNotTaken = notTaken.size();

    plan.bAddressBook = planner.Media().Lists("AddressBook.txt");
    plan.steps.push_back(plan.bAddressBook ? "AddressBook.txt replaces the unit's datalink address book"
                                           : "AddressBook.txt not on the media: the unit's address book stays");
    PlanKnob(planner, planner.Input().persistRoot, false);
    planner.WriteTo(plan.endWrites, RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY, IMPORT_DWORD, "NumStartupApps", "",
                    RESTORE_STARTUP_COUNT, BY_RESTORE_END);
    planner.WriteTo(plan.endWrites, RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY, IMPORT_STRING, "StartupApp1",
                    RESTORE_STARTUP_APP, 0, BY_RESTORE_END);
    if (plan.nFilesNotTaken > 0) {
        plan.steps.push_back("the restore does not finish: " + std::to_string(plan.nFilesNotTaken) +
                             " saved file(s) not taken; the unit is not marked restored, the media keeps the save "
                             "and the same key tries again");
        return;
    }
    plan.bFinishes = target.course == COURSE_IMPORT;
    planner.WriteTo(plan.endWrites, kShellPersist, target.stateKey.c_str(), IMPORT_STRING, "Ferrox", FerroxStateText(FerroxState::Restored),
                    0, BY_RESTORE_END);
    plan.steps.push_back("the media is cleared");
}

} // namespace

size_t RestorePlan::ChangedKeys() const
{
    size_t changed = 0;
    for (const PlannedKey& key : keys)
        if (!key.changes.empty()) ++changed;
    return changed;
}

size_t RestorePlan::ChangedValues() const
{
    size_t changed = 0;
    for (const PlannedKey& key : keys) changed += key.changes.size();
    return changed;
}

// Nothing without a whole save or through a linked folder; a save of this
// unit's own goes back as the undo while the unit is disabled by that very
// save, or while the undo's proof names it after an undo was cut off; a
// disabled unit takes no other save, and the release table decides the rest.
RestoreCourse DecideRestoreCourse(const TargetFinding& target)
{
    if (!target.bSavedFiles || target.bLinkedFolder) return COURSE_REFUSED;
    if (target.bOwnSave && target.bDisabled && !target.bOtherSaveDisabled) return COURSE_UNDO;
    if (target.bOwnSave && IsValidSerialNum(target.unitSerial.c_str()) &&
        EqualsNoCase(target.ferrox.c_str(), FerroxStateText(FerroxState::RestoredOriginal)) && target.bUndoProof)
        return COURSE_FINISH_UNDO;
    if (target.bDisabled || !target.bReleaseAllows) return COURSE_REFUSED;
    return COURSE_IMPORT;
}

RestorePlan BuildRestorePlan(const PlanInput& input, CUnitSettings& unit, CSavedMedia& media)
{
    RestorePlan plan;
    CPlanner planner(input, unit, media, plan);
    ReadTarget(planner, plan.target);
    plan.stateBefore = plan.target.ferrox;
    plan.stateAfter = plan.target.ferrox;
    switch (plan.target.course) {
    case COURSE_UNDO:
    case COURSE_FINISH_UNDO:
        // The undo imports nothing: it puts back what the disabling changed.
        plan.steps.push_back(plan.target.course == COURSE_UNDO
                                 ? "the save is this disabled unit's own: the run undoes the disabling and imports "
                                   "nothing"
                                 : "an undo of this very save was cut off on this unit: the run finishes it and "
                                   "imports nothing");
        if (IsLegacyShellPart(plan.target.part.c_str()))
            PlanMenuUndo(planner);
        else
            PlanShellUndo(planner);
        plan.steps.push_back("the media is cleared");
        plan.bFinishes = true;
        plan.stateAfter = FerroxStateText(FerroxState::RestoredOriginal);
        PlanSerial(planner);
        break;
    case COURSE_REFUSED:
        plan.steps.push_back(RefusalText(plan.target));
        // The import is shown all the same, for what the save holds; none of
        // it is made.
        PlanImport(planner);
        break;
    case COURSE_IMPORT:
        PlanImport(planner);
        if (plan.bFinishes) {
            plan.stateAfter = FerroxStateText(FerroxState::Restored);
            PlanSerial(planner);
        }
        break;
    }
    planner.CollectChanges();
    return plan;
}

PlannedFile PlanRestoreFile(const RestoreStep& step, const PlanInput& input, CUnitSettings& unit, CSavedMedia& media)
{
    RestorePlan plan;
    CPlanner planner(input, unit, media, plan, false);
    return PlanFile(planner, step);
}
const char* ChangeOriginText(ChangeOrigin origin)
{
    switch (origin) {
    case BY_IMPORT:          return "import";
    case BY_DATALINK_FIX_UP: return "data-link fix-up";
    case BY_KNOB_LAYOUT:     return "knob layout";
    case BY_RESTORE_END:     return "end of the restore";
    case BY_UNDO:            return "undo";
    case BY_SERIAL_NUMBER:   return "serial number";
    }
    return "";
}

const char* RestoreCourseText(RestoreCourse course)
{
    switch (course) {
    case COURSE_IMPORT:      return "imports the save";
    case COURSE_UNDO:        return "undoes the disabling";
    case COURSE_FINISH_UNDO: return "finishes an undo that was cut off";
    case COURSE_REFUSED:     return "is refused";
    }
    return "";
}

const char* KeyWriteText(KeyWrite result)
{
    switch (result) {
    case KEY_WRITE_DONE:       return "written";
    case KEY_WRITE_NOT_OPEN:   return "key not open";
    case KEY_WRITE_BAD_NAME:   return "name the store refuses";
    case KEY_WRITE_BAD_VALUE:  return "text the store refuses";
    case KEY_WRITE_WRONG_TYPE: return "held with another type";
    case KEY_WRITE_FULL:       return "key full";
    }
    return "";
}

const char* ValueTypeWord(ValueType type)
{
    switch (type) {
    case ValueType::String: return "string";
    case ValueType::Dword:  return "dword";
    case ValueType::Bool:   return "bool";
    case ValueType::None:   break;
    }
    return "none";
}
