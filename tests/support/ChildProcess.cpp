#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

ChildProcess::~ChildProcess()
{
    if (m_process) {
        if (ExitCode() == STILL_ACTIVE) {
            TerminateProcess(m_process, 1);
            WaitForSingleObject(m_process, 5000);
        }
        CloseHandle(m_process);
    }
}

bool ChildProcess::Start(const std::string& mode, const std::string& arguments)
{
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof(exe));
    if (n == 0 || n >= sizeof(exe)) return false;
    return StartProgram(exe, mode, arguments);
}

bool ChildProcess::StartProgram(const std::string& exe, const std::string& mode, const std::string& arguments)
{
    if (m_process) return false;
    std::string commandLine = "\"" + exe + "\" --child=" + mode;
    if (!arguments.empty()) commandLine += " " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    STARTUPINFOA si;
    std::memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof(pi));
    if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    return true;
}

bool ChildProcess::Wait(DWORD ms)
{
    return m_process && WaitForSingleObject(m_process, ms) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const
{
    DWORD code = static_cast<DWORD>(-1);
    if (!m_process || !GetExitCodeProcess(m_process, &code)) return static_cast<DWORD>(-1);
    return code;
}

bool ChildProcess::Terminate(UINT code)
{
    if (!m_process || !TerminateProcess(m_process, code)) return false;
    return WaitForSingleObject(m_process, 5000) == WAIT_OBJECT_0;
}

NamedEvent::NamedEvent(const std::string& name) : m_event(CreateEventA(nullptr, TRUE, FALSE, name.c_str())) {}

NamedEvent::~NamedEvent()
{
    if (m_event) CloseHandle(m_event);
}

bool NamedEvent::Set()
{
    return m_event && SetEvent(m_event);
}

bool NamedEvent::Wait(DWORD ms)
{
    return m_event && WaitForSingleObject(m_event, ms) == WAIT_OBJECT_0;
}

std::string UniqueName(const std::string& prefix)
{
    static std::atomic<unsigned> serial{0};
    return prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
}

std::string ChildArgument(int argc, char** argv, const char* key)
{
    std::string wanted = std::string("--") + key + "=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], wanted.c_str(), wanted.size()) == 0) return argv[i] + wanted.size();
    }
    return std::string();
}

int RunTestsOrChildMode(int argc, char** argv, std::initializer_list<ChildMode> modes)
{
    std::string mode = ChildArgument(argc, argv, "child");
    if (!mode.empty()) {
        for (const ChildMode& m : modes) {
            if (mode == m.name) return m.run(argc, argv);
        }
        return 99;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
