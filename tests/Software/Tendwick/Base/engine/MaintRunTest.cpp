// One maintenance run per key press: what it shows, what it returns and
// which flow it starts, with the real flows, store, registry and media.
#include "EngineFixture.h"

#include "Retenta.h"
#include "Crc32.h"
#include "KeyFileFormat.h"

#include <algorithm>

namespace {

const uint32_t kSaveKey = 0x70;
const uint32_t kRestoreKey = 0x72;
const char kPart[] = "612-00340-800";
const char kPartText[] = "612-00340-800 Rev 0";
const char kRestorePrompt[] =
    "ShowConfirm(Restore will copy saved data to this unit and clear it from the removable media. Continue "
    "restore?,F3)";

// A saved key file as the save writes it, with its checksum line.
std::string SavedKey(const std::string& lines)
{
    return keyfile::BuildKeyFile(lines.data(), lines.size());
}

class RunWindowRecorder : public RecordingWindow {
public:
    void RequestRepaint() override { calls.push_back("RequestRepaint()"); }
};

bool Called(const std::vector<std::string>& calls, const std::string& call)
{
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// The calls that show something or change what the window accepts.
std::vector<std::string> Visible(const std::vector<std::string>& calls)
{
    std::vector<std::string> shown;
    for (const std::string& call : calls)
        if (call.rfind("SetProgressRange", 0) != 0 && call != "RequestRepaint()" && call != "StepProgress()")
            shown.push_back(call);
    return shown;
}

class MaintRunTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        DeleteFileA("E:\\VevezaDE1.DAT");
        DeleteFileA("E:\\VevezaDE2.DAT");
    }
    void TearDown() override
    {
        DeleteFileA("E:\\VevezaDE1.DAT");
        DeleteFileA("E:\\VevezaDE2.DAT");
        EngineTest::TearDown();
    }

    // A unit of a supported release with a serial number of its own, as the
    // window sets the engine up when it opens.
    void Unit(const char* serial, const char* ferrox)
    {
        StoreString("ShellPersist", "SystemData", "SoftwarePartNum", kPartText);
        registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", serial);
        SetFerrox("ShellConfig", ferrox);
        engine.SetSwPartNum(kPart, 0);
    }
    void SaveOnMedia(const char* serial, const char* partText = kPartText)
    {
        WriteSavedIdentity(std::string(serial) + "|" + partText);
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri",
                                           SavedKey("\"SplashNoticeBitmap\"=string:\"C:\\zelsys\\Splash.bmp\"\r\n")));
    }
    void OpenWindow()
    {
        EligibilityStatus status = ELIG_NONE;
        if (engine.AreThereSavedFiles()) {
            char part[32] = {}, serial[32] = {};
            int revision = -1;
            engine.ReadSavedPartNum(part, &revision, serial);
            engine.ChkRestoreAllow(part, revision, kPart, 0, &status);
        }
        engine.ChkSave(kPart, 0, &status);
    }
    MaintResult Press(uint32_t key)
    {
        keys.calls.clear();
        return engine.MaintRun(&keys, key);
    }
    // The save on the media is the one whose hive copy the unit keeps: the
    // checksum file gives that copy's CRC.
    void SaveOfThisRun(const std::string& hive = "hive")
    {
        ASSERT_TRUE(WriteFileMakingFolders("C:\\CopyOfCorvaneUserReg.reg", hive));
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.chk",
                                           std::to_string(static_cast<int>(keyfile::Crc32(hive.data(), hive.size()))) +
                                               "\n"));
    }
    // The state an undo leaves when it is cut off after it recorded
    // "RESTORED-ORIGINAL", before it cleared the media: its proof names the save.
    void UndoCutOffAfterItsState(const char* stateKey)
    {
        CDisabling(FreshRun(engine)).WriteUndoProof();
        SetFerrox(stateKey, "RESTORED-ORIGINAL");
    }
    bool SavedFilesRemain() { return FileExists(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg"); }

    RunWindowRecorder keys;
};

TEST_F(MaintRunTest, AKeyThatMayNotRunOnlySetsTheProgressRangeAndRepaints)
{
    Unit("UNIT1001", "RESTORED");
    // A save present refuses the save key; one of a release that may not be
    // restored here refuses the restore key.
    SaveOnMedia("UNIT2002", "612-00340-800 Rev 3");
    OpenWindow();
    ASSERT_FALSE(engine.LastSurvey().bSaveAllowed);
    for (uint32_t key : {kSaveKey, 0x71u, kRestoreKey}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(MaintResult::Pending, Press(key));
        EXPECT_EQ(std::vector<std::string>{}, Visible(keys.calls));
        EXPECT_EQ("RequestRepaint()", keys.calls.back());
    }
    EXPECT_TRUE(SavedFilesRemain());
}

TEST_F(MaintRunTest, WithoutARealSerialNumberSourceNothingHappens)
{
    Unit("UNIT1001", "SAVED");
    registry.Delete(HKEY_CURRENT_USER, kSysSetup, "SerialNumber");
    registry.Delete(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName");
    SaveOnMedia("TARNVELLO");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_TRUE(keys.calls.empty()) << keys.calls[0];
    EXPECT_EQ(RestoreStage::Start, engine.Prompts().restoreStage);
}

TEST_F(MaintRunTest, TheRestoreOntoTheDisabledSourceUnitUndoesTheDisabling)
{
    Unit("UNIT1001", "RESTORED");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE2.DAT", "BM"));
    StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
    CDisabling(FreshRun(engine)).FinishSaveShell();
    SaveOnMedia("UNIT1001");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);

    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(std::vector<std::string>{kRestorePrompt}, Visible(keys.calls));
    EXPECT_EQ(RestoreStage::Confirmed, engine.Prompts().restoreStage);
    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_TRUE(SavedFilesRemain());

    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey));
    EXPECT_EQ("SetKeyMask(0)", Visible(keys.calls).at(0)) << "keys blocked before anything changes";
    EXPECT_TRUE(Called(keys.calls, "SetStatusText(Configuration Restored,0)"));
    EXPECT_EQ("RESTORED-ORIGINAL", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", ReadStoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap"));
    EXPECT_FALSE(FileExists(PersistRoot() + "Dormantis.exe"));
    EXPECT_FALSE(SavedFilesRemain());
    EXPECT_EQ(RestoreStage::Confirmed, engine.Prompts().restoreStage) << "the stage is not reset";
}

