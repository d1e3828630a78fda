#include "MediaLinks.h"

#include "CsrLog.h"
#include "RunMaint.h"
#include "Win32Handle.h"

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

bool IsLinkPath(const std::string& path)
{
    return IsLinkAttributes(GetFileAttributesA(path.c_str()));
}

bool RemoveLinkItself(const std::string& path)
{
    const DWORD linkFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
    UniqueHandle link(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, linkFlags,
                                  nullptr));
    BY_HANDLE_FILE_INFORMATION linkInfo = {};
    if (!link || !GetFileInformationByHandle(link.get(), &linkInfo)) return false;

    // Where the system opens what the link leads to even when asked for the
    // link, both opens name one file: a delete would reach the target.
    UniqueHandle target(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION targetInfo = {};
    if (target && GetFileInformationByHandle(target.get(), &targetInfo) && SameFile(linkInfo, targetInfo))
        return false;
    target.reset();

    UniqueHandle doomed(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    linkFlags | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    BY_HANDLE_FILE_INFORMATION doomedInfo = {};
    if (!doomed || !GetFileInformationByHandle(doomed.get(), &doomedInfo) || !SameFile(linkInfo, doomedInfo))
        return false;
    doomed.reset();
    link.reset();
    return !IsLinkPath(path);
}

bool CRunMaint::MediaFoldersAreLinks(const char* mediaRoot)
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
