// Where the media and the persist root are, and the services the flows share:
// clearing the media, the backup privileges and the message pump.
#include "RunMaint.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "MediaLinks.h"
#include "MediaRoot.h"
#include "MessagePump.h"
#include "TextFields.h"
#include "Win32Handle.h"
#include "WholeRoot.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

const char kMediaConfigFolder[] = "ZelConfig\\";
const char kIdentityRecord[] = "SWPartNum.txt";
const char kSavedRegistry[] = "CorvaneUserRegistry.reg";
const DWORD kRootValueBytes = 512;
// How much of a folder DeleteFolderContents works on.
const size_t kClearFolderChars = 255;

void EnablePrivilege(HANDLE token, const char* name)
{
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
}

} // namespace

bool CRunMaint::GetUpdatePath(char* mediaRoot, size_t mediaSize, char* persistRoot, size_t persistSize,
                              UniqueRegKey* key)
{
    UniqueRegKey corvane;
    LONG error = OpenRegKey(HKEY_CURRENT_USER, CORVANE_REG_KEY, corvane);
    if (error != ERROR_SUCCESS) CFileException::ThrowOsError(error);

    std::string media;
    if (ReadMediaRoot(corvane.get(), kUpdatePathRootRule, media) != MediaRootSource::Setting)
        CsrLog(CSRLOG_WARNING, "GetUpdatePath: Force Default Removeable Media %s\n", kDefaultMediaRoot);

    std::string persist;
    if (QueryTextValue(corvane.get(), "PersistPath", kRootValueBytes, persist) != ERROR_SUCCESS &&
        QueryTextValue(corvane.get(), "DataPath", kRootValueBytes, persist) != ERROR_SUCCESS) {
        CsrLog(CSRLOG_ERROR, "GetUpdatePath: Unable to Find Persist Data Path\n");
        CFileException::ThrowOsError(ERROR_CRC, "Persist Path");
    }
    AddTrailingBackslash(persist);

    CopyText(mediaRoot, mediaSize, media.c_str());
    CopyText(persistRoot, persistSize, persist.c_str());
    if (key) *key = std::move(corvane);
    return true;
}

bool CRunMaint::GetMediaRoot(char* buffer, size_t size)
{
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    GetUpdatePath(media, sizeof(media), persist, sizeof(persist));

    if (!buffer || std::strlen(media) >= size) return false;
    CopyText(buffer, size, media);
    return true;
}

bool CRunMaint::FileOnMedia(const char* subPath, const char* name)
{
    std::string media;
    if (ReadMediaRoot(kFileOnMediaRootRule, media) == MediaRootSource::TooLong) return false;
    std::string folder = media + (subPath ? subPath : "");
    return PathExists(JoinPath(folder.c_str(), name));
}

void CRunMaint::ClearRemovableMedia()
{
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    GetUpdatePath(media, sizeof(media), persist, sizeof(persist));

    RequireWholeRoot("ClearRemovableMedia", "Media root", media, kMediaRootChars);
    std::string folder = std::string(media) + kMediaConfigFolder;
    // A configuration folder that is a link leads off the media: what it
    // holds is not the media's to clear.
    if (MediaFoldersAreLinks(media)) {
        CsrLog(CSRLOG_ERROR, "ClearRemovableMedia: Not cleared: %s leads off the media\n", folder.c_str());
        return;
    }

    // The files that make the media hold a save go first, the identity record
    // before the registry file: a clearing cut off part way leaves remains
    // that no longer count as a save, never a save with files missing.
    for (const char* marker : {kIdentityRecord, kSavedRegistry}) {
        std::string path = JoinPath(folder.c_str(), marker);
        FcSetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        FcDeleteFile(path.c_str());
    }
    DeleteFolderContents(folder.c_str(), true);
}

void CRunMaint::DeleteFolderContents(const char* folder, bool descend)
{
    std::string base = TextPrefix(folder, kClearFolderChars);
    if (!base.empty() && base.back() == '\\') base.pop_back();

    WIN32_FIND_DATAA entry;
    CEngineFind find;
    if (!find.First((base + "\\*.*").c_str(), &entry)) return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = base + "\\" + name;
        DWORD attributes = FcGetFileAttributes(path.c_str());
        if (IsLinkAttributes(attributes) || IsLinkAttributes(entry.dwFileAttributes)) {
            // Never followed: the link goes, or stays, and what it leads to is untouched.
            if (RemoveLinkItself(path))
                CsrLog(CSRLOG_WARNING, "DeleteFolderContents: Link removed - %s\n", path.c_str());
            else
                CsrLog(CSRLOG_WARNING, "DeleteFolderContents: Link left in place (the system cannot remove the link "
                                       "itself) - %s\n", path.c_str());
        } else if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            // A copy keeps its source's read-only attribute; it goes all the same.
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                FcSetFileAttributes(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
            FcDeleteFile(path.c_str());
        } else if (descend && path.size() <= kClearFolderChars) {
            // A longer path would be cut on the way down and could name
            // another folder; it stays. This also bounds the depth.
            DeleteFolderContents(path.c_str(), true);
        }
    } while (find.Next(&entry));
}

void CRunMaint::EnableBackupPrivileges()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
    UniqueHandle token(raw);
    EnablePrivilege(token.get(), "SeBackupPrivilege");
    EnablePrivilege(token.get(), "SeRestorePrivilege");
}

void CRunMaint::PumpMessages(int milliseconds)
{
    PumpMessagesFor(milliseconds);
}
