// Disabling the source unit after a save, and undoing it when the save is
// restored onto the same unit. Two variants: the startup-application one
// works through the store, the menu one (legacy part family) through the
// registry.
#include "Disabling.h"
#include "EngineFileCalls.h"

#include "EngineKeys.h"
#include "FileException.h"
#include "FrameworkString.h"
#include "MediaServices.h"
#include "RegistryAccess.h"
#include "RestoreFlow.h"
#include "RunContext.h"
#include "SavedFileCatalogue.h"
#include "UnitState.h"

#include "CsrLog.h"
#include "DisableRecord.h"
#include "DisablingFiles.h"
#include "DurableCopy.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "EventReporter.h"
#include "Retenta.h"
#include "TextFields.h"
#include "WholeRoot.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kTraceFile[] = "D:\\FerroxTrace.txt";

const char kSystemStartupApp[] = "c:\\zelsys\\system.exe|Maintenance";

// Persisted and registry values handled here: 200-byte buffers.
const size_t kValueBytes = 200;
const size_t kValueChars = kValueBytes - 1;
// What the saved-setting lookup may copy into its output.
const size_t kSavedSettingBytes = 512;

std::string FormatTextV(const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    return text;
}

// One formatted line of the unit's trace file.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    CDisabling::FerroxTrace(text.c_str());
}

struct Roots {
    std::string media;
    std::string persist;
};

// The roots of the run; raises without them, as every step here always did.
Roots GetRoots(const CRunContext& run, const char* caller)
{
    run.RequireUpdatePaths(caller);
    return {run.MediaRoot(), run.PersistRoot()};
}

// A setting that names an installed file must fit its value whole: a cut
// path would name some other file, and the undo could not recognise it.
bool FitsValue(const char* operation, const std::string& value)
{
    if (value.size() <= kValueChars) return true;
    std::string message = FormatText("%s: Path too long for its setting (%u characters) - %s\n", operation,
                                     static_cast<unsigned>(value.size()), value.c_str());
    CsrLog(CSRLOG_ERROR, "%s", message.c_str());
    ReportMaintError(message.c_str());
    return false;
}

