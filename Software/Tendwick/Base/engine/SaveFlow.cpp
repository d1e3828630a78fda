// The save: proves the media writable, asks for confirmation and a serial
// number, then writes the registry hive, its checksum, the catalogue's key
// files, the address book and the identity record to the media, and reads
// every copy back before the source unit may be disabled.
#include "SaveFlow.h"
#include "EngineFileCalls.h"

#include "Disabling.h"
#include "Eligibility.h"
#include "MediaServices.h"
#include "MessagePump.h"
#include "RunContext.h"
#include "RunMaint.h"
#include "RunWindow.h"
#include "UnitIdentity.h"
#include "UnitState.h"

#include "Crc32.h"
#include "CsrLog.h"
#include "DurableCopy.h"
#include "EngineLimits.h"
#include "DisablingFiles.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "MediaLinks.h"
#include "SavedFileCatalogue.h"
#include "TextFields.h"
#include "UncachedRead.h"
#include "WholeRoot.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

CSaveFlow::SaveReadBackHook s_pfnSaveReadBackHook = nullptr;

using MediaCopy = CSaveFlow::MediaCopy;

const DWORD kCopyBlockBytes = 65536;

// A path the ANSI file calls cannot take is refused, not cut.
const std::string& RequireShortPath(const std::string& path)
{
    if (path.size() < MAX_PATH) return path;
    CsrLog(CSRLOG_ERROR, "SaveConfig: Path longer than %d characters: \"%.80s...\"\n", MAX_PATH - 1, path.c_str());
    CFileException::ThrowOsError(ERROR_FILENAME_EXCED_RANGE, path.c_str());
}

// One file the save copies: from the unit to the media.
struct SaveCopyPath {
    std::string source;
    std::string destination;
};

// The catalogue's copies, in its order, every path checked.
std::vector<SaveCopyPath> PlanCatalogueCopies(const std::string& root, const std::string& mediaPersistFolder)
{
    std::vector<SaveCopyPath> plan;
    for (const SavedFileEntry& row : SavedFileCatalogue)
        plan.push_back({RequireShortPath(JoinPath((root + row.pszDirectory + "\\").c_str(), row.pszFile)),
                        RequireShortPath(JoinPath(mediaPersistFolder.c_str(), row.pszMediaName))});
    return plan;
}

// Creates (truncating) a media file for writing. A read-only file in the way,
// left by an earlier writer, is made writable first: it would otherwise block
// every later save onto this media.
CEngineFile CreateMediaFile(const std::string& path)
{
    // A file that is not there needs no change; one that stays read-only
    // makes the create below fail and say so.
    FcSetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    CEngineFile file;
    if (!file.Open(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS))
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
    return file;
}

void ThrowLastError()
{
    CFileException::ThrowOsError(static_cast<long>(GetLastError()));
}

// Creates a media file holding exactly these bytes, flushed to the device
// before it is closed.
MediaCopy WriteWholeFile(const std::string& path, const std::string& bytes)
{
    CEngineFile file = CreateMediaFile(path);
    if (!file.WriteAll(bytes.data(), static_cast<DWORD>(bytes.size())) || !file.Flush() || !file.Close())
        ThrowLastError();
    return {path, bytes.size(), keyfile::Crc32(bytes.data(), bytes.size())};
}

// The identity record makes the files on the media a save: it appears under
// its name only whole, written beside it, flushed and moved there. A write
// that fails or is cut off leaves no record, so no save that no unit can
// take and no save can replace.
MediaCopy WriteIdentityRecord(const std::string& path, const std::string& record)
{
    if (!WriteFileReplacing(path, record)) ThrowLastError();
    return {path, record.size(), keyfile::Crc32(record.data(), record.size())};
}

// Copies a file onto the media, flushed, and notes the size and checksum of
// the bytes copied: the read-back compares the copy with them, not with the
// source, which another program may hold open or save anew meanwhile. The
// source is read with all sharing allowed, and the copy is a plain writable
// file whatever the source's attributes. 0, or the operating-system error;
// raises when the media copy cannot be written.
DWORD CopyCounted(const std::string& source, const std::string& destination, MediaCopy* made)
{
    CEngineFile input;
    if (!input.Open(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    OPEN_EXISTING))
        return GetLastError();

    CEngineFile output = CreateMediaFile(destination);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockBytes]);
    if (!block) CFileException::ThrowOsError(ERROR_NOT_ENOUGH_MEMORY);
    uint64_t size = 0;
    uint32_t crc = 0;
    for (;;) {
        DWORD read = 0;
        if (!input.Read(block.get(), kCopyBlockBytes, &read)) ThrowLastError();
        if (read == 0) break;
        crc = keyfile::Crc32(block.get(), read, crc);
        size += read;
        if (!output.WriteAll(block.get(), read)) ThrowLastError();
    }
    if (!output.Flush() || !output.Close()) ThrowLastError();
    *made = {destination, size, crc};
    return ERROR_SUCCESS;
}

