// Disabling the source unit after a save, and undoing it when the save is
// restored onto the same unit. Two variants: the startup-application one
// works through the store, the menu one (legacy part family) through the
// registry.
#include "RunMaint.h"

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
#include "Win32Handle.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kShellPersist[] = "ShellPersist";
const char kShellConfig[] = "ShellConfig";
const char kSystemData[] = "SystemData";

const char kTraceFile[] = "D:\\FerroxTrace.txt";

const char kSystemStartupApp[] = "c:\\zelsys\\system.exe|Maintenance";
const char kSavedShellConfig[] = "ShellPersist-ShellConfig.pri";

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
    CRunMaint::FerroxTrace(text.c_str());
}

struct Roots {
    std::string media;
    std::string persist;
};

Roots GetRoots(CRunMaint& engine)
{
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    engine.GetUpdatePath(media, sizeof(media), persist, sizeof(persist));
    return {media, persist};
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
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(target.c_str());
}

// Creates (or empties) the record of previous settings. Raises the system's
// error when it cannot be created.
UniqueHandle CreateRecord(const std::string& path)
{
    UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) CFileException::ThrowOsError(static_cast<long>(GetLastError()));
    return file;
}

// Writes the record whole and makes it durable: the steps after it change
// the settings it keeps.
void WriteRecord(const UniqueHandle& file, const std::string& text)
{
    DWORD written = 0;
    if ((!text.empty() &&
         (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
          written != text.size())) ||
        !FlushFileBuffers(file.get()))
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
}

// Reads the record's word by the record's rules (DisableRecord.h). False when
// there is no record; any other failure to open it raises the system's error.
bool ReadRecord(const std::string& path, CRecordWordReader* reader)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        CFileException::ThrowOsError(static_cast<long>(error));
    }
    char chunk[256];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        if (!reader->Feed(chunk, read)) break;
    return true;
}

// The program a menu entry names: the text before its first comma.
std::string MenuProgram(const CString& entry)
{
    int comma = entry.Find(',');
    return std::string(comma < 0 ? entry.GetString() : entry.Left(comma).GetString());
}

// Removes what the disabling installed and no setting names any more: an
// undo run again after it was cut off finds the settings put back already.
// Nothing but the disabling writes these places.
// Only the startup-app variant traces.
void RemoveLeftovers(const Roots& roots, bool trace)
{
    for (const char* name : {kInstalledShell, kInstalledPicture}) {
        std::string leftover = JoinPath(roots.persist.c_str(), name);
        if (!PathExists(leftover)) continue;
        BOOL removed = RemoveTarget(leftover);
        if (trace)
            TraceLine("UndoSaveShell: left by the disabling: %s, delete value = %d", leftover.c_str(),
                      static_cast<int>(removed));
    }
}

// The undo changes nothing with a media root it would refuse when it clears
// the media at its end; then it leaves its proof (UndoProof.h).
Roots BeginUndo(CRunMaint& engine, const char* operation)
{
    Roots roots = GetRoots(engine);
    RequireWholeRoot(operation, "Media root", roots.media.c_str(), kMediaRootChars);
    engine.WriteUndoProof(roots.media, roots.persist);
    return roots;
}

} // namespace

void CRunMaint::FerroxTrace(const char* text)
{
    FILE* file = std::fopen(kTraceFile, "ab");
    if (!file) return;
    std::fputs(text ? text : "", file);
    std::fputs("\r\n", file);
    std::fflush(file);
    std::fclose(file);
}

void CRunMaint::FinishSave()
{
    if (FileOnMedia("", kDontDisableFile)) {
        CsrLog(CSRLOG_TRACE, "FinishSave:  Source flash disable deactivated, flash will not be disabled\n");
        return;
    }
    if (IsLegacyShellPart())
        FinishSaveMenu();
    else
        FinishSaveShell();
}

