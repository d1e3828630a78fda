// The import of a saved key file: every value line of the copy on the media
// is written into the unit's own key through the store, so that values the
// save does not carry, or a filter does not admit, keep the unit's settings.
#include "RunMaint.h"

#include "CsrLog.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "KeyFileFormat.h"
#include "PersistLines.h"
#include "Retenta.h"
#include "SavedFileCatalogue.h"
#include "TextFields.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

const int kStoreTimeout = 1000;
const size_t kMediaRootChars = 64;
const size_t kStatusTextSize = 256;
const size_t kKeyNameSize = 256;

// A saved key file read whole into memory, NUL after its last byte.
struct SavedText {
    std::unique_ptr<char[]> bytes;
    size_t                  length = 0;
};

enum ReadOutcome { READ_OK, READ_NO_FILE, READ_NO_MEMORY };

ReadOutcome ReadSavedFile(const std::string& path, SavedText* text)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return READ_NO_FILE;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    if (size < 0) { std::fclose(file); return READ_NO_FILE; }
    text->bytes.reset(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
    if (!text->bytes) { std::fclose(file); return READ_NO_MEMORY; }
    text->length = std::fread(text->bytes.get(), 1, static_cast<size_t>(size), file);
    text->bytes[text->length] = '\0';
    std::fclose(file);
    return READ_OK;
}

// Logs a line that the parse refused; a refused line is shown cut, since it
// may be longer than any log line.
void LogRefusedLine(const char* who, int level, ParseOutcome outcome, const char* line)
{
    switch (outcome) {
    case PARSE_LINE_TOO_LONG:
        CsrLog(level, "%s: Line longer than %u characters skipped - %.80s...\n", who,
               static_cast<unsigned>(PARSE_LINE_SIZE - 1), line);
        break;
    case PARSE_NAME_TOO_LONG:
        CsrLog(level, "%s: Value name longer than %u characters skipped - %.80s...\n", who,
               static_cast<unsigned>(PARSE_NAME_SIZE - 1), line);
        break;
    case PARSE_TYPE_TOO_LONG:
        CsrLog(level, "%s: Type word longer than %u characters skipped - %.80s...\n", who,
               static_cast<unsigned>(PARSE_TYPE_SIZE - 1), line);
        break;
    case PARSE_VALUE_TOO_LONG:
        CsrLog(level, "%s: Value longer than %u characters skipped - %.80s...\n", who,
               static_cast<unsigned>(PARSE_VALUE_SIZE - 1), line);
        break;
    default:
        CsrLog(level, "%s: ParseLine Failed - %s\n", who, line);
        break;
    }
}

bool FilterAdmits(const ValueFilterItem* filter, uint32_t count, const char* name)
{
    if (!filter || count == 0) return true;
    for (uint32_t i = 0; i < count; ++i)
        if (filter[i].pszName && std::strcmp(filter[i].pszName, name) == 0) return true;
    return false;
}

bool ReadFactoryFlag(const char* configName, char* buffer, size_t size, void*)
{
    char text[17] = {};
    long result = GetOnePersistedString(FACTORY_FLAG_DIRECTORY, configName, kStoreTimeout, FACTORY_FLAG_VALUE,
                                        sizeof(text), text, nullptr);
    text[sizeof(text) - 1] = '\0';
    if (result != PERS_SUCCESS) return false;
    CopyText(buffer, size, text);
    return true;
}

} // namespace

int CRunMaint::ParseLine(const char* line, char* name, char* type, char* value)
{
    return ParseValueLine(line, name, type, value) == PARSE_OK ? 1 : 0;
}

