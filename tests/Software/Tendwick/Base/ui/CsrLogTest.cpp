#include "CsrLog.h"
#include "CsrLogTesting.h"

#include "ChildProcess.h"
#include "DbwinCapture.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

const char kCorvaneKey[] = "Software\\Corvane";
const char kLogOnD[] = "D:\\ZelData\\VURLog\\CsrLog.txt";
const char kLogOnE[] = "E:\\ZelData\\VURLog\\CsrLog.txt";

// ---- helpers -------------------------------------------------------------------

// The log's own file and folders, so that each test starts with fresh media.
void RemoveLogOn(char drive)
{
    std::string root = std::string(1, drive) + ":\\ZelData";
    DeleteFileA((root + "\\VURLog\\CsrLog.txt").c_str());
    DWORD attributes = GetFileAttributesA((root + "\\VURLog").c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileA((root + "\\VURLog").c_str());
    RemoveDirectoryA((root + "\\VURLog").c_str());
    RemoveDirectoryA(root.c_str());   // only when nothing else lives there
}

void SetCdrom(const char* value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kCorvaneKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    LONG r = RegSetValueExA(key, "CDROM", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, r);
}

void DeleteCdrom()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kCorvaneKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "CDROM");
        RegCloseKey(key);
    }
}

std::string ProgramPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
    return path;
}

// Lines of the file, split at CR LF; the bytes between must hold no bare LF.
std::vector<std::string> CrLfLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

struct LogLine {
    bool        ok = false;
    SYSTEMTIME  time = {};
    std::string label;
    std::string message;
};

// "yyyy/mm/dd hh:mm:ss LABEL: message"
LogLine Parse(const std::string& line)
{
    static const std::regex form("^(\\d{4})/(\\d{2})/(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) ([A-Z]*): ([\\s\\S]*)$");
    LogLine parsed;
    std::smatch m;
    if (!std::regex_match(line, m, form)) return parsed;
    parsed.ok = true;
    parsed.time.wYear = static_cast<WORD>(std::stoi(m[1]));
    parsed.time.wMonth = static_cast<WORD>(std::stoi(m[2]));
    parsed.time.wDay = static_cast<WORD>(std::stoi(m[3]));
    parsed.time.wHour = static_cast<WORD>(std::stoi(m[4]));
    parsed.time.wMinute = static_cast<WORD>(std::stoi(m[5]));
    parsed.time.wSecond = static_cast<WORD>(std::stoi(m[6]));
    parsed.label = m[7];
    parsed.message = m[8];
    return parsed;
}

ULONGLONG Seconds(const SYSTEMTIME& t)
{
    SYSTEMTIME whole = t;
    whole.wMilliseconds = 0;
    whole.wDayOfWeek = 0;
    FILETIME ft;
    if (!SystemTimeToFileTime(&whole, &ft)) return 0;
    return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000000ULL;
}

std::string Banner()
{
    return "======Start New Log '" + ProgramPath() + "'======";
}

// ---- fixture: the "CDROM" setting and the media's log are the test's own --------

class CsrLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kCorvaneKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            char value[600] = {};
            DWORD size = sizeof(value) - 1;
            DWORD type = 0;
            m_hadCdrom = RegQueryValueExA(key, "CDROM", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                             ERROR_SUCCESS &&
                         type == REG_SZ;
            if (m_hadCdrom) m_savedCdrom = value;
            RegCloseKey(key);
        }
        CsrLogDetachForTest();
        RemoveLogOn('D');
        RemoveLogOn('E');
    }

    void TearDown() override
    {
        CsrLogDetachForTest();
        RemoveLogOn('D');
        RemoveLogOn('E');
        if (m_hadCdrom)
            SetCdrom(m_savedCdrom.c_str());
        else
            DeleteCdrom();
    }

private:
    bool        m_hadCdrom = false;
    std::string m_savedCdrom;
};

// ---- line format -------------------------------------------------------------------

