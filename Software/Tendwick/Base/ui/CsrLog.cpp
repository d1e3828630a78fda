#include "CsrLog.h"
#include "CsrLogTesting.h"

#include "LinkPaths.h"
#include "MediaRoot.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const char* const kLevelLabels[] = {"ERROR", "WARNING", "EVENT", ""};

const size_t kLineBytes = 1024;       // prefix and message together
const size_t kPathBytes = 256;
const size_t kProgramPathBytes = 260;
const size_t kDriveRootChars = 3;     // "E:\"; with its terminator the four characters used

const char kLogFolder[] = "ZelData\\VURLog\\";
const char kLogFileName[] = "CsrLog.txt";

// Never destroyed: a line logged while other static objects are torn down
// still finds it. Every line is flushed, and the system closes the file when
// the process ends.
std::ofstream& LogStream()
{
    static std::ofstream* stream = new std::ofstream;
    return *stream;
}

// The media drive's root: the "CDROM" setting with a backslash added when it
// has none, or "E:\" when it cannot be read. Only a drive root is kept, so a
// setting that names a folder below the drive still logs at the drive's root.
void GetDriveRoot(char (&root)[kDriveRootChars + 1])
{
    std::string drive;
    ReadMediaRoot(kRunLogDriveRootRule, drive);
    std::memset(root, 0, sizeof(root));
    std::strncpy(root, drive.c_str(), kDriveRootChars);
}

// Creates each folder along the path, from the left; failures do not matter
// (the folder may exist, or be the bare drive), the open that follows decides.
// False, with nothing more created, at a folder that is a link: the log would
// land wherever it leads (the unit's own files).
bool CreateFoldersAlong(const char* path)
{
    char prefix[kPathBytes];
    for (const char* p = std::strchr(path, '\\'); p; p = std::strchr(p + 1, '\\')) {
        size_t length = static_cast<size_t>(p - path);
        if (length == 0 || length >= sizeof(prefix)) continue;
        std::memcpy(prefix, path, length);
        prefix[length] = '\0';
        if (IsLinkPath(prefix)) return false;
        // Mostly there already; the log file's open below fails for a missing folder.
        CreateDirectoryA(prefix, nullptr);
    }
    return true;
}

// Opens the media's log file for appending; the run's first lines follow.
bool AttachLogFile()
{
    char root[kDriveRootChars + 1];
    GetDriveRoot(root);

    char path[kPathBytes] = {};
    std::snprintf(path, sizeof(path), "%s%s%s", root, kLogFolder, kLogFileName);
    if (path[0] == '\0') return false;

    // A link on the way, or a log file that is one, keeps the log to the
    // debug output: appending through it would write into what it leads to.
    if (!CreateFoldersAlong(path) || PathHasLink(path)) {
        static bool told = false;
        if (!told) OutputDebugStringA("CsrLog: The run log's path on the media holds a link; not written there\n");
        told = true;
        return false;
    }
    std::ofstream& stream = LogStream();
    stream.clear();
    stream.open(path, std::ios::out | std::ios::app);
    return stream.is_open();
}

void WriteLogLine(int level, const char* format, va_list args)
{
    const char* label = (level >= 0 && level < static_cast<int>(sizeof(kLevelLabels) / sizeof(kLevelLabels[0])))
                            ? kLevelLabels[level]
                            : "";

    SYSTEMTIME now;
    GetSystemTime(&now);

    char line[kLineBytes];
    int prefix = std::snprintf(line, sizeof(line), "%d/%02d/%02d %02d:%02d:%02d %s: ", now.wYear, now.wMonth,
                               now.wDay, now.wHour, now.wMinute, now.wSecond, label);
    if (prefix < 0) prefix = 0;
    size_t used = static_cast<size_t>(prefix) < sizeof(line) ? static_cast<size_t>(prefix) : sizeof(line) - 1;
    int message = std::vsnprintf(line + used, sizeof(line) - used, format, args);
    if (message < 0) {
        line[used] = '\0';
    } else if (used + static_cast<size_t>(message) >= sizeof(line)) {
        // Cut to the buffer. The cut took the caller's line end with it; put
        // one back so that the next line starts on its own.
        line[sizeof(line) - 2] = '\n';
    }

    std::ofstream& stream = LogStream();
    if (!stream.is_open() && AttachLogFile()) {
        stream << "\n\n";
        char program[kProgramPathBytes] = {};
        GetModuleFileNameA(nullptr, program, sizeof(program) - 1);
        CsrLog(CSRLOG_TRACE, "======Start New Log '%s'======\n", program);
    }

    if (stream.is_open()) {
        stream << line;
        stream.flush();
    }

    OutputDebugStringA(line);
}

}  // namespace

void CsrLog(int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLogLine(level, format, args);
    va_end(args);
}

void CsrLogEvent(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLogLine(CSRLOG_EVENT, format, args);
    va_end(args);
}

void CsrLogDetachForTest()
{
    std::ofstream& stream = LogStream();
    if (stream.is_open()) stream.close();
    stream.clear();
}
