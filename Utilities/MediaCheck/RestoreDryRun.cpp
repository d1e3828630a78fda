#include "RestoreDryRun.h"

#include "ChkFile.h"
#include "IdentityRules.h"
#include "MediaInspection.h"
#include "MediaLayout.h"
#include "UndoProof.h"

#include <map>
#include <memory>

namespace {

const char kRecordFile[] = "SWDisable.txt";

std::string Lower(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The unit's keys as the store would open them from its files; the plan's
// writes change these copies only.
class CUnitModel : public CUnitSettings {
public:
    CUnitModel(const fs::path& persistRoot, const std::string& registrySerial)
        : m_persistRoot(persistRoot), m_registrySerial(registrySerial) {}

    bool KeyOpens(const char* subdir, const char* key) override { return Model(subdir, key).IsOpen(); }

    bool Read(const char* subdir, const char* key, const char* name, KeyValue* value) override
    {
        return Model(subdir, key).Find(name, value);
    }

    KeyWrite Write(const char* subdir, const char* key, keyfile::ValueType type, const char* name, const char* text,
                   uint32_t number) override
    {
        CKeyModel& model = Model(subdir, key);
        switch (type) {
        case keyfile::ValueType::Bool:   return model.WriteBool(name, static_cast<int>(number));
        case keyfile::ValueType::Dword:  return model.WriteDword(name, number);
        case keyfile::ValueType::String: return model.WriteString(name, text);
        case keyfile::ValueType::None:   break;
        }
        return KEY_WRITE_NOT_OPEN;
    }

    std::string RegistrySerial() override { return m_registrySerial; }

    KeySource Source(const std::string& subdir, const std::string& key) { return Slot(subdir, key).source; }

private:
    struct KeySlot {
        CKeyModel model;
        KeySource source = KEY_CREATED;
    };

    KeySlot& Slot(const std::string& subdir, const std::string& key)
    {
        std::unique_ptr<KeySlot>& slot = m_slots[Lower(subdir + "\\" + key)];
        if (!slot) {
            slot.reset(new KeySlot);
            const fs::path folder = JoinRelative(m_persistRoot, subdir);
            slot->source = slot->model.Load(folder / (key + ".pri"), folder / (key + ".sec"));
        }
        return *slot;
    }
    CKeyModel& Model(const char* subdir, const char* key) { return Slot(subdir, key).model; }

    fs::path                                        m_persistRoot;
    std::string                                     m_registrySerial;
    std::map<std::string, std::unique_ptr<KeySlot>> m_slots;
};

// The saved key files in the media's persist folder.
class CMediaSave : public CSavedMedia {
public:
    explicit CMediaSave(const fs::path& folder) : m_folder(folder) {}

    bool Lists(const char* name) override
    {
        std::error_code error;
        return fs::exists(m_folder / name, error);
    }

    SavedFileRead Read(const char* name, std::string* bytes, long* size) override
    {
        std::error_code error;
        const uintmax_t found = fs::file_size(m_folder / name, error);
        *size = error ? -1 : static_cast<long>(found);
        switch (ReadWholeFile(m_folder / name, SAVED_FILE_MAX_BYTES, bytes)) {
        case FILE_READ_OK:   return SAVED_READ_OK;
        case FILE_MISSING:   return SAVED_READ_NO_FILE;
        case FILE_TOO_LARGE: return SAVED_READ_TOO_LARGE;
        default:             return SAVED_READ_SHORT;
        }
    }

private:
    fs::path m_folder;
};

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

// What the plan needs from the media's and the unit's files.
PlanInput ReadInput(const fs::path& config, const fs::path& persistRoot, const std::string& shownPersistRoot,
                    const DryRunOptions& options)
{
    PlanInput input;
    std::string record;
    if (ReadTextStart(config / MEDIA_IDENTITY_FILE, SAVED_RECORD_BYTES, &record) == FILE_READ_OK) {
        IdentityFinding saved = ParseIdentityRecord(record);
        input.bSavedIdentity = saved.bPresent;
        input.savedSerial = saved.serial;
        input.savedPart = saved.part;
        input.nSavedRevision = saved.nRevision;
    }
    // The pieces of the undo's proof as the engine reads them: bytes as they are.
    std::string identity, chk, proof;
    ReadStart(config / MEDIA_IDENTITY_FILE, UNDO_PROOF_PART_BYTES, &identity);
    ReadStart(config / MEDIA_HIVE_CHK_FILE, UNDO_PROOF_PART_BYTES, &chk);
    ReadStart(persistRoot / UNDO_PROOF_FILE, 2 * UNDO_PROOF_PART_BYTES + 2, &proof);
    input.bUndoProof = UndoProofNames(proof, identity, chk);
    input.bSavedFiles = IsFile(config / MEDIA_HIVE_FILE) && IsFile(config / MEDIA_IDENTITY_FILE);
    input.bLinkedFolder = IsLink(config) || IsLink(config / MEDIA_PERSIST_FOLDER);
    input.bHiveCopyOfAnotherSave = HiveCopyNamesAnotherSave(options.hiveCopy, chk);
    input.bRecordPresent = ReadWholeFile(persistRoot / kRecordFile, MEDIA_READ_LIMIT, &input.recordBytes) ==
                           FILE_READ_OK;
    input.persistRoot = shownPersistRoot;
    input.pGatedList = options.pGatedList;
    input.nGatedCount = options.nGatedCount;
    return input;
}

} // namespace

DryRunReport DryRunRestore(const fs::path& mediaRoot, const fs::path& persistRoot, const std::string& shownPersistRoot,
                           const DryRunOptions& options)
{
    const fs::path config = mediaRoot / MEDIA_CONFIG_FOLDER;
    CUnitModel unit(persistRoot, options.registrySerial);
    CMediaSave media(config / MEDIA_PERSIST_FOLDER);
    DryRunReport report;
    static_cast<RestorePlan&>(report) =
        BuildRestorePlan(ReadInput(config, persistRoot, shownPersistRoot, options), unit, media);
    report.shownPersistRoot = shownPersistRoot;
    report.bPersistRootFound = IsFolder(persistRoot);
    for (const PlannedKey& key : report.keys) report.sources.push_back(unit.Source(key.subdir, key.key));
    return report;
}