TEST_F(CsrLogTest, LinesCarryUtcTimeLabelAndMessageAfterTheBanner)
{
    DeleteCdrom();
    SYSTEMTIME before, after;
    GetSystemTime(&before);
    CsrLog(CSRLOG_ERROR, "SaveConfig: error %d\n", 5);
    CsrLog(CSRLOG_WARNING, "OnKeyUp: Key mask failed\n");
    CsrLog(CSRLOG_EVENT, "OnKeyUp: %x\n", 0x70);
    CsrLog(CSRLOG_TRACE, "SetKeyMask: %x\n", 0x3);
    CsrLogEvent("MaintRun: %s\n", "done");
    GetSystemTime(&after);

    std::string bytes = ReadFileBytes(kLogOnE);
    std::vector<std::string> lines = CrLfLines(bytes);
    ASSERT_EQ(8u, lines.size()) << bytes;
    EXPECT_EQ("", lines[0]);
    EXPECT_EQ("", lines[1]);

    struct Want {
        const char* label;
        std::string message;
    } want[] = {
        {"", Banner()},
        {"ERROR", "SaveConfig: error 5"},
        {"WARNING", "OnKeyUp: Key mask failed"},
        {"EVENT", "OnKeyUp: 70"},
        {"", "SetKeyMask: 3"},
        {"EVENT", "MaintRun: done"},
    };
    for (size_t i = 0; i < 6; ++i) {
        LogLine line = Parse(lines[i + 2]);
        ASSERT_TRUE(line.ok) << "line " << i + 2 << ": \"" << lines[i + 2] << "\"";
        EXPECT_EQ(want[i].label, line.label) << lines[i + 2];
        EXPECT_EQ(want[i].message, line.message) << lines[i + 2];
        EXPECT_GE(Seconds(line.time), Seconds(before)) << lines[i + 2];
        EXPECT_LE(Seconds(line.time), Seconds(after)) << lines[i + 2];
    }
    // A trace line has an empty label: the time, a blank, a colon, a blank.
    EXPECT_EQ(std::string(" : SetKeyMask: 3"), lines[6].substr(19)) << lines[6];
}

// The file is a text stream: each "\n" of a line reaches the media as CR LF.
TEST_F(CsrLogTest, FileHoldsCrLfLineEnds)
{
    SetCdrom("D:\\");
    CsrLog(CSRLOG_TRACE, "Two\nparts\n");
    std::string bytes = ReadFileBytes(kLogOnD);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ("\r\n\r\n", bytes.substr(0, 4));
    EXPECT_EQ("\r\nparts\r\n", bytes.substr(bytes.size() - 9)) << bytes;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i << " in " << bytes;
        }
    }
}

TEST_F(CsrLogTest, ALevelOutsideTheTableGetsAnEmptyLabel)
{
    SetCdrom("D:\\");
    CsrLog(7, "Odd: level\n");
    CsrLog(-1, "Odd: negative\n");
    std::vector<std::string> lines = CrLfLines(ReadFileBytes(kLogOnD));
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("Odd: level", Parse(lines[3]).message);
    EXPECT_EQ("", Parse(lines[3]).label);
    EXPECT_EQ("", Parse(lines[4]).label);
}

// ---- where the file goes -----------------------------------------------------------------

TEST_F(CsrLogTest, WithoutCdromTheFileIsOnE)
{
    DeleteCdrom();
    CsrLog(CSRLOG_EVENT, "Where: default\n");
    EXPECT_TRUE(FileOrFolderExists(kLogOnE));
    EXPECT_FALSE(FileOrFolderExists(kLogOnD));
    EXPECT_NE(std::string::npos, ReadFileBytes(kLogOnE).find("EVENT: Where: default\r\n"));
}

TEST_F(CsrLogTest, CdromWithoutBackslashNamesTheDriveRoot)
{
    SetCdrom("D:");
    CsrLog(CSRLOG_EVENT, "Where: D colon\n");
    EXPECT_FALSE(FileOrFolderExists(kLogOnE));
    EXPECT_NE(std::string::npos, ReadFileBytes(kLogOnD).find("EVENT: Where: D colon\r\n"));
}

TEST_F(CsrLogTest, CdromNamingAFolderUsesOnlyItsDriveRoot)
{
    SetCdrom("D:\\some\\folder");
    CsrLog(CSRLOG_EVENT, "Where: folder\n");
    EXPECT_NE(std::string::npos, ReadFileBytes(kLogOnD).find("EVENT: Where: folder\r\n"));
    EXPECT_FALSE(FileOrFolderExists("D:\\some")) << "the folder of the setting must not be used";
    EXPECT_FALSE(FileOrFolderExists("D:\\sZelData")) << "the fourth character of the setting must not be used";
    EXPECT_FALSE(FileOrFolderExists(kLogOnE));
}