// Copies one file to the media; false when the source is missing, in which
// case no stale copy of an earlier save may remain.
bool CopyToMedia(const std::string& source, const std::string& destination, MediaCopy* made)
{
    CsrLog(CSRLOG_TRACE, "SaveConfig: Copying %s to %s\n", source.c_str(), destination.c_str());
    DWORD error = CopyCounted(source, destination, made);
    if (error == ERROR_SUCCESS) return true;
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        CFileException::ThrowOsError(static_cast<long>(error));
    CsrLog(CSRLOG_TRACE, "SaveConfig: File (%s) not Found on source MFD - Ignoring.\n", source.c_str());
    // The clearing before the copies removed any earlier copy: these only
    // guard against one it could not remove, which the read-back then finds.
    FcSetFileAttributes(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
    FcDeleteFile(destination.c_str());
    return false;
}

// Reads one media copy back from the device itself, sharing it with any
// other reader; an empty text when it holds what was written to it, else why
// not. The keys are held off by then: the window may go on painting.
std::string ProveCopy(const MediaCopy& copy)
{
    uint64_t gotSize = 0;
    uint32_t gotCrc = 0;
    DWORD error = SumFileUncached(copy.media.c_str(), &gotSize, &gotCrc, UncachedPump::Messages);
    if (error) return "copy unreadable, GetLastError = " + std::to_string(error);
    if (gotSize != copy.size || gotCrc != copy.crc) {
        char text[120];
        std::snprintf(text, sizeof(text), "size %lu CRC %lu, expected size %lu CRC %lu",
                      static_cast<unsigned long>(gotSize), static_cast<unsigned long>(gotCrc),
                      static_cast<unsigned long>(copy.size), static_cast<unsigned long>(copy.crc));
        return text;
    }
    return std::string();
}

} // namespace

// Every path of one save, built and checked before anything on the media is
// touched: one too long must not cost the previous save.
struct SavePaths {
    std::string               configFolder;
    std::string               probe;
    std::string               registryFile;
    std::string               crcFile;
    std::string               persistFolder;
    std::string               identityFile;
    std::vector<SaveCopyPath> catalogue;
    SaveCopyPath              book;
};

static SavePaths PlanSave(const CRunContext& run)
{
    SavePaths paths;
    paths.configFolder = run.MediaRoot() + "ZelConfig\\";
    paths.probe = run.MediaRoot() + "ZIPPATH\\";
    paths.registryFile = RequireShortPath(JoinPath(paths.configFolder.c_str(), "CorvaneUserRegistry.reg"));
    paths.crcFile = JoinPath(paths.configFolder.c_str(), "CorvaneUserRegistry.chk");
    paths.persistFolder = paths.configFolder + "Persist\\";
    paths.identityFile = JoinPath(paths.configFolder.c_str(), "SWPartNum.txt");
    paths.catalogue = PlanCatalogueCopies(run.PersistRoot(), paths.persistFolder);
    paths.book = {RequireShortPath(TextPrefix(run.PersistRoot().c_str(), 3) + "ZelData\\DatalinkData\\" +
                                   "AddressBook.txt"),
                  RequireShortPath(JoinPath(paths.persistFolder.c_str(), "AddressBook.txt"))};
    return paths;
}


void CSaveFlow::SetSaveReadBackHook(SaveReadBackHook hook)
{
    s_pfnSaveReadBackHook = hook;
}

bool CSaveFlow::IsCutOffDisablingBesideOwnSave()
{
    const UnitIdentity& unit = m_run.Unit();
    return m_run.SavedFilesOnMedia("AreThereSavedFiles") &&
           IsOwnSave(m_run, unit.serial.c_str(), unit.part.c_str(), unit.revision) &&
           !CDisabling(m_run).IsDisablingComplete();
}