TEST_F(MaintRunTest, ADisabledUnitDoesNotTakeTheSaveOfAUnitWhoseSerialItBegins)
{
    // The window opened on the unit's own save; then the stick of unit
    // UNIT10012 came in. Its save must stay, and this unit stays disabled.
    Unit("UNIT1001", "SAVED");
    SaveOnMedia("UNIT1001");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    SaveOnMedia("UNIT10012");

    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_TRUE(SavedFilesRemain());
    EXPECT_EQ("UNIT10012|612-00340-800 Rev 0", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
}

TEST_F(MaintRunTest, ASaveCutOffBeforeTheDisablingIsMadeAgain)
{
    // The unit's own save is on the media, but the unit was never disabled.
    Unit("UNIT1001", "RESTORED");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
    SaveOnMedia("UNIT1001");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
    EXPECT_TRUE(Called(keys.calls, "ShowConfirm(Save will disable this unit. Overwrite Previous Save?,F1)"));
    EXPECT_EQ(MaintResult::Done, Press(kSaveKey));
    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_EQ("UNIT1001|612-00340-800 Rev 0", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
    EXPECT_NE("hive", ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg")) << "saved anew";

    // Another unit's save, or one this unit cannot tell for its own, stays protected.
    for (const char* saved : {"UNIT1002", "UNIT100"}) {
        SCOPED_TRACE(saved);
        SetFerrox("ShellConfig", "RESTORED");
        SaveOnMedia(saved);
        EligibilityStatus status = ELIG_NONE;
        EXPECT_FALSE(engine.ChkSave(kPart, 0, &status));
        EXPECT_EQ(2, status);
    }
}

TEST_F(MaintRunTest, ADisablingCutOffIsFinishedByTheSaveKey)
{
    Unit("UNIT1001", "RESTORED");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE2.DAT", "BM"));
    StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
    // The save was proven; its disabling stopped after its first steps.
    SaveOnMedia("UNIT1001");
    SaveOfThisRun();
    SetFerrox("ShellConfig", "SAVED");
    ASSERT_NE(PERS_FAILED, PersistOneDW("ShellPersist", "ShellConfig", 1000, "NumStartupApps", 0));
    const std::string savedMedia = ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg");

    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
    // The question every save asks comes first; the unit is not touched yet.
    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
    EXPECT_TRUE(Called(keys.calls, "ShowConfirm(Save will disable this unit. Continue save?,F1)"));
    EXPECT_EQ("<missing>", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    EXPECT_EQ(MaintResult::Done, Press(kSaveKey));
    EXPECT_TRUE(Called(keys.calls, "SetKeyMask(0)")) << "no key during the disabling";
    EXPECT_TRUE(Called(keys.calls, "SetStatusText(Configuration Saved,0)"));
    EXPECT_EQ(PersistRoot() + "Dormantis.exe|Ferx|noregister",
              ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    unsigned long apps = 0;
    EXPECT_NE(PERS_FAILED, GetOnePersistedDW("ShellPersist", "ShellConfig", 1000, "NumStartupApps", &apps));
    EXPECT_EQ(1u, apps);
    EXPECT_EQ("C:\\zelsys\\Splash.bmp| ", ReadFileBytes(PersistRoot() + "SWDisable.txt"));
    EXPECT_EQ(savedMedia, ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg")) << "the save stands";

    // Once the disabling is complete the unit may not save again, as after
    // any save; nor beside another unit's save.
    for (const char* saved : {"UNIT1001", "UNIT1002"}) {
        SCOPED_TRACE(saved);
        SaveOnMedia(saved);
        EligibilityStatus status = ELIG_NONE;
        EXPECT_FALSE(engine.ChkSave(kPart, 0, &status));
        EXPECT_EQ(2, status);
    }
}

TEST_F(MaintRunTest, AnUndoCutOffAfterItsStateIsFinishedByItsProof)
{
    Unit("UNIT1001", "RESTORED");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE2.DAT", "BM"));
    StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
    CDisabling(FreshRun(engine)).FinishSave();
    SaveOnMedia("UNIT1001");
    SaveOfThisRun();
    // The undo put the startup application back and recorded its state.
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", "c:\\zelsys\\system.exe|Maintenance");
    UndoCutOffAfterItsState("ShellConfig");
    EXPECT_TRUE(engine.IsSameUnitRestore());
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey));
    EXPECT_EQ("RESTORED-ORIGINAL", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox")) << "no restore";
    EXPECT_FALSE(SavedFilesRemain());
    EXPECT_FALSE(FileExists(PersistRoot() + "Dormantis.exe"));
    EXPECT_FALSE(FileExists(PersistRoot() + "SWUndo.txt")) << "the proof goes with the save";

    // A unit without a valid serial number of its own cannot know the save for its own.
    SaveOnMedia("UNIT1001");
    UndoCutOffAfterItsState("ShellConfig");
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "TARN");
    EXPECT_FALSE(engine.IsSameUnitRestore());
}

TEST_F(MaintRunTest, AProofOfAnotherSaveOfTheUnitMakesNoUndo)
{
    Unit("UNIT1001", "RESTORED");
    SaveOnMedia("UNIT1001");
    SaveOfThisRun("the hive of the save undone");
    UndoCutOffAfterItsState("ShellConfig");
    ASSERT_TRUE(engine.IsSameUnitRestore());
    // A later save of this unit on the media: same identity, another hive.
    SaveOfThisRun("the hive of a later save");
    EXPECT_FALSE(engine.IsSameUnitRestore());
}

TEST_F(MaintRunTest, ItsOwnSaveOnAnUndoneUnitIsImported)
{
    // Undone long ago; a save of its own made with "dontDisable.dat" (or a
    // kept copy of an older one) is restored like any other.
    Unit("UNIT1001", "RESTORED-ORIGINAL");
    StoreString("DatalinkPersist", "Client", "UnitTag", "the unit's now");
    SaveOnMedia("UNIT1001");
    SaveOfThisRun();
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\DatalinkPersist-Client.pri",
                                       SavedKey("\"UnitTag\"=string:\"from the save\"\r\n")));
    EXPECT_FALSE(engine.IsSameUnitRestore());
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey));
    EXPECT_EQ("from the save", ReadStoreString("DatalinkPersist", "Client", "UnitTag"));
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_FALSE(SavedFilesRemain());
}