// Clears the file's attributes (a copy keeps the source's read-only bit) and
// deletes it; the delete's result.
BOOL RemoveTarget(const std::string& target)
{
    // Only a read-only file needs it; the delete's result is the answer.
    FcSetFileAttributes(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    return FcDeleteFile(target.c_str());
}

// Creates (or empties) the record of previous settings. Raises the system's
// error when it cannot be created.
CEngineFile CreateRecord(const std::string& path)
{
    CEngineFile file;
    if (!file.Open(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS))
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
    return file;
}

// Writes the record whole and makes it durable: the steps after it change
// the settings it keeps.
void WriteRecord(CEngineFile& file, const std::string& text)
{
    if (!file.WriteAll(text.data(), static_cast<DWORD>(text.size())) || !file.Flush() || !file.Close())
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
}

// Reads the record's word by the record's rules (DisableRecord.h). False when
// there is no record; any other failure to open or read it raises the
// system's error (a record read in part is no record to act on).
bool ReadRecord(const std::string& path, CRecordWordReader* reader)
{
    CEngineFile file;
    if (!file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        CFileException::ThrowOsError(static_cast<long>(error));
    }
    char chunk[256];
    for (;;) {
        DWORD read = 0;
        if (!file.Read(chunk, sizeof(chunk), &read)) CFileException::ThrowOsError(static_cast<long>(GetLastError()));
        if (read == 0 || !reader->Feed(chunk, read)) break;
    }
    return true;
}

// Whether the record is there, and whether it can be read as a whole one.
enum class RecordState { None, Usable, Unusable };

// The startup-app variant's record (DisableRecord.h): the previous
// "SplashNoticeBitmap" in *picture when it is Usable.
RecordState ReadShellRecord(const std::string& path, std::string* picture)
{
    CEngineFile file;
    if (!file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RecordState::None
                                                                                : RecordState::Unusable;
    }
    char bytes[SHELL_RECORD_MAX_BYTES + 1];
    DWORD read = 0;
    if (!file.Read(bytes, sizeof(bytes), &read)) return RecordState::Unusable;
    return ShellRecordPicture(std::string(bytes, read), picture) ? RecordState::Usable : RecordState::Unusable;
}

// The program a menu entry names: the text before its first comma.
std::string MenuProgram(const CString& entry)
{
    int comma = entry.Find(',');
    return std::string(comma < 0 ? entry.GetString() : entry.Left(comma).GetString());
}

// What putting the menu variant's record back found and did.
struct MenuRecordBack {
    bool bUsable = false;        // a record with a word in it
    bool bNamedInstalled = false;   // a setting named an installed file
    bool bWritten = true;        // every such setting took the record's value
};

// Puts the record's values back into the settings that name the files the
// disabling installed; the others are the unit's own already (a disabling cut
// off before it named the files, or whose record it cut off empty).
MenuRecordBack PutMenuRecordBack(const std::string& persist, const char* operation)
{
    MenuRecordBack back;
    CString logo;
    CString map;
    ReadRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", logo);
    ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);
    const bool logoInstalled = EqualsNoCase(logo, JoinPath(persist.c_str(), kInstalledPicture).c_str());
    const bool mapInstalled = EqualsNoCase(MenuProgram(map).c_str(), JoinPath(persist.c_str(), kInstalledShell).c_str());
    back.bNamedInstalled = logoInstalled || mapInstalled;

    CRecordWordReader reader;
    if (!ReadRecord(JoinPath(persist.c_str(), kRecordFile), &reader) || reader.Word().empty()) return back;
    back.bUsable = true;
    if (reader.WasCut())
        CsrLog(CSRLOG_WARNING, "%s: %s holds more than %u characters; cut to %s\n", operation, kRecordFile,
               static_cast<unsigned>(DISABLE_RECORD_CHARS), reader.Word().c_str());
    DisableRecordFields fields;
    SplitDisableRecord(reader.Word(), &fields);
    if (logoInstalled && !WriteRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", fields.szPicture))
        back.bWritten = false;
    if (mapInstalled && !WriteRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", fields.szMap))
        back.bWritten = false;
    return back;
}

// Removes what the disabling installed and no setting names any more: an
// undo run again after it was cut off finds the settings put back already.
// Nothing but the disabling writes these places.
// Only the startup-app variant traces.
void RemoveLeftovers(const Roots& roots, bool trace)
{
    const std::string shell = JoinPath(roots.persist.c_str(), kInstalledShell);
    const std::string picture = JoinPath(roots.persist.c_str(), kInstalledPicture);
    for (const std::string& leftover : {shell, picture, ReplacementName(shell), ReplacementName(picture)}) {
        if (!FcPathExists(leftover)) continue;
        BOOL removed = RemoveTarget(leftover);
        if (trace)
            TraceLine("UndoSaveShell: left by the disabling: %s, delete value = %d", leftover.c_str(),
                      static_cast<int>(removed));
    }
}

// The undo changes nothing with a media root it would refuse when it clears
// the media at its end (UndoSave has left its proof by then).
Roots BeginUndo(const CRunContext& run, const char* operation)
{
    Roots roots = GetRoots(run, operation);
    run.RequireMediaRoot(operation);
    return roots;
}

// A key whose save failed still reads back from the store's memory in this
// process, so the checks of how far a disabling or an undo got cannot see
// it: the results of the writes are kept for them until the next disabling
// or undo begins.
bool g_bSettingUnsaved = false;

void Kept(bool saved, const char* name)
{
    if (saved) return;
    g_bSettingUnsaved = true;
    CsrLog(CSRLOG_ERROR, "Disabling: The setting %s could not be saved; detail 0x%lX\n", name,
           static_cast<unsigned long>(GetLastError()));
}

void Kept(long result, const char* name)
{
    Kept(result != PERS_FAILED, name);
}

// The record of the unit's own splash picture, before the disabling names its own.
void RecordShellSplash(const Roots& roots)
{
    TraceLine("FinishSaveShell: getting splash notice bitmap");
    char splash[kValueBytes] = {};
    long result = GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap",
                                        sizeof(splash), splash, nullptr);
    DWORD lastError = GetLastError();
    splash[sizeof(splash) - 1] = '\0';
    if (result != PERS_SUCCESS) {
        ReportMaintError(FormatText("FXP: error %d on persist return of splash bitmap. Get Last = %d\n",
                                    static_cast<int>(result), static_cast<int>(lastError))
                             .c_str());
    } else if (EqualsNoCase(splash, JoinPath(roots.persist.c_str(), kInstalledPicture).c_str())) {
        // A disabling made again after it was cut off: the setting names the
        // disabled picture already, and the record of the first run keeps
        // the unit's own.
        TraceLine("FinishSaveShell: splash notice bitmap already the disabled one; record kept");
    } else {
        std::string record = std::string(splash) + "| ";
        std::string recordPath = JoinPath(roots.persist.c_str(), kRecordFile);
        TraceLine("FinishSaveShell: opening target spec. Target spec = %s", recordPath.c_str());
        CEngineFile file = CreateRecord(recordPath);
        TraceLine("FinishSaveShell: writing out info: %s", record.c_str());
        WriteRecord(file, record);
    }
}

// The disabled picture installed, and the setting pointed at it.
void InstallShellPicture(const Roots& roots)
{
    const std::string source = JoinPath(roots.media.c_str(), kPictureSource);
    const std::string target = JoinPath(roots.persist.c_str(), kInstalledPicture);
    TraceLine("FinishSaveShell: persisting SNB: src = %s", source.c_str());
    TraceLine("FinishSaveShell: persisting SNB: tgt = %s", target.c_str());
    if (FitsValue("FinishSaveShell", target)) {
        // The installed file goes only when its replacement is whole: a
        // copy that fails leaves the earlier one in place.
        bool replaced = false;
        bool copied = ReplaceFileFlushed(source, target, &replaced);
        DWORD copyError = GetLastError();
        TraceLine("FinishSaveShell: delete of target, return value = %d", static_cast<int>(replaced));
        if (copied) {
            Kept(PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", target.c_str()),
                 "SplashNoticeBitmap");
            TraceLine("FinishSaveShell: bitmap copied and persisted");
        } else {
            ReportMaintError(
                FormatText("FXP: error on splash notice copy. Get Last = %d\n", static_cast<int>(copyError)).c_str());
            TraceLine("FinishSaveShell: Copy of bitmap FAILED");
        }
    }
}

// The disabled-unit program installed, and made the only startup application.
void InstallShellProgram(const Roots& roots)
{
    const std::string source = JoinPath(roots.media.c_str(), kShellSource);
    const std::string target = JoinPath(roots.persist.c_str(), kInstalledShell);
    TraceLine("FinishSaveShell: persisting exe: src = %s", source.c_str());
    TraceLine("FinishSaveShell: persisting exe: tgt = %s", target.c_str());
    std::string startupApp = target + kDisabledAppSuffix;
    if (FitsValue("FinishSaveShell", startupApp)) {
        bool replaced = false;
        bool copied = ReplaceFileFlushed(source, target, &replaced);
        DWORD copyError = GetLastError();
        TraceLine("FinishSaveShell: delete of target, return value = %d", static_cast<int>(replaced));
        if (copied) {
            Kept(PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", startupApp.c_str()),
                 "StartupApp1");
            Kept(PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 1), "NumStartupApps");
            TraceLine("FinishSaveShell: exe copied and persisted");
        } else {
            TraceLine("FinishSaveShell: Copy of exe FAILED");
            ReportMaintError(
                FormatText("FXP: error on exe copy. Get Last = %d\n", static_cast<int>(copyError)).c_str());
            // A disabling made again whose copy failed: the shell an earlier
            // run installed whole is still there, and the entry names it.
            char app[kValueBytes] = {};
            if (FcPathExists(target) &&
                GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", sizeof(app), app,
                                      nullptr) == PERS_SUCCESS &&
                EqualsNoCase(app, startupApp.c_str())) {
                Kept(PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 1),
                     "NumStartupApps");
                TraceLine("FinishSaveShell: installed exe kept as the startup app");
            }
        }
    }
}

