// One press, one reading of its roots: the registry key of the engine's
// settings is opened once per press (the window's survey and the run share it), a restore clears the media once, and
// the restore's own steps (the save's serial number for a unit without one)
// are the engine's, not the window's.
#include "EngineFixture.h"

#include "EngineFileCalls.h"
#include "KeyFileFormat.h"
#include "Retenta.h"

#include <cstring>

namespace {

const uint32_t kSaveKey = 0x70;
const uint32_t kRestoreKey = 0x72;
const char kPart[] = "612-00340-800";
const char kPartText[] = "612-00340-800 Rev 0";

// What the calls through the table did during one press.
struct PressCalls {
    int nCorvaneOpens = 0;    // opens of "Software\Corvane" itself
    int nRecordDeletes = 0;   // deletes of the save's identity record: one per clearing
};

PressCalls g_calls;
const EngineFileCalls* g_pReal = nullptr;

bool EndsWith(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() && _stricmp(text.c_str() + text.size() - ending.size(), ending.c_str()) == 0;
}

LONG WINAPI CountingOpen(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    if (root == HKEY_CURRENT_USER && path && _stricmp(path, kCorvane) == 0) ++g_calls.nCorvaneOpens;
    return g_pReal->osRegOpenKeyExA(root, path, options, access, key);
}

BOOL WINAPI CountingDelete(LPCSTR path)
{
    if (path && EndsWith(path, "\\ZelConfig\\SWPartNum.txt")) ++g_calls.nRecordDeletes;
    return g_pReal->osDeleteFileA(path);
}

class RunPress : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        StoreString("ShellPersist", "SystemData", "SoftwarePartNum", kPartText);
        SetFerrox("ShellConfig", "RESTORED");
        engine.SetSwPartNum(kPart, 0);
    }
    void SaveOnMedia(const char* serial)
    {
        WriteSavedIdentity(std::string(serial) + "|" + kPartText);
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri",
                                           keyfile::BuildKeyFile("", 0)));
    }
    // One press as the window makes it (the media judged again, then the
    // run), with the table counting.
    PressCalls Press(uint32_t key, MaintResult expected)
    {
        EngineFileCalls counting = DefaultEngineFileCalls();
        counting.osRegOpenKeyExA = CountingOpen;
        counting.osDeleteFileA = CountingDelete;
        CScopedEngineFileCalls scope(counting);
        g_pReal = &scope.Previous();
        g_calls = PressCalls();
        engine.Survey();
        EXPECT_EQ(expected, engine.MaintRun(&window, key));
        return g_calls;
    }
};

} // namespace

TEST_F(RunPress, EachPressOfSaveReadsTheRootsOnce)
{
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "UNIT1001");
    EnableBackupPrivileges();
    engine.Survey();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
    EXPECT_EQ(1, Press(kSaveKey, MaintResult::Pending).nCorvaneOpens) << "the question";
    const PressCalls saving = Press(kSaveKey, MaintResult::Done);
    EXPECT_EQ(1, saving.nCorvaneOpens) << "the save with its disabling";
    EXPECT_EQ(1, saving.nRecordDeletes) << "the media is cleared once, before the copies";
}

TEST_F(RunPress, ARestorePressReadsTheRootsOnceAndClearsTheMediaOnce)
{
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "UNIT2002");
    SaveOnMedia("UNIT1001");
    engine.Survey();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(1, Press(kRestoreKey, MaintResult::Pending).nCorvaneOpens) << "the question";
    const PressCalls restoring = Press(kRestoreKey, MaintResult::Done);
    EXPECT_EQ(1, restoring.nCorvaneOpens);
    EXPECT_EQ(1, restoring.nRecordDeletes);
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
}

TEST_F(RunPress, ARestoreGivesAUnitWithoutAValidSerialNumberTheSaves)
{
    struct Row {
        const char* unitSerial;   // the unit's own, from its user registry
        const char* stored;       // the store's number after the restore
    } const rows[] = {
        {"UNIT2002", "<missing>"},   // a valid number of its own stays the only one
        {"TARNVELLO", "UNIT1001"},   // the fixed text is no number: the save's is stored
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.unitSerial);
        registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", row.unitSerial);
        SaveOnMedia("UNIT1001");
        engine.ResetPrompts();
        engine.Survey();
        ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
        Press(kRestoreKey, MaintResult::Pending);
        Press(kRestoreKey, MaintResult::Done);
        EXPECT_EQ(row.stored, ReadStoreString("ShellPersist", "SystemData", "SerialNumber"));
        EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\SWPartNum.txt"));
    }
}
