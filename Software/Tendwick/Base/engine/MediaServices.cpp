// The services the flows share: clearing the media, proving a save gone
// from it, a file on it, the backup privileges.
#include "MediaServices.h"
#include "EngineFileCalls.h"

#include "RunContext.h"

#include "CsrLog.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "FileException.h"
#include "MediaLinks.h"
#include "TextFields.h"
#include "Win32Handle.h"
#include "WholeRoot.h"

#include <cstring>
#include <string>

namespace {

const char kMediaConfigFolder[] = "ZelConfig\\";
const char kIdentityRecord[] = "SWPartNum.txt";
const char kSavedRegistry[] = "CorvaneUserRegistry.reg";
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

bool FileOnMedia(const CRunContext& run, const char* subPath, const char* name)
{
    if (!run.MediaRootFits(nullptr)) return false;
    std::string folder = run.MediaRoot() + (subPath ? subPath : "");
    return FcPathExists(JoinPath(folder.c_str(), name));
}

void ClearRemovableMedia(const CRunContext& run)
{
    run.RequireMediaRoot("ClearRemovableMedia");
    const std::string& media = run.MediaRoot();
    std::string folder = media + kMediaConfigFolder;
    // A configuration folder that is a link leads off the media: what it
    // holds is not the media's to clear.
    if (MediaFoldersAreLinks(media.c_str())) {
        CsrLog(CSRLOG_ERROR, "ClearRemovableMedia: Not cleared: %s leads off the media\n", folder.c_str());
        return;
    }

    // The files that make the media hold a save go first, the identity record
    // before the registry file: a clearing cut off part way leaves remains
    // that no longer count as a save, never a save with files missing.
    for (const char* marker : {kIdentityRecord, kSavedRegistry}) {
        std::string path = JoinPath(folder.c_str(), marker);
        // Absent as a rule; the delete and the callers' checks tell what stays.
        FcSetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        FcDeleteFile(path.c_str());
    }
    DeleteFolderContents(folder.c_str(), true);
}

bool GoneFromMedia(const std::string& path, const std::string& mediaRoot)
{
    if (FcGetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    DWORD root = FcGetFileAttributes(mediaRoot.c_str());
    return root != INVALID_FILE_ATTRIBUTES && (root & FILE_ATTRIBUTE_DIRECTORY);
}

bool SaveGoneFromMedia(const CRunContext& run)
{
    const std::string root = TextPrefix(run.MediaRoot().c_str(), kMediaRootChars);
    return GoneFromMedia(JoinPath((root + kMediaConfigFolder).c_str(), kIdentityRecord), root);
}

void DeleteFolderContents(const char* folder, bool descend)
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

void EnableBackupPrivileges()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        CFileException::ThrowOsError(static_cast<long>(GetLastError()));
    UniqueHandle token(raw);
    EnablePrivilege(token.get(), "SeBackupPrivilege");
    EnablePrivilege(token.get(), "SeRestorePrivilege");
}