TEST_F(MaintRunTest, ItsOwnSaveOnAnUndoneLegacyUnitIsNoUndo)
{
    // The legacy family's release is no restore target: the save is refused
    // and stays; no undo runs, so nothing raises at the press.
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00288-001 Rev 0");
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "UNIT1001");
    engine.SetSwPartNum("612-00288-001", 0);
    SetFerrox("SystemData", "RESTORED-ORIGINAL");
    SaveOnMedia("UNIT1001", "612-00288-001 Rev 0");
    SaveOfThisRun();
    EXPECT_FALSE(engine.IsSameUnitRestore());
    EligibilityStatus status = ELIG_NONE;
    EXPECT_FALSE(engine.ChkRestoreAllow("612-00288-001", 0, "612-00288-001", 0, &status));
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_TRUE(SavedFilesRemain());

    // With the proof of its cut-off undo it is the undo, finished without the record.
    UndoCutOffAfterItsState("SystemData");
    EXPECT_TRUE(engine.IsSameUnitRestore());
    EXPECT_TRUE(engine.ChkRestoreAllow("612-00288-001", 0, "612-00288-001", 0, &status));
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey));
    EXPECT_FALSE(SavedFilesRemain());
    EXPECT_EQ("RESTORED-ORIGINAL", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
}

