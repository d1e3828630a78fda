#include "PlanSources.h"

#include "EngineLimits.h"
#include "MediaListing.h"
#include "Retenta.h"
#include "SavedFileReader.h"
#include "TextFields.h"

#include <windows.h>

namespace {

// Room for the longest string a key file holds.
const size_t kStringBytes = keyfile::kMaxStringValue + 1;

} // namespace

bool CStoreSettings::ReadStored(const char* subdir, const char* key, const char* name, KeyValue* value)
{
    // A value is read as a string, then as a number, then as a flag: the
    // store reads each type only as itself. A string longer than the buffer
    // counts as read, cut.
    std::vector<char> text(kStringBytes);
    long result = GetOnePersistedString(subdir, key, kStoreTimeout, name, static_cast<unsigned long>(text.size()),
                                        text.data(), nullptr);
    m_nStringDetail = result == PERS_SUCCESS ? 0 : GetLastError();
    m_nDwordDetail = PERS_FAILED_VALUE_WRONG_TYPE;
    if (result != PERS_FAILED) {
        text.back() = '\0';
        *value = KeyValue{name, keyfile::ValueType::String, text.data()};
        return true;
    }
    unsigned long number = 0;
    result = GetOnePersistedDW(subdir, key, kStoreTimeout, name, &number);
    m_nDwordDetail = result == PERS_SUCCESS ? 0 : GetLastError();
    if (result == PERS_SUCCESS) {
        char digits[12] = {};
        keyfile::FormatDwordUnsigned(static_cast<uint32_t>(number), digits);
        *value = KeyValue{name, keyfile::ValueType::Dword, digits};
        return true;
    }
    int flag = 0;
    if (GetOnePersistedBool(subdir, key, kStoreTimeout, name, &flag) == PERS_SUCCESS) {
        *value = KeyValue{name, keyfile::ValueType::Bool, flag ? "1" : "0"};
        return true;
    }
    return false;
}

unsigned long CStoreSettings::ReadDetail(keyfile::ValueType wanted) const
{
    return wanted == keyfile::ValueType::Dword ? m_nDwordDetail : m_nStringDetail;
}

std::string CEngineMedia::Path(const char* mediaName) const
{
    return m_folder.empty() ? std::string(mediaName) : JoinPath(m_folder.c_str(), mediaName);
}

bool CEngineMedia::Lists(const char* mediaName)
{
    return !m_pListing || m_pListing->Contains(mediaName);
}

SavedFileRead CEngineMedia::Read(const char* mediaName, std::string* bytes, long* size)
{
    SavedFileText text;
    SavedFileRead read = ReadSavedFile(Path(mediaName).c_str(), &text, size);
    if (read == SAVED_READ_OK) bytes->assign(text.pBytes.get(), text.nLength);
    return read;
}
