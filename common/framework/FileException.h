// The framework's exceptions. Hard failures of the program travel as a
// CFileException thrown by value and caught by reference; the window that
// catches one shows its cause code and message text.
#pragma once

#include "FrameworkString.h"

// Base of every framework exception.
class CException {
public:
    virtual ~CException() = default;

    // Copies the message text (cut to size - 1 characters, always terminated);
    // false when there is no room at all.
    virtual bool GetErrorMessage(char* buffer, unsigned size) const = 0;
};

class CFileException : public CException {
public:
    // Cause codes.
    enum {
        none = 0,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    // Data
    int     m_cause;
    long    m_lOsError;      // the operating system's error code; -1 when none
    CString m_strFileName;   // may be empty

    // Construction
    explicit CFileException(int cause = none, long osError = -1, const char* fileName = nullptr);

    // The cause that an operating-system error code stands for.
    static int OsErrorToException(long osError);
    // Throws a file exception for an operating-system error code.
    [[noreturn]] static void ThrowOsError(long osError, const char* fileName = nullptr);

    // Attributes
    // The system's text for the error, behind the file name when there is one.
    const char* GetMessageText() const { return m_strMessage; }
    bool GetErrorMessage(char* buffer, unsigned size) const override;

private:
    CString m_strMessage;
};