void CRunMaint::FinishSaveShell()
{
    TraceLine("FinishSaveShell: persisting ferrox");
    PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "Ferrox", "SAVED");
    TraceLine("FinishSaveShell: persisting numstartupapps = 0");
    PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 0);

    TraceLine("FinishSaveShell: getupdatepath");
    Roots roots = GetRoots(*this);

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
        UniqueHandle file = CreateRecord(recordPath);
        TraceLine("FinishSaveShell: writing out info: %s", record.c_str());
        WriteRecord(file, record);
    }

    std::string source = JoinPath(roots.media.c_str(), kPictureSource);
    std::string target = JoinPath(roots.persist.c_str(), kInstalledPicture);
    TraceLine("FinishSaveShell: persisting SNB: src = %s", source.c_str());
    TraceLine("FinishSaveShell: persisting SNB: tgt = %s", target.c_str());
    if (FitsValue("FinishSaveShell", target)) {
        TraceLine("FinishSaveShell: delete of target, return value = %d", static_cast<int>(RemoveTarget(target)));
        if (CopyFileFlushed(source, target)) {
            PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", target.c_str());
            TraceLine("FinishSaveShell: bitmap copied and persisted");
        } else {
            DWORD copyError = GetLastError();
            ReportMaintError(
                FormatText("FXP: error on splash notice copy. Get Last = %d\n", static_cast<int>(copyError)).c_str());
            TraceLine("FinishSaveShell: Copy of bitmap FAILED");
        }
    }

    source = JoinPath(roots.media.c_str(), kShellSource);
    target = JoinPath(roots.persist.c_str(), kInstalledShell);
    TraceLine("FinishSaveShell: persisting exe: src = %s", source.c_str());
    TraceLine("FinishSaveShell: persisting exe: tgt = %s", target.c_str());
    std::string startupApp = target + kDisabledAppSuffix;
    if (FitsValue("FinishSaveShell", startupApp)) {
        TraceLine("FinishSaveShell: delete of target, return value = %d", static_cast<int>(RemoveTarget(target)));
        if (CopyFileFlushed(source, target)) {
            PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", startupApp.c_str());
            PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 1);
            TraceLine("FinishSaveShell: exe copied and persisted");
        } else {
            DWORD copyError = GetLastError();
            TraceLine("FinishSaveShell: Copy of exe FAILED");
            ReportMaintError(
                FormatText("FXP: error on exe copy. Get Last = %d\n", static_cast<int>(copyError)).c_str());
        }
    }
}

void CRunMaint::FinishSaveMenu()
{
    PersistOneString(kShellPersist, kSystemData, kStoreTimeout, "Ferrox", "SAVED");
    Roots roots = GetRoots(*this);

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
        WriteRecord(CreateRecord(JoinPath(roots.persist.c_str(), kRecordFile)), record);
    }

    // Each file is copied before the setting that names it is written, so
    // that a run cut off in between never leaves a setting naming a missing
    // or partial file; the setting is written even when the copy failed.
    std::string source = JoinPath(roots.media.c_str(), kPictureSource);
    std::string target = JoinPath(roots.persist.c_str(), kInstalledPicture);
    if (FitsValue("FinishSaveMenu", target)) {
        RemoveTarget(target);
        CopyFileFlushed(source, target);
        WriteRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", target.c_str());
    }

    source = JoinPath(roots.media.c_str(), kShellSource);
    target = JoinPath(roots.persist.c_str(), kInstalledShell);
    std::string entry = target + kDisabledMenuSuffix;
    if (FitsValue("FinishSaveMenu", entry)) {
        RemoveTarget(target);
        CopyFileFlushed(source, target);
        WriteRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", entry.c_str());
    }
}