// "CDROM" = F: puts the file on F: when the machine has that drive; when it
// has none, nothing reaches D: or E: and the line still reaches the debug
// output.
TEST_F(CsrLogTest, CdromFNamesDriveF)
{
    const char logOnF[] = "F:\\ZelData\\VURLog\\CsrLog.txt";
    const DWORD rootF = GetFileAttributesA("F:\\");
    const bool haveF = rootF != INVALID_FILE_ATTRIBUTES && (rootF & FILE_ATTRIBUTE_DIRECTORY);
    if (haveF) RemoveLogOn('F');
    SetCdrom("F:");
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    CsrLog(CSRLOG_EVENT, "Where: F\n");
    ASSERT_TRUE(capture.Flush());
    CsrLogDetachForTest();

    EXPECT_FALSE(FileOrFolderExists(kLogOnE));
    EXPECT_FALSE(FileOrFolderExists(kLogOnD));
    std::vector<std::string> texts = capture.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ("Where: F\n", Parse(texts.back()).message);
    if (haveF) {
        std::string onF = ReadFileBytes(logOnF);
        RemoveLogOn('F');
        EXPECT_NE(std::string::npos, onF.find("EVENT: Where: F\r\n")) << onF;
    } else {
        EXPECT_EQ(1u, texts.size()) << "no banner without a file";
    }
}

// ---- retry while the media cannot take the file -------------------------------------------

TEST_F(CsrLogTest, AFileThatCannotBeOpenedIsRetriedOnEveryLine)
{
    SetCdrom("D:\\");
    CreateDirectoryA("D:\\ZelData", nullptr);
    // A plain file where the log's folder belongs.
    ASSERT_TRUE(WriteFileBytes("D:\\ZelData\\VURLog", ""));

    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    CsrLog(CSRLOG_EVENT, "Retry: first\n");
    CsrLog(CSRLOG_EVENT, "Retry: second\n");
    EXPECT_FALSE(FileOrFolderExists(kLogOnD));

    ASSERT_TRUE(DeleteFileA("D:\\ZelData\\VURLog"));
    CsrLog(CSRLOG_EVENT, "Retry: third\n");
    CsrLog(CSRLOG_EVENT, "Retry: fourth\n");

    std::vector<std::string> lines = CrLfLines(ReadFileBytes(kLogOnD));
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("", lines[0]);
    EXPECT_EQ("", lines[1]);
    EXPECT_EQ(Banner(), Parse(lines[2]).message);
    EXPECT_EQ("Retry: third", Parse(lines[3]).message);
    EXPECT_EQ("Retry: fourth", Parse(lines[4]).message);

    // The lines that found no file still reached the debug output.
    ASSERT_TRUE(capture.Flush());
    std::vector<std::string> texts = capture.Texts();
    ASSERT_EQ(5u, texts.size());
    EXPECT_EQ("Retry: first\n", Parse(texts[0]).message);
    EXPECT_EQ("Retry: second\n", Parse(texts[1]).message);
    EXPECT_EQ(Banner() + "\n", Parse(texts[2]).message);
    EXPECT_EQ("Retry: third\n", Parse(texts[3]).message);
}

// ---- links on the media ---------------------------------------------------------------------

// L:\ZelData\VURLog is a link to D:\LinkTarget (tools/wine-prefix.sh makes it
// before the run; a program under Wine cannot): the log would land there.
TEST_F(CsrLogTest, ALogFolderThatIsALinkKeepsTheLogToTheDebugOutput)
{
    const DWORD folder = GetFileAttributesA("L:\\ZelData\\VURLog");
    if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "no link at L:\\ZelData\\VURLog: tools/wine-prefix.sh makes it with ln -s before the run";
    const char behind[] = "D:\\LinkTarget\\CsrLog.txt";
    DeleteFileA(behind);
    SetCdrom("L:\\");
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    CsrLog(CSRLOG_EVENT, "Linked: first\n");
    CsrLog(CSRLOG_EVENT, "Linked: second\n");
    ASSERT_TRUE(capture.Flush());
    CsrLogDetachForTest();

    const bool written = FileOrFolderExists(behind);
    DeleteFileA(behind);
    EXPECT_FALSE(written) << "the log was written through the link";
    // The lines still reach the debug output, with no banner (there is no file).
    std::vector<std::string> messages;
    for (const std::string& text : capture.Texts())
        if (Parse(text).ok) messages.push_back(Parse(text).message);
    EXPECT_EQ((std::vector<std::string>{"Linked: first\n", "Linked: second\n"}), messages);
}

// ---- the debug output copy -----------------------------------------------------------------