// The unit's own splash setting put back from the save, or else from the
// disabling's record; a setting that names the installed picture with no
// record to go back to is removed. True when the setting no longer names
// the installed picture; *recordState tells whether a record was there.
bool PutShellSplashBack(const CRunContext& run, const std::string& recordPath, const std::string& installedPicture,
                        RecordState* recordState)
{
    TraceLine("UndoSaveShell: getting original bitmap");
    // The value is taken whole or not at all: a cut path would name a file
    // that does not exist. The lookup logs a value it cannot take whole.
    char saved[kSavedSettingBytes] = {};
    bool haveOriginal =
        RetrieveSavedPersistSetting(run, SAVED_SHELL_CONFIG_FILE, "SplashNoticeBitmap", saved, sizeof(saved));
    saved[sizeof(saved) - 1] = '\0';
    std::string original = saved;
    // A media that does not give the value back (removed, damaged), or gives
    // the disabled picture (a save made after the setting was changed): the
    // disabling's own record holds the unit's value.
    std::string recorded;
    const RecordState record = ReadShellRecord(recordPath, &recorded);
    *recordState = record;
    if ((!haveOriginal || EqualsNoCase(saved, installedPicture.c_str())) && record == RecordState::Usable) {
        original = recorded;
        haveOriginal = true;
        TraceLine("UndoSaveShell: original bitmap taken from %s", kRecordFile);
    }
    if (haveOriginal && !EqualsNoCase(original.c_str(), installedPicture.c_str())) {
        Kept(PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", original.c_str()),
             "SplashNoticeBitmap");
        TraceLine("UndoSaveShell: original bitmap got and saved: %s", original.c_str());
    }
    // A setting that still names the picture about to be deleted had no
    // original to go back to: the disabling found none and kept no record. It
    // goes; with a record it stays for the next run to put back.
    char now[kValueBytes] = {};
    const bool namesInstalled = GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout,
                                                      "SplashNoticeBitmap", sizeof(now), now,
                                                      nullptr) == PERS_SUCCESS &&
                                EqualsNoCase(now, installedPicture.c_str());
    bool settingBack = !namesInstalled;
    if (namesInstalled && record == RecordState::None) {
        long removed = PERS_FAILED;
        if (OpenPersistKey(kShellPersist, kShellConfig, kStoreTimeout) != PERS_FAILED) {
            removed = DeleteValue("SplashNoticeBitmap", kStoreTimeout);
            // The delete's own result decides; a failed save of it shows in the read-back.
            ClosePersistKey(kStoreTimeout);
        }
        settingBack = removed != PERS_FAILED;
        TraceLine("UndoSaveShell: bitmap setting named the disabled picture; removed: %d",
                  static_cast<int>(settingBack));
    }
    return settingBack;
}

