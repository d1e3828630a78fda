#include "MediaInspection.h"

#include "IdentityRules.h"
#include "KeyFileFormat.h"
#include "MediaLayout.h"
#include "ReleasePairs.h"
#include "SavedKeyImport.h"

#include <cstring>

namespace {

// Counts what the import would do with each line of a saved file.
class CLineCounter : public CSavedKeyVisitor {
public:
    explicit CLineCounter(RowFinding* row) : m_pRow(row) {}
    void OnRefusedLine(ParseOutcome, const char*) override { ++m_pRow->nRefusedLines; }
    void OnFilteredOut(const char*, const char*, const char*) override { ++m_pRow->nValues; }
    void OnValue(const ImportValue& value) override
    {
        ++m_pRow->nValues;
        ++m_pRow->nTaken;
        if (value.kind == IMPORT_BAD_TYPE) ++m_pRow->nBadTypes;
    }

private:
    RowFinding* m_pRow;
};

void InspectHive(const fs::path& config, HiveFinding* hive)
{
    hive->hive = FileCrc(config / MEDIA_HIVE_FILE, &hive->dwCrc, &hive->nSize);
    // A checksum file is one short line; anything far longer is no checksum file.
    const size_t kChkReadLimit = 64;
    hive->chkRead = ReadWholeFile(config / MEDIA_HIVE_CHK_FILE, kChkReadLimit, &hive->chkBytes);
    if (hive->chkRead == FILE_READ_OK)
        hive->chk = ParseChkText(hive->chkBytes.data(), hive->chkBytes.size(), &hive->dwChkCrc);
}

void InspectRows(const fs::path& persist, MediaReport* report)
{
    for (size_t i = 0; i < SAVED_FILE_COUNT; ++i) {
        RowFinding row;
        row.nRow = i + 1;
        row.pEntry = &SavedFileCatalogue[i];
        std::string bytes;
        fs::path file = persist / row.pEntry->pszMediaName;
        std::error_code error;
        switch (ReadWholeFile(file, MEDIA_READ_LIMIT, &bytes)) {
        case FILE_MISSING:
            row.state = ROW_ABSENT;
            break;
        case FILE_TOO_LARGE:
            row.state = ROW_TOO_LARGE;
            row.nSize = fs::file_size(file, error);
            break;
        case FILE_UNREADABLE:
            row.state = ROW_UNREADABLE;
            break;
        case FILE_READ_OK:
            InspectSavedKey(bytes, &row);
            break;
        }
        report->rows.push_back(row);
    }
}

void InspectRunLog(const fs::path& root, RunLogFinding* runLog)
{
    std::string log;
    runLog->log = ReadFileTail(JoinRelative(root, MEDIA_RUN_LOG), MEDIA_READ_LIMIT, &log);
    if (runLog->log == FILE_READ_OK) runLog->writer = FindSaveWriter(log);
}

void InspectEntries(const fs::path& root, const fs::path& config, MediaReport* report)
{
    const bool hasSave = report->hive.hive != FILE_MISSING;
    for (const std::string& entry : ListEntriesBelow(config)) {
        std::string shown = std::string(MEDIA_CONFIG_FOLDER) + "\\" + entry;
        if (!IsLayoutEntry(entry))
            report->unknown.push_back(shown);
        else if (!hasSave && entry.back() != '\\')
            report->stale.push_back(shown);
    }
    if (IsFolder(root / MEDIA_WRITE_PROBE)) report->stale.push_back(std::string(MEDIA_WRITE_PROBE) + "\\");
    for (size_t i = 0; i < MEDIA_ROOT_FILE_COUNT; ++i)
        if (IsFile(JoinRelative(root, MediaRootFiles[i].pszName))) report->rootFiles.push_back(i);
}

void Judge(MediaReport* report)
{
    const HiveFinding& hive = report->hive;
    if (hive.hive == FILE_MISSING) {
        report->verdict = VERDICT_NO_SAVE;
        return;
    }
    std::vector<std::string>& problems = report->problems;
    if (hive.hive != FILE_READ_OK) problems.push_back(std::string(MEDIA_HIVE_FILE) + " cannot be read");
    if (hive.chkRead == FILE_MISSING)
        problems.push_back(std::string(MEDIA_HIVE_CHK_FILE) + " missing");
    else if (hive.chkRead != FILE_READ_OK)
        problems.push_back(std::string(MEDIA_HIVE_CHK_FILE) + " cannot be read");
    else if (hive.chk != CHK_OK)
        problems.push_back(std::string(MEDIA_HIVE_CHK_FILE) + " " + ChkOutcomeText(hive.chk));
    else if (hive.hive == FILE_READ_OK && hive.dwChkCrc != hive.dwCrc)
        problems.push_back(std::string(MEDIA_HIVE_FILE) + " does not match its checksum");

    const IdentityFinding& identity = report->identity;
    if (!identity.bPresent)
        problems.push_back(std::string(MEDIA_IDENTITY_FILE) + " missing");
    else if (identity.record.empty())
        problems.push_back(std::string(MEDIA_IDENTITY_FILE) + " empty");
    else if (identity.acceptingRows.empty())
        report->warnings.push_back(std::string(MEDIA_IDENTITY_FILE) +
                                   " names a release that no unit accepts as a restore source");

    for (const RowFinding& row : report->rows) {
        if (row.state == ROW_ABSENT || row.state == ROW_VALID) continue;
        problems.push_back(std::string(row.pEntry->pszMediaName) + " " + RowStateText(row.state));
    }
    report->verdict = problems.empty() ? VERDICT_COMPLETE : VERDICT_INCOMPLETE;
}

} // namespace