SaveStage CSaveFlow::SaveConfig()
{
    m_run.RequireMediaRoot("SaveConfig");
    m_run.RequireUpdatePaths("SaveConfig");
    const SavePaths paths = PlanSave(m_run);

    SaveStage stage = SAVE_DONE;
    if (!ProveMediaWritable(paths, &stage) || !AskQuestions(paths, &stage)) return stage;

    m_window.SetKeyMask(0);
    // An undo's proof left behind names a save this one replaces.
    CDisabling disabling(m_run);
    CDisabling::RemoveUndoProof(m_run.PersistRoot());
    // A disabling cut off beside an older save is saved anew: the unit's own
    // settings go onto the media, not those the disabling put in their place.
    if (CUnitState(m_run.IsLegacy()).IsDisabled()) disabling.PutRecordedSettingsBack();

    const uint32_t crc = SaveHive();
    if (!ClearForSave(paths, &stage)) return stage;

    std::vector<MediaCopy> written;
    WriteHiveCopies(paths, crc, &written);
    WriteCatalogue(paths, &written);
    WriteIdentity(paths, &written);
    m_prompts.bConfirmShown = false;
    return ReadBack(paths, written) ? SAVE_DONE : SAVE_NOT_WRITTEN;
}

bool CSaveFlow::ProveMediaWritable(const SavePaths& paths, SaveStage* stage)
{
    // Whether the media takes a folder is what the probe below finds out.
    FcCreateDirectory(paths.configFolder.c_str());
    // A probe left by a run cut off; absent as a rule.
    FcRemoveDirectory(paths.probe.c_str());
    if (!FcCreateDirectory(paths.probe.c_str())) {
        CsrLog(CSRLOG_ERROR,
               "CRunMaint::SaveConfig: Attempt to write removable media (CreateDirectory of \"%s\") failed.  "
               "GetLastError = %d\n",
               paths.probe.c_str(), static_cast<int>(GetLastError()));
        *stage = SAVE_NOT_WRITTEN;
        return false;
    }
    if (!FcRemoveDirectory(paths.probe.c_str()))
        CsrLog(CSRLOG_ERROR,
               "CRunMaint::SaveConfig: Attempt to remove test directory \"%s\" failed. GetLastError = %d. "
               "Continuing anyway...\n",
               paths.probe.c_str(), static_cast<int>(GetLastError()));
    return true;
}

bool CSaveFlow::AskQuestions(const SavePaths& paths, SaveStage* stage)
{
    if (CUnitState(m_run.IsLegacy()).IsDisabled() && !IsCutOffDisablingBesideOwnSave()) {
        m_window.SetStatusText("Cannot resave data without restore.", RUN_COLOUR_WHITE);
        *stage = SAVE_UNIT_DISABLED;
        return false;
    }
    if (!m_prompts.bConfirmShown) {
        m_window.ShowConfirm(FcPathExists(paths.registryFile) ? "Save will disable this unit. Overwrite Previous Save?"
                                                            : "Save will disable this unit. Continue save?",
                             true);
        m_prompts.bConfirmShown = true;
        *stage = SAVE_CONFIRM_SHOWN;
        return false;
    }
    if (HasValidSerialNum()) return true;
    *stage = SAVE_SERIAL_ENTRY;
    return TakeEnteredSerial();
}

bool CSaveFlow::TakeEnteredSerial()
{
    if (!m_prompts.bSerialPromptShown) {
        m_prompts.bSerialPromptShown = true;
        m_window.BeginSerialEntry("");
        m_window.ShowSerialEntry();
        return false;
    }
    char entered[IDENTITY_TEXT_SIZE] = {};
    if (!m_window.GetEnteredSerial(entered, sizeof(entered))) return false;
    entered[sizeof(entered) - 1] = '\0';
    // A number the store refused is still the one this save records; the
    // next save asks again.
    SaveNewSn(entered);
    m_run.SetUnitSerial(entered);
    m_prompts.bSerialPromptShown = false;
    return true;
}

uint32_t CSaveFlow::SaveHive()
{
    // The registry key is saved before the media is cleared: a save of it
    // that fails (no backup privilege, a full drive) then leaves the earlier
    // save on the media as it was.
    if (FcPathExists(kLocalRegistryCopy)) {
        // A read-only copy would refuse the delete, which is checked.
        FcSetFileAttributes(kLocalRegistryCopy, FILE_ATTRIBUTE_NORMAL);
        if (!FcDeleteFile(kLocalRegistryCopy)) CFileException::ThrowOsError(static_cast<long>(GetLastError()));
    }
    LONG saved = FcRegSaveKey(m_run.CorvaneKey(), kLocalRegistryCopy);
    if (saved != ERROR_SUCCESS) CFileException::ThrowOsError(saved);
    // The copy tells a later press that a disabling cut off belongs to this
    // save (its checksum is the save's): it must outlive a power cut.
    CEngineFile hiveCopy;
    if (!hiveCopy.Open(kLocalRegistryCopy, GENERIC_WRITE, 0, OPEN_EXISTING) || !hiveCopy.Flush() || !hiveCopy.Close())
        ThrowLastError();
    m_window.SetStatusText("Retrieved Registry", RUN_COLOUR_WHITE);

    // A checksum of a file that could not be read whole would be a wrong one.
    uint32_t crc = 0;
    DWORD crcError = CRunMaint::GetFileCrc(kLocalRegistryCopy, &crc);
    if (crcError != ERROR_SUCCESS) CFileException::ThrowOsError(static_cast<long>(crcError), kLocalRegistryCopy);
    return crc;
}

