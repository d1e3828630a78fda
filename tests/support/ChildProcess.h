// Child processes for tests that need a second real process: the child is a
// copy of the running test program started with "--child=<mode>", and the
// program's main() hands such a run to the named mode instead of the tests:
//
//   int main(int argc, char** argv) {
//       return RunTestsOrChildMode(argc, argv, {{"hold-write", HoldWrite}});
//   }
//
// A mode receives the whole command line; ChildArgument reads "--key=value".
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();   // a child still running is terminated
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts this program again as "<exe> --child=<mode> <arguments>".
    bool Start(const std::string& mode, const std::string& arguments = std::string());
    // Starts another build of a test program the same way (the other width's
    // copy, say): "<exe> --child=<mode> <arguments>".
    bool StartProgram(const std::string& exe, const std::string& mode,
                      const std::string& arguments = std::string());

    // True when the child has ended within ms.
    bool Wait(DWORD ms);
    // The exit code, STILL_ACTIVE while running, or (DWORD)-1 when never started.
    DWORD ExitCode() const;
    bool Terminate(UINT code = 1);
    DWORD Pid() const { return m_pid; }
    HANDLE Handle() const { return m_process; }

private:
    HANDLE m_process = nullptr;
    DWORD  m_pid = 0;
};

// A named manual-reset event for parent/child handshakes.
class NamedEvent {
public:
    explicit NamedEvent(const std::string& name);   // creates or opens
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    bool Valid() const { return m_event != nullptr; }
    bool Set();
    bool Wait(DWORD ms);

private:
    HANDLE m_event = nullptr;
};

// A name no other test, run or process uses: prefix, process id and a counter.
std::string UniqueName(const std::string& prefix);

typedef int (*ChildModeFunction)(int argc, char** argv);
struct ChildMode {
    const char*       name;
    ChildModeFunction run;
};

// The value of "--key=value" among the arguments, or an empty string.
std::string ChildArgument(int argc, char** argv, const char* key);

// Runs the mode named by "--child=<mode>" (exit code 99 for an unknown one),
// or else the tests.
int RunTestsOrChildMode(int argc, char** argv, std::initializer_list<ChildMode> modes);
