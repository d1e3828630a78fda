// The import of a saved key file: every value line of the copy on the media
// is written into the unit's own key through the store, so that values the
// save does not carry, or a filter does not admit, keep the unit's settings.
#include "RestoreFlow.h"

#include "MessagePump.h"
#include "RunContext.h"
#include "RunWindow.h"

#include "CsrLog.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "KeyFileFormat.h"
#include "PlanSources.h"
#include "MediaListing.h"
#include "PersistLines.h"
#include "Retenta.h"
#include "SavedFileCatalogue.h"
#include "SavedFileReader.h"
#include "SavedKeyImport.h"
#include "TextFields.h"
#include "WholeRoot.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const size_t kStatusTextSize = 256;
const size_t kKeyNameSize = 256;

// Logs a line that the parse refused; a refused line is shown cut, since it
// may be longer than any log line.
void LogRefusedLine(const char* who, int level, ParseOutcome outcome, const char* line);

// The refused lines of one file: the first few are logged, the rest only
// counted, so that a damaged file cannot fill the media with log.
class CRefusedLines {
public:
    CRefusedLines(const char* who, int level) : m_pszWho(who), m_nLevel(level) {}
    ~CRefusedLines()
    {
        if (m_nCount > REFUSED_LINES_LOGGED)
            CsrLog(m_nLevel, "%s: %u more refused lines not logged\n", m_pszWho, m_nCount - REFUSED_LINES_LOGGED);
    }
    void Add(ParseOutcome outcome, const char* line)
    {
        if (++m_nCount <= REFUSED_LINES_LOGGED) LogRefusedLine(m_pszWho, m_nLevel, outcome, line);
    }

private:
    const char* m_pszWho;
    int         m_nLevel;
    unsigned    m_nCount = 0;
};

void LogRefusedLine(const char* who, int level, ParseOutcome outcome, const char* line)
{
    struct Refusal {
        ParseOutcome outcome;
        const char*  what;
        size_t       size;   // the field's buffer, terminator included
    };
    static const Refusal kRefusals[] = {
        {PARSE_LINE_TOO_LONG, "Line", PARSE_LINE_SIZE},
        {PARSE_NAME_TOO_LONG, "Value name", PARSE_NAME_SIZE},
        {PARSE_TYPE_TOO_LONG, "Type word", PARSE_TYPE_SIZE},
        {PARSE_VALUE_TOO_LONG, "Value", PARSE_VALUE_SIZE},
    };
    for (const Refusal& refusal : kRefusals) {
        if (refusal.outcome != outcome) continue;
        CsrLog(level, "%s: %s longer than %u characters skipped - %.80s...\n", who, refusal.what,
               static_cast<unsigned>(refusal.size - 1), line);
        return;
    }
    CsrLog(level, "%s: ParseLine Failed - %s\n", who, line);
}

// Writes each planned value of a saved file into the key open on this thread.
class CStoreWriter {
public:
    CStoreWriter(RunWindow* window, const char* subdir, const char* key)
        : m_pWindow(window), m_pszSubdir(subdir), m_pszKey(key) {}

    // Values the store refused.
    unsigned Failed() const { return m_nFailed; }

    void Write(const PlannedWrite& value)
    {
        char status[kStatusTextSize];
        std::snprintf(status, sizeof(status), "%s\\%s", m_pszSubdir, m_pszKey);
        if (m_pWindow) m_pWindow->SetDetailText(status, 0);
        CsrLog(CSRLOG_TRACE, "UpdatePersistFile:  Processing: %s\\%s.pri\\%s : %s : %s\n", m_pszSubdir, m_pszKey,
               value.name.c_str(), value.type.c_str(), value.text.c_str());

        const char* name = value.name.c_str();
        switch (value.kind) {
        case IMPORT_BOOL: {
            int number = static_cast<int>(value.number);
            if (Refused(PersistBool(name, number)))
                CsrLog(CSRLOG_WARNING, "UpdatePersistFile: PersistBool Failed on: %s, %s, %s, %d\n", m_pszSubdir,
                       m_pszKey, name, number);
            break;
        }
        case IMPORT_DWORD:
            if (Refused(PersistDW(name, value.number)))
                CsrLog(CSRLOG_WARNING, "UpdatePersistFile: PersistDW Failed on: %s, %s, %s, %d\n", m_pszSubdir,
                       m_pszKey, name, static_cast<int>(value.number));
            break;
        case IMPORT_STRING:
            if (Refused(PersistString(name, value.text.c_str())))
                CsrLog(CSRLOG_WARNING, "UpdatePersistFile: PersistString Failed on: %s, %s, %s, %s\n", m_pszSubdir,
                       m_pszKey, name, value.text.c_str());
            break;
        default:
            CsrLog(CSRLOG_WARNING, "UpdatePersistFile: BAD DATA TYPE\n");
            break;
        }
    }

private:
    bool Refused(long result)
    {
        if (result != PERS_FAILED) return false;
        ++m_nFailed;
        return true;
    }

