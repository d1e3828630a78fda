// The import of saved key files, the restore flow and the knob layout, against
// the real store files and media drive E:.
#include "EngineFixture.h"

#include "KeyFileFormat.h"
#include "MediaListing.h"
#include "Retenta.h"
#include "SavedFileCatalogue.h"
#include "SavedKeyImport.h"

#include <algorithm>

namespace {

const std::string kPersistMedia = std::string(kMediaConfig) + "\\Persist\\";

std::string SavedKey(const std::string& lines)
{
    return keyfile::BuildKeyFile(lines.data(), lines.size());
}

class Import : public EngineTest {
protected:
    std::string Dword(const char* subdir, const char* key, const char* name)
    {
        unsigned long value = 0;
        if (GetOnePersistedDW(subdir, key, 1000, name, &value) == PERS_FAILED) return "<missing>";
        return std::to_string(value);
    }
    // taken: whether the file is expected to be imported whole.
    void Update(const std::string& mediaName, const char* subdir, const char* key,
                const ValueFilterItem* filter = nullptr, uint32_t count = 0, uint8_t tolerant = 0, int taken = 1)
    {
        EXPECT_EQ(taken, CRestoreFlow(FreshRun(engine), &window).UpdatePersistFile((kPersistMedia + mediaName).c_str(), subdir, key, filter, count,
                                                  tolerant));
    }
};

} // namespace

TEST_F(Import, EveryLineBeforeTheCrcLineIsImportedByType)
{
    // Written by hand: the CRC line is followed by a value-like line, and
    // the line before it lacks nothing.
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "x.pri",
                                       "\"Name\"=string:\"Unit two\"\r\n\"Count\"=dword:-1\r\n\"On\"=bool:1\r\n"
                                       "\"Empty\"=string:\"\"\r\n\"Odd\"=float:1.5\r\n\"Later\"=dword:7\r\n"
                                       "CRC:12\r\n\"After\"=dword:9\r\n"));
    // Imported all the same, and taken: a retry could not do better.
    Update("x.pri", "TrafficPersist", "Config");
    EXPECT_EQ("Unit two", ReadStoreString("TrafficPersist", "Config", "Name"));
    EXPECT_EQ("4294967295", Dword("TrafficPersist", "Config", "Count"));
    EXPECT_EQ("", ReadStoreString("TrafficPersist", "Config", "Empty"));
    EXPECT_EQ("7", Dword("TrafficPersist", "Config", "Later")) << "a bad type word does not stop the import";
    EXPECT_EQ("<missing>", Dword("TrafficPersist", "Config", "After"));
    EXPECT_EQ(1u, LoggedAt("WARNING", "UpdatePersistFile: BAD DATA TYPE\n"));
    EXPECT_EQ(1u, LoggedAt("WARNING", "UpdatePersistFile: Saved file fails its CRC check, importing anyway - " +
                                          kPersistMedia + "x.pri\n"));
    EXPECT_EQ(1u, LoggedAt("", "UpdatePersistFile:  Processing: TrafficPersist\\Config.pri\\Name : string : Unit two\n"));
    EXPECT_NE(window.calls.end(), std::find(window.calls.begin(), window.calls.end(),
                                            "SetDetailText(TrafficPersist\\Config,0)"));
}

TEST_F(Import, ALastLineWithoutCrLfIsNotImported)
{
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "x.pri", "\"A\"=dword:1\r\n\"B\"=dword:2"));
    Update("x.pri", "TrafficPersist", "Config");
    EXPECT_EQ("1", Dword("TrafficPersist", "Config", "A"));
    EXPECT_EQ("<missing>", Dword("TrafficPersist", "Config", "B"));
}

