// One saved file of the plan: the gate, the key, the lines the import takes
// and the data-link fix-up after it.
#include "RestorePlanner.h"

#include "TextFields.h"

using keyfile::ValueType;

namespace restore_plan {

namespace {

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

// The values of a saved file read whole, into the unit's key when it opens
// (or the row tolerates a key that does not).
void PlanReadFile(CPlanner& planner, const SavedFileEntry& entry, const char* key, const std::string& bytes,
                  PlannedFile& file)
{
    PlannedKey& planned = planner.Key(entry.pszDirectory, key);
    size_t textLength = 0;
    file.bFailsCheck = !keyfile::ValidateKeyFile(bytes.data(), bytes.size(), &textLength);
    if (file.bFailsCheck) AddOnce(planned.notes, std::string(entry.pszMediaName) + " fails its check: imported anyway");
    file.bKeyOpens = planner.KeyOpens(entry.pszDirectory, key);
    if (!file.bKeyOpens) {
        AddOnce(planner.Key(entry.pszDirectory, key).notes, std::string("the unit's key does not open"));
        if (!entry.bOpenTolerant) {
            file.fate = FILE_KEY_NOT_OPEN;
            return;
        }
    }
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    CPlanImport import(planner, file);
    WalkSavedKeyFile(text.data(), bytes.size(), entry.pFilter, entry.dwFilterCount, import);
    file.bTaken = file.bKeyOpens && import.Refused() == 0;
}

} // namespace

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
    case SAVED_READ_OK:
        PlanReadFile(planner, entry, key, bytes, file);
        break;
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

} // namespace restore_plan