int CRunMaint::UpdatePersistFile(const char* path, const char* subdir, const char* key,
                                 const ValueFilterItem* filter, uint32_t filterCount, uint8_t openTolerant)
{
    SavedText text;
    ReadOutcome read = ReadSavedFile(path, &text);
    if (read == READ_NO_FILE) {
        CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Unable to Open File - %s\n", path);
    } else if (read == READ_NO_MEMORY) {
        CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Unable to allocate memory\n");
    } else {
        // Imported as it stands all the same; the warning tells a damaged
        // save from a sound one afterwards.
        size_t textLength = 0;
        if (!keyfile::ValidateKeyFile(text.bytes.get(), text.length, &textLength))
            CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Saved file fails its CRC check, importing anyway - %s\n",
                   path);

        if (OpenPersistKey(subdir, key, kStoreTimeout) == PERS_FAILED && !openTolerant) {
            CsrLog(CSRLOG_WARNING, "UpdatePersistFile: Unable to OpenPersistKey - %s:%s\n", subdir, key);
        } else {
            char name[PARSE_NAME_SIZE];
            char type[PARSE_TYPE_SIZE];
            char value[PARSE_VALUE_SIZE];
            SavedLineWalker lines(text.bytes.get(), text.length);
            while (const char* line = lines.Next()) {
                ParseOutcome outcome = ParseValueLine(line, name, type, value);
                if (outcome != PARSE_OK) {
                    LogRefusedLine("UpdatePersistFile", CSRLOG_WARNING, outcome, line);
                    continue;
                }
                if (!FilterAdmits(filter, filterCount, name)) continue;

                char status[kStatusTextSize];
                std::snprintf(status, sizeof(status), "%s\\%s", subdir, key);
                m_pOwner->SetDetailText(status, 0);
                CsrLog(CSRLOG_TRACE, "UpdatePersistFile:  Processing: %s\\%s.pri\\%s : %s : %s\n", subdir, key,
                       name, type, value);

                if (std::strcmp(type, "bool") == 0) {
                    int number = ReadSignedValue(value);
                    if (PersistBool(name, number) == PERS_FAILED)
                        CsrLog(CSRLOG_WARNING, "UpdatePersistFile: PersistBool Failed on: %s, %s, %s, %d\n", subdir,
                               key, name, number);
                } else if (std::strcmp(type, "dword") == 0) {
                    uint32_t number = ReadDwordValue(value);
                    if (PersistDW(name, number) == PERS_FAILED)
                        CsrLog(CSRLOG_WARNING, "UpdatePersistFile: PersistDW Failed on: %s, %s, %s, %d\n", subdir,
                               key, name, static_cast<int>(number));
                } else if (std::strcmp(type, "string") == 0) {
                    if (PersistString(name, value) == PERS_FAILED)
                        CsrLog(CSRLOG_WARNING, "UpdatePersistFile: PersistString Failed on: %s, %s, %s, %s\n",
                               subdir, key, name, value);
                } else {
                    CsrLog(CSRLOG_WARNING, "UpdatePersistFile: BAD DATA TYPE\n");
                }
            }
            ClosePersistKey();
        }
    }

    // Data-link fix-up: a save of the legacy family lacks the client's device.
    if (PrefixMatch(subdir, "DatalinkPersist") && PrefixMatch(key, "Client")) {
        char savedPart[SAVED_FIELD_OUT_SIZE] = {};
        int savedRevision = -1;
        char savedSerial[SAVED_FIELD_OUT_SIZE] = {};
        ReadSavedPartNum(savedPart, &savedRevision, savedSerial);
        if (::IsLegacyShellPart(savedPart)) {
            char buffer[100] = {};
            if (GetOnePersistedString("DatalinkPersist", "Client", kStoreTimeout, "Device", sizeof(buffer), buffer,
                                      nullptr) != PERS_SUCCESS)
                PersistOneDW("DatalinkPersist", "Client", kStoreTimeout, "Device", 1);
            if (GetOnePersistedString("DatalinkPersist", "Client", kStoreTimeout, "DeviceStr", sizeof(buffer),
                                      buffer, nullptr) != PERS_SUCCESS)
                PersistOneString("DatalinkPersist", "Client", kStoreTimeout, "DeviceStr", "VuvodUV");
        }
    }
    return 1;
}