TEST_F(Import, OverlongLinesAndItemsAreLoggedAndSkipped)
{
    std::string longLine = "\"Long\"=string:\"" + std::string(2000, 'x') + "\"";
    std::string longValue = "\"Wide\"=string:\"" + std::string(600, 'y') + "\"";
    std::string longName = "\"" + std::string(200, 'n') + "\"=dword:1";
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "x.pri", SavedKey(longLine + "\r\n" + longValue + "\r\n" +
                                                                         longName + "\r\n\"Next\"=dword:5\r\n")));
    Update("x.pri", "TrafficPersist", "Config");
    EXPECT_EQ("5", Dword("TrafficPersist", "Config", "Next"));
    EXPECT_EQ("<missing>", ReadStoreString("TrafficPersist", "Config", "Long"));
    EXPECT_EQ("<missing>", ReadStoreString("TrafficPersist", "Config", "Wide"));
    EXPECT_EQ(1u, LoggedMessages("UpdatePersistFile: Line longer than 1023 characters skipped").size());
    EXPECT_EQ(1u, LoggedMessages("UpdatePersistFile: Value longer than 511 characters skipped").size());
    EXPECT_EQ(1u, LoggedMessages("UpdatePersistFile: Value name longer than 103 characters skipped").size());
}

TEST_F(Import, AFilterAdmitsOnlyItsNamesExactly)
{
    StoreString("ShellPersist", "ShellConfig", "Platform", "ZR455");
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "s.pri",
                                       SavedKey("\"ExternalVideo\"=bool:1\r\n\"KnobLevels\"=dword:2\r\n"
                                                "\"Platform\"=string:\"other\"\r\n\"knoblevels\"=dword:9\r\n")));
    Update("s.pri", "ShellPersist", "ShellConfig", ShellValueFilter, SHELL_FILTER_COUNT);
    EXPECT_EQ("2", Dword("ShellPersist", "ShellConfig", "KnobLevels"));
    EXPECT_EQ("ZR455", ReadStoreString("ShellPersist", "ShellConfig", "Platform"));
    EXPECT_EQ(0u, LoggedAt("WARNING", "UpdatePersistFile: Saved file fails its CRC check, importing anyway - " +
                                          kPersistMedia + "s.pri\n"));
}

TEST_F(Import, AKeyThatCannotOpenStopsTheFileUnlessTolerated)
{
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "x.pri", SavedKey("\"A\"=dword:1\r\n\"B\"=string:\"b\"\r\n")));
    std::string badSubdir(300, 'd');
    Update("x.pri", badSubdir.c_str(), "Config", nullptr, 0, 0, 0);
    EXPECT_EQ(1u, LoggedAt("WARNING", "UpdatePersistFile: Unable to OpenPersistKey - " + badSubdir + ":Config\n"));
    EXPECT_EQ(0u, LoggedMessages("PersistDW Failed").size());
    ClearLog();
    Update("x.pri", badSubdir.c_str(), "Config", nullptr, 0, 1, 0);
    EXPECT_EQ(1u, LoggedMessages("UpdatePersistFile: PersistDW Failed on: " + badSubdir + ", Config, A, 1").size());
    EXPECT_EQ(1u, LoggedMessages("UpdatePersistFile: PersistString Failed on: " + badSubdir + ", Config, B, b").size());
}

TEST_F(Import, TheDatalinkFixUpRunsOnlyForALegacySave)
{
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "c.pri", SavedKey("\"Port\"=dword:3\r\n")));
    WriteSavedIdentity("SN1|612-00340-000 Rev 2");
    Update("c.pri", "DatalinkPersist", "Client");
    EXPECT_EQ("<missing>", ReadStoreString("DatalinkPersist", "Client", "DeviceStr"));

    WriteSavedIdentity("SN1|612-00288-000 Rev 1");
    Update("c.pri", "DatalinkPersist", "Client");
    EXPECT_EQ("VuvodUV", ReadStoreString("DatalinkPersist", "Client", "DeviceStr"));
    EXPECT_EQ("1", Dword("DatalinkPersist", "Client", "Device"));

    StoreString("DatalinkPersist", "Client", "DeviceStr", "Own");
    Update("c.pri", "DatalinkPersist", "Client");
    EXPECT_EQ("Own", ReadStoreString("DatalinkPersist", "Client", "DeviceStr"));
}

