// The releases this program may save from and restore onto, and the status
// codes by which the eligibility checks report. No windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReleasePair {
    const char* pszSourcePart;    // a release that may be saved
    int32_t     nSourceRevision;
    const char* pszLabel;         // descriptive only
    const char* pszTargetPart;    // a release that may receive that save
    int32_t     nTargetRevision;
};

// 24 rows and the end row {"END", 0, "END", "END", -2}.
const size_t RELEASE_PAIR_ROWS = 25;
extern const ReleasePair ReleasePairTable[RELEASE_PAIR_ROWS];

// The walks stop at the first row whose source part is exactly "END".
bool IsReleaseTableEnd(const ReleasePair& row);

// A save source: the row's source part matches part by PrefixMatch and the
// revisions are equal.
bool IsSaveSourceRow(const ReleasePair& row, const char* part, int revision);

// A restore: every text equal over its whole length (case-sensitive) and both
// revisions equal.
bool IsRestorePairRow(const ReleasePair& row, const char* savedPart, int savedRevision, const char* part,
                      int revision);

// Whether some row before the end row is a save source for part and revision.
bool IsSupportedRelease(const char* part, int revision);

// What the eligibility checks leave in their status out-parameter.
enum EligibilityStatus {
    ELIG_NONE                 = 0,
    ELIG_INVALID_SOURCE       = 1,
    ELIG_SAVED_FILES_ON_DISK  = 2,
    ELIG_SAVE_UNKNOWN_ERROR   = 3,
    ELIG_RESTORE_START        = 4,
    ELIG_INVALID_TARGET       = 5,
    ELIG_NO_SAVED_FILES       = 6,
    ELIG_RESTORE_UNKNOWN_ERROR = 7,
    ELIG_DISABLED_UNIT        = 8,
};

// The text by which the window shows a status code; empty for codes without one.
const char* EligibilityStatusText(int status);
