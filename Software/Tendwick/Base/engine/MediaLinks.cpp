#include "MediaLinks.h"

#include "CsrLog.h"
#include "EngineFileCalls.h"

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The file-disposition call of the native API: on every NT-family system,
// where SetFileInformationByHandle came only with later releases. It marks a
// handle already proven to be the link, so that a failed check never deletes.
struct NativeIoStatus {
    union {
        LONG  lStatus;
        PVOID pPointer;
    };
    ULONG_PTR nInformation;
};
struct NativeDisposition {
    BOOLEAN bDeleteFile;
};
typedef LONG(NTAPI* SetInformationFileFn)(HANDLE, NativeIoStatus*, PVOID, ULONG, int);
const int kFileDispositionInformation = 13;

bool MarkForDeletion(HANDLE file)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    FARPROC entry = ntdll ? GetProcAddress(ntdll, "NtSetInformationFile") : nullptr;
    if (!entry) return false;
    SetInformationFileFn setInformation = reinterpret_cast<SetInformationFileFn>(reinterpret_cast<void*>(entry));
    NativeIoStatus status = {};
    NativeDisposition disposition = {TRUE};
    return setInformation(file, &status, &disposition, sizeof(disposition), kFileDispositionInformation) >= 0;
}

} // namespace

bool RemoveLinkItself(const std::string& path)
{
    const DWORD attributes = FcGetFileAttributes(path.c_str());
    if (!IsLinkAttributes(attributes)) return false;
    const DWORD linkFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
    CEngineFile link;
    BY_HANDLE_FILE_INFORMATION linkInfo = {};
    if (!link.Open(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, linkFlags) ||
        !link.Information(&linkInfo))
        return false;

    // Where the system opens what the link leads to even when asked for the
    // link, both opens name one file: a delete would reach the target.
    CEngineFile target;
    BY_HANDLE_FILE_INFORMATION targetInfo = {};
    if (target.Open(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS) &&
        target.Information(&targetInfo) && SameFile(linkInfo, targetInfo))
        return false;
    target.Close();

    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // DeleteFile removes a file link itself, not the file it leads to.
        link.Close();
        return FcDeleteFile(path.c_str()) && !IsLinkPath(path);
    }

    // A folder link: opened for deletion as the link, proven to be the link
    // just examined, and only then marked to go when the handle closes.
    CEngineFile doomed;
    BY_HANDLE_FILE_INFORMATION doomedInfo = {};
    if (!doomed.Open(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, linkFlags) ||
        !doomed.Information(&doomedInfo) || !SameFile(linkInfo, doomedInfo))
        return false;
    if (!MarkForDeletion(doomed.Handle())) return false;
    doomed.Close();
    link.Close();
    return !IsLinkPath(path);
}

bool FolderHoldsLink(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    CEngineFind find;
    if (!find.First((folder + "\\*").c_str(), &entry)) return false;
    bool found = false;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (!IsLinkAttributes(entry.dwFileAttributes) && !IsLinkPath(path)) continue;
        CsrLog(CSRLOG_ERROR, "FolderHoldsLink: %s is a link (reparse point)\n", path.c_str());
        found = true;
    } while (find.Next(&entry));
    return found;
}

bool MediaFoldersAreLinks(const char* mediaRoot)
{
    const std::string config = std::string(mediaRoot ? mediaRoot : "") + "ZelConfig";
    for (const std::string& folder : {config, config + "\\Persist"}) {
        if (!IsLinkPath(folder)) continue;
        CsrLog(CSRLOG_ERROR, "MaintRun: %s is a link (reparse point); nothing is written to or read from it\n",
               folder.c_str());
        return true;
    }
    return false;
}
