#include "TendwickWindow.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Inspection.h"
#include "resource.h"

namespace {

const char WINDOW_TITLE[] = "Tendwick";
// Key-message lParam: repeat count 1; a key-up adds the previous-state and
// transition bits, as the keyboard driver sets them.
const LPARAM KEY_DOWN_BITS = 0x00000001;
const LPARAM KEY_UP_BITS = static_cast<LPARAM>(0xC0000001u);
const DWORD POLL_MS = 10;

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTitledWindowOf(HWND hwnd, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid) return TRUE;
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    if (std::strcmp(title, WINDOW_TITLE) != 0) return TRUE;
    search->found = hwnd;
    return FALSE;
}

BOOL CALLBACK FindUnpaintedChild(HWND child, LPARAM param)
{
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

// The folder part of a Windows path, without the last backslash; empty when
// the path names no folder.
std::string FolderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Multi-line texts: continuation lines indented under the first.
std::string Indented(const std::string& text, size_t indent)
{
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c;
        if (c == '\n') out.append(indent, ' ');
    }
    return out;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

}  // namespace

const char TendwickWindow::NO_ANSWER[] = "(no answer from the window)";

TendwickWindow::~TendwickWindow()
{
    if (m_bStarted && IsRunning()) Kill();
}

bool TendwickWindow::Launch(const std::string& arguments)
{
    if (m_process) {
        m_error = "already started";
        return false;
    }
    std::string commandLine = "\"" + m_exe + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    std::string folder = FolderOf(m_exe);

    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    if (!CreateProcessA(m_exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        m_error = "CreateProcess of " + m_exe + " failed with error " + std::to_string(GetLastError());
        return false;
    }
    CloseHandle(pi.hThread);
    m_process.reset(pi.hProcess);
    m_pid = pi.dwProcessId;
    m_bStarted = true;
    m_hWnd = nullptr;
    m_error.clear();
    return true;
}

bool TendwickWindow::Attach(DWORD ms)
{
    bool found = WaitUntil([this] { return (m_hWnd = FindWindowA(nullptr, WINDOW_TITLE)) != nullptr; }, ms);
    if (!found) {
        m_error = "no window \"Tendwick\" within " + std::to_string(ms) + " ms";
        return false;
    }
    GetWindowThreadProcessId(m_hWnd, &m_pid);
    m_process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, m_pid));
    m_bStarted = false;
    m_error.clear();
    return true;
}

bool TendwickWindow::FindWindowOfProcess()
{
    if (m_hWnd && IsWindow(m_hWnd)) return true;
    WindowSearch search = {m_pid, nullptr};
    EnumWindows(FindTitledWindowOf, reinterpret_cast<LPARAM>(&search));
    m_hWnd = search.found;
    return m_hWnd != nullptr;
}

bool TendwickWindow::WaitReady(DWORD ms, DWORD pollMs)
{
    DWORD start = GetTickCount();
    auto left = [&]() -> DWORD {
        DWORD spent = GetTickCount() - start;
        return spent >= ms ? 0 : ms - spent;
    };
    bool exited = false;
    bool ready = WaitUntil([&] {
        if (m_process && !IsRunning()) {
            exited = true;
            return true;
        }
        if (!FindWindowOfProcess() || !IsWindowVisible(m_hWnd)) return false;
        // Idle: the program has emptied its queue once. The window must also
        // answer a message and have nothing left to paint.
        if (m_process && WaitForInputIdle(m_process.get(), 0) == WAIT_TIMEOUT) return false;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(m_hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, left() + 1, &result)) return false;
        return IsPainted();
    }, ms, pollMs);
    if (exited) {
        DWORD code = 0;
        GetExitCodeProcess(m_process.get(), &code);
        m_error = "the program ended with exit code " + std::to_string(code) + " before its window was ready";
        return false;
    }
    if (!ready) {
        m_error = !m_hWnd ? "no window \"Tendwick\" within " + std::to_string(ms) + " ms"
                          : std::string("the window was not ready (") +
                                (IsWindowVisible(m_hWnd) ? "visible, " : "not visible, ") +
                                (IsPainted() ? "painted" : "not painted") + ") within " + std::to_string(ms) + " ms";
        return false;
    }
    m_error.clear();
    return true;
}

bool TendwickWindow::Down(UINT vk)
{
    return m_hWnd && PostMessageA(m_hWnd, WM_KEYDOWN, vk, KEY_DOWN_BITS);
}