TEST_F(MaintRunTest, ADisablingCutOffBesideAnOlderSaveOfTheUnitSavesAnew)
{
    Unit("UNIT1001", "RESTORED");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE2.DAT", "BM"));
    // The interrupted run's hive copy is on the unit; the stick holds an
    // older save of this unit.
    SaveOfThisRun("the interrupted run's hive");
    SaveOnMedia("UNIT1001");
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.chk", "12345\n"));
    SetFerrox("ShellConfig", "SAVED");
    ASSERT_NE(PERS_FAILED, PersistOneDW("ShellPersist", "ShellConfig", 1000, "NumStartupApps", 0));
    EXPECT_FALSE(CDisabling(FreshRun(engine)).IsSaveOfInterruptedRun());
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);

    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey)) << "the question first";
    EXPECT_TRUE(Called(keys.calls, "ShowConfirm(Save will disable this unit. Overwrite Previous Save?,F1)"));
    EXPECT_FALSE(Called(keys.calls, "SetStatusText(Configuration Saved,0)"));
    EXPECT_EQ(MaintResult::Done, Press(kSaveKey));
    EXPECT_NE("hive", ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg")) << "saved anew";
    EXPECT_TRUE(CDisabling(FreshRun(engine)).IsSaveOfInterruptedRun());
    EXPECT_EQ(PersistRoot() + "Dormantis.exe|Ferx|noregister",
              ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
}

TEST_F(MaintRunTest, TheRestoreOntoAnotherUnitImportsAndMarksItRestored)
{
    Unit("UNIT2002", "RESTORED");
    SaveOnMedia("UNIT1001");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey));
    EXPECT_TRUE(Called(keys.calls, "SetStatusText(Configuration Restored,0)"));
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    EXPECT_FALSE(SavedFilesRemain());
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));
}

TEST_F(MaintRunTest, AMediaThatCannotBeWrittenEndsTheSaveWithResult2)
{
    Unit("UNIT1001", "RESTORED");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\missing\\stick\\");
    EXPECT_EQ(MaintResult::NotWritten, Press(kSaveKey));
    for (const char* call : {"SetStatusText(Save of configuration files to removable media could not be verified,0)",
                             "SetDetailText(Save and Restore cannot continue,0)",
                             "SetNoteText(Press Cancel to Exit,0)"})
        EXPECT_TRUE(Called(keys.calls, call)) << call;
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
}

