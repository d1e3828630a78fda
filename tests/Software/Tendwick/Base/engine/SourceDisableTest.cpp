// Disabling the source unit after a save and undoing it, in both variants,
// against the real store, registry, media drive E: and trace file on D:.
#include "EngineFixture.h"

#include "EventReporter.h"
#include "Retenta.h"

#include <cstring>

namespace {

const char kTraceFile[] = "D:\\FerroxTrace.txt";
const char kShellSource[] = "E:\\VevezaDE1.DAT";
const char kPictureSource[] = "E:\\VevezaDE2.DAT";
const char kMenuApps[] = "Software\\Corvane\\ZelMenu\\Apps";
const char kShellBytes[] = "MZ disabled-unit shell\0\x01\x02";
const char kPictureBytes[] = "BM disabled picture\r\n\x1a";

std::vector<std::string> g_events;

BOOL WINAPI RecordEvent(HANDLE, WORD type, WORD category, DWORD id, PSID user, WORD count, DWORD dataSize,
                        LPCSTR* strings, LPVOID data)
{
    std::string entry = "type " + std::to_string(type) + " category " + std::to_string(category) + " id " +
                        std::to_string(id) + " strings " + std::to_string(count) + " data " +
                        std::to_string(dataSize) + (user || data ? " with user or data" : "");
    if (entry != "type 1 category 0 id 0 strings 1 data 0") g_events.push_back("bad entry: " + entry);
    g_events.push_back(count && strings && strings[0] ? strings[0] : "<none>");
    return TRUE;
}

std::vector<std::string> TraceLines()
{
    std::string text = ReadFileBytes(kTraceFile);
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    if (at != text.size()) lines.push_back("<unterminated> " + text.substr(at));
    return lines;
}

void ExpectLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    EXPECT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size() || i < actual.size(); ++i)
        EXPECT_EQ(i < expected.size() ? expected[i] : "<none>", i < actual.size() ? actual[i] : "<none>")
            << "line " << i;
}

class SourceDisable : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        DeleteFileA(kTraceFile);
        DeleteFileA(kShellSource);
        DeleteFileA(kPictureSource);
        g_events.clear();
        m_previousReporter = SetMaintReportEventFunction(RecordEvent);
    }
    void TearDown() override
    {
        SetMaintReportEventFunction(m_previousReporter);
        DeleteFileA(kTraceFile);
        DeleteFileA(kShellSource);
        DeleteFileA(kPictureSource);
        EngineTest::TearDown();
    }

    void PutSourcesOnMedia()
    {
        ASSERT_TRUE(WriteFileMakingFolders(kShellSource, std::string(kShellBytes, sizeof(kShellBytes) - 1)));
        ASSERT_TRUE(WriteFileMakingFolders(kPictureSource, std::string(kPictureBytes, sizeof(kPictureBytes) - 1)));
    }
    // A unit running its system program with its own splash picture.
    void EnabledShellUnit()
    {
        StoreString("ShellPersist", "ShellConfig", "Ferrox", "RESTORED");
        StoreString("ShellPersist", "ShellConfig", "StartupApp1", "c:\\zelsys\\system.exe|Maintenance");
        StoreDword("NumStartupApps", 1);
        StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
    }
    void StoreDword(const char* name, unsigned long value)
    {
        ASSERT_NE(PERS_FAILED, PersistOneDW("ShellPersist", "ShellConfig", 1000, name, value));
    }
    std::string ReadDword(const char* name)
    {
        unsigned long value = 0;
        long result = GetOnePersistedDW("ShellPersist", "ShellConfig", 1000, name, &value);
        return result == PERS_FAILED ? "<missing>" : std::to_string(value);
    }
    std::string Shell(const char* name) { return ReadStoreString("ShellPersist", "ShellConfig", name); }
    // What the save left on the media: the unit's ShellConfig as it was.
    void SaveShellConfigToMedia()
    {
        std::string saved = ReadFileBytes(PersistRoot() + "ShellPersist\\ShellConfig.pri");
        ASSERT_FALSE(saved.empty());
        ASSERT_TRUE(
            WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri", saved));
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
    }
    std::string Installed(const char* name) { return PersistRoot() + name; }

private:
    MaintReportEventFn m_previousReporter = nullptr;
};