bool TendwickWindow::Up(UINT vk)
{
    return m_hWnd && PostMessageA(m_hWnd, WM_KEYUP, vk, KEY_UP_BITS);
}

bool TendwickWindow::Press(UINT vk)
{
    return Down(vk) && Up(vk);
}

LRESULT TendwickWindow::Ask(UINT message, WPARAM wParam, bool* answered) const
{
    DWORD_PTR result = 0;
    *answered = m_hWnd && message &&
                SendMessageTimeoutA(m_hWnd, message, wParam, 0, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT, &result);
    return *answered ? static_cast<LRESULT>(result) : 0;
}

std::string TendwickWindow::AskAtom(const char* messageName, WPARAM wParam) const
{
    bool answered = false;
    ATOM atom = static_cast<ATOM>(Ask(RegisterWindowMessageA(messageName), wParam, &answered));
    if (!answered) return NO_ANSWER;
    if (atom == 0) return std::string();
    char text[256] = {};
    UINT length = GlobalGetAtomNameA(atom, text, sizeof text);
    // The window made the atom for this one question: the asker frees it.
    GlobalDeleteAtom(atom);
    return std::string(text, length);
}

std::string TendwickWindow::ControlText(int id) const
{
    HWND control = m_hWnd ? GetDlgItem(m_hWnd, id) : nullptr;
    if (!control) return NO_ANSWER;
    DWORD_PTR length = 0;
    if (SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT, &length)) {
        std::vector<char> text(length + 2, '\0');
        DWORD_PTR copied = 0;
        if (SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                SMTO_ABORTIFHUNG, ANSWER_TIMEOUT, &copied))
            return std::string(text.data(), copied < text.size() ? copied : text.size() - 1);
    }
    // A busy window still has the text it last set: read it without asking.
    char text[1024] = {};
    int copied = GetWindowTextA(control, text, sizeof text);
    return copied > 0 ? std::string(text, copied) : NO_ANSWER;
}

std::string TendwickWindow::Label(int number) const
{
    if (number < 1 || number > 4) return NO_ANSWER;
    return ControlText(IDC_LABEL1 + number - 1);
}

COLORREF TendwickWindow::LabelColour(int number) const
{
    bool answered = false;
    LRESULT colour = Ask(RegisterWindowMessageA(INSPECT_LABEL_COLOUR_MSG), number, &answered);
    return answered ? static_cast<COLORREF>(colour) : CLR_INVALID;
}

std::string TendwickWindow::LabelColourName(int number) const
{
    COLORREF colour = LabelColour(number);
    return colour == CLR_INVALID ? NO_ANSWER : ColourName(colour);
}

std::string TendwickWindow::SoftKey(int number) const
{
    return AskAtom(INSPECT_SOFTKEY_MSG, number);
}

std::string TendwickWindow::Corners() const
{
    return AskAtom(INSPECT_CORNERS_MSG, 0);
}

DWORD TendwickWindow::KeyMask(bool* answered) const
{
    bool replied = false;
    DWORD mask = static_cast<DWORD>(Ask(RegisterWindowMessageA(INSPECT_KEYMASK_MSG), 0, &replied));
    if (answered) *answered = replied;
    return mask;
}

bool TendwickWindow::IsControlVisible(int id) const
{
    HWND control = m_hWnd ? GetDlgItem(m_hWnd, id) : nullptr;
    return control && IsWindowVisible(control);
}

bool TendwickWindow::IsWindowShown() const
{
    return m_hWnd && IsWindowVisible(m_hWnd);
}

bool TendwickWindow::IsPainted() const
{
    if (!m_hWnd || GetUpdateRect(m_hWnd, nullptr, FALSE)) return false;
    bool unpainted = false;
    EnumChildWindows(m_hWnd, FindUnpaintedChild, reinterpret_cast<LPARAM>(&unpainted));
    return !unpainted;
}

bool TendwickWindow::IsRunning() const
{
    return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

bool TendwickWindow::WindowRect(RECT* rect) const
{
    return m_hWnd && GetWindowRect(m_hWnd, rect);
}

bool TendwickWindow::WaitUntil(const std::function<bool()>& condition, DWORD ms, DWORD pollMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(pollMs);
    }
}

