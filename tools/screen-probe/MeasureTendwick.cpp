// tendwick_measure: response times of the maintenance program through its
// window, for tools/measure-tendwick.sh. Each run prints "NAME MILLISECONDS"
// lines that the script gathers into medians:
//
//   tendwick_measure startup EXE [N]   process start to the opening screen:
//                                      startup_shown_ms (window visible with
//                                      label 1 set), startup_painted_ms (idle,
//                                      nothing left to paint); one warm-up run
//                                      first, not counted
//   tendwick_measure question EXE [N]  F1 key-up to the save question shown
//                                      (soft key 1 reads "Confirm"): question_ms
//   tendwick_measure save EXE          F1, F1 to "Configuration Saved": save_question_ms,
//                                      save_confirm_ms (second key-up to the text), save_ms (whole)
//   tendwick_measure restore EXE       the same with F3 and "Configuration Restored"
//
// The program is ended by force after each run; nothing is pressed after the
// final text, so the unit is never restarted.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TendwickWindow.h"

namespace {

const DWORD READY_MS = 60000;
const DWORD QUESTION_MS = 60000;
const DWORD RUN_MS = 600000;

class Stopwatch {
public:
    Stopwatch()
    {
        QueryPerformanceFrequency(&m_frequency);
        Restart();
    }
    void Restart() { QueryPerformanceCounter(&m_start); }
    double Ms() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(m_frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

// Polls as fast as the window answers: the figures are about the program.
const DWORD POLL_MS = 1;

bool ShownWithText(TendwickWindow& window)
{
    if (!window.FindWindowNow() || !window.IsWindowShown()) return false;
    std::string label = window.Label(1);
    return !label.empty() && label != TendwickWindow::NO_ANSWER;
}

void Print(const char* name, double ms)
{
    std::printf("%s %.1f\n", name, ms);
    std::fflush(stdout);
}

int Fail(const std::string& what, const TendwickWindow& window)
{
    std::printf("tendwick_measure: %s\n%s", what.c_str(), window.Describe().c_str());
    return 1;
}

int Startup(const std::string& exe, int runs)
{
    for (int run = 0; run <= runs; ++run) {
        TendwickWindow window(exe);
        Stopwatch watch;
        if (!window.Launch()) return Fail(window.Error(), window);
        while (!ShownWithText(window)) {
            if (!window.IsRunning() || watch.Ms() > READY_MS) return Fail("no opening screen", window);
            Sleep(POLL_MS);
        }
        double shown = watch.Ms();
        if (!window.WaitReady(READY_MS, POLL_MS)) return Fail(window.Error(), window);
        double painted = watch.Ms();
        if (run > 0) {
            Print("startup_shown_ms", shown);
            Print("startup_painted_ms", painted);
        }
        window.Kill();
    }
    return 0;
}

// Presses key and returns the milliseconds from its key-up to the question
// being on the screen: the soft key of that key reads "Confirm", which the
// window shows only once the run step has returned. Negative when it never does.
double TimeKeyToQuestion(TendwickWindow& window, UINT key, DWORD ms)
{
    int softKey = static_cast<int>(key - VK_F1) + 1;
    window.Down(key);
    Stopwatch watch;
    window.Up(key);
    while (window.SoftKey(softKey) != "Confirm") {
        if (!window.IsRunning() || watch.Ms() > ms) return -1;
        Sleep(POLL_MS);
    }
    return watch.Ms();
}

int Question(const std::string& exe, int runs)
{
    for (int run = 0; run < runs; ++run) {
        TendwickWindow window(exe);
        if (!window.Launch() || !window.WaitReady(READY_MS)) return Fail(window.Error(), window);
        double ms = TimeKeyToQuestion(window, VK_F1, QUESTION_MS);
        if (ms < 0) return Fail("no question after F1", window);
        Print("question_ms", ms);
        window.Kill();
    }
    return 0;
}

int WholeRun(const std::string& exe, UINT key, const char* done, const char* prefix)
{
    TendwickWindow window(exe);
    if (!window.Launch() || !window.WaitReady(READY_MS)) return Fail(window.Error(), window);
    double question = TimeKeyToQuestion(window, key, QUESTION_MS);
    if (question < 0) return Fail("no question after the first key", window);
    // The question's screen must be complete before the confirming key.
    if (!window.WaitReady(READY_MS)) return Fail(window.Error(), window);
    window.Down(key);
    Stopwatch confirm;
    window.Up(key);
    std::string last;
    if (!window.WaitForLabel(1, done, TendwickWindow::EQUALS, RUN_MS, &last))
        return Fail(std::string("label 1 never read \"") + done + "\"", window);
    double confirmMs = confirm.Ms();
    std::string name = prefix;
    Print((name + "_question_ms").c_str(), question);
    Print((name + "_confirm_ms").c_str(), confirmMs);
    Print((name + "_ms").c_str(), question + confirmMs);
    window.Kill();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: tendwick_measure startup|question EXE [N] | save|restore EXE\n");
        return 2;
    }
    std::string command = argv[1], exe = argv[2];
    int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    if (runs < 1) runs = 1;
    if (command == "startup") return Startup(exe, runs);
    if (command == "question") return Question(exe, runs);
    if (command == "save") return WholeRun(exe, VK_F1, "Configuration Saved", "save");
    if (command == "restore") return WholeRun(exe, VK_F3, "Configuration Restored", "restore");
    std::fprintf(stderr, "tendwick_measure: unknown command \"%s\"\n", command.c_str());
    return 2;
}