    RunWindow*  m_pWindow;
    const char* m_pszSubdir;
    const char* m_pszKey;
    unsigned    m_nFailed = 0;
};

// Finds the first string value of one name; lines before it that the parse
// refuses are logged.
class CSettingSearch : public CSavedKeyVisitor {
public:
    explicit CSettingSearch(const char* name) : m_pszName(name), m_refused("RetrieveSavedPersistSetting", CSRLOG_ERROR) {}

    void OnRefusedLine(ParseOutcome outcome, const char* line) override { m_refused.Add(outcome, line); }
    void OnValue(const ImportValue& value) override
    {
        if (std::strcmp(value.pszName, m_pszName) != 0 || value.kind != IMPORT_STRING) return;
        m_value = value.pszText;
        m_bFound = true;
    }
    bool Done() const override { return m_bFound; }

    bool               Found() const { return m_bFound; }
    const std::string& Value() const { return m_value; }

private:
    const char*   m_pszName;
    CRefusedLines m_refused;
    std::string   m_value;
    bool          m_bFound = false;
};

// Logs why a saved file was not read; true when it was.
bool SavedFileWasRead(const char* who, int level, SavedFileRead read, const char* name, long size)
{
    switch (read) {
    case SAVED_READ_OK:
        return true;
    case SAVED_READ_NO_FILE:
        CsrLog(level, "%s: Unable to Open File - %s\n", who, name);
        break;
    case SAVED_READ_NO_MEMORY:
        CsrLog(level, "%s: Unable to allocate memory\n", who);
        break;
    case SAVED_READ_TOO_LARGE:
        CsrLog(level, "%s: File of %ld bytes is larger than any saved key (%u bytes), not read - %s\n", who, size,
               static_cast<unsigned>(SAVED_FILE_MAX_BYTES), name);
        break;
    case SAVED_READ_SHORT:
        CsrLog(level, "%s: File could not be read whole - %s\n", who, name);
        break;
    }
    return false;
}

} // namespace

int CRestoreFlow::ParseLine(const char* line, char* name, char* type, char* value)
{
    return ParseValueLine(line, name, type, value) == PARSE_OK ? 1 : 0;
}

int CarryOutImport(RunWindow* window, const PlannedFile& file, const char* path)
{
    // 1 only when the file was read whole, every value taken was written and
    // the key saved: anything less leaves the save on the media for a retry.
    int taken = 0;
    const char* subdir = file.step.pEntry->pszDirectory;
    const char* key = file.key.c_str();
    if (SavedFileWasRead("UpdatePersistFile", CSRLOG_WARNING, file.read, path, file.nSize)) {
        // Imported as it stands all the same; the warning tells a damaged
        // save from a sound one afterwards.
        // It counts as taken: a retry would import the same text again, so
        // holding the save back would strand every restore of it.
        if (file.bFailsCheck)
            CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Saved file fails its CRC check, importing anyway - %s\n",
                   path);

        // The store answers for itself: whether the key opens and which
        // writes it takes decide what was taken, whatever the plan expected.
        bool opened = OpenPersistKey(subdir, key, kStoreTimeout) != PERS_FAILED;
        if (!opened && !file.step.pEntry->bOpenTolerant) {
            CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Unable to OpenPersistKey - %s:%s\n", subdir, key);
        } else {
            unsigned failed = 0;
            {
                CRefusedLines refused("UpdatePersistFile", CSRLOG_WARNING);
                CStoreWriter writer(window, subdir, key);
                // The refused lines are logged where the file has them.
                size_t line = 0;
                for (size_t i = 0; i <= file.writes.size(); ++i) {
                    for (; line < file.refusedLines.size() && file.refusedLines[line].nBeforeWrite <= i; ++line)
                        refused.Add(file.refusedLines[line].outcome, file.refusedLines[line].line.c_str());
                    if (i < file.writes.size()) writer.Write(file.writes[i]);
                }
                failed = writer.Failed();
            }
            bool saved = ClosePersistKey() != PERS_FAILED;
            if (opened && !saved)
                CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Unable to save key - %s:%s\n", subdir, key);
            taken = opened && saved && failed == 0 ? 1 : 0;
        }
    }

    // Data-link fix-up: a save of the legacy family lacks the client's device.
    for (const PlannedWrite& write : file.fixUp) {
        if (write.kind == IMPORT_DWORD)
            PersistOneDW(write.subdir.c_str(), write.key.c_str(), kStoreTimeout, write.name.c_str(), write.number);
        else
            PersistOneString(write.subdir.c_str(), write.key.c_str(), kStoreTimeout, write.name.c_str(),
                             write.text.c_str());
    }
    return taken;
}

