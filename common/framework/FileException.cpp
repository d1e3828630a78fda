#include "FileException.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The system's own text for an error code, without its line end; empty when
// the system has none.
std::string SystemErrorText(long osError)
{
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(osError), 0, text, sizeof(text) - 1, nullptr);
    if (length >= sizeof(text)) length = sizeof(text) - 1;
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        --length;
    return std::string(text, length);
}

std::string ComposeMessage(int cause, long osError, const CString& fileName)
{
    std::string text;
    if (osError != -1) text = SystemErrorText(osError);
    if (text.empty()) {
        char fallback[64];
        if (osError != -1)
            std::snprintf(fallback, sizeof(fallback), "Operating system error %ld.", osError);
        else
            std::snprintf(fallback, sizeof(fallback), "File error %d.", cause);
        text = fallback;
    }
    if (!fileName.IsEmpty()) text = std::string(fileName.GetString()) + ": " + text;
    return text;
}

} // namespace

CFileException::CFileException(int cause, long osError, const char* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName)
{
    std::string message = ComposeMessage(cause, osError, m_strFileName);
    m_strMessage = CString(message.c_str(), static_cast<int>(message.size()));
}

int CFileException::OsErrorToException(long osError)
{
    switch (osError) {
    case NO_ERROR:                 return none;
    case ERROR_FILE_NOT_FOUND:     return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:  return accessDenied;
    case ERROR_INVALID_HANDLE:      return invalidFile;
    case ERROR_CURRENT_DIRECTORY:   return removeCurrentDir;
    case ERROR_CANNOT_MAKE:         return directoryFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:       return badSeek;
    case ERROR_CRC:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:           return hardIO;
    case ERROR_SHARING_VIOLATION:   return sharingViolation;
    case ERROR_LOCK_VIOLATION:      return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:    return diskFull;
    case ERROR_HANDLE_EOF:          return endOfFile;
    default:                        return genericException;
    }
}

void CFileException::ThrowOsError(long osError, const char* fileName)
{
    throw CFileException(OsErrorToException(osError), osError, fileName);
}

bool CFileException::GetErrorMessage(char* buffer, unsigned size) const
{
    if (!buffer || size == 0) return false;
    size_t length = static_cast<size_t>(m_strMessage.GetLength());
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, m_strMessage.GetString(), length);
    buffer[length] = '\0';
    return true;
}
