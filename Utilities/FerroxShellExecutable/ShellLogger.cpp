#include "ShellLogger.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "RegistryKey.h"
#include "Retenta.h"

namespace {

const DWORD kMutexWaitMs = 100;
const char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
const DWORD kTypesSupported = 7;
const char kSettingsSubdir[] = "TracePersist";
const char kSettingsKey[] = "LogSettings";
const int kNoTimeout = -1;
const unsigned long kExcludeNameChars = 260;   // "up to 259 characters"

// The value names are padded to 18 characters; the padding is part of the name.
const char kSuppressTableSize[] = "SuppressTableSize ";
const char kMaxMessageLength[] = "MaxMessageLength  ";
const char kSuppressMsgLength[] = "SuppressMsgLength ";
const char kExcludeFileType[] = "ExcludeFileType   ";
const char kSuppressBelowLevel[] = "SuppressBelowLevel";
const char kReadAlsoInDebug[] = "ReadAlsoInDebug   ";
const char kInhibitDebugOutput[] = "InhibitDebugOutput";
const char kInhibitLogOutput[] = "InhibitLogOutput  ";
const char kSuppressRepeatMsgs[] = "SuppressRepeatMsgs";
const char kSuppressFilename[] = "SuppressFilename  ";
const char kSuppressLineNumber[] = "SuppressLineNumber";
const char kExcludeThisFile[] = "ExcludeThisFile   ";
const char kExcludeThisModule[] = "ExcludeThisModule ";
static_assert(sizeof kSuppressTableSize == 19 && sizeof kMaxMessageLength == 19 && sizeof kSuppressMsgLength == 19 &&
                  sizeof kExcludeFileType == 19 && sizeof kSuppressBelowLevel == 19 && sizeof kReadAlsoInDebug == 19 &&
                  sizeof kInhibitDebugOutput == 19 && sizeof kInhibitLogOutput == 19 &&
                  sizeof kSuppressRepeatMsgs == 19 && sizeof kSuppressFilename == 19 &&
                  sizeof kSuppressLineNumber == 19 && sizeof kExcludeThisFile == 19 && sizeof kExcludeThisModule == 19,
              "setting names are 18 characters");

// The mutex for the length of a scope, when it can be had within 100 ms.
class MutexHold {
public:
    explicit MutexHold(HANDLE mutex)
        : m_hMutex(mutex), m_bHeld(mutex && WaitForSingleObject(mutex, kMutexWaitMs) == WAIT_OBJECT_0) {}
    ~MutexHold() { if (m_bHeld) ReleaseMutex(m_hMutex); }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    bool Held() const { return m_bHeld; }

private:
    HANDLE m_hMutex;
    bool m_bHeld;
};

// "\r\nSystem Error %X " and the system's text for the code, if it has one.
std::string SystemErrorText(DWORD error)
{
    char text[512];
    std::snprintf(text, sizeof text, "\r\nSystem Error %X ", static_cast<unsigned>(error));
    std::string result = text;
    char message[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message, sizeof message, nullptr);
    if (length > 0 && length < sizeof message) result.append(message, length);
    return result;
}

// The values of the settings key as read; applied only when every read succeeded.
struct SettingsRead {
    unsigned long tableSize, messageLength, compareLength, excludeFileType, levelLimit;
    int readAlsoInDebug, inhibitDebug, inhibitLog, suppressRepeats, suppressFilename, suppressLine;
    char excludeFile[kExcludeNameChars];
    char excludeModule[kExcludeNameChars];
};

} // namespace

thread_local ShellLogger::UnlockedFatal ShellLogger::t_unlockedFatal = {nullptr, {"", 0, SHELL_TRACE, 0, 0, false}};

ShellLogger::ShellLogger(bool inhibitDebugOutput, bool suppressRepeats, unsigned long levelLimit,
                         bool inhibitLogOutput, unsigned long repeatTableSize, unsigned long maxMessageLength,
                         unsigned long repeatCompareLength)
    : m_bInhibitDebugOutput(inhibitDebugOutput),
      m_bSuppressRepeats(suppressRepeats),
      m_bInhibitLogOutput(inhibitLogOutput),
      m_nRepeatCompareLength(repeatCompareLength),
      m_repeats(0)
{
    m_rules.levelLimit = levelLimit;
    m_hMutex = CreateMutexA(nullptr, FALSE, nullptr);
    m_repeats.Resize(repeatTableSize);
    SetMessageBufferSize(maxMessageLength);

    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path - 1);
    ModuleNameFromPath(path, m_szModuleName, sizeof m_szModuleName);
    RegisterAsEventSource();
    std::snprintf(m_szModulePrefix, sizeof m_szModulePrefix, "%s ", m_szModuleName);
    SetLastError(0);
}