namespace {

// What the plan of one row needs besides the unit and the media: the saved
// part number, for the data-link fix-up only.
PlanInput RowInput(CRunContext& run, const char* subdir, const char* key)
{
    PlanInput input;
    if (PrefixMatch(subdir, DATALINK_SUBDIR) && PrefixMatch(key, DATALINK_KEY)) input.savedPart = run.Saved().part;
    return input;
}

} // namespace

int CRestoreFlow::UpdatePersistFile(const char* path, const char* subdir, const char* key,
                                    const ValueFilterItem* filter, uint32_t filterCount, uint8_t openTolerant)
{
    // One row of its own: the file at path into subdir\key.
    const std::string file = std::string(key ? key : "") + ".pri";
    const SavedFileEntry entry = {subdir, file.c_str(), path, filter, filterCount, nullptr, openTolerant};
    CStoreSettings unit;
    CEngineMedia media(std::string(), nullptr);
    PlannedFile planned = PlanRestoreFile(RestoreStep{&entry, false, false}, RowInput(m_run, subdir, key), unit, media);
    // The key as given, whatever its name would give.
    planned.key = key ? key : "";
    return CarryOutImport(m_pWindow, planned, path);
}

bool CRestoreFlow::RestorePersistFile(const SavedFileEntry& entry, const char* mediaPersistFolder,
                                      const char* localPersistRoot, bool stepProgress, const CMediaListing& listing)
{
    std::string folder = mediaPersistFolder ? mediaPersistFolder : "";
    size_t slash = folder.find_last_of('\\');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    // An empty folder would take the name as a whole path: a media folder
    // without a backslash gives the name below the current folder's root.
    CEngineMedia media(folder.empty() ? std::string("\\") : folder, &listing);
    const std::string path = media.Path(entry.pszMediaName);

    char key[kKeyNameSize] = {};
    SavedKeyName(entry.pszFile, key, sizeof(key));
    CStoreSettings unit;
    const PlannedFile planned = PlanRestoreFile(RestoreStep{&entry, false, stepProgress},
                                                RowInput(m_run, entry.pszDirectory, key), unit, media);
    if (planned.fate == FILE_NOT_FACTORY_CONFIGURED) {
        CsrLog(CSRLOG_TRACE, "RestoreConfig: %s not factory configured - skipped\n",
               entry.pszConfigName ? entry.pszConfigName : "");
        return true;
    }

    // A row the save had no file for is no failure: the source unit lacked it.
    // Only the listing tells: a file that no longer opens is not taken.
    const bool present = planned.bListed;
    bool taken = !present;
    if (planned.fate == FILE_NO_KEY_NAME) {
        CsrLog(CSRLOG_ERROR, "RestorePersistFile: Bad Persist File Name - %s\n", entry.pszFile);
    } else {
        taken = CarryOutImport(m_pWindow, planned, path.c_str()) == 1 || !present;
        CsrLog(CSRLOG_TRACE, "RestorePersistFile: %s%s\\%s\n", localPersistRoot ? localPersistRoot : "",
               entry.pszDirectory, key);
    }
    if (!taken) CsrLog(CSRLOG_ERROR, "RestorePersistFile: %s not taken\n", path.c_str());
    PumpMessagesFor(250);
    if (stepProgress && m_pWindow) m_pWindow->StepProgress();
    return taken;
}

bool RetrieveSavedPersistSetting(const CRunContext& run, const char* mediaFile, const char* valueName, char* output,
                                 size_t size)
{
    if (!output || size == 0) return false;
    run.RequireUpdatePaths("RetrieveSavedPersistSetting");

    // A cut root would name another folder: such a root finds nothing.
    if (!run.MediaRootFits("RetrieveSavedPersistSetting")) return false;
    std::string folder = run.MediaRoot() + "ZelConfig\\" + "Persist\\";
    std::string path = JoinPath(folder.c_str(), mediaFile);

    SavedFileText text;
    long fileSize = -1;
    SavedFileRead read = ReadSavedFile(path.c_str(), &text, &fileSize);
    if (read == SAVED_READ_NO_FILE) {
        CsrLog(CSRLOG_WARNING, "RetrieveSavedPersistSetting: Unable to Open File - %s\n", mediaFile);
        return false;
    }
    if (!SavedFileWasRead("RetrieveSavedPersistSetting", CSRLOG_ERROR, read, mediaFile, fileSize)) return false;

    CSettingSearch search(valueName);
    WalkSavedKeyFile(text.pBytes.get(), text.nLength, nullptr, 0, search);
    if (!search.Found()) return false;
    // A cut value would name another file; one that does not fit is refused.
    if (search.Value().size() >= size) {
        CsrLog(CSRLOG_WARNING, "RetrieveSavedPersistSetting: %s longer than %u characters - not used\n", valueName,
               static_cast<unsigned>(size - 1));
        return false;
    }
    CopyText(output, size, search.Value().c_str());
    return true;
}