TEST_F(Import, RetrieveFindsOnlyAStringThatFits)
{
    ASSERT_TRUE(WriteFileMakingFolders(
        kPersistMedia + "ShellPersist-ShellConfig.pri",
        SavedKey("\"Level\"=dword:2\r\n\"SplashNoticeBitmap\"=string:\"C:\\pic.bmp\"\r\n")));
    char out[512] = {};
    EXPECT_TRUE(RetrieveSavedPersistSetting(FreshRun(engine), "ShellPersist-ShellConfig.pri", "SplashNoticeBitmap", out));
    EXPECT_STREQ("C:\\pic.bmp", out);
    EXPECT_FALSE(RetrieveSavedPersistSetting(FreshRun(engine), "ShellPersist-ShellConfig.pri", "Level", out));
    char small[5] = {};
    EXPECT_FALSE(RetrieveSavedPersistSetting(FreshRun(engine), "ShellPersist-ShellConfig.pri", "SplashNoticeBitmap", small,
                                                    sizeof(small)));
    EXPECT_STREQ("", small);
    EXPECT_FALSE(RetrieveSavedPersistSetting(FreshRun(engine), "Missing.pri", "X", out));
    EXPECT_EQ(1u, LoggedAt("WARNING", "RetrieveSavedPersistSetting: Unable to Open File - Missing.pri\n"));

    // A media root that would have to be cut finds nothing, not another folder's file.
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(70, 'm') + "\\");
    EXPECT_FALSE(RetrieveSavedPersistSetting(FreshRun(engine), "ShellPersist-ShellConfig.pri", "SplashNoticeBitmap", out));
    EXPECT_EQ(1u, LoggedMessages("RetrieveSavedPersistSetting: Media root longer than 64 characters").size());
}

TEST_F(Import, AFileNameWithoutPeriodIsRefusedButStillSteps)
{
    SavedFileEntry entry = {"GPSPersist\\GPS1", "Config", "GPSPersist-Config.pri", nullptr, 0, nullptr, 0};
    CreateDirectoryA(kMediaConfig, nullptr);
    ASSERT_TRUE(CreateDirectoryA(kPersistMedia.c_str(), nullptr));
    CMediaListing listing;
    ASSERT_TRUE(listing.Read(kPersistMedia.substr(0, kPersistMedia.size() - 1)));
    CRestoreFlow(FreshRun(engine), &window).RestorePersistFile(entry, (kPersistMedia).c_str(), PersistRoot().c_str(), true, listing);
    EXPECT_EQ(1u, LoggedAt("ERROR", "RestorePersistFile: Bad Persist File Name - Config\n"));
    EXPECT_EQ(std::vector<std::string>{"StepProgress()"}, window.calls);
}

namespace {

class Restore : public Import {
protected:
    int Run()
    {
        return engine.RestoreConfig(FreshRun(engine), &outcome) ? 1 : 0;
    }
    RestoreOutcome outcome;
};

} // namespace