ShellLogger::~ShellLogger()
{
    if (m_hEventSource) DeregisterEventSource(m_hEventSource);
    if (m_hMutex) CloseHandle(m_hMutex);
    delete[] m_pszMessage;
}

void ShellLogger::RegisterAsEventSource()
{
    std::string keyPath = std::string(kEventLogKey) + m_szModuleName;
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) == ERROR_SUCCESS) {
        char program[MAX_PATH] = "";
        DWORD length = GetModuleFileNameA(nullptr, program, sizeof program - 1);
        RegSetValueExA(key.get(), "EventMessageFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(program), length + 1);
        DWORD types = kTypesSupported;
        RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                       sizeof types);
    }
    m_hEventSource = RegisterEventSourceA(nullptr, m_szModuleName);
}

void ShellLogger::SetRepeatCompareLength(unsigned long length)
{
    if (length != m_nRepeatCompareLength) m_repeats.Clear();
    m_nRepeatCompareLength = length;
}

bool ShellLogger::SetRepeatTableSize(unsigned long size)
{
    MutexHold hold(m_hMutex);
    return hold.Held() && m_repeats.Resize(size);
}

bool ShellLogger::SetMessageBufferSize(unsigned long size)
{
    // A buffer must at least hold the terminator.
    if (size == 0) return false;
    MutexHold hold(m_hMutex);
    if (!hold.Held()) return false;
    char* buffer = new (std::nothrow) char[size];
    if (!buffer) return false;
    buffer[0] = '\0';
    delete[] m_pszMessage;
    m_pszMessage = buffer;
    m_nMessageSize = size;
    return true;
}

void ShellLogger::ReadSettingsOnce()
{
    // Once, even when the read fails: later changes wait for the next start.
    if (InterlockedExchange(&m_nSettingsRead, 1) == 0) ReadSettings();
}

void ShellLogger::ReadSettings()
{
    long opened = OpenPersistKey(kSettingsSubdir, kSettingsKey, kNoTimeout);
    if (opened != PERS_SUCCESS) {
        // A key made just now holds nothing yet; it is not left current either.
        if (opened != PERS_FAILED) ClosePersistKey(kNoTimeout);
        return;
    }
    SettingsRead read = {};
    bool all = true;
    auto check = [&all](long result) { all = all && result == PERS_SUCCESS; };
    check(GetPersistedDW(kSuppressTableSize, &read.tableSize, m_repeats.Size(), kNoTimeout));
    check(GetPersistedDW(kMaxMessageLength, &read.messageLength, m_nMessageSize, kNoTimeout));
    check(GetPersistedDW(kSuppressMsgLength, &read.compareLength, m_nRepeatCompareLength, kNoTimeout));
    check(GetPersistedDW(kExcludeFileType, &read.excludeFileType, m_rules.fileExclusion ? 1 : 0, kNoTimeout));
    check(GetPersistedDW(kSuppressBelowLevel, &read.levelLimit, m_rules.levelLimit, kNoTimeout));
    check(GetPersistedBool(kReadAlsoInDebug, &read.readAlsoInDebug, m_bReadAlsoInDebug, kNoTimeout));
    check(GetPersistedBool(kInhibitDebugOutput, &read.inhibitDebug, m_bInhibitDebugOutput, kNoTimeout));
    check(GetPersistedBool(kInhibitLogOutput, &read.inhibitLog, m_bInhibitLogOutput, kNoTimeout));
    check(GetPersistedBool(kSuppressRepeatMsgs, &read.suppressRepeats, m_bSuppressRepeats, kNoTimeout));
    check(GetPersistedBool(kSuppressFilename, &read.suppressFilename, m_rules.suppressFilename, kNoTimeout));
    check(GetPersistedBool(kSuppressLineNumber, &read.suppressLine, m_rules.suppressLineNumber, kNoTimeout));
    const char* excludedFile = m_rules.excludedFile.empty() ? "none" : m_rules.excludedFile.c_str();
    check(GetPersistedString(kExcludeThisFile, sizeof read.excludeFile, read.excludeFile, excludedFile, kNoTimeout));
    check(GetPersistedString(kExcludeThisModule, sizeof read.excludeModule, read.excludeModule, "none",
                             kNoTimeout));
    check(ClosePersistKey(kNoTimeout));
    if (!all) return;

    SetRepeatTableSize(read.tableSize);
    SetMessageBufferSize(read.messageLength);
    SetRepeatCompareLength(read.compareLength);
    m_rules.levelLimit = read.levelLimit;
    m_bReadAlsoInDebug = read.readAlsoInDebug != 0;
    m_bInhibitDebugOutput = read.inhibitDebug != 0;
    m_bInhibitLogOutput = read.inhibitLog != 0;
    m_bSuppressRepeats = read.suppressRepeats != 0;
    m_rules.suppressFilename = read.suppressFilename != 0;
    m_rules.suppressLineNumber = read.suppressLine != 0;
    m_rules.fileExclusion = read.excludeFileType != 0;
    m_rules.excludedFile = m_rules.fileExclusion ? read.excludeFile : "";
    m_rules.moduleExcluded = std::strcmp(read.excludeModule, m_szModulePrefix) == 0;
}

