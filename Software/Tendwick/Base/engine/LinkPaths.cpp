#include "LinkPaths.h"

#include "EngineFileCalls.h"

bool IsLinkPath(const std::string& path)
{
    return IsLinkAttributes(FcGetFileAttributes(path.c_str()));
}

bool PathHasLink(const std::string& path)
{
    // Each folder from the left, then the path itself; "E:" is no folder.
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        if (at > 2 && IsLinkPath(path.substr(0, at))) return true;
    return IsLinkPath(path);
}
