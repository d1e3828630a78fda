// Reads the debug output (OutputDebugStringA) the way a debug monitor does:
// the mapping "DBWIN_BUFFER" (first DWORD the writer's process id, then the
// text) handed back and forth with the auto-reset events "DBWIN_BUFFER_READY"
// and "DBWIN_DATA_READY". Only one reader can be active at a time.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct DbwinMessage {
    DWORD       pid;
    std::string text;
};

class DbwinCapture {
public:
    enum Scope { ThisProcess, AllProcesses };

    // Starts the reader thread; texts arrive from then on.
    explicit DbwinCapture(Scope scope = ThisProcess);
    ~DbwinCapture();
    DbwinCapture(const DbwinCapture&) = delete;
    DbwinCapture& operator=(const DbwinCapture&) = delete;

    // False when the objects could not be created or another reader holds them.
    bool Active() const { return m_active; }

    std::vector<std::string>  Texts() const;
    std::vector<DbwinMessage> Messages() const;
    bool Contains(const std::string& substr) const;
    // How many texts are exactly `text`.
    size_t Count(const std::string& text) const;
    void Clear();

    // Waits until a text containing substr has arrived.
    bool WaitFor(const std::string& substr, DWORD ms);

    // Writes a marker of its own and waits for it: texts written before the
    // call, by this process or by a process that has ended, have then arrived.
    // The marker is not collected.
    bool Flush(DWORD ms = 5000);

private:
    void Run();
    bool ContainsLocked(const std::string& substr) const;

    Scope       m_scope;
    DWORD       m_pid;
    bool        m_active = false;
    HANDLE      m_bufferReady = nullptr;
    HANDLE      m_dataReady = nullptr;
    HANDLE      m_stop = nullptr;
    HANDLE      m_mapping = nullptr;
    const char* m_view = nullptr;
    std::thread m_thread;

    mutable std::mutex        m_lock;
    std::condition_variable   m_arrived;
    std::vector<DbwinMessage> m_messages;
    std::string               m_markerPrefix;
    unsigned                  m_markerSerial = 0;
    std::vector<std::string>  m_markersSeen;
};
