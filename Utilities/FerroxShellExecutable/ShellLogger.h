// The disabled-unit shell's logger: every diagnostic of the program goes
// through it. A message carries the program's name, a level word, the source
// file and line; it goes to the debug output with a tick-count stamp and, when
// enabled, to the event log. The settings come from the store key
// "TracePersist"\"LogSettings", read once at the first message. A FATAL
// message throws the last-error value (unsigned long), which nothing in the
// program catches: it ends the program through the crash report.
#pragma once

#include <windows.h>

#include <string>

#include "LogRules.h"

class ShellLogger {
public:
    // Construction: the settings until the store's are read.
    ShellLogger(bool inhibitDebugOutput, bool suppressRepeats, unsigned long levelLimit, bool inhibitLogOutput,
                unsigned long repeatTableSize, unsigned long maxMessageLength, unsigned long repeatCompareLength);
    ~ShellLogger();
    ShellLogger(const ShellLogger&) = delete;
    ShellLogger& operator=(const ShellLogger&) = delete;

    // A log call is always SetLocation, then Write. SetLocation takes the
    // mutex (at most 100 ms; a FATAL message goes on without it, any other
    // is then dropped); Write formats, writes and releases it.
    void SetLocation(const char* sourceFile, unsigned line, int level);
    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Setters of the settings. The two sizes take the mutex (100 ms) and keep
    // the old size without it, or when the new one cannot be had.
    void SetLevelLimit(unsigned long limit) { m_rules.levelLimit = limit; }
    void SetRepeatCompareLength(unsigned long length);
    bool SetRepeatTableSize(unsigned long size);
    bool SetMessageBufferSize(unsigned long size);
    void SetInhibitDebugOutput(bool flag) { m_bInhibitDebugOutput = flag; }
    void SetInhibitLogOutput(bool flag) { m_bInhibitLogOutput = flag; }
    void SetSuppressRepeats(bool flag) { m_bSuppressRepeats = flag; }
    void SetSuppressFilename(bool flag) { m_rules.suppressFilename = flag; }
    void SetSuppressLineNumber(bool flag) { m_rules.suppressLineNumber = flag; }

    // The program name followed by one space, as every message starts.
    const char* ModulePrefix() const { return m_szModulePrefix; }

private:
    void ReadSettingsOnce();
    void ReadSettings();
    void RegisterAsEventSource();
    // Prefix, repeat test, event log, debug output.
    void WriteMessage(const std::string& message, const LevelTraits& traits);

    // Settings
    bool m_bInhibitDebugOutput;
    bool m_bSuppressRepeats;
    bool m_bInhibitLogOutput;
    unsigned long m_nRepeatCompareLength;
    bool m_bReadAlsoInDebug = false;   // read and kept; no effect in this program
    LogBodyRules m_rules;
    volatile LONG m_nSettingsRead = 0;

    // Identity
    char m_szModuleName[MAX_PATH] = {};
    char m_szModulePrefix[MAX_PATH + 1] = {};
    HANDLE m_hEventSource = nullptr;

    // Where a message comes from, between SetLocation and Write.
    struct Location {
        const char* file;
        unsigned line;
        int level;
        DWORD lastError;   // the caller's, at SetLocation
        DWORD thread;      // whose SetLocation it is
        bool valid;
    };

    // State of the message in hand, guarded by the mutex. A FATAL message
    // that goes on without the mutex keeps its location on its own thread
    // and formats into a buffer of its own instead.
    HANDLE m_hMutex = nullptr;
    CRepeatTable m_repeats;
    char* m_pszMessage = nullptr;
    unsigned long m_nMessageSize = 0;
    Location m_location = {"", 0, SHELL_TRACE, 0, 0, false};

    struct UnlockedFatal {
        const ShellLogger* owner;
        Location location;
    };
    static thread_local UnlockedFatal t_unlockedFatal;
};

// The program's logger, created at its first use with the program's settings
// (false, false, 4, true, 40, 1024, 40).
ShellLogger& TheShellLogger();

// One message from a source file (named as "Dir\\File.cpp") at this line.
#define SHELL_LOG(sourceFile, level, ...)                                    \
    do {                                                                     \
        ShellLogger& shellLogger_ = TheShellLogger();                        \
        shellLogger_.SetLocation((sourceFile), __LINE__, (level));           \
        shellLogger_.Write(__VA_ARGS__);                                     \
    } while (0)

// A failed assertion: FATAL, so it does not return. `text` names the check.
#define SHELL_ASSERT_FAILED(sourceFile, text) \
    SHELL_LOG(sourceFile, SHELL_FATAL, "ASSERTION (%s) Failed.", (text))

// Logs the assertion `text` when `condition` is false.
#define SHELL_VERIFY(sourceFile, condition, text)                                 \
    do {                                                                          \
        if (!(condition)) SHELL_ASSERT_FAILED(sourceFile, text);                  \
    } while (0)
