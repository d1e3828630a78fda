// Disabling the source unit after a save and undoing it, in both variants,
// against the real store, registry, media drive E: and trace file on D:.
#include "EngineFixture.h"

#include "EventReporter.h"
#include "Retenta.h"

#include <algorithm>
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

// The lines that matter, in their order; others may come between them.
void ExpectInOrder(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    size_t at = 0;
    for (const std::string& line : expected) {
        size_t found = at;
        while (found < actual.size() && actual[found] != line) ++found;
        if (found == actual.size()) {
            std::string all;
            for (const std::string& a : actual) all += "\n  " + a;
            ADD_FAILURE() << "missing (or out of order): " << line << "\nin:" << all;
            return;
        }
        at = found + 1;
    }
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
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
    CDisabling(FreshRun(engine)).FinishSave();

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
    CDisabling(FreshRun(engine)).FinishSave();

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

    ExpectInOrder({"FinishSaveShell: persisting ferrox",
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
    CDisabling(FreshRun(engine)).FinishSaveShell();
    ExpectInOrder({"FinishSaveShell: splash notice bitmap already the disabled one; record kept",
                   "FinishSaveShell: delete of target, return value = 1",
                   "FinishSaveShell: delete of target, return value = 1"},
                  TraceLines());
    EXPECT_EQ("C:\\zelsys\\Splash.bmp| ", ReadFileBytes(Installed("SWDisable.txt")));
    EXPECT_EQ(Installed("Dormantis.exe") + "|Ferx|noregister", Shell("StartupApp1"));
}

TEST_F(SourceDisable, WithoutTheShellOnTheMediaTheStartupAppStaysAndNoneIsStarted)
{
    EnabledShellUnit();
    ASSERT_TRUE(WriteFileMakingFolders(kPictureSource, "BM"));
    CDisabling(FreshRun(engine)).FinishSave();

    EXPECT_EQ("SAVED", Shell("Ferrox"));
    EXPECT_EQ("0", ReadDword("NumStartupApps"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Shell("SplashNoticeBitmap"));
    std::vector<std::string> lines = TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("FinishSaveShell: Copy of exe FAILED", lines.back());
    EXPECT_EQ(std::vector<std::string>{"FXP: error on exe copy. Get Last = 2\n"}, g_events);
}

TEST_F(SourceDisable, AnUnreadableSplashSettingWritesNoRecordButStillInstallsThePicture)
{
    StoreString("ShellPersist", "ShellConfig", "Ferrox", "RESTORED");
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();

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
        CDisabling(FreshRun(engine)).FinishSave();
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
    CDisabling(FreshRun(engine)).FinishSave();

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
    CDisabling(FreshRun(engine)).FinishSave();
    ASSERT_EQ("SAVED", Shell("Ferrox"));
    DeleteFileA(kTraceFile);

    UndoSave(engine);
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
    EXPECT_EQ("1", ReadDword("NumStartupApps"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg"));
    EXPECT_TRUE(FolderExists(std::string(kMediaConfig) + "\\Persist"));
    ExpectInOrder({"UndoSaveShell: Startup app retrieved. App to be deleted.",
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

    UndoSave(engine);
    EXPECT_EQ("own program", ReadFileBytes(ownProgram));
    EXPECT_EQ("own picture", ReadFileBytes(ownPicture));
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
    EXPECT_EQ(ownPicture, Shell("SplashNoticeBitmap")) << "no saved original on the media";
    ExpectInOrder({"UndoSaveShell: app not to be deleted", "UndoSaveShell: bmp not to be deleted"}, TraceLines());

    // A startup application without a vertical bar names no program at all.
    DeleteFileA(kTraceFile);
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", ownProgram.c_str());
    CDisabling(FreshRun(engine)).UndoSaveShell();
    EXPECT_TRUE(FileExists(ownProgram));
    EXPECT_TRUE(Contains(TraceLines(), "UndoSaveShell: app not found"));
}

TEST_F(SourceDisable, AnUndoRunAgainAfterItWasCutOffRemovesWhatTheDisablingLeft)
{
    // The first undo put the settings back and was cut off before it deleted
    // the installed files.
    EnabledShellUnit();
    PutSourcesOnMedia();
    SaveShellConfigToMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", "c:\\zelsys\\system.exe|Maintenance");
    StoreString("ShellPersist", "ShellConfig", "SplashNoticeBitmap", "C:\\zelsys\\Splash.bmp");
    ASSERT_TRUE(FileExists(Installed("Dormantis.exe")));
    DeleteFileA(kTraceFile);

    UndoSave(engine);
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
    ExpectInOrder({"UndoSaveShell: app not to be deleted", "UndoSaveShell: bmp not to be deleted",
                   "UndoSaveShell: left by the disabling: " + Installed("Dormantis.exe") + ", delete value = 1"},
                  TraceLines());
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
        CDisabling(FreshRun(engine)).UndoSaveShell();
        // Not put back: the setting would name the picture the undo deletes; it goes.
        EXPECT_EQ(row.whole ? longPicture : "<missing>", Shell("SplashNoticeBitmap"));
        EXPECT_EQ(row.whole ? 0u : 1u, LoggedMessages("RetrieveSavedPersistSetting: Value longer than").size());
    }
}

TEST_F(SourceDisable, AnUnopenableTraceFileDropsTheLinesButNotTheSteps)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    ASSERT_TRUE(CreateDirectoryA(kTraceFile, nullptr));
    CDisabling(FreshRun(engine)).FinishSave();
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
        return ReadRegistryString(HKEY_CURRENT_USER, key, name, value) ? std::string(value) : "<missing>";
    }
    // The settings as the disabling leaves them.
    void NameInstalledFiles()
    {
        registry.SetString(HKEY_CURRENT_USER, kSysSetup, "oemlogo", Installed("DisableSplashScreen.bmp"));
        registry.SetString(HKEY_CURRENT_USER, kMenuApps, "Map", Installed("Dormantis.exe") + ",C:\\Zelsys,0");
    }
};

TEST_F(SourceDisableMenu, TheMenuVariantDisablesAndUndoesThroughTheRegistry)
{
    PutSourcesOnMedia();
    SetFerrox("SystemData", "RESTORED");
    SetFerrox("ShellConfig", "RESTORED");
    CDisabling(FreshRun(engine)).FinishSave();

    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
    EXPECT_EQ("RESTORED", Shell("Ferrox"));
    EXPECT_EQ("C:\\Zelsys\\logo.bmp|C:\\Zelsys\\map.exe,C:\\Zelsys,1", ReadFileBytes(Installed("SWDisable.txt")));
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ(Installed("Dormantis.exe") + ",C:\\Zelsys,0", Registry(kMenuApps, "Map"));
    EXPECT_TRUE(FileExists(Installed("Dormantis.exe")));
    EXPECT_TRUE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_FALSE(FileExists(kTraceFile));

    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
    UndoSave(engine);
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
    NameInstalledFiles();
    ASSERT_TRUE(WriteFileMakingFolders(Installed("SWDisable.txt"), "  C:\\My Pictures\\logo.bmp|C:\\Zelsys\\map.exe"));
    CDisabling(FreshRun(engine)).UndoSaveMenu();
    EXPECT_EQ("C:\\My", Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ("", Registry(kMenuApps, "Map"));

    // A record of any length is cut to 199 characters and logged.
    NameInstalledFiles();
    std::string huge = std::string(150, 'a') + "|" + std::string(5000, 'b');
    ASSERT_TRUE(WriteFileMakingFolders(Installed("SWDisable.txt"), huge));
    CDisabling(FreshRun(engine)).UndoSaveMenu();
    EXPECT_EQ(std::string(150, 'a'), Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ(std::string(48, 'b'), Registry(kMenuApps, "Map"));
    EXPECT_EQ(1u, LoggedMessages("UndoSaveMenu: SWDisable.txt holds more than 199 characters; cut to").size());

    // Without a record, while the settings still name the installed files,
    // the undo cannot put them back: it stops with the system's error.
    registry.SetString(HKEY_CURRENT_USER, kMenuApps, "Map", Installed("Dormantis.exe") + ",C:\\Zelsys,0");
    try {
        CDisabling(FreshRun(engine)).UndoSaveMenu();
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
    UndoSave(engine);
    EXPECT_TRUE(FileExists(ownProgram));
    EXPECT_TRUE(FileExists(ownPicture));
    EXPECT_EQ(ownProgram + ",C:\\Zelsys,0", Registry(kMenuApps, "Map")) << "a setting of the unit's own stays";
}

TEST_F(SourceDisable, MarkRestoredRecordsTheStateBeforeItClearsTheMedia)
{
    // A clearing that fails (here: a root it refuses) must find the restore
    // recorded; the save is then still on the media for a second run.
    SetFerrox("ShellConfig", "SAVED");
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(70, 'r') + "\\");
    EXPECT_THROW(CRestoreFlow(FreshRun(engine), &window).MarkRestored(), CFileException);
    EXPECT_EQ("RESTORED", Shell("Ferrox"));
}

TEST_F(SourceDisable, MarkRestoredClearsTheMediaAndRecordsRestored)
{
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri", "saved"));
    SetFerrox("ShellConfig", "SAVED");
    CRestoreFlow(FreshRun(engine), &window).MarkRestored();
    EXPECT_EQ("RESTORED", Shell("Ferrox"));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri"));

    engine.SetSwPartNum("612-00288-001", 2);
    SetFerrox("SystemData", "SAVED");
    CRestoreFlow(FreshRun(engine), &window).MarkRestored();
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
}

TEST_F(SourceDisable, TheUndoPutsNoDanglingSplashSettingBack)
{
    // The unit had no splash picture before the save: nothing to put back,
    // and the setting must not keep naming the picture the undo deletes.
    StoreString("ShellPersist", "ShellConfig", "Ferrox", "RESTORED");
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", "c:\\zelsys\\system.exe|Maintenance");
    PutSourcesOnMedia();
    SaveShellConfigToMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    ASSERT_EQ(Installed("DisableSplashScreen.bmp"), Shell("SplashNoticeBitmap"));

    UndoSave(engine);
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_EQ("<missing>", Shell("SplashNoticeBitmap"));
    EXPECT_EQ("RESTORED-ORIGINAL", Shell("Ferrox"));
}

TEST_F(SourceDisable, TheUndoDeletesOnlyTheShellAtItsInstalledPlace)
{
    // A startup entry with the disabling's marker that names some other
    // program is the unit's own.
    const std::string elsewhere = PersistRoot() + "Tools\\Dormantis.exe";
    ASSERT_TRUE(WriteFileMakingFolders(elsewhere, "own program"));
    SetFerrox("ShellConfig", "SAVED");
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", (elsewhere + "|Ferx|noregister").c_str());
    UndoSave(engine);
    EXPECT_EQ("own program", ReadFileBytes(elsewhere));
    EXPECT_TRUE(Contains(TraceLines(), "UndoSaveShell: app not to be deleted"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", Shell("StartupApp1"));
}

TEST_F(SourceDisable, TheDisablingIsCompleteOnlyWithTheMediasShellInstalledWhole)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    ASSERT_TRUE(CDisabling(FreshRun(engine)).IsDisablingComplete());
    struct Row {
        const char* what;
        const char* shell;   // the installed file, or nullptr for none
        bool        complete;
    } rows[] = {
        {"whole", kShellBytes, true},
        {"cut off during its copy", "MZ disab", false},
        {"same size, other bytes", "MZ disabled-unit shelL", false},
        {"missing", nullptr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DeleteFileA(Installed("Dormantis.exe").c_str());
        if (row.shell) {
            ASSERT_TRUE(WriteFileMakingFolders(Installed("Dormantis.exe"),
                                               row.shell == kShellBytes
                                                   ? std::string(kShellBytes, sizeof(kShellBytes) - 1)
                                                   : std::string(row.shell)));
        }
        EXPECT_EQ(row.complete, CDisabling(FreshRun(engine)).IsDisablingComplete());
    }
}

TEST_F(SourceDisable, AnUndoRefusesATooLongMediaRootBeforeItChangesAnything)
{
    EnabledShellUnit();
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(70, 'r') + "\\");
    EXPECT_THROW(UndoSave(engine), CFileException);
    EXPECT_EQ("SAVED", Shell("Ferrox"));
    EXPECT_EQ(Installed("Dormantis.exe") + "|Ferx|noregister", Shell("StartupApp1"));
    EXPECT_TRUE(FileExists(Installed("Dormantis.exe")));
}

TEST_F(SourceDisableMenu, AnUndoRefusesATooLongMediaRootBeforeItChangesAnything)
{
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(70, 'r') + "\\");
    EXPECT_THROW(UndoSave(engine), CFileException);
    EXPECT_EQ("SAVED", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
    EXPECT_EQ(Installed("Dormantis.exe") + ",C:\\Zelsys,0", Registry(kMenuApps, "Map"));
    EXPECT_TRUE(FileExists(Installed("SWDisable.txt")));
}

TEST_F(SourceDisableMenu, AnUndoCutOffAfterItPutTheSettingsBackCanBeFinished)
{
    // The first undo put the settings back and deleted the record; it was
    // cut off before it recorded its state and cleared the media.
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "oemlogo", "C:\\Zelsys\\logo.bmp");
    registry.SetString(HKEY_CURRENT_USER, kMenuApps, "Map", "C:\\Zelsys\\map.exe,C:\\Zelsys,1");
    ASSERT_TRUE(DeleteFileA(Installed("SWDisable.txt").c_str()));

    EXPECT_NO_THROW(UndoSave(engine));
    EXPECT_EQ("RESTORED-ORIGINAL", ReadStoreString("ShellPersist", "SystemData", "Ferrox"));
    EXPECT_EQ("C:\\Zelsys\\logo.bmp", Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ("C:\\Zelsys\\map.exe,C:\\Zelsys,1", Registry(kMenuApps, "Map"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
    EXPECT_FALSE(FileExists(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg"));
}

TEST_F(SourceDisableMenu, TheMenuDisablingIsCompleteOnlyWithTheMediasFilesInstalledWhole)
{
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    EXPECT_TRUE(CDisabling(FreshRun(engine)).IsDisablingComplete());

    // Cut off after "Map" named the shell, before its copy ended.
    ASSERT_TRUE(WriteFileMakingFolders(Installed("Dormantis.exe"), "MZ dis"));
    EXPECT_FALSE(CDisabling(FreshRun(engine)).IsDisablingComplete());
    DeleteFileA(Installed("Dormantis.exe").c_str());
    EXPECT_FALSE(CDisabling(FreshRun(engine)).IsDisablingComplete());

    // The picture too, when the media has one.
    CDisabling(FreshRun(engine)).FinishSave();
    ASSERT_TRUE(CDisabling(FreshRun(engine)).IsDisablingComplete());
    ASSERT_TRUE(WriteFileMakingFolders(Installed("DisableSplashScreen.bmp"), "BM"));
    EXPECT_FALSE(CDisabling(FreshRun(engine)).IsDisablingComplete());
}

TEST_F(SourceDisableMenu, AFailedCopyStillPointsTheSettingsAtTheInstalledPlace)
{
    // As the menu variant always has: the settings are written whatever the copies did.
    CDisabling(FreshRun(engine)).FinishSave();
    EXPECT_EQ(Installed("DisableSplashScreen.bmp"), Registry(kSysSetup, "oemlogo"));
    EXPECT_EQ(Installed("Dormantis.exe") + ",C:\\Zelsys,0", Registry(kMenuApps, "Map"));
    EXPECT_FALSE(FileExists(Installed("Dormantis.exe")));
    EXPECT_FALSE(CDisabling(FreshRun(engine)).IsDisablingComplete());
}

TEST_F(SourceDisable, TheUndoTakesTheRecordedSplashWhenTheMediaDoesNotGiveItBack)
{
    // The disabling's record keeps the unit's own value: a media that does
    // not give it back must not cost the unit its setting.
    const std::string savedFile = std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri";
    struct Row {
        const char* what;
        std::string saved;   // the media's saved file, empty for none
    } rows[] = {
        {"no saved file (a stick pulled, a damaged save)", ""},
        {"a saved file without the value", "\"Owner\"=string:\"A\"\r\n"},
        {"a save made while the setting named the disabled picture",
         "\"SplashNoticeBitmap\"=string:\"" + Installed("DisableSplashScreen.bmp") + "\"\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EnabledShellUnit();
        PutSourcesOnMedia();
        CDisabling(FreshRun(engine)).FinishSave();
        ASSERT_EQ("C:\\zelsys\\Splash.bmp| ", ReadFileBytes(Installed("SWDisable.txt")));
        RemoveTree(kMediaConfig);
        if (!row.saved.empty()) {
            ASSERT_TRUE(WriteFileMakingFolders(savedFile, row.saved));
        }
        CDisabling(FreshRun(engine)).UndoSaveShell();
        EXPECT_EQ("C:\\zelsys\\Splash.bmp", Shell("SplashNoticeBitmap"));
        EXPECT_FALSE(FileExists(Installed("DisableSplashScreen.bmp")));
        EXPECT_FALSE(FileExists(Installed("SWDisable.txt"))) << "the record goes with its disabling";
    }
}

TEST_F(SourceDisableMenu, OnlySettingsThatNameTheInstalledFilesTakeTheRecord)
{
    // Settings of the unit's own stay: a disabling cut off before it named
    // the installed files, or as it began (an empty record), changed nothing.
    const std::string ownLogo = "C:\\Zelsys\\own.bmp";
    const std::string ownMap = "C:\\Zelsys\\own.exe,C:\\Zelsys,1";
    const std::string record = "C:\\Zelsys\\logo.bmp|C:\\Zelsys\\map.exe,C:\\Zelsys,1";
    struct Row {
        const char* what;
        bool        logoNamesInstalled, mapNamesInstalled;
        std::string record, logo, map;   // the record; the settings after
    } rows[] = {
        {"both named", true, true, record, "C:\\Zelsys\\logo.bmp", "C:\\Zelsys\\map.exe,C:\\Zelsys,1"},
        {"cut off before Map named the shell", true, false, record, "C:\\Zelsys\\logo.bmp", ownMap},
        {"an empty record over the unit's own settings", false, false, "", ownLogo, ownMap},
    };
    for (bool undo : {true, false}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + (undo ? ", the undo" : ", a save made anew"));
            registry.SetString(HKEY_CURRENT_USER, kSysSetup, "oemlogo",
                               row.logoNamesInstalled ? Installed("DisableSplashScreen.bmp") : ownLogo);
            registry.SetString(HKEY_CURRENT_USER, kMenuApps, "Map",
                               row.mapNamesInstalled ? Installed("Dormantis.exe") + ",C:\\Zelsys,0" : ownMap);
            ASSERT_TRUE(WriteFileMakingFolders(Installed("SWDisable.txt"), row.record));
            if (undo)
                CDisabling(FreshRun(engine)).UndoSaveMenu();
            else
                CDisabling(FreshRun(engine)).PutRecordedSettingsBack();
            EXPECT_EQ(row.logo, Registry(kSysSetup, "oemlogo"));
            EXPECT_EQ(row.map, Registry(kMenuApps, "Map"));
            EXPECT_EQ(!undo, FileExists(Installed("SWDisable.txt"))) << "only the undo ends the record";
        }
    }
}

TEST_F(SourceDisable, WithoutTheSourcesOnTheMediaTheInstalledFilesAreJudgedAlone)
{
    // A stick that holds only the save: the disabling is complete while its
    // files are in place, which only whole copies put there.
    EnabledShellUnit();
    PutSourcesOnMedia();
    CDisabling(FreshRun(engine)).FinishSave();
    DeleteFileA(kShellSource);
    DeleteFileA(kPictureSource);
    EXPECT_TRUE(CDisabling(FreshRun(engine)).IsDisablingComplete());
    DeleteFileA(Installed("Dormantis.exe").c_str());
    EXPECT_FALSE(CDisabling(FreshRun(engine)).IsDisablingComplete());
}

TEST_F(SourceDisable, TheChecksBehindTheOpeningScreenDispatchNoMessage)
{
    // They run while the window opens and before a run starts, when a key
    // dispatched would start a run inside them: files longer than one
    // read block must not let a message through.
    EnabledShellUnit();
    ASSERT_TRUE(WriteFileMakingFolders(kShellSource, std::string(200000, 'M')));
    ASSERT_TRUE(WriteFileMakingFolders(kPictureSource, std::string(200000, 'B')));
    CDisabling(FreshRun(engine)).FinishSave();
    ASSERT_TRUE(WriteFileMakingFolders("C:\\CopyOfCorvaneUserReg.reg", std::string(200000, 'h')));
    const UINT kProbe = WM_APP + 21;
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kProbe, 0, 0));
    EXPECT_TRUE(CDisabling(FreshRun(engine)).IsDisablingComplete());
    CDisabling(FreshRun(engine)).IsSaveOfInterruptedRun();
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, kProbe, kProbe, PM_REMOVE)) << "a pending message was dispatched";
}

} // namespace
