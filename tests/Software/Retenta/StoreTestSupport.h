// Helpers for the tests that drive Retenta.dll through its exports: results
// with their detail codes, throwaway store directories, registry values that
// are put back, key files read and checked byte by byte.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "DbwinCapture.h"
#include "Retenta.h"
#include "TestFiles.h"

// A store result and the detail code the call left in the last-error value.
struct Outcome {
    long  result;
    DWORD detail;
    bool  anyDetail;   // after PERS_SUCCESS the detail carries no meaning

    bool operator==(const Outcome& o) const
    {
        return result == o.result && (anyDetail || o.anyDetail || detail == o.detail);
    }
};
std::ostream& operator<<(std::ostream& os, const Outcome& o);

// What a call gave: its result and, read at once, the detail code.
inline Outcome Got(long result)
{
    DWORD detail = GetLastError();
    return Outcome{result, detail, false};
}
inline Outcome Success() { return Outcome{PERS_SUCCESS, 0, true}; }
// PERS_SUCCESS with an exact detail (the open's recovery codes, or none).
inline Outcome SuccessWith(DWORD detail) { return Outcome{PERS_SUCCESS, detail, false}; }
inline Outcome Info(DWORD detail) { return Outcome{PERS_SUCCESS_INFO, detail, false}; }
inline Outcome Failed(DWORD detail) { return Outcome{PERS_FAILED, detail, false}; }

// Runs body on a thread of its own and waits for it. The store keeps every
// key a thread opened until the thread ends, so each test's store work runs
// on a fresh thread: nothing carries over between tests.
void OnThread(const std::function<void()>& body);

// The program's one reader of the debug output (only one reader can be
// active at a time), started on first use.
DbwinCapture& DebugOutput();

// The debug texts the store wrote while body ran on a thread of its own.
std::vector<std::string> TextsDuring(const std::function<void()>& body);

// Shows CR and LF so that a failed comparison of key files is readable.
std::string Visible(const std::string& bytes);

// The key file for the given value lines (each already ending in CR LF):
// the lines, then "CRC:%u\r\n" over them.
std::string KeyFile(const std::string& lines);

// True when some drive letter ('d', 'e', ...) is mapped.
bool DriveExists(char letter);

// A directory of its own on D: (or under the temp folder when D: is missing),
// removed with everything in it, and its mirror on E:, at the end of the test.
class TempStoreDir {
public:
    TempStoreDir();
    ~TempStoreDir();
    TempStoreDir(const TempStoreDir&) = delete;
    TempStoreDir& operator=(const TempStoreDir&) = delete;

    // Without a trailing backslash: "D:\rt-1234-5".
    const std::string& Path() const { return m_path; }
    // The same path on another drive ("e:\rt-1234-5" for 'e').
    std::string OnDrive(char letter) const;

private:
    std::string m_path;
};

// One string value under HKCU\Software\Corvane, put back as it was (or
// removed again) when the guard ends.
class CorvaneValue {
public:
    explicit CorvaneValue(const char* name);
    ~CorvaneValue();
    CorvaneValue(const CorvaneValue&) = delete;
    CorvaneValue& operator=(const CorvaneValue&) = delete;

    void Set(const std::string& value);
    void Remove();

private:
    std::string m_name;
    bool        m_had = false;
    DWORD       m_type = REG_SZ;
    std::vector<BYTE> m_old;
};

// The shared name the store gives a key, e.g. "d:/rt-12-3/shellpersist/shellconfig".
std::string SharedKeyName(const std::string& keyDirectory, const std::string& keyName);
// The reference count in a key's control block, or -1 when no user holds it.
long SharedKeyUsers(const std::string& sharedName);
// The capacity of a key's data block (bytes), or -1 when no user holds it.
long SharedKeyCapacity(const std::string& sharedName);

// The common frame of the store tests: a fresh base path for the test,
// "PersistBkupDrive" absent (so the secondary lies beside the primary), and
// helpers naming the key files.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Base path as the store holds it: "D:\rt-1234-5\".
    std::string Base() const { return m_dir->Path() + "\\"; }
    std::string Pri(const std::string& sub, const std::string& key) const
    {
        return m_dir->Path() + "\\" + sub + "\\" + key + ".pri";
    }
    std::string Sec(const std::string& sub, const std::string& key) const
    {
        return m_dir->Path() + "\\" + sub + "\\" + key + ".sec";
    }
    std::string KeyName(const std::string& sub, const std::string& key) const
    {
        return SharedKeyName(m_dir->Path() + "\\" + sub, key);
    }
    // Puts the same valid key file (built from lines) in place as primary and
    // secondary, creating the key directory.
    void PlaceKey(const std::string& sub, const std::string& key, const std::string& lines);

    TempStoreDir* m_dir = nullptr;
    CorvaneValue* m_backupDrive = nullptr;
};

// Both files of a key hold exactly `expected`.
#define EXPECT_KEY_FILES(pri, sec, expected)                                                            \
    do {                                                                                                \
        std::string expected_ = (expected);                                                             \
        EXPECT_EQ(Visible(expected_), Visible(ReadFileBytes(pri))) << "primary " << (pri);              \
        EXPECT_EQ(Visible(expected_), Visible(ReadFileBytes(sec))) << "secondary " << (sec);            \
    } while (0)