// Only what the disabling installed goes: the startup application app
// names when it carries the disabling's marker and lies at the installed
// place, and the picture there. Anything else is the unit's own, left there
// by a disabling that did not finish.
void RemoveInstalledShellFiles(char* app, bool deleteApp, const char* picture, bool deletePicture,
                               const std::string& installedShell, const std::string& installedPicture)
{
    if (!deleteApp) {
        TraceLine("UndoSaveShell: app not to be deleted");
    } else {
        char* bar = std::strchr(app, '|');
        if (!bar) {
            TraceLine("UndoSaveShell: app not found");
        } else {
            std::string program(app, static_cast<size_t>(bar - app));
            if (std::strcmp(bar, kDisabledAppSuffix) != 0 || !EqualsNoCase(program.c_str(), installedShell.c_str()))
                TraceLine("UndoSaveShell: app not to be deleted");
            else
                TraceLine("UndoSaveShell: app found. delete value = %d", static_cast<int>(RemoveTarget(program)));
        }
    }

    if (deletePicture && EqualsNoCase(picture, installedPicture.c_str()))
        TraceLine("UndoSaveShell: bmp delete value = %d", static_cast<int>(RemoveTarget(picture)));
    else
        TraceLine("UndoSaveShell: bmp not to be deleted");
}

} // namespace

bool CDisabling::SettingUnsaved()
{
    return g_bSettingUnsaved;
}

void CDisabling::FerroxTrace(const char* text)
{
    FILE* file = std::fopen(kTraceFile, "ab");
    if (!file) return;
    std::fputs(text ? text : "", file);
    std::fputs("\r\n", file);
    std::fflush(file);
    std::fclose(file);
}

void CDisabling::FinishSave()
{
    g_bSettingUnsaved = false;
    if (FileOnMedia(m_run, "", kDontDisableFile)) {
        CsrLog(CSRLOG_TRACE, "FinishSave:  Source flash disable deactivated, flash will not be disabled\n");
        return;
    }
    if (m_run.IsLegacy())
        FinishSaveMenu();
    else
        FinishSaveShell();
}

