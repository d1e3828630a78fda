// The shell logger through what it writes to the debug output, with its
// settings in a store of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "DbwinCapture.h"
#include "Retenta.h"
#include "ShellLogger.h"
#include "TestFiles.h"

namespace {

const char kFile[] = "Tests\\Logger\\LoggerTest.cpp";
const char kAllLevels[] = "ERROR LoggerTest.cpp line 12: e|WARNG LoggerTest.cpp line 12: w|"
                          "STATE LoggerTest.cpp line 12: s|TRACE LoggerTest.cpp line 12: t|TRACE Other.cpp line 12: o|";

// Values of "TracePersist"\"LogSettings" by their 18-character names: a
// number, or a string after "s:".
typedef std::map<std::string, std::string> Settings;
const Settings kDefaults = {
    {"SuppressTableSize ", "40"}, {"MaxMessageLength  ", "1024"}, {"SuppressMsgLength ", "40"},
    {"ExcludeFileType   ", "0"},  {"SuppressBelowLevel", "4"},    {"ReadAlsoInDebug   ", "b0"},
    {"InhibitDebugOutput", "b0"}, {"InhibitLogOutput  ", "b1"},   {"SuppressRepeatMsgs", "b0"},
    {"SuppressFilename  ", "b0"}, {"SuppressLineNumber", "b0"},   {"ExcludeThisFile   ", "s:none"},
    {"ExcludeThisModule ", "s:none"}};

std::string Prefix()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name = std::strrchr(path, '\\') + 1;
    return name.substr(0, name.rfind('.')) + " ";
}

// A store of its own; the store work and each logger's life on a thread of
// their own, as the store keeps a thread's keys until the thread ends.
class LoggerRun {
public:
    LoggerRun() : m_folder(MakeTempFolder("logger")) {}
    ~LoggerRun() { RemoveTree(m_folder); }

    void Put(const Settings& settings)
    {
        OnThread([&] {
            for (const auto& v : settings) {
                const char* name = v.first.c_str();
                if (v.second.compare(0, 2, "s:") == 0)
                    PersistOneString("TracePersist", "LogSettings", 1000, name, v.second.c_str() + 2);
                else if (v.second[0] == 'b')
                    PersistOneBool("TracePersist", "LogSettings", 1000, name, v.second[1] == '1');
                else
                    PersistOneDW("TracePersist", "LogSettings", 1000, name, std::stoul(v.second));
            }
        });
    }

    // What a new logger wrote while body ran: each text checked for its tick
    // stamp, its program prefix and its line end, and shown up to its first
    // line end without them, joined by "|". Whole texts into *texts.
    std::string Written(const std::function<void(ShellLogger&)>& body, std::vector<std::string>* texts = nullptr)
    {
        DbwinCapture capture;
        EXPECT_TRUE(capture.Active());
        OnThread([&] {
            ShellLogger logger(false, false, 4, true, 40, 1024, 40);
            body(logger);
        });
        capture.Flush();
        std::string lines;
        const std::regex shape("[0-9]{8}: " + Prefix() + "([^\r]*)(\r\n[^]*)?\r\n");
        for (const std::string& text : capture.Texts()) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(text, m, shape)) << text;
            lines += m.str(1) + "|";
            if (texts) texts->push_back(text);
        }
        return lines;
    }

    void OnThread(const std::function<void()>& body)
    {
        std::thread([&] {
            SetPersistBasePath(m_folder.c_str());
            body();
        }).join();
    }

private:
    std::string m_folder;
};

void Log(ShellLogger& logger, int level, const char* text, const char* file = kFile)
{
    logger.SetLocation(file, 12, level);
    logger.Write("%s", text);
}

void EveryLevel(ShellLogger& logger)
{
    Log(logger, SHELL_ERROR, "e");
    Log(logger, SHELL_WARNG, "w");
    Log(logger, SHELL_STATE, "s");
    Log(logger, SHELL_TRACE, "t");
    Log(logger, SHELL_TRACE, "o", "Tests\\Other.cpp");
}

}  // namespace

TEST(ShellLogger, DefaultsWriteEveryLevelAndFatalAndErrorCarryTheLastError)
{
    LoggerRun run;
    DWORD afterTrace = 0, afterError = 0;
    unsigned long thrown = 0;
    std::vector<std::string> texts;
    std::string lines = run.Written(
        [&](ShellLogger& logger) {
            SetLastError(1234);
            logger.SetLocation(kFile, 12, SHELL_TRACE);
            logger.Write("hello %d", 7);
            afterTrace = GetLastError();
            SetLastError(ERROR_FILE_NOT_FOUND);
            Log(logger, SHELL_ERROR, "failed");
            afterError = GetLastError();
            SetLastError(ERROR_ACCESS_DENIED);
            try {
                Log(logger, SHELL_FATAL, "ASSERTION (x) Failed.");
            } catch (unsigned long value) {
                thrown = value;
            }
        },
        &texts);
    EXPECT_EQ("TRACE LoggerTest.cpp line 12: hello 7|ERROR LoggerTest.cpp line 12: failed|"
              "FATAL LoggerTest.cpp line 12: ASSERTION (x) Failed.|",
              lines);
    ASSERT_EQ(3u, texts.size());
    EXPECT_NE(std::string::npos, texts[1].find(": failed\r\nSystem Error 2 ")) << texts[1];
    EXPECT_NE(std::string::npos, texts[2].find(" Failed.\r\nSystem Error 5 ")) << texts[2];
    EXPECT_EQ(1234u, afterTrace);
    EXPECT_EQ(0u, afterError);
    EXPECT_EQ(5u, thrown);
}

