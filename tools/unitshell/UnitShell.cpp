// Stands in for the unit's own application shell at boot: it starts the
// startup applications that the store names, as the unit does, and reports
// what it started.
//
//   unit_shell [--wait-event NAME] [--watch MS]
//
// ShellPersist\ShellConfig "NumStartupApps" gives the count; "StartupApp1"..
// each hold "program|mode" or "program|mode|flags". A program is started
// with the mode as its argument, in its own folder. --wait-event creates the
// named event before the start and waits for it; --watch reports, for MS
// milliseconds after the start, the programs that end (with their exit
// codes) and then those still running. Started programs are left running.
//
// Exit code: 0 every application started (and the event signalled, when
// waited for), 1 an application could not be read or started, 2 the event
// was not signalled, 3 bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Retenta.h"

namespace {

const char kSubdir[] = "ShellPersist";
const char kKey[] = "ShellConfig";
const int kStoreTimeoutMs = 1000;
const unsigned long kAppBytes = 512;

struct StartupApp {
    std::string program;
    std::string mode;
    std::string flags;
};

struct Started {
    std::string name;
    PROCESS_INFORMATION process;
};

// "program|mode|flags": the fields after the program are optional.
StartupApp SplitStartupApp(const char* text)
{
    StartupApp app;
    std::string value = text;
    size_t bar = value.find('|');
    app.program = value.substr(0, bar);
    if (bar == std::string::npos) return app;
    size_t second = value.find('|', bar + 1);
    app.mode = value.substr(bar + 1, second == std::string::npos ? std::string::npos : second - bar - 1);
    if (second != std::string::npos) app.flags = value.substr(second + 1);
    return app;
}

std::string FolderOf(const std::string& program)
{
    size_t slash = program.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

bool Start(const std::string& name, const StartupApp& app, std::vector<Started>* started)
{
    std::printf("unit shell: %s %s (mode \"%s\", flags \"%s\")\n", name.c_str(), app.program.c_str(),
                app.mode.c_str(), app.flags.c_str());
    std::string commandLine = "\"" + app.program + "\"";
    if (!app.mode.empty()) commandLine += " " + app.mode;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::string folder = FolderOf(app.program);
    // The started programs write where this one does, so a run shows their output too.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(app.program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        std::printf("unit shell: %s could not be started: error %lu\n", name.c_str(), GetLastError());
        return false;
    }
    std::printf("unit shell: %s started, process %lu\n", name.c_str(), process.dwProcessId);
    started->push_back({name, process});
    return true;
}

void Watch(std::vector<Started>& started, DWORD ms)
{
    DWORD begin = GetTickCount();
    std::vector<bool> ended(started.size(), false);
    for (;;) {
        bool anyRunning = false;
        for (size_t i = 0; i < started.size(); ++i) {
            if (ended[i]) continue;
            if (WaitForSingleObject(started[i].process.hProcess, 0) == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(started[i].process.hProcess, &code);
                std::printf("unit shell: %s ended with exit code %ld\n", started[i].name.c_str(),
                            static_cast<long>(code));
                ended[i] = true;
            } else {
                anyRunning = true;
            }
        }
        if (!anyRunning || GetTickCount() - begin >= ms) break;
        Sleep(50);
    }
    for (size_t i = 0; i < started.size(); ++i)
        if (!ended[i]) std::printf("unit shell: %s still running\n", started[i].name.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::string eventName;
    DWORD watchMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wait-event") == 0 && i + 1 < argc) {
            eventName = argv[++i];
        } else if (std::strcmp(argv[i], "--watch") == 0 && i + 1 < argc) {
            watchMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::printf("usage: unit_shell [--wait-event NAME] [--watch MS]\n");
            return 3;
        }
    }
    // Created before anything starts, so that a signal cannot come too early.
    HANDLE event = eventName.empty() ? nullptr : CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());

    int status = 0;
    unsigned long count = 0;
    if (GetOnePersistedDW(kSubdir, kKey, kStoreTimeoutMs, "NumStartupApps", &count) != PERS_SUCCESS) {
        std::printf("unit shell: NumStartupApps unreadable (detail %lX)\n", GetLastError());
        status = 1;
    }
    std::printf("unit shell: %lu startup application(s)\n", count);
    std::vector<Started> started;
    for (unsigned long i = 1; i <= count; ++i) {
        std::string name = "StartupApp" + std::to_string(i);
        char value[kAppBytes] = "";
        if (GetOnePersistedString(kSubdir, kKey, kStoreTimeoutMs, name.c_str(), sizeof value, value, nullptr) !=
            PERS_SUCCESS) {
            std::printf("unit shell: %s unreadable (detail %lX)\n", name.c_str(), GetLastError());
            status = 1;
            continue;
        }
        if (!Start(name, SplitStartupApp(value), &started)) status = 1;
    }
    std::fflush(stdout);

    if (event) {
        DWORD begin = GetTickCount();
        DWORD wait = watchMs ? watchMs : 10000;
        if (WaitForSingleObject(event, wait) == WAIT_OBJECT_0) {
            std::printf("unit shell: event \"%s\" signalled after %lu ms\n", eventName.c_str(),
                        GetTickCount() - begin);
        } else {
            std::printf("unit shell: event \"%s\" not signalled within %lu ms\n", eventName.c_str(), wait);
            if (status == 0) status = 2;
        }
        CloseHandle(event);
    }
    if (watchMs) Watch(started, watchMs);
    for (Started& s : started) {
        CloseHandle(s.process.hThread);
        CloseHandle(s.process.hProcess);
    }
    return status;
}