bool CSaveFlow::ClearForSave(const SavePaths& paths, SaveStage* stage)
{
    ClearRemovableMedia(m_run);
    // A link the clearing could not remove would take the copies onto
    // whatever it leads to (the unit's own files): nothing is written.
    const std::string configPath = paths.configFolder.substr(0, paths.configFolder.size() - 1);
    if (MediaFoldersAreLinks(m_run.MediaRoot().c_str()) || FolderHoldsLink(configPath) ||
        FolderHoldsLink(configPath + "\\Persist")) {
        CsrLog(CSRLOG_ERROR, "SaveConfig: A link on the removable media outlived the clearing; nothing written\n");
        m_prompts.bConfirmShown = false;
        *stage = SAVE_LINK_LEFT;
        return false;
    }
    return true;
}

void CSaveFlow::WriteHiveCopies(const SavePaths& paths, uint32_t crc, std::vector<MediaCopy>* written)
{
    MediaCopy hive;
    DWORD copyError = CopyCounted(kLocalRegistryCopy, paths.registryFile, &hive);
    if (copyError != ERROR_SUCCESS) CFileException::ThrowOsError(static_cast<long>(copyError));
    // The copy must be the hive whose checksum the CRC file gives.
    hive.crc = crc;
    written->push_back(hive);
    m_window.SetStatusText("Copied Registry File", RUN_COLOUR_WHITE);
    m_window.SetDetailText(paths.registryFile.c_str(), RUN_COLOUR_WHITE);

    char crcText[16];
    std::snprintf(crcText, sizeof(crcText), "%d\n", static_cast<int>(crc));
    written->push_back(WriteWholeFile(paths.crcFile, crcText));
    m_window.SetStatusText("Updated Registry CRC File", RUN_COLOUR_WHITE);
    m_window.SetDetailText(paths.crcFile.c_str(), RUN_COLOUR_WHITE);
}

void CSaveFlow::WriteCatalogue(const SavePaths& paths, std::vector<MediaCopy>* written)
{
    // A folder that could not be made fails the first copy into it, which raises.
    FcCreateDirectory(paths.persistFolder.c_str());
    m_window.SetStatusText("Copying configuration to removable media...", RUN_COLOUR_WHITE);

    for (const SaveCopyPath& copy : paths.catalogue) {
        MediaCopy made;
        if (CopyToMedia(copy.source, copy.destination, &made)) {
            m_window.SetDetailText(copy.source.c_str(), RUN_COLOUR_WHITE);
            written->push_back(made);
        }
        PumpMessagesFor(250);
        m_window.StepProgress();
    }

    MediaCopy bookCopy;
    if (CopyToMedia(paths.book.source, paths.book.destination, &bookCopy)) {
        m_window.SetDetailText(paths.book.source.c_str(), RUN_COLOUR_WHITE);
        written->push_back(bookCopy);
    }
    PumpMessagesFor(250);
}

void CSaveFlow::WriteIdentity(const SavePaths& paths, std::vector<MediaCopy>* written)
{
    const UnitIdentity& unit = m_run.Unit();
    const std::string record =
        (unit.serial.empty() ? std::string(" ") : unit.serial) + "|" + (unit.partText.empty() ? " " : unit.partText);
    written->push_back(WriteIdentityRecord(paths.identityFile, record));
    m_window.SetStatusText("Updated Software Part Number File", RUN_COLOUR_WHITE);
    m_window.SetDetailText(paths.identityFile.c_str(), RUN_COLOUR_WHITE);
    PumpMessagesFor(250);
}

bool CSaveFlow::ReadBack(const SavePaths& paths, const std::vector<MediaCopy>& written)
{
    // The source unit is disabled only on a save that reads back whole: a
    // bad copy would otherwise lose the unit's configuration.
    if (s_pfnSaveReadBackHook) s_pfnSaveReadBackHook(paths.configFolder.c_str());
    for (const MediaCopy& copy : written) {
        std::string fault = ProveCopy(copy);
        if (fault.empty()) continue;
        CsrLog(CSRLOG_ERROR, "SaveConfig: Copy %s does not read back as saved (%s); clearing the save\n",
               copy.media.c_str(), fault.c_str());
        ClearRemovableMedia(m_run);
        return false;
    }
    CsrLog(CSRLOG_TRACE, "SaveConfig: %u files read back as saved\n", static_cast<unsigned>(written.size()));
    return true;
}