TEST(ShellLogger, MissingSettingsAreCreatedWithDefaultsAndCountFromTheNextStart)
{
    LoggerRun run;
    run.Put({{"SuppressBelowLevel", "1"}});
    EXPECT_EQ(kAllLevels, run.Written(EveryLevel));   // the other twelve made now: nothing applies yet
    run.OnThread([] {
        unsigned long length = 0;
        char file[64] = "";
        EXPECT_EQ(PERS_SUCCESS, GetOnePersistedDW("TracePersist", "LogSettings", 1000, "MaxMessageLength  ", &length));
        EXPECT_EQ(PERS_SUCCESS, GetOnePersistedString("TracePersist", "LogSettings", 1000, "ExcludeThisFile   ",
                                                      sizeof file, file, nullptr));
        EXPECT_EQ(1024u, length);
        EXPECT_STREQ("none", file);
    });
    EXPECT_EQ("ERROR LoggerTest.cpp line 12: e|", run.Written(EveryLevel));
}

TEST(ShellLogger, SettingsChooseWhatIsWrittenAndHow)
{
    const std::string all = kAllLevels, p = Prefix();
    const struct { const char* name; Settings change; std::string expected; } rows[] = {
        {"defaults", {}, all + "TRACE LoggerTest.cpp line 12: abcdef|"},
        {"below level 1", {{"SuppressBelowLevel", "1"}}, "ERROR LoggerTest.cpp line 12: e|"},
        {"module excluded", {{"ExcludeThisModule ", "s:" + p}}, ""},
        {"module name without its space", {{"ExcludeThisModule ", "s:" + p.substr(0, p.size() - 1)}},
         all + "TRACE LoggerTest.cpp line 12: abcdef|"},
        {"file excluded", {{"ExcludeFileType   ", "1"}, {"ExcludeThisFile   ", "s:LoggerTest.cpp"}},
         "TRACE Other.cpp line 12: o|"},
        {"file named, exclusion off", {{"ExcludeThisFile   ", "s:LoggerTest.cpp"}},
         all + "TRACE LoggerTest.cpp line 12: abcdef|"},
        {"no file name, no line", {{"SuppressFilename  ", "b1"}, {"SuppressLineNumber", "b1"}, {"SuppressBelowLevel", "2"}},
         "ERROR e|WARNG w|"},
        {"no debug output", {{"InhibitDebugOutput", "b1"}}, ""},
        {"text cut to the buffer", {{"MaxMessageLength  ", "4"}}, all + "TRACE LoggerTest.cpp line 12: abc|"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoggerRun run;
        Settings settings = kDefaults;
        for (const auto& v : row.change) settings[v.first] = v.second;
        run.Put(settings);
        EXPECT_EQ(row.expected, run.Written([](ShellLogger& l) {
            EveryLevel(l);
            Log(l, SHELL_TRACE, "abcdef");
        }));
    }
}

TEST(ShellLogger, RepeatsAreDroppedByTheirFirstBytesUntilTheTableStartsOver)
{
    // Under the default 40 bytes, program name, level word and file name decide.
    LoggerRun run;
    Settings settings = kDefaults;
    settings["SuppressRepeatMsgs"] = "b1";
    run.Put(settings);
    EXPECT_EQ("TRACE LoggerTest.cpp line 12: alpha|", run.Written([](ShellLogger& l) {
        Log(l, SHELL_TRACE, "alpha");
        Log(l, SHELL_TRACE, "beta");
    }));

    LoggerRun wide;
    settings["SuppressMsgLength "] = "200";
    wide.Put(settings);
    std::string expected = "TRACE LoggerTest.cpp line 12: first|";
    std::string lines = wide.Written([&](ShellLogger& l) {
        Log(l, SHELL_TRACE, "first");
        Log(l, SHELL_TRACE, "first");
        // With "first", 40 different texts: the table starts over. (Padded: the
        // hash leaves out the bytes after the last whole 32-bit word.)
        for (int i = 10; i < 49; ++i) {
            std::string text = "different " + std::to_string(i) + "    ";
            Log(l, SHELL_TRACE, text.c_str());
            expected += "TRACE LoggerTest.cpp line 12: " + text + "|";
        }
        Log(l, SHELL_TRACE, "first");
    });
    EXPECT_EQ(expected + "TRACE LoggerTest.cpp line 12: first|", lines);
}

TEST(ShellLogger, BusyMutexDropsAllButFatalMessages)
{
    LoggerRun run;
    std::string lines = run.Written([](ShellLogger& logger) {
        HANDLE located = CreateEventA(nullptr, TRUE, FALSE, nullptr), finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread holder([&] {
            logger.SetLocation("Tests\\Other.cpp", 7, SHELL_STATE);
            SetEvent(located);
            WaitForSingleObject(finish, 10000);
            logger.Write("%s", "held");
        });
        WaitForSingleObject(located, 10000);
        DWORD begin = GetTickCount();
        Log(logger, SHELL_ERROR, "dropped");
        EXPECT_GE(GetTickCount() - begin, 90u);
        EXPECT_THROW(Log(logger, SHELL_FATAL, "fatal anyway"), unsigned long);
        SetEvent(finish);
        holder.join();
        CloseHandle(located);
        CloseHandle(finish);
    });
    EXPECT_EQ("FATAL LoggerTest.cpp line 12: fatal anyway|STATE Other.cpp line 7: held|", lines);
}