TEST_F(MaintRunTest, TheSecondSavePressSavesAndDisablesTheUnit)
{
    Unit("UNIT1001", "RESTORED");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE2.DAT", "BM"));
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);

    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
    EXPECT_TRUE(Called(keys.calls, "ShowConfirm(Save will disable this unit. Continue save?,F1)"));
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));

    EXPECT_EQ(MaintResult::Done, Press(kSaveKey));
    EXPECT_TRUE(Called(keys.calls, "SetStatusText(Configuration Saved,0)"));
    EXPECT_EQ("RequestRepaint()", keys.calls.back());
    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_EQ(PersistRoot() + "Dormantis.exe|Ferx|noregister",
              ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    EXPECT_TRUE(SavedFilesRemain()) << "the disabling keeps the save it follows";
    EXPECT_EQ("UNIT1001|612-00340-800 Rev 0", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
}

TEST_F(MaintRunTest, FailuresOfThePathsPassThroughBeforeAnythingIsShown)
{
    Unit("UNIT1001", "RESTORED");
    OpenWindow();
    registry.Delete(HKEY_CURRENT_USER, kCorvane, "PersistPath");
    try {
        Press(kSaveKey);
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(23, e.m_lOsError);
    }
    EXPECT_TRUE(keys.calls.empty()) << keys.calls[0];
}

} // namespace

namespace {

// A target key the store cannot open or save: its files are folders.
void BlockKey(const std::string& persistRoot, const char* subdir, const char* key)
{
    for (const char* ending : {".pri", ".sec"}) {
        std::string path = persistRoot + subdir + "\\" + key + ending;
        DeleteFileA(path.c_str());
        CreateDirectoryA((persistRoot + subdir).c_str(), nullptr);
        CreateDirectoryA(path.c_str(), nullptr);
    }
}

void UnblockKey(const std::string& persistRoot, const char* subdir, const char* key)
{
    for (const char* ending : {".pri", ".sec"}) RemoveDirectoryA((persistRoot + subdir + "\\" + key + ending).c_str());
}

} // namespace

TEST_F(MaintRunTest, ARestoreThatDidNotTakeEveryFileKeepsTheSaveAndTheSameKeyRetries)
{
    Unit("UNIT2002", "RESTORED");
    SaveOnMedia("UNIT1001");
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\TrafficPersist-Config.pri",
                                       SavedKey("\"Range\"=dword:40\r\n")));
    BlockKey(PersistRoot(), "TrafficPersist", "Config");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    EXPECT_EQ(MaintResult::NotFinished, Press(kRestoreKey));
    EXPECT_NE(keys.calls.end(),
              std::find(keys.calls.begin(), keys.calls.end(),
                        "SetDetailText(Restore not finished: 1 saved file not taken.\nThe save stays on the removable "
                        "media; press Confirm to try again.,3)"));
    EXPECT_TRUE(SavedFilesRemain()) << "the only save was cleared";
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox")) << "state recorded anyway";
    EXPECT_EQ(1u, LoggedMessages("RestorePersistFile: E:\\ZelConfig\\Persist\\TrafficPersist-Config.pri not taken").size());

    // The same key again, once the key can be written: no question, the restore finishes.
    UnblockKey(PersistRoot(), "TrafficPersist", "Config");
    SetFerrox("ShellConfig", "RESTORED");
    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey));
    EXPECT_FALSE(SavedFilesRemain());
}

