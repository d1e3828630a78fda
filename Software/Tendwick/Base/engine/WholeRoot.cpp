#include "WholeRoot.h"

#include "CsrLog.h"
#include "FileException.h"

#include <windows.h>

#include <cstring>

bool RootIsWhole(const char* caller, const char* what, const char* root, size_t maxChars)
{
    if (std::strlen(root) <= maxChars) return true;
    CsrLog(CSRLOG_ERROR, "%s: %s longer than %u characters: \"%.80s...\"\n", caller, what,
           static_cast<unsigned>(maxChars), root);
    return false;
}

void RequireWholeRoot(const char* caller, const char* what, const char* root, size_t maxChars)
{
    if (!RootIsWhole(caller, what, root, maxChars)) CFileException::ThrowOsError(ERROR_FILENAME_EXCED_RANGE, root);
}
