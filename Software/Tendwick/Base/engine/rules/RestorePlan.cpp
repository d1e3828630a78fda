#include "RestorePlan.h"

#include "DisableRecord.h"
#include "DisablingFiles.h"
#include "IdentityRules.h"
#include "KnobAssignments.h"
#include "ReleasePairs.h"
#include "TextFields.h"

#include <algorithm>
#include <map>
#include <set>

using keyfile::ValueType;

namespace {

const size_t kKeyNameSize = 256;
// The engine's read buffers: the factory flag 17 bytes, the identity and
// Ferrox texts 100, the platform 17, the undo's settings 200, the serial
// number the window reads after a run 50.
const size_t kFactoryFlagChars = 16;
const size_t kIdentityChars = 99;
const size_t kPlatformChars = 16;
const size_t kUndoValueChars = 199;
const size_t kWindowSerialChars = 49;
// The saved setting the undo looks up: it must fit 512 bytes whole.
const size_t kSavedSettingChars = 511;

const char kShellPersist[] = "ShellPersist";
const char kShellConfig[] = "ShellConfig";
const char kSystemData[] = "SystemData";
const char kSavedShellConfig[] = "ShellPersist-ShellConfig.pri";
const char kSplashValue[] = "SplashNoticeBitmap";
const char kRestoredState[] = "RESTORED";
const char kDisabledState[] = "SAVED";
const char kUndoneState[] = "RESTORED-ORIGINAL";

std::string Lower(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

const char* KindWord(ImportKind kind)
{
    switch (kind) {
    case IMPORT_BOOL:     return "bool";
    case IMPORT_DWORD:    return "dword";
    case IMPORT_STRING:   return "string";
    case IMPORT_BAD_TYPE: break;
    }
    return "";
}

ValueType KindType(ImportKind kind)
{
    switch (kind) {
    case IMPORT_BOOL:     return ValueType::Bool;
    case IMPORT_DWORD:    return ValueType::Dword;
    case IMPORT_STRING:   return ValueType::String;
    case IMPORT_BAD_TYPE: break;
    }
    return ValueType::None;
}

bool SameValue(const KeyValue& a, const KeyValue& b)
{
    if (a.type != b.type) return false;
    if (a.type == ValueType::Dword) return keyfile::ParseDword(a.text.c_str()) == keyfile::ParseDword(b.text.c_str());
    return a.text == b.text;
}

template <typename T>
void AddOnce(std::vector<T>& list, const T& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// A value's state before the run's first write to it, and its last writer.
struct Touched {
    bool         bExisted = false;
    KeyValue     before;
    ChangeOrigin origin = BY_IMPORT;
    bool         bWritten = false;
};

class CPlanner {
public:
    CPlanner(const PlanInput& input, CUnitSettings& unit, CSavedMedia& media, RestorePlan& plan,
             bool report = true)
        : m_input(input), m_unit(unit), m_media(media), m_plan(plan), m_bReport(report) {}

    // Whether the plan is to be shown: then each value is read before it is
    // written, and each value a filter keeps; a plan carried out step by step
    // needs neither.
    bool Reports() const { return m_bReport; }

    PlannedKey& Key(const std::string& subdir, const std::string& key)
    {
        const std::string id = Lower(subdir + "\\" + key);
        auto found = m_index.find(id);
        if (found != m_index.end()) return m_plan.keys[found->second];
        m_plan.keys.push_back(PlannedKey());
        m_plan.keys.back().subdir = subdir;
        m_plan.keys.back().key = key;
        m_touched.emplace_back();
        m_index[id] = m_plan.keys.size() - 1;
        return m_plan.keys.back();
    }

    bool Read(const std::string& subdir, const std::string& key, const char* name, KeyValue* value)
    {
        Key(subdir, key);
        return m_unit.Read(subdir.c_str(), key.c_str(), name, value);
    }

    // A one-shot string read as the engine makes it: only a string value
    // that fits the caller's buffer whole counts as read.
    bool ReadString(const std::string& subdir, const std::string& key, const char* name, size_t maxChars,
                    std::string* text)
    {
        KeyValue value;
        if (!Read(subdir, key, name, &value) || value.type != ValueType::String || value.text.size() > maxChars)
            return false;
        *text = value.text;
        return true;
    }

    bool KeyOpens(const std::string& subdir, const std::string& key)
    {
        Key(subdir, key);
        return m_unit.KeyOpens(subdir.c_str(), key.c_str());
    }

    // Makes the write on the unit's settings and keeps what it changes.
    void Write(PlannedWrite& write)
    {
        PlannedKey& key = Key(write.subdir, write.key);
        if (write.kind == IMPORT_BAD_TYPE) {
            write.result = KEY_WRITE_NOT_OPEN;
            ++key.nBadTypes;
            return;
        }
        std::map<std::string, Touched>& touched = m_touched[m_index[Lower(write.subdir + "\\" + write.key)]];
        const std::string id = Lower(write.name);
        if (m_bReport && touched.find(id) == touched.end()) {
            Touched first;
            first.bExisted = m_unit.Read(write.subdir.c_str(), write.key.c_str(), write.name.c_str(), &first.before);
            touched[id] = first;
        }
        write.result = m_unit.Write(write.subdir.c_str(), write.key.c_str(), KindType(write.kind), write.name.c_str(),
                                    write.text.c_str(), write.number);
        if (write.result == KEY_WRITE_DONE) {
            touched[id].origin = write.origin;
            touched[id].bWritten = true;
            return;
        }
        for (const RefusedWrite& known : key.refused)
            if (known.name == write.name && known.reason == write.result) return;
        key.refused.push_back(RefusedWrite{write.name, write.type, write.text, write.result});
    }

    PlannedWrite MakeWrite(const char* subdir, const char* key, ImportKind kind, const char* name, const char* text,
                           uint32_t number, ChangeOrigin origin)
    {
        PlannedWrite write;
        write.subdir = subdir;
        write.key = key;
        write.name = name;
        write.kind = kind;
        write.type = KindWord(kind);
        write.text = text;
        write.number = number;
        write.origin = origin;
        Write(write);
        return write;
    }

    void WriteTo(std::vector<PlannedWrite>& list, const char* subdir, const char* key, ImportKind kind,
                 const char* name, const char* text, uint32_t number, ChangeOrigin origin)
    {
        list.push_back(MakeWrite(subdir, key, kind, name, text, number, origin));
    }

    // Each written value that ends up other than it began, in name order.
    void CollectChanges()
    {
        for (size_t i = 0; i < m_plan.keys.size(); ++i) {
            PlannedKey& key = m_plan.keys[i];
            for (const auto& entry : m_touched[i]) {
                const Touched& touched = entry.second;
                if (!touched.bWritten) continue;
                KeyValue after;
                if (!m_unit.Read(key.subdir.c_str(), key.key.c_str(), touched.before.name.empty()
                                                                         ? entry.first.c_str()
                                                                         : touched.before.name.c_str(),
                                 &after))
                    continue;
                if (touched.bExisted && SameValue(touched.before, after)) continue;
                ValueChange change;
                change.name = after.name;
                change.newType = ValueTypeWord(after.type);
                change.newText = after.text;
                change.bExisted = touched.bExisted;
                if (touched.bExisted) {
                    change.oldType = ValueTypeWord(touched.before.type);
                    change.oldText = touched.before.text;
                }
                change.origin = touched.origin;
                key.changes.push_back(change);
            }
        }
    }

    const PlanInput& Input() const { return m_input; }
    CUnitSettings&   Unit() { return m_unit; }
    CSavedMedia&     Media() { return m_media; }
    RestorePlan&     Plan() { return m_plan; }

private:
    const PlanInput&                            m_input;
    CUnitSettings&                              m_unit;
    CSavedMedia&                                m_media;
    RestorePlan&                                m_plan;
    std::map<std::string, size_t>               m_index;
    std::vector<std::map<std::string, Touched>> m_touched;   // per key, by lower-case name
    bool                                        m_bReport;
};

// The import of one saved file into the unit's settings.
class CPlanImport : public CSavedKeyVisitor {
public:
    CPlanImport(CPlanner& planner, PlannedFile& file) : m_planner(planner), m_file(file) {}

    void OnRefusedLine(ParseOutcome outcome, const char* line) override
    {
        m_file.refusedLines.push_back(RefusedLine{outcome, line, m_file.writes.size()});
        ++Key().nRefusedLines;
    }

    void OnFilteredOut(const char* name, const char* type, const char* text) override
    {
        KeptValue kept{name, type, text, false, std::string(), std::string()};
        KeyValue unit;
        if (m_planner.Reports() && m_planner.Read(Dir(), m_file.key, name, &unit)) {
            kept.bUnitHas = true;
            kept.unitType = ValueTypeWord(unit.type);
            kept.unitText = unit.text;
        }
        m_file.kept.push_back(kept);
        PlannedKey& key = Key();
        for (const KeptValue& known : key.kept)
            if (known.name == name) return;
        key.kept.push_back(kept);
    }

    void OnValue(const ImportValue& value) override
    {
        PlannedWrite write;
        write.subdir = Dir();
        write.key = m_file.key;
        write.name = value.pszName;
        write.kind = value.kind;
        write.type = value.pszType;
        write.text = value.pszText;
        write.number = value.dwNumber;
        m_planner.Write(write);
        if (write.kind != IMPORT_BAD_TYPE && write.result != KEY_WRITE_DONE) ++m_nRefused;
        m_file.writes.push_back(write);
    }
    // Writes the key refused: the store refuses them too, and the file is not taken.
    size_t Refused() const { return m_nRefused; }

private:
    std::string Dir() const { return m_file.step.pEntry->pszDirectory; }
    PlannedKey& Key() { return m_planner.Key(Dir(), m_file.key); }

    CPlanner&    m_planner;
    PlannedFile& m_file;
    size_t       m_nRefused = 0;
};

// The first string value of one name in a saved file.
class CSavedSetting : public CSavedKeyVisitor {
public:
    explicit CSavedSetting(const char* name) : m_pszName(name) {}
    void OnRefusedLine(ParseOutcome, const char*) override {}
    void OnValue(const ImportValue& value) override
    {
        if (m_value.empty() && !m_bFound && value.kind == IMPORT_STRING && std::string(value.pszName) == m_pszName) {
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

bool ReadFactoryFlag(const char* configName, char* buffer, size_t size, void* context)
{
    std::string text;
    if (!static_cast<CPlanner*>(context)->ReadString(FACTORY_FLAG_DIRECTORY, configName, FACTORY_FLAG_VALUE,
                                                     kFactoryFlagChars, &text))
        return false;
    CopyText(buffer, size, text.c_str());
    return true;
}

void DatalinkFixUp(CPlanner& planner, PlannedFile& file)
{
    const size_t maxChars = DATALINK_READ_SIZE - 1;
    KeyValue device;
    // "Device" is a number: present when it reads as one or as text.
    const bool hasDevice = planner.Read(DATALINK_SUBDIR, DATALINK_KEY, DATALINK_DEVICE, &device) &&
                           (device.type == ValueType::Dword ||
                            (device.type == ValueType::String && device.text.size() <= maxChars));
    if (!hasDevice)
        planner.WriteTo(file.fixUp, DATALINK_SUBDIR, DATALINK_KEY, IMPORT_DWORD, DATALINK_DEVICE, "",
                        DATALINK_DEVICE_DEFAULT, BY_DATALINK_FIX_UP);
    std::string text;
    if (!planner.ReadString(DATALINK_SUBDIR, DATALINK_KEY, DATALINK_DEVICE_TEXT, maxChars, &text))
        planner.WriteTo(file.fixUp, DATALINK_SUBDIR, DATALINK_KEY, IMPORT_STRING, DATALINK_DEVICE_TEXT,
                        DATALINK_DEVICE_TEXT_DEFAULT, 0, BY_DATALINK_FIX_UP);
}

// One step of the restore as the engine takes it.
PlannedFile PlanFile(CPlanner& planner, const RestoreStep& step)
{
    PlannedFile file;
    file.step = step;
    RestorePlan& plan = planner.Plan();
    const SavedFileEntry& entry = *step.pEntry;
    const PlanInput& input = planner.Input();
    if (!IsFactoryConfigured(entry, ReadFactoryFlag, &planner, input.pGatedList, input.nGatedCount)) {
        file.fate = FILE_NOT_FACTORY_CONFIGURED;
        AddOnce(plan.skippedRows, std::string(entry.pszConfigName ? entry.pszConfigName : "") + ": " +
                                      entry.pszMediaName);
        return file;
    }
    // A row the save had no file for is no failure: the source unit lacked it.
    file.bListed = planner.Media().Lists(entry.pszMediaName);
    char key[kKeyNameSize] = {};
    if (!SavedKeyName(entry.pszFile, key, sizeof(key))) {
        file.fate = FILE_NO_KEY_NAME;
        file.bTaken = !file.bListed;
        AddOnce(plan.steps, std::string(entry.pszFile) + ": no key name; the row is passed over");
        return file;
    }
    file.key = key;
    PlannedKey& planned = planner.Key(entry.pszDirectory, key);
    AddOnce(planned.mediaNames, std::string(entry.pszMediaName));
    const std::string name = entry.pszMediaName;

    std::string bytes;
    file.read = planner.Media().Read(entry.pszMediaName, &bytes, &file.nSize);
    file.bTaken = false;
    switch (file.read) {
    case SAVED_READ_OK: {
        size_t textLength = 0;
        file.bFailsCheck = !keyfile::ValidateKeyFile(bytes.data(), bytes.size(), &textLength);
        if (file.bFailsCheck) AddOnce(planned.notes, name + " fails its check: imported anyway");
        file.bKeyOpens = planner.KeyOpens(entry.pszDirectory, key);
        if (!file.bKeyOpens) {
            AddOnce(planner.Key(entry.pszDirectory, key).notes, std::string("the unit's key does not open"));
            if (!entry.bOpenTolerant) {
                file.fate = FILE_KEY_NOT_OPEN;
                break;
            }
        }
        std::vector<char> text(bytes.begin(), bytes.end());
        text.push_back('\0');
        CPlanImport import(planner, file);
        WalkSavedKeyFile(text.data(), bytes.size(), entry.pFilter, entry.dwFilterCount, import);
        file.bTaken = file.bKeyOpens && import.Refused() == 0;
        break;
    }
    case SAVED_READ_NO_FILE:
        file.fate = FILE_NOT_ON_MEDIA;
        AddOnce(planned.notes, name + " not on the media: nothing imported");
        file.bTaken = !file.bListed;
        break;
    case SAVED_READ_TOO_LARGE:
        file.fate = FILE_NOT_READ;
        AddOnce(planned.notes, name + " is larger than any saved key: not read");
        break;
    default:
        file.fate = FILE_NOT_READ;
        AddOnce(planned.notes, name + " cannot be read: nothing imported");
        break;
    }
    if (NeedsDatalinkFixUp(entry.pszDirectory, key, input.savedPart.c_str())) DatalinkFixUp(planner, file);
    return file;
}

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
    target.bDisabled = EqualsNoCase(target.ferrox.c_str(), kDisabledState);
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

// The serial number the window stores once a run on the Restore key has
// finished: the save's, when the unit gives no valid one of its own.
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

// The import, then the steps of a restore after it.
void PlanImport(CPlanner& planner)
{
    RestorePlan& plan = planner.Plan();
    const TargetFinding& target = plan.target;
    if (target.bOwnSave && EqualsNoCase(target.ferrox.c_str(), kUndoneState))
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
    planner.WriteTo(plan.endWrites, kShellPersist, target.stateKey.c_str(), IMPORT_STRING, "Ferrox", kRestoredState,
                    0, BY_RESTORE_END);
    plan.steps.push_back("the media is cleared");
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
    planner.WriteTo(plan.endWrites, kShellPersist, kShellConfig, IMPORT_STRING, "Ferrox", kUndoneState, 0, BY_UNDO);

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
    planner.WriteTo(plan.endWrites, kShellPersist, kSystemData, IMPORT_STRING, "Ferrox", kUndoneState, 0, BY_UNDO);
    plan.steps.push_back("the installed files that oemlogo and Map named are deleted");
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
        EqualsNoCase(target.ferrox.c_str(), kUndoneState) && target.bUndoProof)
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
        plan.stateAfter = kUndoneState;
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
            plan.stateAfter = kRestoredState;
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