TEST_F(Restore, ImportsTheSaveAndMakesTheSystemProgramTheStartupApp)
{
    StoreString("ShellPersist", "ShellConfig", "Platform", "zr455");
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", "C:\\x\\Dormantis.exe|Ferx|noregister");
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "TrafficPersist-Config.pri",
                                       SavedKey("\"Range\"=dword:40\r\n")));
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "ShellPersist-Config-CFG_GPS.pri",
                                       SavedKey("\"Mode\"=string:\"2\"\r\n")));
    EXPECT_EQ(1, Run());
    EXPECT_EQ("40", Dword("TrafficPersist", "Config", "Range"));
    EXPECT_EQ("2", ReadStoreString("ShellPersist\\MFD Configuration", "CFG_GPS", "Mode"));
    EXPECT_EQ("1", Dword("ShellPersist", "ShellConfig", "NumStartupApps"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    EXPECT_EQ(60, std::count(window.calls.begin(), window.calls.end(), "StepProgress()"));
    EXPECT_EQ("SetProgressRange(0,60)", window.calls.at(0));
    EXPECT_EQ(1u, LoggedAt("EVENT", "RestoreConfig: Platform is zr455; skipping SetKnobConfig\n"));
    EXPECT_EQ(1u, LoggedAt("", "RestoreConfig: File (" + kPersistMedia +
                                   "AddressBook.txt) not present on removable media\n"));
}

TEST_F(Restore, WithoutAPlatformTheKnobsStayAndTheStartupIsStillSet)
{
    ASSERT_TRUE(CreateDirectoryA(kMediaConfig, nullptr));
    ASSERT_TRUE(CreateDirectoryA(kPersistMedia.c_str(), nullptr));
    EXPECT_EQ(1, Run());
    EXPECT_EQ(1u, LoggedMessages("RestoreConfig: Unable to access ShellConfig\\Platform; GetLastError = ").size());
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
}

TEST_F(Restore, OnAZR455TheKnobLayoutOfTheSaveIsApplied)
{
    StoreString("ShellPersist", "ShellConfig", "Platform", "ZR455");
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "ShellPersist\\UI_Map4Knobs.pri", "dual map"));
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "ShellPersist\\UI_Map.sec", "old"));
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "ShellPersist-ShellConfig.pri",
                                       SavedKey("\"KnobLevels\"=dword:2\r\n")));
    EXPECT_EQ(1, Run());
    EXPECT_EQ(1u, LoggedAt("EVENT", "RestoreConfig: Platform is ZR455; calling SetKnobConfig\n"));
    EXPECT_EQ("dual map", ReadFileBytes(PersistRoot() + "ShellPersist\\UI_Map.pri"));
    EXPECT_FALSE(FileExists(PersistRoot() + "ShellPersist\\UI_Map.sec"));
    EXPECT_EQ("R|O", ReadStoreString("ShellPersist", "ShellConfig", "PageKnob"));
}

TEST_F(Import, KnobLayoutOtherThan2IsTheSingleKnobLayout)
{
    PersistOneDW("ShellPersist", "ShellConfig", 1000, "KnobLevels", 3);
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "ShellPersist\\UI_Taws2Knobs.pri", "single taws"));
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "ShellPersist\\UI_KTX.pri", "own ktx"));
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "ShellPersist\\UI_KTX.sec", "own ktx"));
    std::string root = PersistRoot().substr(0, PersistRoot().size() - 1);   // no trailing backslash
    SetKnobConfig(root.c_str());
    EXPECT_EQ("1", Dword("ShellPersist", "ShellConfig", "KnobLevels"));
    EXPECT_EQ("L|O", ReadStoreString("ShellPersist", "ShellConfig", "PageKnob"));
    EXPECT_EQ("Brightness,RO", ReadStoreString("ShellPersist", "UI_Brightness", "pos_Fine"));
    EXPECT_EQ("Trip,RO/Nrst,RO/Setup,RO", ReadStoreString("ShellPersist", "UI_Map", "pos_Select"));
    EXPECT_EQ("Dialog,LO", ReadStoreString("ShellPersist", "UI_Standard", "pos_Change"));
    EXPECT_EQ("single taws", ReadFileBytes(PersistRoot() + "ShellPersist\\UI_Taws.pri"));
    EXPECT_EQ("own ktx", ReadFileBytes(PersistRoot() + "ShellPersist\\UI_KTX.pri")) << "no template: page stays";
    EXPECT_FALSE(FileExists(PersistRoot() + "ShellPersist\\UI_KTX.sec"));
    EXPECT_EQ(1u, LoggedAt("", "RestoreButtonSettings: Restoring Single knob layout pages\n"));
}