TEST_F(SourceDisable, DontDisableOnTheMediaLeavesTheUnitAlone)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    ASSERT_TRUE(WriteFileMakingFolders("E:\\dontDisable.dat", ""));
    engine.FinishSave();

    EXPECT_EQ("RESTORED", Shell("Ferrox"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("SWDisable.txt")));
    EXPECT_FALSE(FileExists(kTraceFile));
    EXPECT_EQ(1u, LoggedAt("", "FinishSave:  Source flash disable deactivated, flash will not be disabled\n"));
}

TEST_F(SourceDisable, TheShellVariantInstallsTheShellAndThePictureAndKeepsTheSave)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri", "saved"));
    engine.FinishSave();

    EXPECT_EQ("SAVED", Shell("Ferrox"));
    EXPECT_EQ("1", ReadDword("NumStartupApps"));
    EXPECT_EQ(Installed("Dormantis.exe") + "|Ferx|noregister", Shell("StartupApp1"));
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Shell("SplashNoticeBitmap"));
    EXPECT_EQ(std::string(kShellBytes, sizeof(kShellBytes) - 1), ReadFileBytes(Installed("Dormantis.exe")));
    EXPECT_EQ(std::string(kPictureBytes, sizeof(kPictureBytes) - 1),
              ReadFileBytes(Installed("DisableSplashScreen.bmp")));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp| ", ReadFileBytes(Installed("SWDisable.txt")));
    // The save just written stays on the media.
    EXPECT_EQ("saved", ReadFileBytes(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));
    EXPECT_TRUE(g_events.empty()) << g_events[0];

    ExpectLines({"FinishSaveShell: persisting ferrox",
                 "FinishSaveShell: persisting numstartupapps = 0",
                 "FinishSaveShell: getupdatepath",
                 "FinishSaveShell: getting splash notice bitmap",
                 "FinishSaveShell: opening target spec. Target spec = " + Installed("SWDisable.txt"),
                 "FinishSaveShell: writing out info: C:\\zelsys\\Splash.bmp| ",
                 "FinishSaveShell: persisting SNB: src = E:\\VevezaDE2.DAT",
                 "FinishSaveShell: persisting SNB: tgt = " + Installed("DisableSplashScreen.bmp"),
                 "FinishSaveShell: delete of target, return value = 0",
                 "FinishSaveShell: bitmap copied and persisted",
                 "FinishSaveShell: persisting exe: src = E:\\VevezaDE1.DAT",
                 "FinishSaveShell: persisting exe: tgt = " + Installed("Dormantis.exe"),
                 "FinishSaveShell: delete of target, return value = 0",
                 "FinishSaveShell: exe copied and persisted"},
                TraceLines());

    // A second disabling (one cut off is made again) replaces the installed
    // files, the deletes now succeed; the record of the first keeps the
    // unit's own picture, not the disabled one the setting names now.
    DeleteFileA(kTraceFile);
    engine.FinishSaveShell();
    std::vector<std::string> lines = TraceLines();
    ASSERT_EQ(13u, lines.size());
    EXPECT_EQ("FinishSaveShell: splash notice bitmap already the disabled one; record kept", lines[4]);
    EXPECT_EQ("FinishSaveShell: delete of target, return value = 1", lines[7]);
    EXPECT_EQ("FinishSaveShell: delete of target, return value = 1", lines[11]);
    EXPECT_EQ("C:\\zelsys\\Splash.bmp| ", ReadFileBytes(Installed("SWDisable.txt")));
    EXPECT_EQ(Installed("Dormantis.exe") + "|Ferx|noregister", Shell("StartupApp1"));
}

