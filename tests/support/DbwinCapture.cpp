#include "DbwinCapture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

const DWORD kBufferBytes = 4096;

}  // namespace

DbwinCapture::DbwinCapture(Scope scope) : m_scope(scope), m_pid(GetCurrentProcessId())
{
    char prefix[64];
    std::snprintf(prefix, sizeof(prefix), "DbwinCapture-marker-%lu-%p-", static_cast<unsigned long>(m_pid),
                  static_cast<void*>(this));
    m_markerPrefix = prefix;

    m_bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    bool taken = m_bufferReady && GetLastError() == ERROR_ALREADY_EXISTS;
    m_dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    taken = taken || (m_dataReady && GetLastError() == ERROR_ALREADY_EXISTS);
    m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, "DBWIN_BUFFER");
    taken = taken || (m_mapping && GetLastError() == ERROR_ALREADY_EXISTS);
    if (m_mapping) m_view = static_cast<const char*>(MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, kBufferBytes));
    m_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    if (!taken && m_bufferReady && m_dataReady && m_view && m_stop) {
        m_active = true;
        m_thread = std::thread([this] { Run(); });
    }
}

DbwinCapture::~DbwinCapture()
{
    if (m_thread.joinable()) {
        SetEvent(m_stop);
        m_thread.join();
    }
    if (m_view) UnmapViewOfFile(m_view);
    for (HANDLE h : {m_mapping, m_bufferReady, m_dataReady, m_stop}) {
        if (h) CloseHandle(h);
    }
}

void DbwinCapture::Run()
{
    HANDLE waits[2] = {m_stop, m_dataReady};
    SetEvent(m_bufferReady);
    for (;;) {
        DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0 + 1) break;

        DbwinMessage message;
        message.pid = *reinterpret_cast<const DWORD*>(m_view);
        const char* text = m_view + sizeof(DWORD);
        size_t n = 0;
        while (n < kBufferBytes - sizeof(DWORD) && text[n] != '\0') ++n;
        message.text.assign(text, n);
        SetEvent(m_bufferReady);

        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (message.pid == m_pid && message.text.compare(0, m_markerPrefix.size(), m_markerPrefix) == 0) {
                m_markersSeen.push_back(message.text);
            } else if (m_scope == AllProcesses || message.pid == m_pid) {
                m_messages.push_back(std::move(message));
            }
        }
        m_arrived.notify_all();
    }
}

std::vector<std::string> DbwinCapture::Texts() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> texts;
    for (const DbwinMessage& m : m_messages) texts.push_back(m.text);
    return texts;
}

std::vector<DbwinMessage> DbwinCapture::Messages() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messages;
}

bool DbwinCapture::ContainsLocked(const std::string& substr) const
{
    return std::any_of(m_messages.begin(), m_messages.end(),
                       [&](const DbwinMessage& m) { return m.text.find(substr) != std::string::npos; });
}

bool DbwinCapture::Contains(const std::string& substr) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return ContainsLocked(substr);
}

size_t DbwinCapture::Count(const std::string& text) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<size_t>(std::count_if(m_messages.begin(), m_messages.end(),
                                             [&](const DbwinMessage& m) { return m.text == text; }));
}

void DbwinCapture::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.clear();
}

bool DbwinCapture::WaitFor(const std::string& substr, DWORD ms)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_arrived.wait_for(guard, std::chrono::milliseconds(ms), [&] { return ContainsLocked(substr); });
}

bool DbwinCapture::Flush(DWORD ms)
{
    if (!m_active) return false;
    std::string marker;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        marker = m_markerPrefix + std::to_string(++m_markerSerial);
    }
    OutputDebugStringA(marker.c_str());
    std::unique_lock<std::mutex> guard(m_lock);
    return m_arrived.wait_for(guard, std::chrono::milliseconds(ms), [&] {
        return std::find(m_markersSeen.begin(), m_markersSeen.end(), marker) != m_markersSeen.end();
    });
}