void CDisabling::FinishSaveShell()
{
    TraceLine("FinishSaveShell: persisting ferrox");
    // Like every step of the disabling, a refused write does not stop it; it
    // is kept for IsDisablingComplete.
    Kept(CUnitState(false).Record(FerroxStep::Disable), "Ferrox");
    TraceLine("FinishSaveShell: persisting numstartupapps = 0");
    Kept(PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 0), "NumStartupApps");

    TraceLine("FinishSaveShell: getupdatepath");
    Roots roots = GetRoots(m_run, "FinishSaveShell");

    RecordShellSplash(roots);

    InstallShellPicture(roots);
    InstallShellProgram(roots);
}

void CDisabling::FinishSaveMenu()
{
    Kept(CUnitState(true).Record(FerroxStep::Disable), "Ferrox");
    Roots roots = GetRoots(m_run, "FinishSaveMenu");

    CString logo;
    CString map;
    ReadRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", logo);
    ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);

    // A disabling made again after it was cut off keeps the record of its
    // first run: the settings may name the installed files already.
    if (!EqualsNoCase(logo, JoinPath(roots.persist.c_str(), kInstalledPicture).c_str())) {
        std::string record = std::string(logo.GetString()) + "|" + map.GetString();
        if (record.size() > kValueChars)
            CsrLog(CSRLOG_WARNING, "FinishSaveMenu: Previous settings longer than %u characters will be cut - %s\n",
                   static_cast<unsigned>(kValueChars), record.c_str());
        CEngineFile file = CreateRecord(JoinPath(roots.persist.c_str(), kRecordFile));
        WriteRecord(file, record);
    }

    // Each file is copied before the setting that names it is written, so
    // that a run cut off in between never leaves a setting naming a missing
    // or partial file; the setting is written even when the copy failed (an
    // installed file stays until a whole copy replaces it).
    std::string source = JoinPath(roots.media.c_str(), kPictureSource);
    std::string target = JoinPath(roots.persist.c_str(), kInstalledPicture);
    if (FitsValue("FinishSaveMenu", target)) {
        // A failed copy keeps the installed file; IsDisablingComplete judges it.
        ReplaceFileFlushed(source, target);
        // Disabling steps log and go on; IsDisablingComplete judges the result.
        WriteRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", target.c_str());
    }

    source = JoinPath(roots.media.c_str(), kShellSource);
    target = JoinPath(roots.persist.c_str(), kInstalledShell);
    std::string entry = target + kDisabledMenuSuffix;
    if (FitsValue("FinishSaveMenu", entry)) {
        // A failed copy keeps the installed file; IsDisablingComplete judges it.
        ReplaceFileFlushed(source, target);
        // Disabling steps log and go on; IsDisablingComplete judges the result.
        WriteRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", entry.c_str());
    }
}

void CDisabling::UndoSaveShell()
{
    g_bSettingUnsaved = false;
    Roots roots = BeginUndo(m_run, "UndoSaveShell");
    const std::string installedShell = JoinPath(roots.persist.c_str(), kInstalledShell);
    const std::string installedPicture = JoinPath(roots.persist.c_str(), kInstalledPicture);

    char app[kValueBytes] = {};
    bool deleteApp = GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", sizeof(app),
                                           app, nullptr) == PERS_SUCCESS;
    app[sizeof(app) - 1] = '\0';
    FerroxTrace(deleteApp ? "UndoSaveShell: Startup app retrieved. App to be deleted."
                          : "UndoSaveShell: Startup app retrieve FAILURE");

    char picture[kValueBytes] = {};
    bool deletePicture = GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap",
                                               sizeof(picture), picture, nullptr) == PERS_SUCCESS;
    picture[sizeof(picture) - 1] = '\0';
    FerroxTrace(deletePicture ? "UndoSaveShell: Bitmap retrieved. Bitmap to be deleted."
                              : "UndoSaveShell: bitmap retrieve FAILURE");

    Kept(PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 1), "NumStartupApps");
    Kept(PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", kSystemStartupApp),
         "StartupApp1");
    TraceLine("UndoSaveShell: startup app of system persisted.");

    const std::string recordPath = JoinPath(roots.persist.c_str(), kRecordFile);
    RecordState record = RecordState::None;
    const bool settingBack = PutShellSplashBack(m_run, recordPath, installedPicture, &record);

    TraceLine("UndoSaveShell: ferrox reset");
    // A state not recorded is kept for IsUndoComplete, which keeps the save.
    Kept(CUnitState(false).Record(FerroxStep::Undo), "Ferrox");

    RemoveInstalledShellFiles(app, deleteApp, picture, deletePicture, installedShell, installedPicture);

    // An undo run again after it was cut off finds the settings put back
    // already, and they no longer name the installed files; nothing but the
    // disabling writes these places, so what is left of it goes now.
    RemoveLeftovers(roots, true);
    // The record belongs to this disabling: once its value is back it goes,
    // so that the undo of a later disabling never takes it for its own.
    if (settingBack && record != RecordState::None)
        TraceLine("UndoSaveShell: record delete value = %d", static_cast<int>(RemoveTarget(recordPath)));
    // UndoSave clears the media once the settings read back as written here.
}