TEST_F(Import, WithoutKnobLevelsNothingIsTouched)
{
    ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + "ShellPersist\\UI_Taws2Knobs.pri", "single taws"));
    SetKnobConfig(PersistRoot().c_str());
    EXPECT_FALSE(FileExists(PersistRoot() + "ShellPersist\\UI_Taws.pri"));
    EXPECT_EQ("<missing>", ReadStoreString("ShellPersist", "ShellConfig", "PageKnob"));
    EXPECT_EQ(1u, LoggedMessages("SetKnobConfig: Unable to extract KnobLevels from ShellConfig; GetLastError = ").size());
}

TEST_F(Restore, TheAddressBookComesBackIntoAFolderCreatedOneLevelDeep)
{
    std::string drive = PersistRoot().substr(0, 3);
    std::string folder = drive + "ZelData\\DatalinkData";
    std::string book = folder + "\\AddressBook.txt";
    bool hadFolder = FolderExists(folder);
    std::string before = FileExists(book) ? ReadFileBytes(book) : std::string();
    if (!hadFolder) CreateDirectoryA((drive + "ZelData").c_str(), nullptr);
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "AddressBook.txt", "N55,Ramp\r\n"));

    EXPECT_EQ(1, Run());
    EXPECT_EQ("N55,Ramp\r\n", ReadFileBytes(book));
    EXPECT_NE(window.calls.end(), std::find(window.calls.begin(), window.calls.end(), "SetDetailText(" + book + ",0)"));

    if (!before.empty()) EXPECT_TRUE(WriteFileMakingFolders(book, before));
    else DeleteFileA(book.c_str());
    if (!hadFolder) RemoveDirectoryA(folder.c_str());
}

TEST_F(Import, ASavedFileLargerThanAnyKeyIsNotRead)
{
    std::string huge = "\"A\"=dword:1\r\n" + std::string(SAVED_FILE_MAX_BYTES, 'x') + "\r\n";
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "x.pri", huge));
    Update("x.pri", "TrafficPersist", "Config", nullptr, 0, 0, 0);
    EXPECT_EQ("<missing>", Dword("TrafficPersist", "Config", "A"));
    EXPECT_EQ(1u, LoggedMessages("UpdatePersistFile: File of " + std::to_string(huge.size()) +
                                 " bytes is larger than any saved key (65536 bytes), not read - ").size());
    EXPECT_EQ(1u, LogLines().size()) << "one line, nothing of the content";
}

TEST_F(Import, OnlyTheFirstRefusedLinesOfAFileAreLogged)
{
    std::string lines;
    for (int i = 0; i < 40; ++i) lines += "garbage " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "x.pri", SavedKey(lines + "\"B\"=dword:2\r\n")));
    Update("x.pri", "TrafficPersist", "Config");
    EXPECT_EQ("2", Dword("TrafficPersist", "Config", "B"));
    EXPECT_EQ(REFUSED_LINES_LOGGED, LoggedMessages("UpdatePersistFile: ParseLine Failed - garbage").size());
    EXPECT_EQ(1u, LoggedAt("WARNING", "UpdatePersistFile: 35 more refused lines not logged\n"));
}

TEST_F(Import, TheDatalinkFixUpKeepsADeviceStoredAsANumber)
{
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "c.pri", SavedKey("\"Device\"=dword:5\r\n")));
    WriteSavedIdentity("SN1|612-00288-000 Rev 1");
    Update("c.pri", "DatalinkPersist", "Client");
    EXPECT_EQ("5", Dword("DatalinkPersist", "Client", "Device"));
    EXPECT_EQ("VuvodUV", ReadStoreString("DatalinkPersist", "Client", "DeviceStr"));
}

