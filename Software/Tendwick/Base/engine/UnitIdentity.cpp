// Who the unit is: its serial number, its software part number and revision,
// and the identity that a save left on the media.
#include "RunMaint.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "MediaRoot.h"
#include "Retenta.h"
#include "TextFields.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kShellPersist[] = "ShellPersist";
const char kSystemData[] = "SystemData";

const char kSysSetupKey[] = "Software\\Corvane\\SysSetup";
const char kComputerNameKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";


// Reads a string value of at most size - 1 bytes into buffer (always
// terminated); the system's error code.
LONG ReadRegistryText(HKEY key, const char* name, char* buffer, size_t size)
{
    if (size == 0) return ERROR_INSUFFICIENT_BUFFER;
    std::string text;
    LONG error = QueryTextValue(key, name, static_cast<DWORD>(size - 1), text);
    if (error == ERROR_SUCCESS) CopyText(buffer, size, text.c_str());
    return error;
}

} // namespace

int CRunMaint::GetSerialNum(char* buffer, size_t size)
{
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    int source = 0;

    UniqueRegKey sysSetup;
    if (OpenRegKey(HKEY_CURRENT_USER, kSysSetupKey, sysSetup) == ERROR_SUCCESS &&
        ReadRegistryText(sysSetup.get(), "SerialNumber", buffer, size) == ERROR_SUCCESS)
        source = 2;
    sysSetup.reset();

    if (source == 0) {
        buffer[0] = '\0';
        long result = GetOnePersistedString(kShellPersist, kSystemData, kStoreTimeout, "SerialNumber",
                                            static_cast<unsigned long>(size), buffer, nullptr);
        buffer[size - 1] = '\0';
        if (result == PERS_SUCCESS && buffer[0] != '\0') {
            CsrLog(CSRLOG_TRACE, "CRunMaint::GetSerialNum: Returning retVal = %d, s/n=\"%s\"\n", 1, buffer);
            return 1;
        }
        buffer[0] = '\0';

        UniqueRegKey computerName;
        LONG error = OpenRegKey(HKEY_LOCAL_MACHINE, kComputerNameKey, computerName);
        if (error != ERROR_SUCCESS) {
            CsrLog(CSRLOG_ERROR, "CRunMaint::GetSerialNum: RegOpenKeyEx %s returned error %d\n", kComputerNameKey,
                   static_cast<int>(error));
        } else {
            error = ReadRegistryText(computerName.get(), "ComputerName", buffer, size);
            if (error == ERROR_SUCCESS)
                source = 3;
            else
                CsrLog(CSRLOG_ERROR, "CRunMaint::GetSerialNum: RegOpenKeyEx ComputerName returned error %d\n",
                       static_cast<int>(error));
        }
    }

    if (source == 0) CopyText(buffer, size, DEFAULT_SERIAL_NUMBER);
    CsrLog(CSRLOG_TRACE, "CRunMaint::GetSerialNum: Returning retVal = %d, s/n=\"%s\"\n", source, buffer);
    return source;
}

bool CRunMaint::GetSwPartNum(char* partText, char* serial, size_t size)
{
    if (partText && size > 0) {
        partText[0] = '\0';
        long result = GetOnePersistedString(kShellPersist, kSystemData, kStoreTimeout, "SoftwarePartNum",
                                            static_cast<unsigned long>(size), partText, nullptr);
        partText[size - 1] = '\0';
        if (result != PERS_SUCCESS) CopyText(partText, size, "Unknown");
    }
    return GetSerialNum(serial, size) != 0;
}

bool CRunMaint::HasValidSerialNum()
{
    char part[100];
    char serial[100];
    GetSwPartNum(part, serial, sizeof(serial));
    return IsValidSerialNum(serial);
}

bool CRunMaint::SaveNewSn(const char* serial)
{
    CsrLog(CSRLOG_TRACE, "SaveNewSn: Saving Serial Number File\n");
    // A write that created the value (or the key) reports success with a
    // remark; the number is stored all the same.
    if (PersistOneString(kShellPersist, kSystemData, kStoreTimeout, "SerialNumber", serial ? serial : "") !=
        PERS_FAILED) {
        CsrLog(CSRLOG_TRACE, "SaveNewSn: Saved Serial to Persist\n");
        return true;
    }
    CsrLog(CSRLOG_TRACE, "SaveNewSn: Could not save Serial to Persist\n");
    return false;
}

void CRunMaint::ReadSavedPartNum(char* partOut, int* revisionOut, char* serialOut)
{
    std::string media;
    MediaRootSource source = ReadMediaRoot(kSavedIdentityRootRule, media);
    if (source == MediaRootSource::NoKey || source == MediaRootSource::TooLong) return;
    std::string folder = media + "ZelConfig\\";
    std::string path = JoinPath(folder.c_str(), "SWPartNum.txt");

    // Read as text: a CR before an LF goes and a Ctrl-Z ends the record
    // (twice the record's bytes are read so that dropped CRs do not shorten it).
    std::string bytes;
    if (!FcReadStart(path, 2 * SAVED_RECORD_BYTES, &bytes)) return;
    std::string text;
    for (size_t at = 0; at < bytes.size() && bytes[at] != '\x1a'; ++at)
        if (!(bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n')) text += bytes[at];
    // One byte beyond what is read, so that a full read still ends.
    char record[SAVED_RECORD_BYTES + 1] = {};
    const size_t read = text.size() < SAVED_RECORD_BYTES ? text.size() : SAVED_RECORD_BYTES;
    text.copy(record, read);
    record[read] = '\0';

    ParseSavedPartNum(record, partOut, revisionOut, serialOut, SAVED_FIELD_OUT_SIZE);
}