bool TendwickWindow::WaitForLabel(int number, const std::string& text, Match how, DWORD ms, std::string* last) const
{
    std::string seen;
    bool met = WaitUntil([&] {
        seen = Label(number);
        if (seen == NO_ANSWER) return false;
        switch (how) {
        case EQUALS: return seen == text;
        case CONTAINS: return seen.find(text) != std::string::npos;
        case DIFFERS: return seen != text;
        }
        return false;
    }, ms, POLL_MS);
    if (last) *last = seen;
    return met;
}

bool TendwickWindow::WaitForControlVisible(int id, bool visible, DWORD ms) const
{
    return WaitUntil([&] { return IsControlVisible(id) == visible; }, ms, POLL_MS);
}

bool TendwickWindow::WaitForExit(DWORD ms, DWORD* code) const
{
    if (!m_process || WaitForSingleObject(m_process.get(), ms) != WAIT_OBJECT_0) return false;
    if (code) GetExitCodeProcess(m_process.get(), code);
    return true;
}

bool TendwickWindow::Kill()
{
    if (!m_process) return false;
    if (!IsRunning()) return true;
    // An attached window's process was opened without the right to end it.
    UniqueHandle killer(OpenProcess(PROCESS_TERMINATE, FALSE, m_pid));
    if (!killer || !TerminateProcess(killer.get(), 1)) return false;
    return WaitForSingleObject(m_process.get(), 5000) == WAIT_OBJECT_0;
}

std::string TendwickWindow::Describe() const
{
    if (!m_hWnd || !IsWindow(m_hWnd)) return "no window \"Tendwick\"\n";
    std::string out;
    for (int n = 1; n <= 4; ++n) {
        std::string head = "label " + std::to_string(n) + " [" + LabelColourName(n) + "]: ";
        out += head + Indented(Label(n), head.size()) + "\n";
    }
    for (int n = 1; n <= 5; ++n) {
        std::string head = "soft key " + std::to_string(n) + ": ";
        out += head + Indented(SoftKey(n), head.size()) + "\n";
    }
    std::string corners = Corners();
    std::string::size_type bar = corners.find('|');
    if (corners.empty())
        out += "corners: none\n";
    else if (bar == std::string::npos)
        out += "corners: " + corners + "\n";
    else
        out += "corners: left " + Quoted(corners.substr(0, bar)) + ", right " + Quoted(corners.substr(bar + 1)) + "\n";
    bool answered = false;
    DWORD mask = KeyMask(&answered);
    char maskText[32] = {};
    if (answered)
        std::snprintf(maskText, sizeof maskText, "0x%lX", static_cast<unsigned long>(mask));
    out += std::string("key mask: ") + (maskText[0] ? maskText : NO_ANSWER) + "\n";
    if (IsControlVisible(IDC_SN_EDIT) || IsControlVisible(IDC_SN_CAPTION)) {
        out += "serial: " + ControlText(IDC_SN_CAPTION) + " " + Quoted(ControlText(IDC_SN_EDIT));
        if (IsControlVisible(IDC_SN_STATUS)) out += " (" + ControlText(IDC_SN_STATUS) + ")";
        out += "\n";
    } else {
        out += "serial: hidden\n";
    }
    out += std::string("progress: ") + (IsControlVisible(IDC_PROGRESS) ? "visible" : "hidden") + "\n";
    return out;
}

UINT KeyCodeFromName(const std::string& name)
{
    std::string key = Upper(name);
    static const struct { const char* name; UINT code; } named[] = {
        {"UP", VK_UP}, {"DOWN", VK_DOWN}, {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT}, {"ESC", VK_ESCAPE},
    };
    for (const auto& n : named)
        if (key == n.name) return n.code;
    if (key.size() == 2 && key[0] == 'F' && key[1] >= '1' && key[1] <= '6') return VK_F1 + (key[1] - '1');
    if (key.size() == 1 && (std::isdigit(static_cast<unsigned char>(key[0])) || (key[0] >= 'A' && key[0] <= 'Z')))
        return static_cast<UINT>(key[0]);
    if (key.size() > 2 && key.size() <= 4 && key[0] == '0' && key[1] == 'X') {
        char* end = nullptr;
        unsigned long code = std::strtoul(key.c_str() + 2, &end, 16);
        if (*end == '\0' && code > 0 && code < 256) return static_cast<UINT>(code);
    }
    return 0;
}

std::string ColourName(COLORREF colour)
{
    switch (colour) {
    case RGB(255, 255, 255): return "white";
    case RGB(0, 255, 0): return "green";
    case RGB(255, 255, 0): return "yellow";
    case RGB(255, 0, 0): return "red";
    }
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}