TEST_F(CsrLogTest, EveryLineGoesToTheDebugOutputAsWritten)
{
    SetCdrom("D:\\");
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    CsrLog(CSRLOG_WARNING, "OnKeyUp: Key mask failed\n");
    CsrLogEvent("OnKeyUp: %x\n", 0x71);
    ASSERT_TRUE(capture.Flush());

    std::vector<std::string> texts = capture.Texts();
    ASSERT_EQ(3u, texts.size());
    LogLine banner = Parse(texts[0]), warning = Parse(texts[1]), event = Parse(texts[2]);
    EXPECT_EQ("", banner.label);
    EXPECT_EQ(Banner() + "\n", banner.message);
    EXPECT_EQ("WARNING", warning.label);
    EXPECT_EQ("OnKeyUp: Key mask failed\n", warning.message);
    EXPECT_EQ("EVENT", event.label);
    EXPECT_EQ("OnKeyUp: 71\n", event.message);

    // The file holds the same lines, with CR LF.
    std::vector<std::string> lines = CrLfLines(ReadFileBytes(kLogOnD));
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(texts[1], lines[3] + "\n");
    EXPECT_EQ(texts[2], lines[4] + "\n");
}

// ---- line buffer ---------------------------------------------------------------------------

TEST_F(CsrLogTest, ALongMessageIsCutToTheLineBuffer)
{
    SetCdrom("D:\\");
    std::string huge(5000, 'x');
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    CsrLog(CSRLOG_ERROR, "Huge: %s\n", huge.c_str());
    CsrLog(CSRLOG_ERROR, "After: huge\n");
    ASSERT_TRUE(capture.Flush());

    // 1023 characters and the terminator; the cut line still ends its line.
    std::vector<std::string> texts = capture.Texts();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(1023u, texts[1].size());
    LogLine cut = Parse(texts[1]);
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ("ERROR", cut.label);
    EXPECT_EQ("Huge: " + std::string(1023 - 27 - 6 - 1, 'x') + "\n", cut.message);

    std::vector<std::string> lines = CrLfLines(ReadFileBytes(kLogOnD));
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(1022u, lines[3].size());
    EXPECT_EQ("After: huge", Parse(lines[4]).message);
}

TEST_F(CsrLogTest, ALineThatJustFitsIsKeptWhole)
{
    SetCdrom("D:\\");
    // "yyyy/mm/dd hh:mm:ss ERROR: " is 27 characters; 996 more fill 1023.
    std::string fits = "Fit: " + std::string(996 - 5 - 1, 'y') + "\n";
    std::string over = "Over: " + std::string(997 - 6 - 1, 'z') + "\n";
    CsrLog(CSRLOG_ERROR, "%s", fits.c_str());
    CsrLog(CSRLOG_ERROR, "%s", over.c_str());

    std::vector<std::string> lines = CrLfLines(ReadFileBytes(kLogOnD));
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(fits, Parse(lines[3]).message + "\n");
    EXPECT_EQ(over.substr(0, over.size() - 2), Parse(lines[4]).message);   // one 'z' gives way to the line end
}

// ---- two runs against the same media --------------------------------------------------------

int ChildLogRun(int argc, char** argv)
{
    std::string tag = ChildArgument(argc, argv, "tag");
    CsrLogEvent("ChildRun: %s\n", tag.c_str());
    CsrLog(CSRLOG_TRACE, "ChildRun: ending %s\n", tag.c_str());
    return 0;
}

void RunChild(const char* tag)
{
    ChildProcess child;
    ASSERT_TRUE(child.Start("log-run", std::string("--tag=") + tag));
    ASSERT_TRUE(child.Wait(30000));
    EXPECT_EQ(0u, child.ExitCode());
}

TEST_F(CsrLogTest, TwoRunsAppendToOneFileEachWithItsBanner)
{
    SetCdrom("D:\\");
    RunChild("one");
    RunChild("two");

    std::vector<std::string> lines = CrLfLines(ReadFileBytes(kLogOnD));
    ASSERT_EQ(10u, lines.size());
    const char* want[] = {"", "", nullptr, "ChildRun: one", "ChildRun: ending one",
                          "", "", nullptr, "ChildRun: two", "ChildRun: ending two"};
    for (size_t i = 0; i < 10; ++i) {
        if (want[i] && *want[i] == '\0') {
            EXPECT_EQ("", lines[i]) << "line " << i;
            continue;
        }
        LogLine line = Parse(lines[i]);
        ASSERT_TRUE(line.ok) << "line " << i << ": \"" << lines[i] << "\"";
        EXPECT_EQ(want[i] ? std::string(want[i]) : Banner(), line.message) << "line " << i;
    }
    EXPECT_EQ("EVENT", Parse(lines[3]).label);
    EXPECT_EQ("", Parse(lines[4]).label);
}

}  // namespace

int main(int argc, char** argv)
{
    return RunTestsOrChildMode(argc, argv, {{"log-run", ChildLogRun}});
}
