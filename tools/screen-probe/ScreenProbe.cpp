// screen_probe: drives the running maintenance program from the command line,
// for the run script, the demo and a person at a shell. Commands run in order,
// each against the window "Tendwick":
//
//   wait [seconds]                  the window is there, idle and painted (30 s)
//   press KEY...                    each key down and up (F1..F6, UP, DOWN, LEFT,
//                                   RIGHT, ESC, 0-9, A-Z or 0xNN)
//   down KEY / up KEY               one half of a press
//   screen                          what the screen shows, one item a line
//   wait-text N TEXT [seconds]      label N contains TEXT (30 s)
//   wait-exit [seconds]             the program has ended; prints its exit code
//   rect                            the window's screen rectangle: left top width height
//   elapsed                         "elapsed N ms": time since this probe last posted a key
//                                   (or since it started), e.g. after press F1 wait-text ...
//
// Exit code 0 when every command succeeded, 1 when a wait ran out or a key
// could not be posted, 2 for a usage error, 3 when there is no window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TendwickWindow.h"

namespace {

const int EXIT_FAILED = 1;
const int EXIT_USAGE = 2;
const int EXIT_NO_WINDOW = 3;
const DWORD DEFAULT_SECONDS = 30;
// Keys and reads need the window only to exist, not to be idle.
const DWORD ATTACH_MS = 10000;

void Usage()
{
    std::fprintf(stderr,
                 "usage: screen_probe COMMAND [ARGS] [COMMAND [ARGS]]...\n"
                 "  wait [seconds] | press KEY... | down KEY | up KEY | screen |\n"
                 "  wait-text N TEXT [seconds] | wait-exit [seconds] | rect | elapsed\n"
                 "  keys: F1..F6 UP DOWN LEFT RIGHT ESC 0-9 A-Z 0xNN\n");
}

bool IsNumber(const std::string& text)
{
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return *end == '\0';
}

class Probe {
public:
    Probe(int argc, char** argv) : m_args(argv + 1, argv + argc)
    {
        QueryPerformanceFrequency(&m_frequency);
        QueryPerformanceCounter(&m_lastKey);
    }

    int Run()
    {
        if (m_args.empty()) {
            Usage();
            return EXIT_USAGE;
        }
        while (m_next < m_args.size()) {
            std::string command = m_args[m_next++];
            int rc = RunCommand(command);
            std::fflush(stdout);
            if (rc != 0) return rc;
        }
        return 0;
    }

private:
    int RunCommand(const std::string& command)
    {
        if (command == "wait") return Wait(Seconds());
        if (command == "press" || command == "down" || command == "up") return Keys(command);
        if (command == "screen") return Screen();
        if (command == "wait-text") return WaitText();
        if (command == "wait-exit") return WaitExit(Seconds());
        if (command == "rect") return Rect();
        if (command == "elapsed") return Elapsed();
        std::fprintf(stderr, "screen_probe: unknown command \"%s\"\n", command.c_str());
        Usage();
        return EXIT_USAGE;
    }

    // An optional seconds argument: taken when the next argument is a number.
    DWORD Seconds()
    {
        if (m_next < m_args.size() && IsNumber(m_args[m_next]))
            return static_cast<DWORD>(std::strtod(m_args[m_next++].c_str(), nullptr) * 1000);
        return DEFAULT_SECONDS * 1000;
    }

    bool Attached(DWORD ms)
    {
        if (m_window.Window() && IsWindow(m_window.Window())) return true;
        if (m_window.Attach(ms)) return true;
        std::printf("screen_probe: %s\n", m_window.Error().c_str());
        return false;
    }

    int Wait(DWORD ms)
    {
        DWORD start = GetTickCount();
        if (!Attached(ms)) return EXIT_NO_WINDOW;
        DWORD spent = GetTickCount() - start;
        if (!m_window.WaitReady(spent >= ms ? 1 : ms - spent)) {
            std::printf("screen_probe: %s\n", m_window.Error().c_str());
            return EXIT_FAILED;
        }
        return 0;
    }

    int Keys(const std::string& command)
    {
        std::vector<UINT> codes;
        while (m_next < m_args.size()) {
            UINT code = KeyCodeFromName(m_args[m_next]);
            if (code == 0) break;
            codes.push_back(code);
            ++m_next;
            if (command != "press") break;
        }
        if (codes.empty()) {
            std::fprintf(stderr, "screen_probe: %s needs a key name\n", command.c_str());
            Usage();
            return EXIT_USAGE;
        }
        if (!Attached(ATTACH_MS)) return EXIT_NO_WINDOW;
        for (UINT code : codes) {
            bool posted = command == "down" ? m_window.Down(code)
                        : command == "up"   ? m_window.Up(code)
                                            : m_window.Press(code);
            if (!posted) {
                std::printf("screen_probe: posting key 0x%02X failed with error %lu\n", code, GetLastError());
                return EXIT_FAILED;
            }
            QueryPerformanceCounter(&m_lastKey);
        }
        return 0;
    }

    int Screen()
    {
        if (!Attached(ATTACH_MS)) return EXIT_NO_WINDOW;
        std::fputs(m_window.Describe().c_str(), stdout);
        return 0;
    }

    int WaitText()
    {
        if (m_next + 2 > m_args.size() || !IsNumber(m_args[m_next])) {
            std::fprintf(stderr, "screen_probe: wait-text needs a label number and a text\n");
            Usage();
            return EXIT_USAGE;
        }
        int label = std::atoi(m_args[m_next++].c_str());
        std::string text = m_args[m_next++];
        DWORD ms = Seconds();
        if (label < 1 || label > 4) {
            std::fprintf(stderr, "screen_probe: labels are 1 to 4\n");
            return EXIT_USAGE;
        }
        if (!Attached(ms)) return EXIT_NO_WINDOW;
        std::string last;
        if (m_window.WaitForLabel(label, text, TendwickWindow::CONTAINS, ms, &last)) return 0;
        std::printf("screen_probe: label %d does not contain \"%s\" after %lu ms; it reads \"%s\"\n", label,
                    text.c_str(), ms, last.c_str());
        return EXIT_FAILED;
    }

    int WaitExit(DWORD ms)
    {
        if (!m_window.Window() && !m_window.Attach(0)) {
            std::printf("screen_probe: no window \"Tendwick\": not running\n");
            return 0;
        }
        DWORD code = 0;
        if (!m_window.WaitForExit(ms, &code)) {
            std::printf("screen_probe: still running after %lu ms\n", ms);
            return EXIT_FAILED;
        }
        std::printf("exit code %lu\n", code);
        return 0;
    }

    int Rect()
    {
        if (!Attached(ATTACH_MS)) return EXIT_NO_WINDOW;
        RECT r;
        if (!m_window.WindowRect(&r)) return EXIT_FAILED;
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }

    int Elapsed()
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        std::printf("elapsed %.0f ms\n",
                    1000.0 * static_cast<double>(now.QuadPart - m_lastKey.QuadPart) / static_cast<double>(m_frequency.QuadPart));
        return 0;
    }

    std::vector<std::string> m_args;
    size_t m_next = 0;
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_lastKey;   // when the last key went up (down, for "down")
    TendwickWindow m_window;
};

}  // namespace

int main(int argc, char** argv)
{
    Probe probe(argc, argv);
    return probe.Run();
}
