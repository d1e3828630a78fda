#include "PersistSection.h"

#include "Retenta.h"

namespace {

const int kNoTimeLimit = -1;
const unsigned long kReadBytes = 1024;

} // namespace

bool CPersistSection::GetString(const char* valueName, CString& text) const
{
    char buffer[kReadBytes] = {};
    long result = GetOnePersistedString(m_strPersistKey, m_strSection, kNoTimeLimit, valueName, kReadBytes, buffer,
                                        nullptr);
    if (result == PERS_FAILED) return false;
    buffer[kReadBytes - 1] = '\0';
    text = buffer;
    return true;
}

bool CPersistSection::SetDW(const char* valueName, uint32_t value) const
{
    return PersistOneDW(m_strPersistKey, m_strSection, kNoTimeLimit, valueName, value) != PERS_FAILED;
}

bool CPersistSection::SetString(const char* valueName, const char* text) const
{
    return PersistOneString(m_strPersistKey, m_strSection, kNoTimeLimit, valueName, text ? text : "") != PERS_FAILED;
}
