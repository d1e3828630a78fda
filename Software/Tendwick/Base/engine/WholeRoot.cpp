#include "WholeRoot.h"

#include "CsrLog.h"

#include <cstring>

bool RootIsWhole(const char* caller, const char* what, const char* root, size_t maxChars)
{
    if (std::strlen(root) <= maxChars) return true;
    LogLongRoot(caller, what, root, maxChars);
    return false;
}

void LogLongRoot(const char* caller, const char* what, const char* root, size_t maxChars)
{
    CsrLog(CSRLOG_ERROR, "%s: %s longer than %u characters: \"%.80s...\"\n", caller, what,
           static_cast<unsigned>(maxChars), root);
}