void CDisabling::UndoSaveMenu()
{
    g_bSettingUnsaved = false;
    Roots roots = BeginUndo(m_run, "UndoSaveMenu");
    const std::string installedShell = JoinPath(roots.persist.c_str(), kInstalledShell);
    const std::string installedPicture = JoinPath(roots.persist.c_str(), kInstalledPicture);

    CString logo;
    CString map;
    ReadRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", logo);
    ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);

    std::string recordPath = JoinPath(roots.persist.c_str(), kRecordFile);
    const MenuRecordBack back = PutMenuRecordBack(roots.persist, "UndoSaveMenu");
    if (back.bUsable) {
        // The record goes only once both settings hold what it kept; until
        // then nothing the settings name is deleted either, and the undo is
        // run again.
        if (!back.bWritten) {
            CsrLog(CSRLOG_ERROR, "UndoSaveMenu: Settings not all put back; %s kept, the undo stops\n", kRecordFile);
            return;
        }
        // A record left over is put back again by the next undo, to the same values.
        FcDeleteFile(recordPath.c_str());
    } else if (back.bNamedInstalled) {
        // The settings cannot be put back without the record.
        CFileException::ThrowOsError(ERROR_FILE_NOT_FOUND);
    } else {
        // An undo cut off after it put the settings back and deleted the
        // record: the rest of it is still to do. An empty record, left by a
        // disabling cut off as it began, kept nothing.
        CsrLog(CSRLOG_WARNING, "UndoSaveMenu: %s is gone and the settings are the unit's own; finishing the undo\n",
               kRecordFile);
        if (FcPathExists(recordPath)) RemoveTarget(recordPath);
    }

    // A state not recorded is kept for IsUndoComplete, which keeps the save.
    Kept(CUnitState(true).Record(FerroxStep::Undo), "Ferrox");

    // Only the files the disabling installed go; settings that name anything
    // else are the unit's own.
    if (EqualsNoCase(MenuProgram(map).c_str(), installedShell.c_str())) RemoveTarget(installedShell);
    if (EqualsNoCase(logo, installedPicture.c_str())) RemoveTarget(installedPicture);
    RemoveLeftovers(roots, false);
    // UndoSave clears the media once the settings read back as written here.
}

void CDisabling::PutRecordedSettingsBack()
{
    const std::string& persist = m_run.PersistRoot();
    if (m_run.IsLegacy()) {
        const MenuRecordBack back = PutMenuRecordBack(persist, "SaveConfig");
        if (back.bNamedInstalled)
            CsrLog(back.bUsable && back.bWritten ? CSRLOG_EVENT : CSRLOG_ERROR,
                   "SaveConfig: The unit's own menu settings %s before the save\n",
                   back.bUsable && back.bWritten ? "put back" : "could not be put back");
        return;
    }
    char now[kValueBytes] = {};
    if (GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", sizeof(now), now,
                              nullptr) != PERS_SUCCESS ||
        !EqualsNoCase(now, JoinPath(persist.c_str(), kInstalledPicture).c_str()))
        return;
    std::string recorded;
    if (ReadShellRecord(JoinPath(persist.c_str(), kRecordFile), &recorded) != RecordState::Usable ||
        PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", recorded.c_str()) ==
            PERS_FAILED) {
        CsrLog(CSRLOG_ERROR, "SaveConfig: The unit's own splash setting could not be put back before the save\n");
        return;
    }
    CsrLog(CSRLOG_EVENT, "SaveConfig: The unit's own splash setting put back before the save: %s\n",
           recorded.c_str());
}