TEST_F(SourceDisable, WithoutTheShellOnTheMediaTheStartupAppStaysAndNoneIsStarted)
{
    EnabledShellUnit();
    ASSERT_TRUE(WriteFileMakingFolders(kPictureSource, "BM"));
    engine.FinishSave();

    EXPECT_EQ("SAVED", Shell("Ferrox"));
    EXPECT_EQ("0", ReadDword("NumStartupApps"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Shell("SplashNoticeBitmap"));
    std::vector<std::string> lines = TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("FinishSaveShell: Copy of exe FAILED", lines.back());
    ExpectLines({"FXP: error on exe copy. Get Last = 2\n"}, g_events);
}

TEST_F(SourceDisable, AnUnreadableSplashSettingWritesNoRecordButStillInstallsThePicture)
{
    StoreString("ShellPersist", "ShellConfig", "Ferrox", "RESTORED");
    PutSourcesOnMedia();
    engine.FinishSave();

    EXPECT_FALSE(FileExists(Installed("SWDisable.txt")));
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Shell("SplashNoticeBitmap"));
    EXPECT_EQ(Installed("Dormantis.exe") + "|Ferx|noregister", Shell("StartupApp1"));
    ASSERT_EQ(1u, g_events.size());
    EXPECT_EQ(0u, g_events[0].find("FXP: error 8192 on persist return of splash bitmap. Get Last = ")) << g_events[0];
    EXPECT_EQ('\n', g_events[0].back());
    for (const std::string& line : TraceLines()) EXPECT_EQ(std::string::npos, line.find("target spec")) << line;
}

