// How far a disabling got, and whether the save beside it is the one whose
// disabling was cut off: what a Save press decides by when it may finish an
// interrupted run instead of saving.
#include "Disabling.h"
#include "EngineFileCalls.h"

#include "EngineKeys.h"
#include "FrameworkString.h"
#include "RegistryAccess.h"
#include "RunContext.h"

#include "ChkFile.h"
#include "DisablingFiles.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "Retenta.h"
#include "TextFields.h"
#include "UncachedRead.h"

#include <cstdio>
#include <string>

namespace {

const size_t kValueBytes = 200;
// A checksum file is a number and a line feed; anything longer is no save's.
const size_t kChkBytes = 32;

// Whether the installed file holds what the media's source holds. Without a
// source to compare with (the stick holds only the save, or cannot be read)
// the installed file is judged alone: the disabling puts it in place only
// whole (ReplaceFileFlushed), so one that is there and can be read is whole.
// These checks run while the window opens and before a run starts, when no
// key may be dispatched: they read without handling messages.
bool SameFile(const std::string& installed, const std::string& source)
{
    uint64_t installedSize = 0, sourceSize = 0;
    uint32_t installedCrc = 0, sourceCrc = 0;
    if (SumFileUncached(installed.c_str(), &installedSize, &installedCrc, UncachedPump::None) != ERROR_SUCCESS)
        return false;
    if (SumFileUncached(source.c_str(), &sourceSize, &sourceCrc, UncachedPump::None) != ERROR_SUCCESS)
        return installedSize > 0;
    return installedSize == sourceSize && installedCrc == sourceCrc;
}

} // namespace

bool CDisabling::IsDisablingComplete()
{
    if (SettingUnsaved()) return false;
    // The last step of either variant points the unit at the installed shell.
    std::string entry;
    std::string ending = std::string("\\") + kInstalledShell;
    if (m_run.IsLegacy()) {
        CString map;
        ReadRegistryString(HKEY_CURRENT_USER, kMenuAppsKey, "Map", map);
        entry = map.GetString();
        ending += kDisabledMenuSuffix;
    } else {
        char app[kValueBytes] = {};
        unsigned long count = 0;
        if (GetOnePersistedDW(kShellPersist, kShellConfig, kStoreTimeout, "NumStartupApps", &count) !=
                PERS_SUCCESS ||
            count != 1 ||
            GetOnePersistedString(kShellPersist, kShellConfig, kStoreTimeout, "StartupApp1", sizeof(app), app,
                                  nullptr) != PERS_SUCCESS)
            return false;
        app[sizeof(app) - 1] = '\0';
        entry = app;
        ending += kDisabledAppSuffix;
    }
    if (entry.size() < ending.size() || !EqualsNoCase(entry.c_str() + entry.size() - ending.size(), ending.c_str()))
        return false;

    // A run cut off during a copy leaves the entry naming a partial file.
    // Without the paths nothing can be compared (and no run can start).
    if (!m_run.HasUpdatePaths()) return false;
    const char* media = m_run.MediaRoot().c_str();
    const char* persist = m_run.PersistRoot().c_str();
    if (!SameFile(JoinPath(persist, kInstalledShell), JoinPath(media, kShellSource))) return false;
    // A disabling installs the picture only when the media has one.
    const std::string pictureSource = JoinPath(media, kPictureSource);
    return !FcPathExists(pictureSource) || SameFile(JoinPath(persist, kInstalledPicture), pictureSource);
}

namespace {

bool IsMissingError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

CDisabling::SaveMatch CDisabling::MatchSaveOfInterruptedRun()
{
    if (!m_run.HasUpdatePaths()) return SaveMatch::Other;
    const char* media = m_run.MediaRoot().c_str();
    const std::string chkPath =
        JoinPath((TextPrefix(media, kMediaRootChars) + "ZelConfig\\").c_str(), "CorvaneUserRegistry.chk");

    std::string text;
    if (!FcReadStart(chkPath, kChkBytes, &text)) return IsMissingError(GetLastError()) ? SaveMatch::Other : SaveMatch::Unreadable;
    uint32_t saved = 0;
    if (text.size() == kChkBytes || ParseChkText(text.c_str(), text.size(), &saved) != CHK_OK)
        return SaveMatch::Other;

    uint64_t size = 0;
    uint32_t local = 0;
    const DWORD error = SumFileUncached(kLocalRegistryCopy, &size, &local, UncachedPump::None);
    if (error != ERROR_SUCCESS) return IsMissingError(error) ? SaveMatch::Other : SaveMatch::Unreadable;
    return local == saved ? SaveMatch::Same : SaveMatch::Other;
}