void ShellLogger::SetLocation(const char* sourceFile, unsigned line, int level)
{
    // The caller's last error is the one a FATAL or ERROR message reports;
    // the settings read below would overwrite it.
    DWORD lastError = GetLastError();
    ReadSettingsOnce();
    if (level < SHELL_FATAL || level > SHELL_TRACE) level = SHELL_TRACE;
    Location location = {sourceFile ? sourceFile : "", line, level, lastError, GetCurrentThreadId(), true};
    if (m_hMutex && WaitForSingleObject(m_hMutex, kMutexWaitMs) == WAIT_OBJECT_0) {
        m_location = location;
    } else if (level == SHELL_FATAL) {
        t_unlockedFatal = {this, location};
    }
    SetLastError(lastError);
}

void ShellLogger::Write(const char* format, ...)
{
    DWORD callerError = GetLastError();
    ReadSettingsOnce();
    // The location this thread's SetLocation left: a FATAL one kept without
    // the mutex, or the one under the mutex. None when SetLocation gave up.
    Location location;
    bool locked = false;
    if (t_unlockedFatal.owner == this && t_unlockedFatal.location.valid) {
        location = t_unlockedFatal.location;
        t_unlockedFatal.location.valid = false;
    } else if (m_location.valid && m_location.thread == GetCurrentThreadId()) {
        location = m_location;
        m_location.valid = false;
        locked = true;
    } else {
        SetLastError(callerError);
        return;
    }

    std::vector<char> ownBuffer;
    char* buffer = m_pszMessage;
    if (!locked) {
        ownBuffer.resize(m_nMessageSize > 0 ? m_nMessageSize : 1);
        buffer = ownBuffer.data();
    }
    const char* text = "";
    if (buffer && m_nMessageSize > 0) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, m_nMessageSize, format ? format : "", args);
        va_end(args);
        text = buffer;
    }
    std::string body;
    if (ComposeLogBody(m_rules, location.level, location.file, location.line, text, &body)) {
        if (location.level == SHELL_FATAL || location.level == SHELL_ERROR)
            body += SystemErrorText(location.lastError);
        WriteMessage(body, TraitsOfLevel(location.level));
    }
    if (locked) ReleaseMutex(m_hMutex);
    if (location.level == SHELL_FATAL) {
        SetLastError(location.lastError);
        throw static_cast<unsigned long>(location.lastError);
    }
    SetLastError(location.level == SHELL_ERROR ? 0 : location.lastError);
}

void ShellLogger::WriteMessage(const std::string& message, const LevelTraits& traits)
{
    std::string line = m_szModulePrefix + message;
    if (m_bSuppressRepeats && m_repeats.SeenBefore(RepeatHash(line.data(), line.size(), m_nRepeatCompareLength)))
        return;
    if (traits.toEventLog && !m_bInhibitLogOutput && m_hEventSource) {
        const char* strings[1] = {line.c_str()};
        ReportEventA(m_hEventSource, traits.eventType, 0, traits.eventId, nullptr, 1, 0, strings, nullptr);
    }
    if (m_bInhibitDebugOutput) return;
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%08d: ", static_cast<int>(GetTickCount()));
    OutputDebugStringA((stamp + line + "\r\n").c_str());
}

ShellLogger& TheShellLogger()
{
    // Made at the first log call when nothing made it before: that call's
    // last error must survive the construction, which clears it.
    DWORD lastError = GetLastError();
    static ShellLogger logger(false, false, 4, true, 40, 1024, 40);
    SetLastError(lastError);
    return logger;
}