TEST_F(SourceDisable, ARecordThatCannotBeCreatedStopsTheDisablingWithTheSystemError)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    ASSERT_TRUE(CreateDirectoryA(Installed("SWDisable.txt").c_str(), nullptr));
    try {
        engine.FinishSave();
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(ERROR_ACCESS_DENIED, e.m_lOsError);
        EXPECT_STREQ("", e.m_strFileName);
    }
    EXPECT_EQ("SAVED", Shell("Ferrox"));
    EXPECT_EQ("0", ReadDword("NumStartupApps"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
}

TEST_F(SourceDisable, APersistRootTooLongForTheSettingsInstallsNothingRatherThanACutPath)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    // 180 characters: the installed picture's path (203) no longer fits a setting.
    std::string root = PersistRoot() + std::string(180 - PersistRoot().size() - 1, 'p') + "\\";
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr)) << root;
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "PersistPath", root);
    engine.FinishSave();

    EXPECT_EQ("SAVED", Shell("Ferrox"));
    EXPECT_EQ("0", ReadDword("NumStartupApps"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
    EXPECT_FALSE(FileExists(root + "Dormantis.exe"));
    EXPECT_FALSE(FileExists(root + "DisableSplashScreen.bmp"));
    ASSERT_EQ(2u, g_events.size());
    EXPECT_EQ("FinishSaveShell: Path too long for its setting (203 characters) - " + root + "DisableSplashScreen.bmp\n",
              g_events[0]);
    EXPECT_EQ("FinishSaveShell: Path too long for its setting (209 characters) - " + root +
                  "Dormantis.exe|Ferx|noregister\n",
              g_events[1]);
    EXPECT_EQ(1u, LoggedAt("ERROR", g_events[1]));
    RemoveTree(root);
}

TEST_F(SourceDisable, TheUndoOnTheShellUnitPutsEverythingBackAndClearsTheMedia)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    SaveShellConfigToMedia();
    engine.FinishSave();
    ASSERT_EQ("SAVED", Shell("Ferrox"));
    DeleteFileA(kTraceFile);

    engine.UndoSave();
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
    EXPECT_EQ("1", ReadDword("NumStartupApps"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg"));
    EXPECT_TRUE(FolderExists(std::string(kMediaConfig) + "\\Persist"));
    ExpectLines({"UndoSaveShell: Startup app retrieved. App to be deleted.",
                 "UndoSaveShell: Bitmap retrieved. Bitmap to be deleted.",
                 "UndoSaveShell: startup app of system persisted.",
                 "UndoSaveShell: getting original bitmap",
                 "UndoSaveShell: original bitmap got and saved: C:\\zelsys\\Splash.bmp",
                 "UndoSaveShell: ferrox reset",
                 "UndoSaveShell: app found. delete value = 1",
                 "UndoSaveShell: bmp delete value = 1"},
                TraceLines());
}

TEST_F(SourceDisable, TheUndoDeletesOnlyWhatTheDisablingInstalled)
{
    // A disabling whose copies failed leaves the unit's own program and
    // picture in the settings; they must survive the undo.
    std::string ownProgram = PersistRoot() + "system.exe";
    std::string ownPicture = PersistRoot() + "Splash.bmp";
    ASSERT_TRUE(WriteFileMakingFolders(ownProgram, "own program"));
    ASSERT_TRUE(WriteFileMakingFolders(ownPicture, "own picture"));
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", (ownProgram + "|Maintenance").c_str());
    StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", ownPicture.c_str());
    SetFerrox("ShellConfig", "SAVED");

    engine.UndoSave();
    EXPECT_EQ("own program", ReadFileBytes(ownProgram));
    EXPECT_EQ("own picture", ReadFileBytes(ownPicture));
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ(ownPicture, Shell("SplashNoticeBitmap")) << "no saved original on the media";
    std::vector<std::string> lines = TraceLines();
    ASSERT_EQ(7u, lines.size());
    EXPECT_EQ("UndoSaveShell: app not to be deleted", lines[5]);
    EXPECT_EQ("UndoSaveShell: bmp not to be deleted", lines[6]);

    // A startup application without a vertical bar names no program at all.
    DeleteFileA(kTraceFile);
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", ownProgram.c_str());
    engine.UndoSaveShell();
    EXPECT_TRUE(FileExists(ownProgram));
    lines = TraceLines();
    ASSERT_EQ(7u, lines.size());
    EXPECT_EQ("UndoSaveShell: app not found", lines[5]);
}

TEST_F(SourceDisable, AnUndoRunAgainAfterItWasCutOffRemovesWhatTheDisablingLeft)
{
    // The first undo put the settings back and was cut off before it deleted
    // the installed files.
    EnabledShellUnit();
    PutSourcesOnMedia();
    SaveShellConfigToMedia();
    engine.FinishSave();
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", "c:\\zelsys\\system.exe|Maintenance");
    StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
    ASSERT_TRUE(FileExists(Installed("Dormantis.exe")));
    DeleteFileA(kTraceFile);

    engine.UndoSave();
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
    std::vector<std::string> lines = TraceLines();
    ASSERT_EQ(10u, lines.size());
    EXPECT_EQ("UndoSaveShell: app not to be deleted", lines[6]);
    EXPECT_EQ("UndoSaveShell: bmp not to be deleted", lines[7]);
    EXPECT_EQ("UndoSaveShell: left by the disabling: " + Installed("Dormantis.exe") + ", delete value = 1", lines[8]);
}

TEST_F(SourceDisable, ALongSavedSplashSettingIsPutBackWholeOrNotAtAll)
{
    // A cut path would name a file that does not exist.
    const std::string disabledPicture = PersistRoot() + "DisableSplashScreen.bmp";
    struct Row {
        size_t length;
        bool   whole;
    };
    for (const Row& row : {Row{150, true}, Row{400, true}, Row{600, false}}) {
        SCOPED_TRACE(row.length);
        std::string longPicture = "C:\\" + std::string(row.length - 7, 's') + ".bmp";
        StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", longPicture.c_str());
        SaveShellConfigToMedia();
        StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", disabledPicture.c_str());
        SetFerrox("ShellConfig", "SAVED");
        ClearLog();
        engine.UndoSaveShell();
        EXPECT_EQ(row.whole ? longPicture : disabledPicture, Shell("SplashNoticeBitmap"));
        EXPECT_EQ(row.whole ? 0u : 1u, LoggedMessages("RetrieveSavedPersistSetting: Value longer than").size());
    }
}

TEST_F(SourceDisable, AnUnopenableTraceFileDropsTheLinesButNotTheSteps)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    ASSERT_TRUE(CreateDirectoryA(kTraceFile, nullptr));
    engine.FinishSave();
    RemoveDirectoryA(kTraceFile);
    EXPECT_EQ(Installed("Dormantis.exe") + "|Ferx|noregister", Shell("StartupApp1"));
}

class SourceDisableMenu : public SourceDisable {
protected:
    void SetUp() override
    {
        SourceDisable::SetUp();
        engine.SetSwPartNum("612-00288-001", 2);
        registry.SetString(HKEY_CURRENT_USER, kSysSetup, "oemlogo", "C:\\Zelsys\\logo.bmp");
        registry.SetString(HKEY_CURRENT_USER, kMenuApps, "Map", "C:\\Zelsys\\map.exe,C:\\Zelsys,1");
    }
    std::string Registry(const char* key, const char* name)
    {
        CString value;
        return engine.ReadRegistryString(HKEY_CURRENT_USER, key, name, value) ? std::string(value) : "<missing>";
    }
};

TEST_F(SourceDisableMenu, TheMenuVariantDisablesAndUndoesThroughTheRegistry)
{
    PutSourcesOnMedia();
    SetFerrox("SystemData", "RESTORED");
    SetFerrox("ShellConfig", "RESTORED");
    engine.FinishSave();

    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
    EXPECT_EQ("RESTORED", Shell("Ferrox"));
    EXPECT_EQ("C:\\Zelsys\\logo.bmp|C:\\Zelsys\\map.exe,C:\\Zelsys,1", ReadFileBytes(Installed("SWDisable.txt")));
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ(Installed("Dormantis.exe") + ",C:\\Zelsys,0", Registry(kMenuApps, "Map"));
    EXPECT_TRUE(FileExists(Installed("Dormantis.exe")));
    EXPECT_TRUE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_FALSE(FileExists(kTraceFile));

    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
    engine.UndoSave();
    EXPECT_EQ("RESTORED-ORIGINAL", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
    EXPECT_EQ("C:\\Zelsys\\logo.bmp", Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ("C:\\Zelsys\\map.exe,C:\\Zelsys,1", Registry(kMenuApps, "Map"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_FALSE(FileExists(Installed("SWDisable.txt")));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg"));
    EXPECT_FALSE(FileExists(kTraceFile));
}

TEST_F(SourceDisableMenu, TheRecordIsReadBackAsOneWordOfAtMost199Characters)
{
    // A blank cuts the record: only the part before it comes back.
    ASSERT_TRUE(WriteFileMakingFolders(Installed("SWDisable.txt"), "  C:\\My Pictures\\logo.bmp|C:\\Zelsys\\map.exe"));
    engine.UndoSaveMenu();
    EXPECT_EQ("C:\\My", Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ("", Registry(kMenuApps, "Map"));

    // A record of any length is cut to 199 characters and logged.
    std::string huge = std::string(150, 'a') + "|" + std::string(5000, 'b');
    ASSERT_TRUE(WriteFileMakingFolders(Installed("SWDisable.txt"), huge));
    engine.UndoSaveMenu();
    EXPECT_EQ(std::string(150, 'a'), Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ(std::string(48, 'b'), Registry(kMenuApps, "Map"));
    EXPECT_EQ(1u, LoggedMessages("UndoSaveMenu: SWDisable.txt holds more than 199 characters; cut to").size());

    // Without a record the undo stops with the system's error.
    try {
        engine.UndoSaveMenu();
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, e.m_lOsError);
    }
}

TEST_F(SourceDisableMenu, TheMenuUndoLeavesTheUnitsOwnFiles)
{
    std::string ownProgram = PersistRoot() + "map.exe";
    std::string ownPicture = PersistRoot() + "logo.bmp";
    ASSERT_TRUE(WriteFileMakingFolders(ownProgram, "own program"));
    ASSERT_TRUE(WriteFileMakingFolders(ownPicture, "own picture"));
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "oemlogo", ownPicture);
    registry.SetString(HKEY_CURRENT_USER, kMenuApps, "Map", ownProgram + ",C:\\Zelsys,0");
    ASSERT_TRUE(WriteFileMakingFolders(Installed("SWDisable.txt"), ownPicture + "|" + ownProgram + ",C:\\Zelsys,1"));
    engine.UndoSave();
    EXPECT_TRUE(FileExists(ownProgram));
    EXPECT_TRUE(FileExists(ownPicture));
    EXPECT_EQ(ownProgram + ",C:\\Zelsys,1", Registry(kMenuApps, "Map"));
}

TEST_F(SourceDisable, MarkRestoredRecordsTheStateBeforeItClearsTheMedia)
{
    // A clearing that fails (here: a root it refuses) must find the restore
    // recorded; the save is then still on the media for a second run.
    SetFerrox("ShellConfig", "SAVED");
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(70, 'r') + "\\");
    EXPECT_THROW(engine.MarkRestored(), CFileException);
    EXPECT_EQ("RESTORED", Shell("Ferrox"));
}

TEST_F(SourceDisable, MarkRestoredClearsTheMediaAndRecordsRestored)
{
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri", "saved"));
    SetFerrox("ShellConfig", "SAVED");
    engine.MarkRestored();
    EXPECT_EQ("RESTORED", Shell("Ferrox"));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));

    engine.SetSwPartNum("612-00288-001", 2);
    SetFerrox("SystemData", "SAVED");
    engine.MarkRestored();
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
}

} // namespace