namespace {

// A window during whose restore the stick goes away: at the status line that
// opens the restore (before the save is read), or at the first progress step
// (after it was listed). The folder is moved off, as a pulled stick leaves
// every path of it unreadable, and comes back when the test says.
class PullingWindow : public RecordingWindow {
public:
    enum When { AT_START, AFTER_FIRST_STEP } when = AT_START;

    void SetStatusText(const char* text, int colour) override
    {
        RecordingWindow::SetStatusText(text, colour);
        if (when == AT_START && std::string(text) == "Updating configuration from removable media...") Pull();
    }
    void StepProgress() override
    {
        RecordingWindow::StepProgress();
        if (when == AFTER_FIRST_STEP) Pull();
    }
    bool PutBack()
    {
        if (m_bPulled && MoveFileA(kAway, kMediaConfig)) m_bPulled = false;
        return !m_bPulled;
    }

private:
    void Pull()
    {
        if (!m_bPulled) m_bPulled = MoveFileA(kMediaConfig, kAway) != FALSE;
    }
    static constexpr const char* kAway = "E:\\PulledConfig";
    bool m_bPulled = false;
};

class PulledStick : public Restore {
protected:
    void SetUp() override
    {
        Restore::SetUp();
        RemoveTree("E:\\PulledConfig");
        ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "TrafficPersist-Config.pri",
                                           SavedKey("\"Range\"=dword:40\r\n")));
        ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "ShellPersist-ShellConfig.pri",
                                           SavedKey("\"KnobLevels\"=dword:2\r\n")));
        ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "AddressBook.txt", "N55,Ramp\r\n"));
    }
    void TearDown() override
    {
        EXPECT_TRUE(pulling.PutBack());
        RemoveTree("E:\\PulledConfig");
        Restore::TearDown();
    }
    int RunPulled(PullingWindow::When when)
    {
        pulling.when = when;
        return pulled.RestoreConfig(FreshRun(pulled), &outcome) ? 1 : 0;
    }

    PullingWindow pulling;
    CRunMaint     pulled{&pulling};
};

} // namespace

TEST_F(PulledStick, ASaveThatCannotBeListedImportsNothingAndIsNotFinished)
{
    EXPECT_EQ(0, RunPulled(PullingWindow::AT_START));
    EXPECT_TRUE(outcome.bMediaUnreadable);
    EXPECT_EQ(0, std::count(pulling.calls.begin(), pulling.calls.end(), "StepProgress()"));
    EXPECT_EQ("<missing>", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1")) << "went on regardless";
    EXPECT_EQ(1u, LoggedMessages("RestoreConfig: Unable to list " + kPersistMedia).size());
}

TEST_F(PulledStick, FilesListedBeforeTheStickWentCountAsNotTaken)
{
    const std::string book = PersistRoot().substr(0, 3) + "ZelData\\DatalinkData\\AddressBook.txt";
    const std::string bookBefore = FileExists(book) ? ReadFileBytes(book) : std::string("<none>");
    EXPECT_EQ(0, RunPulled(PullingWindow::AFTER_FIRST_STEP));
    EXPECT_FALSE(outcome.bMediaUnreadable);
    EXPECT_EQ(2u, outcome.nFilesNotTaken) << "the two key files were on the media when it was listed";
    EXPECT_TRUE(outcome.bAddressBookFailed);
    EXPECT_EQ("<missing>", Dword("TrafficPersist", "Config", "Range"));
    EXPECT_EQ(bookBefore, FileExists(book) ? ReadFileBytes(book) : std::string("<none>"));
    // The stick back: its save is whole, for the retry.
    ASSERT_TRUE(pulling.PutBack());
    EXPECT_EQ("N55,Ramp\r\n", ReadFileBytes(kPersistMedia + "AddressBook.txt"));
}

TEST_F(Restore, ARestoreFromASaveWithoutItsPersistFolderIsNotFinished)
{
    // A save always leaves the folder, empty or not: without it, nothing is known.
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\SWPartNum.txt", "SN1|612-00340-000 Rev 2"));
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(outcome.bMediaUnreadable);
}