size_t MediaReport::PresentRows() const
{
    size_t present = 0;
    for (const RowFinding& row : rows)
        if (row.state != ROW_ABSENT) ++present;
    return present;
}

IdentityFinding ParseIdentityRecord(const std::string& record)
{
    IdentityFinding identity;
    identity.bPresent = true;
    identity.record = record;
    // The engine reads into a zeroed buffer: the record ends at a NUL.
    char text[SAVED_RECORD_BYTES + 1] = {};
    std::memcpy(text, record.data(), record.size() < SAVED_RECORD_BYTES ? record.size() : SAVED_RECORD_BYTES);
    char part[SAVED_FIELD_OUT_SIZE] = {};
    char serial[SAVED_FIELD_OUT_SIZE] = {};
    ParseSavedPartNum(text, part, &identity.nRevision, serial, sizeof(part));
    identity.part = part;
    identity.serial = serial;
    identity.bSerialValid = IsValidSerialNum(serial);
    for (size_t i = 0; !IsReleaseTableEnd(ReleasePairTable[i]); ++i) {
        const ReleasePair& row = ReleasePairTable[i];
        if (IsRestorePairRow(row, part, identity.nRevision, row.pszTargetPart, row.nTargetRevision))
            identity.acceptingRows.push_back(i);
    }
    return identity;
}

void InspectSavedKey(const std::string& bytes, RowFinding* row)
{
    row->nSize = bytes.size();
    size_t textLength = 0;
    row->state = keyfile::ValidateKeyFile(bytes.data(), bytes.size(), &textLength) ? ROW_VALID : ROW_INVALID;
    // The import reads every file whole, valid or not.
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    CLineCounter counter(row);
    WalkSavedKeyFile(text.data(), bytes.size(), row->pEntry ? row->pEntry->pFilter : nullptr,
                     row->pEntry ? row->pEntry->dwFilterCount : 0, counter);
}

MediaReport InspectMedia(const fs::path& root, const std::string& shownRoot)
{
    MediaReport report;
    report.shownRoot = shownRoot;
    report.bRootFound = IsFolder(root);
    const fs::path config = root / MEDIA_CONFIG_FOLDER;
    report.bConfigFolder = IsFolder(config);

    std::string record;
    if (ReadTextStart(config / MEDIA_IDENTITY_FILE, SAVED_RECORD_BYTES, &record) == FILE_READ_OK)
        report.identity = ParseIdentityRecord(record);
    InspectHive(config, &report.hive);
    const fs::path persist = config / MEDIA_PERSIST_FOLDER;
    InspectRows(persist, &report);
    report.bAddressBook = IsFile(persist / MEDIA_ADDRESS_BOOK);
    InspectRunLog(root, &report.runLog);
    InspectEntries(root, config, &report);
    Judge(&report);
    return report;
}

const char* RowStateText(RowState state)
{
    switch (state) {
    case ROW_ABSENT:     return "absent";
    case ROW_VALID:      return "valid";
    case ROW_INVALID:    return "fails the store's check";
    case ROW_TOO_LARGE:  return "too large to read";
    case ROW_UNREADABLE: return "cannot be read";
    }
    return "";
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case VERDICT_COMPLETE:   return "complete save";
    case VERDICT_INCOMPLETE: return "incomplete save";
    case VERDICT_NO_SAVE:    return "no save";
    }
    return "";
}
