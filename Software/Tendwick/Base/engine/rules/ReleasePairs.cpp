#include "ReleasePairs.h"

#include "TextFields.h"

#include <cstring>

namespace {

const char P000[] = "612-00340-000";
const char P002[] = "612-00340-002";
const char P100[] = "612-00340-100";
const char P200[] = "612-00340-200";
const char P500[] = "612-00340-500";
const char P502[] = "612-00340-502";
const char P800[] = "612-00340-800";
const char P900[] = "612-00340-900";

const char L000[] = "Line A Release 4-knob";
const char L002[] = "Line A Release 2-knob";
const char L100[] = "Line B Release";
const char L200[] = "Line C Release";
const char L500[] = "Retrofit Release 4-knob";
const char L502[] = "Retrofit Release 2-knob";
const char L800[] = "ZR455 Release";
const char L900[] = "ZR655 Release";

const char kEnd[] = "END";

} // namespace

// Three groups of the same eight parts: revision 0 onto 0, 0 onto 1, 1 onto 1.
const ReleasePair ReleasePairTable[RELEASE_PAIR_ROWS] = {
    {P000, 0, L000, P000, 0}, {P002, 0, L002, P002, 0}, {P100, 0, L100, P100, 0}, {P200, 0, L200, P200, 0},
    {P500, 0, L500, P500, 0}, {P502, 0, L502, P502, 0}, {P800, 0, L800, P800, 0}, {P900, 0, L900, P900, 0},

    {P000, 0, L000, P000, 1}, {P002, 0, L002, P002, 1}, {P100, 0, L100, P100, 1}, {P200, 0, L200, P200, 1},
    {P500, 0, L500, P500, 1}, {P502, 0, L502, P502, 1}, {P800, 0, L800, P800, 1}, {P900, 0, L900, P900, 1},

    {P000, 1, L000, P000, 1}, {P002, 1, L002, P002, 1}, {P100, 1, L100, P100, 1}, {P200, 1, L200, P200, 1},
    {P500, 1, L500, P500, 1}, {P502, 1, L502, P502, 1}, {P800, 1, L800, P800, 1}, {P900, 1, L900, P900, 1},

    {kEnd, 0, kEnd, kEnd, -2},
};

bool IsReleaseTableEnd(const ReleasePair& row)
{
    return std::strcmp(row.pszSourcePart, kEnd) == 0;
}

bool IsSaveSourceRow(const ReleasePair& row, const char* part, int revision)
{
    return PrefixMatch(row.pszSourcePart, part) && row.nSourceRevision == revision;
}

bool IsRestorePairRow(const ReleasePair& row, const char* savedPart, int savedRevision, const char* part,
                      int revision)
{
    if (!savedPart || !part) return false;
    return std::strcmp(row.pszSourcePart, savedPart) == 0 && row.nSourceRevision == savedRevision &&
           std::strcmp(row.pszTargetPart, part) == 0 && row.nTargetRevision == revision;
}

bool IsSupportedRelease(const char* part, int revision)
{
    for (const ReleasePair* row = ReleasePairTable; !IsReleaseTableEnd(*row); ++row)
        if (IsSaveSourceRow(*row, part, revision)) return true;
    return false;
}

const char* EligibilityStatusText(int status)
{
    switch (status) {
    case ELIG_INVALID_SOURCE:        return "Invalid source";
    case ELIG_SAVED_FILES_ON_DISK:   return "Saved files on disk";
    case ELIG_SAVE_UNKNOWN_ERROR:    return "Unknown error";
    case ELIG_INVALID_TARGET:        return "Invalid target";
    case ELIG_NO_SAVED_FILES:        return "No saved files on disk";
    case ELIG_RESTORE_UNKNOWN_ERROR: return "Unknown error";
    case ELIG_DISABLED_UNIT:         return "Disabled unit";
    default:                         return "";
    }
}
