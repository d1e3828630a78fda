#include "MediaListing.h"

#include "EngineFileCalls.h"

bool CMediaListing::Read(const std::string& folder)
{
    m_names.clear();
    m_dwError = ERROR_SUCCESS;
    WIN32_FIND_DATAA entry;
    CEngineFind find;
    if (!find.First((folder + "\\*").c_str(), &entry)) {
        m_dwError = GetLastError();
        // A folder that exists lists at least itself (".").
        if (m_dwError == ERROR_SUCCESS) m_dwError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) m_names.push_back(entry.cFileName);
    } while (find.Next(&entry));
    // The search must end because there is nothing more, not because the
    // media stopped answering.
    const DWORD end = GetLastError();
    if (end != ERROR_NO_MORE_FILES) {
        m_dwError = end == ERROR_SUCCESS ? ERROR_READ_FAULT : end;
        m_names.clear();
        return false;
    }
    return true;
}

bool CMediaListing::Contains(const char* name) const
{
    if (!name) return false;
    for (const std::string& listed : m_names)
        if (lstrcmpiA(listed.c_str(), name) == 0) return true;
    return false;
}
