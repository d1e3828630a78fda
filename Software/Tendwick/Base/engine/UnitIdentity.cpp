// Who the unit is: its serial number, its software part number and revision,
// and the identity that a save left on the media.
#include "UnitIdentity.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "EngineKeys.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "Retenta.h"
#include "RunContext.h"
#include "TextFields.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

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

void LogSerialSource(SerialSource source, const char* serial)
{
    CsrLog(CSRLOG_TRACE, "CRunMaint::GetSerialNum: Returning retVal = %d, s/n=\"%s\"\n", static_cast<int>(source),
           serial);
}

// The store's number; false when it has none.
bool StoreSerial(char* buffer, size_t size)
{
    buffer[0] = '\0';
    long result = GetOnePersistedString(kShellPersist, kSystemData, kStoreTimeout, "SerialNumber",
                                        static_cast<unsigned long>(size), buffer, nullptr);
    buffer[size - 1] = '\0';
    if (result == PERS_SUCCESS && buffer[0] != '\0') return true;
    buffer[0] = '\0';
    return false;
}

// The computer's name; false (logged) when it cannot be read.
bool ComputerNameSerial(char* buffer, size_t size)
{
    UniqueRegKey computerName;
    LONG error = OpenRegKey(HKEY_LOCAL_MACHINE, kComputerNameKey, computerName);
    if (error != ERROR_SUCCESS) {
        CsrLog(CSRLOG_ERROR, "CRunMaint::GetSerialNum: RegOpenKeyEx %s returned error %d\n", kComputerNameKey,
               static_cast<int>(error));
        return false;
    }
    error = ReadRegistryText(computerName.get(), "ComputerName", buffer, size);
    if (error == ERROR_SUCCESS) return true;
    CsrLog(CSRLOG_ERROR, "CRunMaint::GetSerialNum: RegOpenKeyEx ComputerName returned error %d\n",
           static_cast<int>(error));
    return false;
}

} // namespace

SerialSource GetSerialNum(char* buffer, size_t size)
{
    if (!buffer || size == 0) return SerialSource::Fixed;
    buffer[0] = '\0';

    UniqueRegKey sysSetup;
    if (OpenRegKey(HKEY_CURRENT_USER, kSysSetupKey, sysSetup) == ERROR_SUCCESS &&
        ReadRegistryText(sysSetup.get(), "SerialNumber", buffer, size) == ERROR_SUCCESS) {
        LogSerialSource(SerialSource::UserRegistry, buffer);
        return SerialSource::UserRegistry;
    }
    sysSetup.reset();

    SerialSource source = SerialSource::Fixed;
    if (StoreSerial(buffer, size)) {
        source = SerialSource::Store;
    } else if (ComputerNameSerial(buffer, size)) {
        source = SerialSource::ComputerName;
    } else {
        CopyText(buffer, size, DEFAULT_SERIAL_NUMBER);
    }
    LogSerialSource(source, buffer);
    return source;
}

bool GetSwPartNum(char* partText, char* serial, size_t size)
{
    if (partText && size > 0) {
        partText[0] = '\0';
        long result = GetOnePersistedString(kShellPersist, kSystemData, kStoreTimeout, "SoftwarePartNum",
                                            static_cast<unsigned long>(size), partText, nullptr);
        partText[size - 1] = '\0';
        if (result != PERS_SUCCESS) CopyText(partText, size, "Unknown");
    }
    return GetSerialNum(serial, size) != SerialSource::Fixed;
}

UnitIdentity ReadUnitIdentity()
{
    char partText[IDENTITY_TEXT_SIZE] = {};
    char serial[IDENTITY_TEXT_SIZE] = {};
    UnitIdentity unit;
    unit.bSerialFound = GetSwPartNum(partText, serial, sizeof(serial));
    unit.partText = partText;
    unit.serial = serial;
    char part[IDENTITY_TEXT_SIZE] = {};
    ScanPartNumText(partText, part, sizeof(part), &unit.revision);
    unit.part = part;
    return unit;
}

bool HasValidSerialNum()
{
    char serial[IDENTITY_TEXT_SIZE];
    GetSerialNum(serial, sizeof(serial));
    return IsValidSerialNum(serial);
}

bool SaveNewSn(const char* serial)
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

bool ReadSavedIdentity(const std::string& mediaRoot, SavedIdentity* identity)
{
    const std::string path = JoinPath((mediaRoot + "ZelConfig\\").c_str(), "SWPartNum.txt");
    // Read as text: a CR before an LF goes and a Ctrl-Z ends the record
    // (twice the record's bytes are read so that dropped CRs do not shorten it).
    std::string bytes;
    if (!FcReadStart(path, 2 * SAVED_RECORD_BYTES, &bytes)) return false;
    std::string text;
    for (size_t at = 0; at < bytes.size() && bytes[at] != '\x1a'; ++at)
        if (!(bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n')) text += bytes[at];
    // One byte beyond what is read, so that a full read still ends.
    char record[SAVED_RECORD_BYTES + 1] = {};
    const size_t read = text.size() < SAVED_RECORD_BYTES ? text.size() : SAVED_RECORD_BYTES;
    text.copy(record, read);
    record[read] = '\0';

    char part[SAVED_FIELD_OUT_SIZE] = {};
    char serial[SAVED_FIELD_OUT_SIZE] = {};
    int revision = identity->revision;
    CopyText(part, sizeof(part), identity->part.c_str());
    CopyText(serial, sizeof(serial), identity->serial.c_str());
    ParseSavedPartNum(record, part, &revision, serial, SAVED_FIELD_OUT_SIZE);
    identity->part = part;
    identity->revision = revision;
    identity->serial = serial;
    return true;
}