namespace {

// A window during whose restore the save's registry file goes from the media
// (as a stick pulled and plugged back in leaves it unreadable, or another's).
class LosingWindow : public RunWindowRecorder {
public:
    void StepProgress() override
    {
        RunWindowRecorder::StepProgress();
        DeleteFileA((std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg").c_str());
    }
};

} // namespace

TEST_F(MaintRunTest, ARestoreWhoseSaveNoLongerReadsIsNotMarkedNorCleared)
{
    Unit("UNIT2002", "RESTORED");
    SaveOnMedia("UNIT1001");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    SetFerrox("ShellConfig", "PENDING");
    LosingWindow losing;
    EXPECT_EQ(MaintResult::NotFinished, engine.MaintRun(&losing, kRestoreKey));
    EXPECT_TRUE(Called(losing.calls, "SetDetailText(Restore not finished: removable media not readable.\nThe save "
                                     "stays on the removable media; press Confirm to try again.,3)"));
    EXPECT_EQ("PENDING", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox")) << "marked restored";
    EXPECT_TRUE(FileExists(std::string(kMediaConfig) + "\\SWPartNum.txt")) << "the media was cleared";
    EXPECT_TRUE(FileExists(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));
}

TEST_F(MaintRunTest, AnUndoWhoseSettingsDidNotComeBackKeepsTheSave)
{
    // The legacy family's undo: its state cannot be written (the key's files are folders).
    engine.SetSwPartNum("612-00288-001", 2);
    SaveOnMedia("UNIT1001");
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "SWDisable.txt", "C:\\Zelsys\\logo.bmp|C:\\Zelsys\\map.exe"));
    BlockKey(PersistRoot(), "ShellPersist", "SystemData");
    EXPECT_FALSE(UndoSave(engine));
    EXPECT_TRUE(SavedFilesRemain()) << "the only save was cleared";
    EXPECT_EQ(1u, LoggedAt("ERROR", "UndoSave: The unit's settings did not all come back; the media keeps the save\n"));
    UnblockKey(PersistRoot(), "ShellPersist", "SystemData");
}

TEST_F(MaintRunTest, ASerialNumberWithABarIsNoSerialNumber)
{
    // "A|12" would save as "A|12|part": another unit's save when read back.
    Unit("AB|12", "RESTORED");
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
    EXPECT_NE(keys.calls.end(), std::find(keys.calls.begin(), keys.calls.end(), "BeginSerialEntry()"))
        << "saved under a serial number with a bar";
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\SWPartNum.txt"));
}

namespace {

const char kNotFinishedTail[] = ".\nThe save stays on the removable media; press Confirm to try again.,3)";

// A disabled unit beside its own save, as the save and its disabling leave it.
class DisabledUnitRunTest : public MaintRunTest {
protected:
    void SetUp() override
    {
        MaintRunTest::SetUp();
        Unit("UNIT1001", "RESTORED");
        ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "MZ"));
        ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE2.DAT", "BM"));
        StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
        CDisabling(FreshRun(engine)).FinishSave();
        SaveOnMedia("UNIT1001");
        SaveOfThisRun();
    }
    std::string Proof() { return PersistRoot() + "SWUndo.txt"; }
};

} // namespace

TEST_F(DisabledUnitRunTest, AnUndoWhoseMediaCannotBeClearedIsNotFinishedAndTheSameKeyFinishesIt)
{
    // A stick whose identity record will not go (write-protected): the undo
    // must not report a restore while the save can still go onto another unit.
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kRestoreKey));
    HANDLE held = CreateFileA("E:\\ZelConfig\\SWPartNum.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(MaintResult::NotFinished, Press(kRestoreKey));
    CloseHandle(held);
    EXPECT_TRUE(Called(keys.calls, std::string("SetDetailText(Restore not finished: removable media not cleared") +
                                       kNotFinishedTail));
    EXPECT_FALSE(Called(keys.calls, "SetStatusText(Configuration Restored,0)"));
    EXPECT_TRUE(FileExists(Proof())) << "the proof stays while the save does";
    EXPECT_TRUE(SavedFilesRemain()) << "the save stays whole";
    EXPECT_EQ("RESTORED-ORIGINAL", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));

    EXPECT_EQ(MaintResult::Done, Press(kRestoreKey)) << "the same key finishes it";
    EXPECT_TRUE(Called(keys.calls, "SetStatusText(Configuration Restored,0)"));
    EXPECT_FALSE(SavedFilesRemain());
    EXPECT_FALSE(FileExists(Proof()));
}