void CRunMaint::RestorePersistFile(const SavedFileEntry& entry, const char* mediaPersistFolder,
                                   const char* localPersistRoot, bool stepProgress)
{
    if (!IsFactoryConfigured(entry, ReadFactoryFlag, nullptr)) {
        CsrLog(CSRLOG_TRACE, "RestoreConfig: %s not factory configured - skipped\n",
               entry.pszConfigName ? entry.pszConfigName : "");
        return;
    }

    std::string folder = mediaPersistFolder ? mediaPersistFolder : "";
    size_t slash = folder.find_last_of('\\');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    std::string path = JoinPath(folder.c_str(), entry.pszMediaName);

    char key[kKeyNameSize] = {};
    CopyText(key, sizeof(key), entry.pszFile);
    char* period = std::strchr(key, '.');
    if (!period) {
        CsrLog(CSRLOG_ERROR, "RestorePersistFile: Bad Persist File Name - %s\n", entry.pszFile);
    } else {
        *period = '\0';
        UpdatePersistFile(path.c_str(), entry.pszDirectory, key, entry.pFilter, entry.dwFilterCount,
                          entry.bOpenTolerant);
        CsrLog(CSRLOG_TRACE, "RestorePersistFile: %s%s\\%s\n", localPersistRoot ? localPersistRoot : "",
               entry.pszDirectory, key);
    }
    PumpMessages(250);
    if (stepProgress) m_pOwner->StepProgress();
}

bool CRunMaint::RetrieveSavedPersistSetting(const char* mediaFile, const char* valueName, char* output, size_t size)
{
    if (!output || size == 0) return false;
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    HKEY rawKey = nullptr;
    GetUpdatePath(media, sizeof(media), persist, sizeof(persist), &rawKey);
    UniqueRegKey owner(rawKey);

    // A cut root would name another folder: such a root finds nothing.
    if (std::strlen(media) > kMediaRootChars) {
        CsrLog(CSRLOG_ERROR, "RetrieveSavedPersistSetting: Media root longer than %u characters: \"%.80s...\"\n",
               static_cast<unsigned>(kMediaRootChars), media);
        return false;
    }
    std::string folder = std::string(media) + "ZelConfig\\" + "Persist\\";
    std::string path = JoinPath(folder.c_str(), mediaFile);

    SavedText text;
    ReadOutcome read = ReadSavedFile(path, &text);
    if (read == READ_NO_FILE) {
        CsrLog(CSRLOG_WARNING, "RetrieveSavedPersistSetting: Unable to Open File - %s\n", mediaFile);
        return false;
    }
    if (read == READ_NO_MEMORY) {
        CsrLog(CSRLOG_ERROR, "RetrieveSavedPersistSetting: Unable to allocate memory\n");
        return false;
    }

    char name[PARSE_NAME_SIZE];
    char type[PARSE_TYPE_SIZE];
    char value[PARSE_VALUE_SIZE];
    SavedLineWalker lines(text.bytes.get(), text.length);
    while (const char* line = lines.Next()) {
        ParseOutcome outcome = ParseValueLine(line, name, type, value);
        if (outcome != PARSE_OK) {
            LogRefusedLine("RetrieveSavedPersistSetting", CSRLOG_ERROR, outcome, line);
            continue;
        }
        if (std::strcmp(name, valueName) != 0 || std::strcmp(type, "string") != 0) continue;
        // A cut value would name another file; one that does not fit is refused.
        if (std::strlen(value) >= size) {
            CsrLog(CSRLOG_WARNING, "RetrieveSavedPersistSetting: %s longer than %u characters - not used\n",
                   valueName, static_cast<unsigned>(size - 1));
            return false;
        }
        CopyText(output, size, value);
        return true;
    }
    return false;
}