void CRunMaint::UndoSaveShell()
{
    Roots roots = BeginUndo(*this, "UndoSaveShell");
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

    PersistOneDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", 1);
    PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", kSystemStartupApp);
    TraceLine("UndoSaveShell: startup app of system persisted.");

    TraceLine("UndoSaveShell: getting original bitmap");
    // The value is taken whole or not at all: a cut path would name a file
    // that does not exist. The lookup logs a value it cannot take whole.
    char saved[kSavedSettingBytes] = {};
    if (RetrieveSavedPersistSetting(kSavedShellConfig, "SplashNoticeBitmap", saved, sizeof(saved))) {
        saved[sizeof(saved) - 1] = '\0';
        PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", saved);
        TraceLine("UndoSaveShell: original bitmap got and saved: %s", saved);
    }
    // A setting that still names the picture about to be deleted had no
    // original to go back to (the unit had none before the save): it goes.
    char now[kValueBytes] = {};
    if (GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "SplashNoticeBitmap", sizeof(now), now,
                              nullptr) == PERS_SUCCESS &&
        EqualsNoCase(now, installedPicture.c_str())) {
        long removed = PERS_FAILED;
        if (OpenPersistKey(kShellPersist, kShellConfig, kStoreTimeout) != PERS_FAILED) {
            removed = DeleteValue("SplashNoticeBitmap", kStoreTimeout);
            ClosePersistKey(kStoreTimeout);
        }
        TraceLine("UndoSaveShell: bitmap setting named the disabled picture; removed: %d",
                  static_cast<int>(removed != PERS_FAILED));
    }

    TraceLine("UndoSaveShell: ferrox reset");
    PersistOneString(kShellPersist, kShellConfig, kStoreTimeout, "Ferrox", "RESTORED-ORIGINAL");

    // Only what the disabling installed goes: the startup application that
    // carries its marker and lies at the installed place, and the picture
    // there. Anything else is the unit's own, left there by a disabling that
    // did not finish.
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

    // An undo run again after it was cut off finds the settings put back
    // already, and they no longer name the installed files; nothing but the
    // disabling writes these places, so what is left of it goes now.
    RemoveLeftovers(roots, true);
    // UndoSave clears the media once the settings read back as written here.
}

void CRunMaint::ClearMediaEndingUndo()
{
    Roots roots = GetRoots(*this);
    ClearMediaEndingUndo(roots.media, roots.persist);
}

void CRunMaint::UndoSaveMenu()
{
    Roots roots = BeginUndo(*this, "UndoSaveMenu");
    const std::string installedShell = JoinPath(roots.persist.c_str(), kInstalledShell);
    const std::string installedPicture = JoinPath(roots.persist.c_str(), kInstalledPicture);

    CString logo;
    CString map;
    ReadRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", logo);
    ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);
    const bool namesInstalled =
        EqualsNoCase(logo, installedPicture.c_str()) || EqualsNoCase(MenuProgram(map).c_str(), installedShell.c_str());

    std::string recordPath = JoinPath(roots.persist.c_str(), kRecordFile);
    CRecordWordReader reader;
    if (ReadRecord(recordPath, &reader)) {
        if (reader.WasCut())
            CsrLog(CSRLOG_WARNING, "UndoSaveMenu: %s holds more than %u characters; cut to %s\n", kRecordFile,
                   static_cast<unsigned>(DISABLE_RECORD_CHARS), reader.Word().c_str());
        DisableRecordFields fields;
        SplitDisableRecord(reader.Word(), &fields);
        WriteRegistryString(HKEY_CURRENT_USER, kSysSetupKey, "oemlogo", fields.szPicture);
        WriteRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", fields.szMap);
        DeleteFileA(recordPath.c_str());
    } else if (namesInstalled) {
        // The settings cannot be put back without the record.
        CFileException::ThrowOsError(ERROR_FILE_NOT_FOUND);
    } else {
        // An undo cut off after it put the settings back and deleted the
        // record: the rest of it is still to do.
        CsrLog(CSRLOG_WARNING, "UndoSaveMenu: %s is gone and the settings are the unit's own; finishing the undo\n",
               kRecordFile);
    }

    PersistOneString(kShellPersist, kSystemData, kStoreTimeout, "Ferrox", "RESTORED-ORIGINAL");

    // Only the files the disabling installed go; settings that name anything
    // else are the unit's own.
    if (EqualsNoCase(MenuProgram(map).c_str(), installedShell.c_str())) RemoveTarget(installedShell);
    if (EqualsNoCase(logo, installedPicture.c_str())) RemoveTarget(installedPicture);
    RemoveLeftovers(roots, false);
    // UndoSave clears the media once the settings read back as written here.
}