TEST_F(DisabledUnitRunTest, TheProofGoesOnlyWithASaveTheMediaNoLongerHolds)
{
    struct Row {
        const char* what;
        const char* mediaRoot;   // the root the undo's end clears
        bool        cleared;
    } rows[] = {
        {"a stick pulled (its root cannot be read)", "E:\\pulled\\", false},
        {"a stick that answers without the save", "E:\\", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SaveOnMedia("UNIT1001");
        registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\");
        ASSERT_TRUE(CDisabling(FreshRun(engine)).WriteUndoProof());
        registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", row.mediaRoot);
        EXPECT_EQ(row.cleared, CDisabling(FreshRun(engine)).ClearMediaEndingUndo());
        EXPECT_EQ(!row.cleared, FileExists(Proof()));
    }
}

TEST_F(DisabledUnitRunTest, ADisabledUnitTakesBackOnlyTheSaveThatDisabledIt)
{
    // Save B disabled the unit; a kept copy of an older save A of the unit
    // would enable it while B can still go onto another unit.
    struct Row {
        const char* what;
        bool        olderSave, hiveCopyKept;
        bool        undo;
    } rows[] = {
        {"the save that disabled it", false, true, true},
        {"an older save of its own", true, true, false},
        {"no hive copy on the unit to tell them apart", true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SaveOfThisRun("the hive of save B");
        if (row.olderSave) {
            ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.chk", "12345\n"));
        }
        if (!row.hiveCopyKept) DeleteFileA("C:\\CopyOfCorvaneUserReg.reg");
        EXPECT_EQ(row.undo, engine.IsSameUnitRestore());
        EligibilityStatus status = ELIG_NONE;
        EXPECT_EQ(row.undo, engine.ChkRestoreAllow(kPart, 0, kPart, 0, &status));
    }
}

TEST_F(DisabledUnitRunTest, WithoutTheSourcesOnTheStickAWholeDisablingIsNotSavedAgain)
{
    // The stick holds the unit's own save and nothing else: the disabling is
    // complete, and Save is not offered to do it again.
    DeleteFileA("E:\\VevezaDE1.DAT");
    DeleteFileA("E:\\VevezaDE2.DAT");
    OpenWindow();
    EXPECT_FALSE(engine.LastSurvey().bSaveAllowed);
    EXPECT_TRUE(FileExists(PersistRoot() + "Dormantis.exe"));
}

TEST_F(DisabledUnitRunTest, AFinishingRunWhoseCopiesFailIsNotReportedAsSaved)
{
    // The disabling was cut off; the stick has no sources for it now.
    struct Row {
        const char* what;
        bool        shellInstalled;   // an earlier run installed the shell whole
        MaintResult result;
    } rows[] = {
        {"nothing installed yet", false, MaintResult::NotFinished},
        {"the installed shell stays and is started", true, MaintResult::Done},
    };
    DeleteFileA("E:\\VevezaDE1.DAT");
    DeleteFileA("E:\\VevezaDE2.DAT");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetFerrox("ShellConfig", "SAVED");
        ASSERT_NE(PERS_FAILED, PersistOneDW("ShellPersist", "ShellConfig", 1000, "NumStartupApps", 0));
        if (row.shellInstalled)
            ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "Dormantis.exe", "MZ"));
        else
            DeleteFileA((PersistRoot() + "Dormantis.exe").c_str());
        engine.ResetPrompts();
        OpenWindow();
        ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
        EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
        EXPECT_EQ(row.result, Press(kSaveKey));
        EXPECT_EQ(row.result == MaintResult::Done, Called(keys.calls, "SetStatusText(Configuration Saved,0)"));
        EXPECT_EQ(row.shellInstalled, FileExists(PersistRoot() + "Dormantis.exe")) << "deleted before its copy";
        unsigned long apps = 9;
        GetOnePersistedDW("ShellPersist", "ShellConfig", 1000, "NumStartupApps", &apps);
        EXPECT_EQ(row.shellInstalled ? 1u : 0u, apps);
        if (row.result != MaintResult::Done) {
            EXPECT_TRUE(Called(keys.calls, "SetDetailText(Disabling not finished: the disabled-unit program or "
                                           "picture is not in place" +
                                               std::string(kNotFinishedTail)));
            EXPECT_EQ(MaintResult::NotFinished, Press(kSaveKey)) << "the same key tries again";
        }
    }
}

TEST_F(DisabledUnitRunTest, ASaveMadeAnewHoldsTheUnitsOwnSplashSetting)
{
    // The disabling was cut off after it named its picture; the stick holds
    // an older save of the unit, so the Save key saves anew.
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.chk", "12345\n"));
    PersistOneDW("ShellPersist", "ShellConfig", 1000, "NumStartupApps", 0);
    ASSERT_EQ(PersistRoot() + "DisableSplashScreen.bmp",
              ReadStoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap"));
    OpenWindow();
    ASSERT_TRUE(engine.LastSurvey().bSaveAllowed);
    EXPECT_EQ(MaintResult::Pending, Press(kSaveKey));
    EXPECT_EQ(MaintResult::Done, Press(kSaveKey));
    const std::string saved =
        ReadFileBytes(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri");
    EXPECT_NE(std::string::npos, saved.find("\"SplashNoticeBitmap\"=string:\"C:\\zelsys\\Splash.bmp\"")) << saved;
    EXPECT_EQ("C:\\zelsys\\Splash.bmp| ", ReadFileBytes(PersistRoot() + "SWDisable.txt"));
}
