#include "RestoreDryRun.h"

#include "ChkFile.h"
#include "DisableRecord.h"
#include "IdentityRules.h"
#include "KeyFileFormat.h"
#include "MediaInspection.h"
#include "MediaLayout.h"
#include "ReleasePairs.h"
#include "SavedKeyImport.h"
#include "TextFields.h"
#include "UndoProof.h"

#include <algorithm>
#include <set>
#include <map>
#include <memory>

using keyfile::ValueType;

namespace {

const size_t kKeyNameSize = 256;
// The engine's read buffers: the factory flag 17 bytes, the identity and
// Ferrox texts 100, the platform 17.
const size_t kFactoryFlagChars = 16;
const size_t kIdentityChars = 99;
const size_t kPlatformChars = 16;
const char kIdentityKey[] = "SystemData";
// What the end of a run writes once the restore has returned.
const char kRestoredState[] = "RESTORED";
const char kDisabledState[] = "SAVED";
const char kUndoneState[] = "RESTORED-ORIGINAL";
const char kRecordFile[] = "SWDisable.txt";
// The undo reads the record in pieces of this size.
const size_t kRecordChunk = 256;

std::string Lower(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// One of the unit's keys during the dry run.
struct KeySlot {
    KeyDryRun                           report;
    CKeyModel                           model;
    std::vector<KeyValue>               original;
    std::map<std::string, ChangeOrigin> origins;   // lower-case name: the last writer
};

class CUnitModel {
public:
    explicit CUnitModel(const fs::path& persistRoot) : m_persistRoot(persistRoot) {}

    KeySlot& Key(const std::string& subdir, const std::string& key)
    {
        const std::string id = Lower(subdir + "\\" + key);
        auto found = m_index.find(id);
        if (found != m_index.end()) return *m_slots[found->second];
        m_slots.emplace_back(new KeySlot);
        KeySlot& slot = *m_slots.back();
        slot.report.subdir = subdir;
        slot.report.key = key;
        const fs::path folder = JoinRelative(m_persistRoot, subdir);
        slot.report.source = slot.model.Load(folder / (key + ".pri"), folder / (key + ".sec"));
        slot.original = slot.model.Values();
        m_index[id] = m_slots.size() - 1;
        return slot;
    }

    // A one-shot string read as the engine makes it: only a string value that
    // fits the caller's buffer whole counts as read.
    bool ReadString(const std::string& subdir, const std::string& key, const char* name, size_t maxChars,
                    std::string* text)
    {
        KeyValue value;
        if (!Key(subdir, key).model.Find(name, &value) || value.type != ValueType::String) return false;
        if (value.text.size() > maxChars) return false;
        *text = value.text;
        return true;
    }

    std::vector<std::unique_ptr<KeySlot>>& Slots() { return m_slots; }

private:
    fs::path                              m_persistRoot;
    std::vector<std::unique_ptr<KeySlot>> m_slots;
    std::map<std::string, size_t>         m_index;
};

void Remember(std::vector<RefusedWrite>& refused, const RefusedWrite& write)
{
    for (const RefusedWrite& known : refused)
        if (known.name == write.name && known.reason == write.reason) return;
    refused.push_back(write);
}

KeyWrite Apply(KeySlot& slot, ImportKind kind, const char* name, const char* text, uint32_t number,
               ChangeOrigin origin)
{
    KeyWrite result = KEY_WRITE_NOT_OPEN;
    const char* type = "";
    switch (kind) {
    case IMPORT_BOOL:   result = slot.model.WriteBool(name, static_cast<int>(number)); type = "bool"; break;
    case IMPORT_DWORD:  result = slot.model.WriteDword(name, number); type = "dword"; break;
    case IMPORT_STRING: result = slot.model.WriteString(name, text); type = "string"; break;
    case IMPORT_BAD_TYPE: return KEY_WRITE_NOT_OPEN;
    }
    if (result == KEY_WRITE_DONE)
        slot.origins[Lower(name)] = origin;
    else
        Remember(slot.report.refused, RefusedWrite{name, type, text ? text : "", result});
    return result;
}

// The import of one saved file into one key model.
class CModelImport : public CSavedKeyVisitor {
public:
    explicit CModelImport(KeySlot& slot) : m_slot(slot) {}

    void OnRefusedLine(ParseOutcome, const char*) override { ++m_slot.report.nRefusedLines; }

    void OnFilteredOut(const char* name, const char* type, const char* text) override
    {
        for (const KeptValue& known : m_slot.report.kept)
            if (known.name == name) return;
        KeptValue kept{name, type, text, false, std::string(), std::string()};
        KeyValue unit;
        if (m_slot.model.Find(name, &unit)) {
            kept.bUnitHas = true;
            kept.unitType = ValueTypeWord(unit.type);
            kept.unitText = unit.text;
        }
        m_slot.report.kept.push_back(kept);
    }

    void OnValue(const ImportValue& value) override
    {
        if (value.kind == IMPORT_BAD_TYPE) {
            ++m_slot.report.nBadTypes;
            return;
        }
        if (Apply(m_slot, value.kind, value.pszName, value.pszText, value.dwNumber, BY_IMPORT) != KEY_WRITE_DONE)
            ++m_nRefused;
    }
    // Writes the key refused: the store refuses them too, and the file is not taken.
    size_t Refused() const { return m_nRefused; }

private:
    KeySlot& m_slot;
    size_t   m_nRefused = 0;
};

bool ReadFactoryFlag(const char* configName, char* buffer, size_t size, void* context)
{
    std::string text;
    if (!static_cast<CUnitModel*>(context)->ReadString(FACTORY_FLAG_DIRECTORY, configName, FACTORY_FLAG_VALUE,
                                                       kFactoryFlagChars, &text))
        return false;
    CopyText(buffer, size, text.c_str());
    return true;
}

void AddNote(KeyDryRun& report, const std::string& note)
{
    for (const std::string& known : report.notes)
        if (known == note) return;
    report.notes.push_back(note);
}

void AddMediaName(KeyDryRun& report, const char* name)
{
    for (const std::string& known : report.mediaNames)
        if (known == name) return;
    report.mediaNames.push_back(name);
}

void DatalinkFixUp(CUnitModel& unit)
{
    KeySlot& client = unit.Key(DATALINK_SUBDIR, DATALINK_KEY);
    std::string text;
    const size_t maxChars = DATALINK_READ_SIZE - 1;
    if (!unit.ReadString(DATALINK_SUBDIR, DATALINK_KEY, DATALINK_DEVICE, maxChars, &text))
        Apply(client, IMPORT_DWORD, DATALINK_DEVICE, "", DATALINK_DEVICE_DEFAULT, BY_DATALINK_FIX_UP);
    if (!unit.ReadString(DATALINK_SUBDIR, DATALINK_KEY, DATALINK_DEVICE_TEXT, maxChars, &text))
        Apply(client, IMPORT_STRING, DATALINK_DEVICE_TEXT, DATALINK_DEVICE_TEXT_DEFAULT, 0, BY_DATALINK_FIX_UP);
}

// Imports one row as the restore does; false when the row's saved file is on
// the media and would not be taken whole (the restore then does not finish).
bool ImportRow(const RestoreStep& step, const fs::path& mediaPersist, const std::string& savedPart,
               const DryRunOptions& options, CUnitModel& unit, DryRunReport& report)
{
    const SavedFileEntry& entry = *step.pEntry;
    if (!IsFactoryConfigured(entry, ReadFactoryFlag, &unit, options.pGatedList, options.nGatedCount)) {
        const std::string skipped = std::string(entry.pszConfigName ? entry.pszConfigName : "") + ": " +
                                    entry.pszMediaName;
        for (const std::string& known : report.skippedRows)
            if (known == skipped) return true;
        report.skippedRows.push_back(skipped);
        return true;
    }
    std::error_code error;
    const bool present = fs::exists(mediaPersist / entry.pszMediaName, error);
    char key[kKeyNameSize] = {};
    if (!SavedKeyName(entry.pszFile, key, sizeof(key))) {
        report.steps.push_back(std::string(entry.pszFile) + ": no key name; the row is passed over");
        return !present;
    }

    KeySlot& slot = unit.Key(entry.pszDirectory, key);
    AddMediaName(slot.report, entry.pszMediaName);
    std::string bytes;
    bool taken = false;
    switch (ReadWholeFile(mediaPersist / entry.pszMediaName, SAVED_FILE_MAX_BYTES, &bytes)) {
    case FILE_READ_OK: {
        size_t textLength = 0;
        if (!keyfile::ValidateKeyFile(bytes.data(), bytes.size(), &textLength))
            AddNote(slot.report, std::string(entry.pszMediaName) + " fails its check: imported anyway");
        if (!slot.model.IsOpen()) {
            AddNote(slot.report, "the unit's key does not open");
            if (!entry.bOpenTolerant) break;
        }
        std::vector<char> text(bytes.begin(), bytes.end());
        text.push_back('\0');
        CModelImport import(slot);
        WalkSavedKeyFile(text.data(), bytes.size(), entry.pFilter, entry.dwFilterCount, import);
        taken = slot.model.IsOpen() && import.Refused() == 0;
        break;
    }
    case FILE_MISSING:
        AddNote(slot.report, std::string(entry.pszMediaName) + " not on the media: nothing imported");
        taken = !present;
        break;
    case FILE_TOO_LARGE:
        AddNote(slot.report, std::string(entry.pszMediaName) + " is larger than any saved key: not read");
        break;
    default:
        AddNote(slot.report, std::string(entry.pszMediaName) + " cannot be read: nothing imported");
        break;
    }
    if (NeedsDatalinkFixUp(entry.pszDirectory, key, savedPart.c_str())) DatalinkFixUp(unit);
    return taken;
}

// What the unit tells about itself, read before anything is imported.
void ReadTarget(CUnitModel& unit, const fs::path& persistRoot, const std::string& savedPart, int savedRevision,
                TargetFinding& target)
{
    if (!unit.ReadString(RESTORE_STARTUP_SUBDIR, kIdentityKey, "SoftwarePartNum", kIdentityChars, &target.partText))
        target.partText = "Unknown";
    char part[kIdentityChars + 1] = {};
    ScanPartNumText(target.partText.c_str(), part, sizeof(part), &target.nRevision);
    target.part = part;
    unit.ReadString(RESTORE_STARTUP_SUBDIR, kIdentityKey, "SerialNumber", kIdentityChars, &target.serial);
    const char* stateKey = IsLegacyShellPart(part) ? kIdentityKey : RESTORE_STARTUP_KEY;
    unit.ReadString(RESTORE_STARTUP_SUBDIR, stateKey, "Ferrox", kIdentityChars, &target.ferrox);
    target.bDisabled = EqualsNoCase(target.ferrox.c_str(), kDisabledState);
    for (size_t i = 0; !IsReleaseTableEnd(ReleasePairTable[i]); ++i)
        if (IsRestorePairRow(ReleasePairTable[i], savedPart.c_str(), savedRevision, part, target.nRevision))
            target.bReleaseAllows = true;

    std::string record;
    if (ReadWholeFile(persistRoot / kRecordFile, MEDIA_READ_LIMIT, &record) == FILE_READ_OK) {
        target.bRecordPresent = true;
        CRecordWordReader reader;
        for (size_t at = 0; at < record.size(); at += kRecordChunk)
            if (!reader.Feed(record.data() + at, std::min(kRecordChunk, record.size() - at))) break;
        target.recordWord = reader.Word();
        target.bRecordCut = reader.WasCut();
        DisableRecordFields fields;
        SplitDisableRecord(reader.Word(), &fields);
        target.recordPicture = fields.szPicture;
        target.recordMap = fields.szMap;
    }
}

// Whether the unit's hive copy names another save than the one on the media:
// its CRC is not the one the media's checksum file gives.
bool HiveCopyNamesAnotherSave(const fs::path& hiveCopy, const std::string& chkText)
{
    if (hiveCopy.empty() || !IsFile(hiveCopy)) return false;
    uint32_t saved = 0, local = 0;
    uint64_t size = 0;
    return ParseChkText(chkText.data(), chkText.size(), &saved) != CHK_OK ||
           FileCrc(hiveCopy, &local, &size) != FILE_READ_OK || local != saved;
}

// What the Restore key does with this save, by the engine's rules: nothing
// without a whole save or through a linked folder; a save of this unit's own
// goes back as the undo while the unit is disabled by that very save, or
// while the undo's proof names it after an undo was cut off; a disabled unit
// takes no other save, and the release table decides the rest.
void PredictCourse(const fs::path& config, const fs::path& persistRoot, const IdentityFinding& saved,
                   const DryRunOptions& options, TargetFinding& target)
{
    target.bOwnSave = saved.bPresent && IsSameUnitIdentity(saved.serial.c_str(), saved.part.c_str(), saved.nRevision,
                                                           target.serial.c_str(), target.part.c_str(),
                                                           target.nRevision);
    // The pieces of the proof as the engine reads them: bytes as they are.
    std::string identity, chk, proof;
    ReadStart(config / MEDIA_IDENTITY_FILE, UNDO_PROOF_PART_BYTES, &identity);
    ReadStart(config / MEDIA_HIVE_CHK_FILE, UNDO_PROOF_PART_BYTES, &chk);
    ReadStart(persistRoot / UNDO_PROOF_FILE, 2 * UNDO_PROOF_PART_BYTES + 2, &proof);
    target.bUndoProof = UndoProofNames(proof, identity, chk);
    target.bSavedFiles = IsFile(config / MEDIA_HIVE_FILE) && IsFile(config / MEDIA_IDENTITY_FILE);
    target.bLinkedFolder = IsLink(config) || IsLink(config / MEDIA_PERSIST_FOLDER);
    target.bOtherSaveDisabled = target.bDisabled && target.bOwnSave && HiveCopyNamesAnotherSave(options.hiveCopy, chk);

    if (!target.bSavedFiles || target.bLinkedFolder)
        target.course = COURSE_REFUSED;
    else if (target.bOwnSave && target.bDisabled && !target.bOtherSaveDisabled)
        target.course = COURSE_UNDO;
    else if (target.bOwnSave && IsValidSerialNum(target.serial.c_str()) &&
             EqualsNoCase(target.ferrox.c_str(), kUndoneState) && target.bUndoProof)
        target.course = COURSE_FINISH_UNDO;
    else if (target.bDisabled || !target.bReleaseAllows)
        target.course = COURSE_REFUSED;
    else
        target.course = COURSE_IMPORT;
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

// The steps of a restore after the import, and the end of the run.
void EndOfRestore(const fs::path& mediaPersist, CUnitModel& unit, const TargetFinding& target,
                  DryRunReport& report)
{
    if (IsFile(mediaPersist / MEDIA_ADDRESS_BOOK))
        report.steps.push_back("AddressBook.txt replaces the unit's datalink address book");
    else
        report.steps.push_back("AddressBook.txt not on the media: the unit's address book stays");

    std::string platform;
    KeyValue value;
    KeySlot& shell = unit.Key(RESTORE_STARTUP_SUBDIR, RESTORE_STARTUP_KEY);
    if (!shell.model.Find("Platform", &value) || value.type != ValueType::String) {
        report.steps.push_back("Platform cannot be read: the knob layout stays");
    } else {
        platform = value.text.substr(0, kPlatformChars);
        if (platform == "ZR455")
            report.steps.push_back("Platform ZR455: the saved knob layout is applied to the unit's page keys "
                                   "(not shown)");
        else
            report.steps.push_back("Platform " + platform + ": the knob layout stays");
    }

    Apply(shell, IMPORT_DWORD, "NumStartupApps", "", RESTORE_STARTUP_COUNT, BY_RESTORE_END);
    Apply(shell, IMPORT_STRING, "StartupApp1", RESTORE_STARTUP_APP, 0, BY_RESTORE_END);
    if (report.nFilesNotTaken > 0) {
        // The restore does not finish: the unit is not marked, the save stays.
        report.steps.push_back("the restore does not finish: " + std::to_string(report.nFilesNotTaken) +
                               " saved file(s) not taken; the unit is not marked restored, the media keeps the "
                               "save and the same key tries again");
        return;
    }
    const char* stateKey = IsLegacyShellPart(target.part.c_str()) ? kIdentityKey : RESTORE_STARTUP_KEY;
    Apply(unit.Key(RESTORE_STARTUP_SUBDIR, stateKey), IMPORT_STRING, "Ferrox", kRestoredState, 0, BY_RESTORE_END);
    report.steps.push_back("the media is cleared");
}

bool SameValue(const KeyValue& a, const KeyValue& b)
{
    if (a.type != b.type) return false;
    if (a.type == ValueType::Dword) return keyfile::ParseDword(a.text.c_str()) == keyfile::ParseDword(b.text.c_str());
    return a.text == b.text;
}

void CollectChanges(KeySlot& slot)
{
    std::map<std::string, const KeyValue*> before;
    for (const KeyValue& value : slot.original) before.emplace(Lower(value.name), &value);
    std::map<std::string, bool> seen;
    for (const KeyValue& value : slot.model.Values()) {
        const std::string id = Lower(value.name);
        if (!seen.emplace(id, true).second) continue;
        auto old = before.find(id);
        if (old != before.end() && SameValue(*old->second, value)) continue;
        ValueChange change;
        change.name = value.name;
        change.newType = ValueTypeWord(value.type);
        change.newText = value.text;
        if (old != before.end()) {
            change.bExisted = true;
            change.oldType = ValueTypeWord(old->second->type);
            change.oldText = old->second->text;
        }
        auto origin = slot.origins.find(id);
        if (origin != slot.origins.end()) change.origin = origin->second;
        slot.report.changes.push_back(change);
    }
}

} // namespace

size_t DryRunReport::ChangedKeys() const
{
    size_t changed = 0;
    for (const KeyDryRun& key : keys)
        if (key.Changes()) ++changed;
    return changed;
}

size_t DryRunReport::ChangedValues() const
{
    size_t changed = 0;
    for (const KeyDryRun& key : keys) changed += key.changes.size();
    return changed;
}

DryRunReport DryRunRestore(const fs::path& mediaRoot, const fs::path& persistRoot, const std::string& shownPersistRoot,
                           const DryRunOptions& options)
{
    DryRunReport report;
    report.shownPersistRoot = shownPersistRoot;
    report.bPersistRootFound = IsFolder(persistRoot);
    const fs::path config = mediaRoot / MEDIA_CONFIG_FOLDER;
    const fs::path mediaPersist = config / MEDIA_PERSIST_FOLDER;

    std::string record;
    IdentityFinding saved;
    if (ReadTextStart(config / MEDIA_IDENTITY_FILE, SAVED_RECORD_BYTES, &record) == FILE_READ_OK)
        saved = ParseIdentityRecord(record);

    CUnitModel unit(persistRoot);
    ReadTarget(unit, persistRoot, saved.part, saved.nRevision, report.target);
    PredictCourse(config, persistRoot, saved, options, report.target);
    switch (report.target.course) {
    case COURSE_UNDO:
    case COURSE_FINISH_UNDO:
        // The undo imports nothing: it puts back what the disabling changed.
        report.steps.push_back(report.target.course == COURSE_UNDO
                                   ? "the save is this disabled unit's own: the run undoes the disabling and "
                                     "imports nothing"
                                   : "an undo of this very save was cut off on this unit: the run finishes it and "
                                     "imports nothing");
        report.steps.push_back("the media is cleared");
        break;
    case COURSE_REFUSED:
        report.steps.push_back(RefusalText(report.target));
        // The import is shown all the same, for what the save holds.
        [[fallthrough]];
    case COURSE_IMPORT: {
        if (report.target.bOwnSave && EqualsNoCase(report.target.ferrox.c_str(), kUndoneState))
            report.steps.push_back("the save is this unit's own, and no undo of it was cut off: it is imported "
                                   "like any other");
        // A file met in both passes and not taken counts once, as in the restore.
        std::set<const SavedFileEntry*> notTaken;
        for (const RestoreStep& step : RestoreSteps())
            if (!ImportRow(step, mediaPersist, saved.part, options, unit, report)) notTaken.insert(step.pEntry);
        report.nFilesNotTaken = notTaken.size();
        EndOfRestore(mediaPersist, unit, report.target, report);
        break;
    }
    }

    for (std::unique_ptr<KeySlot>& slot : unit.Slots()) {
        CollectChanges(*slot);
        report.keys.push_back(slot->report);
    }
    return report;
}

const char* ChangeOriginText(ChangeOrigin origin)
{
    switch (origin) {
    case BY_IMPORT:          return "import";
    case BY_DATALINK_FIX_UP: return "data-link fix-up";
    case BY_RESTORE_END:     return "end of the restore";
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
