// The crash report of a child process that faults, or logs a FATAL message,
// on a thread of its own (every frame from the thread's start keeps its
// frame pointer, so the walk can reach the end of the chain).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DbwinCapture.h"
#include "ExceptionReport.h"
#include "Retenta.h"
#include "ShellLogger.h"
#include "TestFiles.h"

namespace {

// Read at run time, so that no compiler turns the write into a trap of its
// own without a frame (the x86_64 build did).
volatile int* volatile g_nowhere = nullptr;

__attribute__((noinline)) void WriteThroughNull(volatile int* target)
{
    *target = 1;
}

DWORD WINAPI FaultThread(void*)
{
    WriteThroughNull(g_nowhere);
    return 0;
}

DWORD WINAPI FatalThread(void*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    SHELL_LOG("Tests\\Report\\ReportTest.cpp", SHELL_FATAL, "ASSERTION (%s) Failed.", "FALSE");
    return 0;
}

// The report of a fault whose frame register an overrun has smashed: the
// walk must stop at it, not fault inside the report.
DWORD WINAPI SmashedFrameThread(void*)
{
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
#if defined(__x86_64__)
    context.Rbp = 0x10;
    record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
#else
    context.Ebp = 0x10;
    record.ExceptionAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(context.Eip));
#endif
    EXCEPTION_POINTERS pointers = {&record, &context};
    FerxUnhandledExceptionFilter(&pointers);
    return 0;
}

int RunChildThread(int argc, char** argv, LPTHREAD_START_ROUTINE routine)
{
    InstallExceptionReport();
    SetPersistBasePath(ChildArgument(argc, argv, "store").c_str());
    WaitForSingleObject(CreateThread(nullptr, 0, routine, nullptr, 0, nullptr), INFINITE);
    return 0;
}

std::string ThisProgram()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

// The child's debug texts from the report's first line on, checked for the
// report's shape; its exit code into *exitCode, the texts before the report
// into *before.
std::vector<std::string> RunReport(const char* mode, const std::string& code, DWORD* exitCode,
                                   std::vector<std::string>* before = nullptr,
                                   const char* lastLine = " \\.\\.\\. end\n")
{
    std::string store = MakeTempFolder("report");
    DbwinCapture capture(DbwinCapture::AllProcesses);
    ChildProcess child;
    EXPECT_TRUE(capture.Active() && child.Start(mode, "--store=" + store));
    EXPECT_TRUE(child.Wait(30000));
    capture.Flush();
    *exitCode = child.ExitCode();
    RemoveTree(store);
    std::vector<std::string> texts;
    for (const DbwinMessage& m : capture.Messages())
        if (m.pid == child.Pid()) texts.push_back(m.text);
    auto banner = std::find(texts.begin(), texts.end(), "FerxExec Unhandled Exception Filter\n");
    if (banner - texts.begin() < 2 || texts.end() - banner < 14) {
        ADD_FAILURE() << "no report";
        return {};
    }
    std::vector<std::string> r(banner - 2, texts.end());
    if (before) before->assign(texts.begin(), banner - 2);
    const char* shape[] = {"\n", "===================================\n", "FerxExec Unhandled Exception Filter\n",
                           "Exception details\n", nullptr, "  Flags    [01]\n", "  Address  [0-9A-F]+\n",
                           "  Module   [^\n]+\n", "  RVA      (00[1-9]:[0-9a-f]{8}|Not Available)\n",
                           "  Function Not Available\n", "  Line #   Not Available\n\n", nullptr,
                           "[0-9]{8}: [^ ]+ ERROR FerxExec.cpp line [0-9]+: FerxExec Unhandled Exception at RVA [^]*",
                           "Stack Trace\n", "  Logical addr  Module\n"};
    EXPECT_EQ("  Code     " + code + "\n", r[4]);
    EXPECT_EQ(r[8], r[11]);
    for (size_t i = 0; i < r.size(); ++i) {
        const char* expected = i < sizeof shape / sizeof *shape ? shape[i] : "  [0-9A-F]{4}:[0-9A-F]{8} [^\n]*\n";
        if (i + 1 == r.size()) expected = lastLine;
        if (expected) {
            EXPECT_TRUE(std::regex_match(r[i], std::regex(expected))) << i << ": " << r[i];
        }
    }
    return r;
}

}  // namespace

int FaultChild(int argc, char** argv)
{
    return RunChildThread(argc, argv, FaultThread);
}

int SmashedFrameChild(int argc, char** argv)
{
    return RunChildThread(argc, argv, SmashedFrameThread);
}

int FatalChild(int argc, char** argv)
{
    return RunChildThread(argc, argv, FatalThread);
}

TEST(ExceptionReport, FaultInOwnCodeNamesModuleAndSectionAndWalksToTheEnd)
{
    DWORD exitCode = 0;
    std::vector<std::string> r = RunReport("fault", "C0000005 : EXCEPTION_ACCESS_VIOLATION", &exitCode);
    EXPECT_EQ(0xFFFFFFFFu, exitCode);
    std::string report;
    for (const std::string& line : r) report += line;
    ASSERT_GT(r.size(), 17u) << report;
    EXPECT_EQ("  Module   " + ThisProgram() + "\n", r[7]);
    ASSERT_TRUE(std::regex_match(r[8], std::regex("  RVA      001:[0-9a-f]{8}\n"))) << r[8];
    // The walk starts at the fault, found again from the headers in memory,
    // and goes on into the function that called the faulting one.
    char first[MAX_PATH + 32];
    std::snprintf(first, sizeof first, "  0001:%08lX %s\n", std::strtoul(r[8].c_str() + 15, nullptr, 16),
                  ThisProgram().c_str());
    EXPECT_EQ(first, r[15]);
    EXPECT_EQ("  0001:", r[16].substr(0, 7));
}

TEST(ExceptionReport, ASmashedFrameRegisterEndsTheWalkInsideTheReport)
{
    DWORD exitCode = 0;
    std::vector<std::string> r = RunReport("smashed", "C0000005 : EXCEPTION_ACCESS_VIOLATION", &exitCode, nullptr,
                                           " \\.\\.\\. IsBadWritePtr\n");
    EXPECT_EQ(0xFFFFFFFFu, exitCode) << "the report ended early: it faulted itself";
    EXPECT_FALSE(r.empty());
}

TEST(ExceptionReport, FatalMessageIsWrittenWithTheLastErrorThenReported)
{
    DWORD exitCode = 0;
    std::vector<std::string> before;
    RunReport("fatal", "E0DB0004 : FATAL log message", &exitCode, &before);
    EXPECT_EQ(0xFFFFFFFFu, exitCode);
    ASSERT_FALSE(before.empty());
    EXPECT_TRUE(std::regex_match(before.back(), std::regex("[0-9]{8}: [^ ]+ FATAL ReportTest.cpp line [0-9]+: "
                                                           "ASSERTION \\(FALSE\\) Failed.\r\nSystem Error 5 [^]*")))
        << before.back();
}
