// The names in one folder of the media, read once at the start of a restore.
// A saved file counts as absent only when the folder was read to its end and
// did not name it: a stick pulled or failing part way then leaves files that
// are "not taken", never files that were "not there".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CMediaListing {
public:
    // Reads the folder (no trailing backslash) to its end; false with the
    // system's error in Error() when it could not be.
    bool Read(const std::string& folder);
    DWORD Error() const { return m_dwError; }
    // Whether the folder named this file (as the system compares names).
    bool Contains(const char* name) const;

private:
    std::vector<std::string> m_names;
    DWORD m_dwError = ERROR_SUCCESS;
};
