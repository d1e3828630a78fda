// What a media holds, read without a unit: the saved identity and the
// releases that may receive it, the hive and its checksum file, each
// catalogue row's copy with its validity and values, what does not belong
// to a save, and the verdict.
#pragma once

#include "ChkFile.h"
#include "MediaFiles.h"
#include "SaveWriter.h"
#include "SavedFileCatalogue.h"

#include <cstdint>
#include <string>
#include <vector>

struct IdentityFinding {
    bool                bPresent = false;
    std::string         record;          // the bytes the engine reads (at most 100)
    std::string         serial;
    std::string         part;
    int                 nRevision = -1;
    bool                bSerialValid = false;
    std::vector<size_t> acceptingRows;   // rows of the release table that take it as a restore source
};

struct HiveFinding {
    FileRead    hive = FILE_MISSING;
    uint64_t    nSize = 0;
    uint32_t    dwCrc = 0;
    FileRead    chkRead = FILE_MISSING;
    std::string chkBytes;                // at most a line's worth, for the report
    ChkOutcome  chk = CHK_EMPTY;
    uint32_t    dwChkCrc = 0;

    bool ChkMatches() const { return hive == FILE_READ_OK && chkRead == FILE_READ_OK && chk == CHK_OK && dwChkCrc == dwCrc; }
};

struct RunLogFinding {
    FileRead   log = FILE_MISSING;
    SaveWriter writer;
};

enum RowState { ROW_ABSENT, ROW_VALID, ROW_INVALID, ROW_TOO_LARGE, ROW_UNREADABLE };

struct RowFinding {
    size_t                nRow = 0;            // 1-based, as the catalogue counts
    const SavedFileEntry* pEntry = nullptr;
    RowState              state = ROW_ABSENT;
    uint64_t              nSize = 0;
    size_t                nValues = 0;         // value lines the import reads
    size_t                nTaken = 0;          // of these, what the row's filter takes
    size_t                nRefusedLines = 0;   // lines the import passes over
    size_t                nBadTypes = 0;       // parsed lines of no type the import knows
};

enum Verdict { VERDICT_COMPLETE, VERDICT_INCOMPLETE, VERDICT_NO_SAVE };

struct MediaReport {
    std::string              shownRoot;
    bool                     bRootFound = false;
    bool                     bConfigFolder = false;
    IdentityFinding          identity;
    HiveFinding              hive;
    std::vector<RowFinding>  rows;
    bool                     bAddressBook = false;
    RunLogFinding            runLog;
    std::vector<std::string> unknown;        // below the configuration folder, not part of a save
    std::vector<std::string> stale;          // left by an operation that did not finish
    std::vector<size_t>      rootFiles;      // indexes into MediaRootFiles that are present
    Verdict                  verdict = VERDICT_NO_SAVE;
    std::vector<std::string> problems;       // what keeps the save from being complete
    std::vector<std::string> warnings;

    size_t PresentRows() const;
};

MediaReport InspectMedia(const fs::path& root, const std::string& shownRoot);

// Takes the identity record's bytes apart as the engine does.
IdentityFinding ParseIdentityRecord(const std::string& record);

// Reads one saved key file's bytes: validity and value counts.
void InspectSavedKey(const std::string& bytes, RowFinding* row);

const char* RowStateText(RowState state);
const char* VerdictText(Verdict verdict);
