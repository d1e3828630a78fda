// The maintenance program's window seen from another process of the same
// Wine prefix: starts the program or finds its window, presses bezel keys by
// posting key messages, and reads back what a technician sees (label texts,
// soft-key captions, colours, corner captions, the serial box, the progress
// bar) through the controls and the window's inspection messages. Shared by
// the screen probe, the measuring program and the test driver.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "Win32Handle.h"

class TendwickWindow {
public:
    // Milliseconds one question to the window may take before it counts as busy.
    static const DWORD ANSWER_TIMEOUT = 5000;
    static const DWORD DEFAULT_READY_TIMEOUT = 30000;

    TendwickWindow() = default;
    explicit TendwickWindow(std::string exe) : m_exe(std::move(exe)) {}
    // A program this object started and that still runs is terminated: a test
    // that fails half-way must not leave it behind for the next one.
    ~TendwickWindow();
    TendwickWindow(const TendwickWindow&) = delete;
    TendwickWindow& operator=(const TendwickWindow&) = delete;

    // Starts the program given at construction, in its own folder, with the
    // arguments; does not wait for its window. False with the reason in Error().
    bool Launch(const std::string& arguments = std::string());
    // Finds the window "Tendwick" of any process (the probe's case) within ms.
    bool Attach(DWORD ms);
    // Waits until the window exists, is visible, has gone idle and has nothing
    // left to paint. False (reason in Error()) at the deadline or when the
    // program ends first. Polls every pollMs.
    bool WaitReady(DWORD ms = DEFAULT_READY_TIMEOUT, DWORD pollMs = 10);

    // Looks for the started program's window once, without waiting.
    bool FindWindowNow() { return FindWindowOfProcess(); }
    HWND Window() const { return m_hWnd; }
    DWORD Pid() const { return m_pid; }
    const std::string& Error() const { return m_error; }
    const std::string& Exe() const { return m_exe; }

    // Keys: raw virtual-key codes posted as the keyboard would deliver them.
    bool Down(UINT vk);
    bool Up(UINT vk);
    bool Press(UINT vk);   // down, then up

    // Reading. A window that does not answer within ANSWER_TIMEOUT gives
    // NO_ANSWER for texts and CLR_INVALID for colours.
    static const char NO_ANSWER[];
    std::string ControlText(int id) const;
    std::string Label(int number) const;            // 1..4
    COLORREF LabelColour(int number) const;
    std::string LabelColourName(int number) const;
    std::string SoftKey(int number) const;          // 1..5; empty when blank
    std::string Corners() const;                    // "left|right", empty when both are
    // The key mask; answered (when given) says whether the window replied.
    DWORD KeyMask(bool* answered = nullptr) const;
    bool IsControlVisible(int id) const;
    bool IsWindowShown() const;
    // True when neither the window nor a visible child has an update region.
    bool IsPainted() const;
    bool IsRunning() const;
    // The window's rectangle on the screen.
    bool WindowRect(RECT* rect) const;

    // Waits for a condition on label number's text; last receives the last
    // text read (for the failure message). Polls every 10 ms.
    enum Match { EQUALS, CONTAINS, DIFFERS };
    bool WaitForLabel(int number, const std::string& text, Match how, DWORD ms, std::string* last = nullptr) const;
    bool WaitForControlVisible(int id, bool visible, DWORD ms) const;
    // Polls a condition every pollMs until it holds or ms have passed.
    static bool WaitUntil(const std::function<bool()>& condition, DWORD ms, DWORD pollMs = 10);
    // True when the program has ended within ms; code receives its exit code.
    bool WaitForExit(DWORD ms, DWORD* code = nullptr) const;
    bool Kill();

    // The screen as a technician reads it, one item a line.
    std::string Describe() const;

private:
    bool FindWindowOfProcess();
    LRESULT Ask(UINT message, WPARAM wParam, bool* answered) const;
    std::string AskAtom(const char* messageName, WPARAM wParam) const;

    std::string m_exe;
    UniqueHandle m_process;
    bool m_bStarted = false;   // this object started the process and owns its end
    DWORD m_pid = 0;
    HWND m_hWnd = nullptr;
    std::string m_error;
};

// "F1".."F6", "UP", "DOWN", "LEFT", "RIGHT", "ESC", "0".."9", "A".."Z" or
// "0xNN" (case ignored); 0 for anything else.
UINT KeyCodeFromName(const std::string& name);
// "white", "green", "yellow", "red" for the label colours, else "#RRGGBB".
std::string ColourName(COLORREF colour);
