// What the engine's tests share: a window that records what the engine asks
// of it, registry changes that are undone after each test, a fresh store
// directory per test, the media drive E: and the run log as it reaches the
// debug output.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DbwinCapture.h"
#include "Disabling.h"
#include "EngineKeys.h"
#include "IdentityRules.h"
#include "MediaLinks.h"
#include "MediaServices.h"
#include "MessagePump.h"
#include "RegistryAccess.h"
#include "RestoreFlow.h"
#include "RunMaint.h"
#include "SaveFlow.h"
#include "UnitIdentity.h"
#include "TestFiles.h"

class RecordingWindow : public RunWindow {
public:
    std::vector<std::string> calls;

    void SetStatusText(const char* text, int colour) override { Record("SetStatusText", text, colour); }
    void SetDetailText(const char* text, int colour) override { Record("SetDetailText", text, colour); }
    void SetNoteText(const char* text, int colour) override { Record("SetNoteText", text, colour); }
    void SetProgressRange(int low, int high) override
    {
        calls.push_back("SetProgressRange(" + std::to_string(low) + "," + std::to_string(high) + ")");
    }
    void StepProgress() override { calls.push_back("StepProgress()"); }
    bool ShowConfirm(const char* question, bool onF1) override
    {
        calls.push_back(std::string("ShowConfirm(") + question + (onF1 ? ",F1)" : ",F3)"));
        return true;
    }
    void SetKeyMask(uint32_t mask) override { calls.push_back("SetKeyMask(" + std::to_string(mask) + ")"); }
    void BeginSerialEntry(const char* text) override { calls.push_back(std::string("BeginSerialEntry(") + text + ")"); }
    bool ShowSerialEntry() override
    {
        calls.push_back("ShowSerialEntry()");
        return true;
    }
    bool GetEnteredSerial(char* text, size_t size) override
    {
        calls.push_back("GetEnteredSerial()");
        return false;
    }

private:
    void Record(const char* what, const char* text, int colour)
    {
        calls.push_back(std::string(what) + "(" + text + "," + std::to_string(colour) + ")");
    }
};

// Registry values changed by a test, restored (or removed again) when it
// ends; keys that the test created are removed too.
class RegistrySandbox {
public:
    RegistrySandbox() = default;
    ~RegistrySandbox() { RestoreAll(); }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    void SetString(HKEY root, const std::string& key, const char* name, const std::string& text);
    // Stores exactly these bytes as a string value (no terminator added).
    void SetRawString(HKEY root, const std::string& key, const char* name, const std::string& bytes);
    void SetDword(HKEY root, const std::string& key, const char* name, DWORD value);
    void Delete(HKEY root, const std::string& key, const char* name);
    // Remembers a key the test itself creates, to remove it (with what it holds) at the end.
    void AdoptKey(HKEY root, const std::string& key);
    void RestoreAll();

private:
    struct Saved {
        HKEY              root;
        std::string       key;
        std::string       name;
        bool              existed;
        DWORD             type;
        std::vector<BYTE> data;
    };
    struct CreatedKey {
        HKEY        root;
        std::string key;
    };
    HKEY Prepare(HKEY root, const std::string& key, const char* name);

    std::vector<Saved>      m_saved;
    std::vector<CreatedKey> m_created;
};

// Removes a key and everything below it.
void DeleteRegistryTree(HKEY root, const std::string& key);
bool RegistryKeyExists(HKEY root, const std::string& key);

// A run context read now, as the engine's next press would read it (for the
// unit the engine was given). Each call reads anew; the one before goes.
CRunContext& FreshRun(const CRunMaint& engine);

// The undo as a Restore press of the source unit runs it; the outcome in
// LastUndoOutcome().
bool UndoSave(const CRunMaint& engine);
const RestoreOutcome& LastUndoOutcome();

// The debug-output reader of the test program (see EngineTestMain.cpp).
DbwinCapture& LogCapture();

// The lines of the run log that this process wrote since the last ClearLog,
// as they reached the debug output.
std::vector<std::string> LogLines();
void ClearLog();
// How many lines carry exactly this message at this level ("ERROR",
// "WARNING", "EVENT", or "" for trace).
size_t LoggedAt(const char* label, const std::string& message);
// The messages (without time stamp and label) of the lines that contain part.
std::vector<std::string> LoggedMessages(const std::string& part);

const char kCorvane[] = "Software\\Corvane";
const char kSysSetup[] = "Software\\Corvane\\SysSetup";
const char kComputerNameKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char kMediaConfig[] = "E:\\ZelConfig";

// A test with its own store directory (also registered as "PersistPath"),
// a clean media configuration folder on E:, a recording window and an engine.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The store directory, ending in a backslash.
    const std::string& PersistRoot() const { return m_persistRoot; }
    void StoreString(const char* subdir, const char* key, const char* name, const char* value);
    std::string ReadStoreString(const char* subdir, const char* key, const char* name);
    void SetFerrox(const char* key, const char* value) { StoreString("ShellPersist", key, "Ferrox", value); }
    void WriteSavedIdentity(const std::string& record)
    {
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\SWPartNum.txt", record));
    }

    RegistrySandbox registry;
    RecordingWindow window;
    CRunMaint       engine{&window};

private:
    std::string m_tempRoot;
    std::string m_persistRoot;
};

// For tests that need "Software\Corvane" to be missing: skipped when the key
// holds anything, so that nothing of anybody else is lost.
class NoCorvaneKeyTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    RecordingWindow window;
    CRunMaint       engine{&window};

private:
    bool m_recreate = false;
};
