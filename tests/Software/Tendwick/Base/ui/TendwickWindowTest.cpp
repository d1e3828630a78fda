// The maintenance program as a technician meets it: Tendwick.exe started on a
// unit laid out by the unit image builder, driven by posted bezel keys, and
// read back through its controls, the store files, the media and the run log.
// Runs inside a unit prefix of its own (run-window-tests.sh) under Xvfb.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DbwinCapture.h"
#include "TendwickDriver.h"
#include "TestFiles.h"
#include "resource.h"

namespace {

const UINT F1 = 0x70, F3 = 0x72, F5 = 0x74;
const UINT KNOB_UP = 0x26, KNOB_DOWN = 0x28, KNOB_RIGHT = 0x27, KNOB_LEFT = 0x25;
const DWORD kScreenMs = 20000;
const DWORD kRunMs = 120000;
const char kRunLog[] = "E:\\ZelData\\VURLog\\CsrLog.txt";
// The placeholder names itself by its path as the system found it (any case).
const char kUtilityStarted[] = "ZelUtil.exe started";
const COLORREF kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0);

std::string BinFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Runs a program of the bin folder and waits for it; its exit code.
DWORD RunTool(const std::string& commandLine)
{
    std::string line = "\"" + BinFolder() + commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError() | 0x80000000u;
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

void DeleteRegistryTree(HKEY root, const char* key)
{
    SHDeleteKeyA(root, key);
}

std::string StoreValueLine(const std::string& file, const std::string& name)
{
    std::string text = ReadFileBytes(file);
    if (text.empty()) return "(no file " + file + ")";
    std::string key = "\"" + name + "\"=";
    size_t at = text.find(key);
    if (at == std::string::npos) return "(no value " + name + ")";
    size_t end = text.find_first_of("\r\n", at);
    return text.substr(at, end - at);
}

// A run has ended when the window shows its last soft keys: the status line
// changes while the engine is still at work.
testing::AssertionResult WaitSoftKey(const TendwickDriver& window, int number, const std::string& caption, DWORD ms)
{
    if (TendwickWindow::WaitUntil([&] { return window.SoftKey(number) == caption; }, ms))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "soft key " << number << " reads \"" << window.SoftKey(number)
                                       << "\", not \"" << caption << "\"; screen:\n" << window.Describe();
}

const std::vector<std::string> kUnitA = {"--tag", "A", "--serial", "A1234", "--serial-source", "reg", "--part",
                                         "612-00340-800", "--rev", "0", "--platform", "ZR455", "--variant", "dc"};
const std::vector<std::string> kUnitB = {"--tag", "B", "--serial", "B5678", "--serial-source", "store", "--part",
                                         "612-00340-800", "--rev", "1", "--platform", "ZR455", "--variant",
                                         "single"};

class TendwickWindowTest : public ::testing::Test {
protected:
    // A unit laid out anew: its store, its registry and the media's saved
    // files and run log gone first, so nothing of an earlier test remains.
    void LayUnit(std::vector<std::string> options, bool keepMediaSave = false)
    {
        RemoveTree("D:\\Data");
        RemoveTree("D:\\ZelData");
        RemoveTree("E:\\ZelData");
        if (!keepMediaSave) RemoveTree("E:\\ZelConfig");
        DeleteFileA("C:\\ZelSys\\ZelUtil.exe");
        DeleteFileA("D:\\SWDisable.txt");
        DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Corvane");
        std::string line = "unit_image.exe\" lay";
        for (const std::string& option : options) line += " " + option;
        ASSERT_EQ(0u, RunTool(line)) << line;
    }

    std::string Exe() const { return BinFolder() + "Tendwick.exe"; }

    // The unit's save onto the media through the window, up to "Done".
    void SaveThroughTheWindow()
    {
        TendwickDriver save(Exe());
        ASSERT_TRUE(save.Start(kScreenMs));
        save.Press(F1);
        ASSERT_TRUE(save.WaitLabel(1, "Save will disable this unit. Continue save?", kScreenMs)) << save.Label(1);
        save.Press(F1);
        ASSERT_TRUE(save.WaitLabel(1, "Configuration Saved", kRunMs)) << save.Label(1);
        ASSERT_TRUE(WaitSoftKey(save, 1, "Done", kRunMs));
    }

    std::string RunLog() const
    {
        return ReadFileBytes(kRunLog);
    }
};

TEST_F(TendwickWindowTest, OpeningScreenForASave)
{
    LayUnit(kUnitA);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    EXPECT_EQ("Ready to Save Configuration", window.Label(1));
    EXPECT_EQ("MFD contains 612-00340-800 Rev 00 software,\ns/n A1234\nRemovable media contains no saved files.",
              window.Label(2));
    EXPECT_EQ("Save", window.SoftKey(1));
    EXPECT_EQ("", window.SoftKey(3));
    EXPECT_EQ("Cancel", window.SoftKey(5));
    EXPECT_EQ(0x11u, window.KeyMask());
    EXPECT_EQ(kWhite, window.LabelColour(1));

    // F3 is refused at its key-down, so its key-up was not expected.
    window.Press(F3);
    window.WaitIdle();
    EXPECT_EQ("Ready to Save Configuration", window.Label(1));
    EXPECT_NE(std::string::npos, RunLog().find("OnKeyUp: Not expecting key up")) << RunLog();
}

TEST_F(TendwickWindowTest, TheOpeningScreenShowsAtMost99CharactersOfTheSerialNumber)
{
    // The engine reads up to 127 characters; the window's buffer holds 99.
    const struct Row {
        size_t stored;
        size_t shown;
    } rows[] = {{99, 99}, {120, 99}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        std::vector<std::string> unit = kUnitB;
        unit[3] = std::string(row.stored, 'S');
        LayUnit(unit);
        TendwickDriver window(Exe());
        ASSERT_TRUE(window.Start(kScreenMs));
        EXPECT_EQ("MFD contains 612-00340-800 Rev 01 software,\ns/n " + std::string(row.shown, 'S') +
                      "\nRemovable media contains no saved files.",
                  window.Label(2));
    }
}

TEST_F(TendwickWindowTest, AWholeSaveEndsInTheUtility)
{
    LayUnit(kUnitA);
    DbwinCapture debug(DbwinCapture::AllProcesses);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));

    window.Press(F1);
    EXPECT_TRUE(window.WaitLabel(1, "Save will disable this unit. Continue save?", kScreenMs)) << window.Label(1);
    EXPECT_EQ("Confirm", window.SoftKey(1));

    window.Press(F1);
    EXPECT_TRUE(window.WaitLabel(1, "Configuration Saved", kRunMs)) << window.Label(1);
    EXPECT_TRUE(WaitSoftKey(window, 1, "Done", kRunMs));
    EXPECT_EQ("", window.SoftKey(5));
    EXPECT_EQ(0x01u, window.KeyMask());
    EXPECT_TRUE(FileExists("E:\\ZelConfig\\SWPartNum.txt"));
    EXPECT_TRUE(FileExists("E:\\ZelConfig\\CorvaneUserRegistry.reg"));

    window.Press(F1);
    EXPECT_TRUE(window.WaitExit(kScreenMs));
    EXPECT_TRUE(debug.WaitFor(kUtilityStarted, 10000)) << "the utility was not started";
    EXPECT_TRUE(FileExists("C:\\ZelSys\\ZelUtil.exe"));
}

TEST_F(TendwickWindowTest, ARestoreOntoAnotherUnitAndItsDone)
{
    // Unit A's save on the media, then the same prefix laid out as unit B.
    LayUnit(kUnitA);
    ASSERT_NO_FATAL_FAILURE(SaveThroughTheWindow());
    LayUnit(kUnitB, true);

    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    EXPECT_EQ("Ready to Restore Configuration", window.Label(1));
    EXPECT_EQ("Restore", window.SoftKey(3));
    EXPECT_EQ("", window.SoftKey(1));
    EXPECT_EQ(0x14u, window.KeyMask());
    EXPECT_EQ("MFD contains 612-00340-800 Rev 01 software,\ns/n B5678\nRemovable media contains data from\n"
              "612-00340-800 Rev 00,\nretrieved from MFD s/n A1234",
              window.Label(2));

    window.Press(F3);
    EXPECT_TRUE(window.WaitLabelContains(1, "Continue restore?", kScreenMs)) << window.Label(1);
    EXPECT_EQ("Confirm", window.SoftKey(3));
    window.Press(F3);
    EXPECT_TRUE(window.WaitLabel(1, "Configuration Restored", kRunMs)) << window.Label(1);
    EXPECT_TRUE(WaitSoftKey(window, 1, "Done", kRunMs));
    EXPECT_EQ(0x01u, window.KeyMask());
    EXPECT_EQ("\"UnitTag\"=string:\"Unit A Client\"",
              StoreValueLine("D:\\Data\\DatalinkPersist\\Client.pri", "UnitTag"));
    EXPECT_FALSE(FileExists("E:\\ZelConfig\\SWPartNum.txt")) << "the media was not cleared";

    window.Press(F1);
    EXPECT_TRUE(window.WaitExit(kScreenMs));
}

TEST_F(TendwickWindowTest, TheSourceUnitTakesItsOwnSaveBackThroughTheWindow)
{
    LayUnit(kUnitA);
    ASSERT_NO_FATAL_FAILURE(SaveThroughTheWindow());

    // The disabled unit with its own save on the media: Restore is offered,
    // and every key offered is one the mask lets through.
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    EXPECT_EQ("Ready to Restore Configuration", window.Label(1));
    ASSERT_EQ("Restore", window.SoftKey(3));
    EXPECT_EQ(0x04u, window.KeyMask() & 0x04u) << window.Describe();
    if (window.SoftKey(1) == "Save") {
        EXPECT_EQ(0x01u, window.KeyMask() & 0x01u) << window.Describe();
    }

    window.Press(F3);
    ASSERT_TRUE(window.WaitLabelContains(1, "Continue restore?", kScreenMs)) << window.Label(1);
    window.Press(F3);
    EXPECT_TRUE(window.WaitLabel(1, "Configuration Restored", kRunMs)) << window.Label(1);
    EXPECT_EQ("\"Ferrox\"=string:\"RESTORED-ORIGINAL\"",
              StoreValueLine("D:\\Data\\ShellPersist\\ShellConfig.pri", "Ferrox"));
}

TEST_F(TendwickWindowTest, ClosingAfterACompletedRestoreStillRestarts)
{
    LayUnit(kUnitA);
    ASSERT_NO_FATAL_FAILURE(SaveThroughTheWindow());
    LayUnit(kUnitB, true);
    DbwinCapture debug(DbwinCapture::AllProcesses);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F3);
    window.WaitLabelContains(1, "Continue restore?", kScreenMs);
    window.Press(F3);
    ASSERT_TRUE(window.WaitLabel(1, "Configuration Restored", kRunMs)) << window.Label(1);
    ASSERT_TRUE(WaitSoftKey(window, 1, "Done", kRunMs));

    PostMessageA(window.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.WaitExit(kScreenMs));
    EXPECT_TRUE(debug.WaitFor(kUtilityStarted, 10000)) << "closing in the restored state did not restart";
}

TEST_F(TendwickWindowTest, NeitherSaveNorRestoreOnlyCancelWorks)
{
    // Saved files on the media from a unit this one may not receive.
    LayUnit(kUnitA);
    ASSERT_TRUE(WriteFileMakingFolders("E:\\ZelConfig\\SWPartNum.txt", "Z9999|612-00999-000 Rev 3"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\ZelConfig\\CorvaneUserRegistry.reg", "WINE REGISTRY Version 2\n"));
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    EXPECT_EQ("No save or restore allowed.\nUnit is not a valid Save or Restore candidate", window.Label(1));
    EXPECT_EQ("Saved files on disk, Invalid target", window.Label(3));
    EXPECT_EQ(0x10u, window.KeyMask());
    EXPECT_EQ("", window.SoftKey(1));
    EXPECT_EQ("", window.SoftKey(3));
    EXPECT_EQ("Cancel", window.SoftKey(5));
}

TEST_F(TendwickWindowTest, AnUnsupportedPartIsShownInRed)
{
    std::vector<std::string> unit = kUnitA;
    unit[7] = "612-00999-000";
    LayUnit(unit);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    EXPECT_EQ("MFD SW Part Number 612-00999-000 Rev 0 Not Supported", window.Label(1));
    EXPECT_EQ(kRed, window.LabelColour(1));
    EXPECT_EQ("Invalid source, No saved files on disk", window.Label(3));
    EXPECT_EQ(0x10u, window.KeyMask());
}

TEST_F(TendwickWindowTest, ABlock10UnitTranslatesItsKeys)
{
    std::vector<std::string> unit = kUnitA;
    unit[7] = "612-00288-001";
    LayUnit(unit);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    // Raw F1 stands for F2 on these units, which no mask allows; raw F2 is F1.
    window.Press(F1);
    window.WaitIdle();
    EXPECT_NE(std::string::npos, RunLog().find("OnKeyDown: block10 input 70")) << RunLog();
    EXPECT_EQ(std::string::npos, RunLog().find("OnKeyDown: 71")) << "F2 was allowed";
    window.Press(0x71);
    window.WaitIdle();
    EXPECT_NE(std::string::npos, RunLog().find("OnKeyUp: 70")) << RunLog();

    // "3" is their F5: no utility from the media, the restart screen instead.
    DbwinCapture debug(DbwinCapture::AllProcesses);
    // The screen stays for five seconds with nothing else running, so it is
    // read from the run log afterwards.
    DWORD pressed = GetTickCount();
    window.Press('3');
    EXPECT_TRUE(window.WaitExit(kScreenMs));
    EXPECT_GE(GetTickCount() - pressed, 5000u) << "the restart screen was not shown for its five seconds";
    std::string log = RunLog();
    EXPECT_NE(std::string::npos, log.find("EVENT: System Restarting\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("EVENT: Remove USB dataloader after shutdown, before restart")) << log;
    debug.Flush();
    EXPECT_FALSE(debug.Contains(kUtilityStarted));
}

TEST_F(TendwickWindowTest, SerialNumberEntryRefusesAShortTextAndStoresAnAcceptedOne)
{
    std::vector<std::string> unit = kUnitA;
    unit[3] = "ab";   // not a valid serial number: entry starts from it
    LayUnit(unit);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F1);
    ASSERT_TRUE(window.WaitLabelContains(1, "Continue save?", kScreenMs)) << window.Label(1);
    window.Press(F1);
    ASSERT_TRUE(window.WaitLabel(1, "Enter MFD Serial Number", kScreenMs)) << window.Label(1);
    EXPECT_EQ("Accept", window.SoftKey(1));
    EXPECT_EQ("Position|Change", window.Corners());
    EXPECT_EQ(0xF11u, window.KeyMask());
    EXPECT_TRUE(window.IsControlVisible(IDC_SN_EDIT));
    // Lower-case letters show in upper case and start at the digit 0.
    EXPECT_EQ("AB", window.ControlText(IDC_SN_EDIT));

    window.Press(KNOB_UP);   // B -> 1
    window.WaitIdle();
    EXPECT_EQ("A1", window.ControlText(IDC_SN_EDIT));
    window.Press(F1);        // two characters: refused
    EXPECT_TRUE(window.WaitControlVisible(IDC_SN_STATUS, true, kScreenMs));
    EXPECT_EQ("Invalid serial number", window.ControlText(IDC_SN_STATUS));
    EXPECT_EQ("Accept", window.SoftKey(1));

    // A new position starts empty; its first turn gives the digit 0. A1 -> A12
    // -> A124, then one step back on the last digit.
    for (UINT key : {KNOB_RIGHT, KNOB_UP, KNOB_UP, KNOB_UP, KNOB_RIGHT, KNOB_UP, KNOB_UP, KNOB_UP, KNOB_UP, KNOB_UP,
                     KNOB_DOWN})
        window.Press(key);
    window.WaitIdle();
    EXPECT_EQ("A123", window.ControlText(IDC_SN_EDIT));
    window.Press(F1);
    EXPECT_TRUE(window.WaitLabel(1, "Configuration Saved", kRunMs)) << window.Label(1);
    EXPECT_FALSE(window.IsControlVisible(IDC_SN_EDIT));
    EXPECT_NE(std::string::npos, RunLog().find("Invalid serial number \"A1\"")) << RunLog();
    EXPECT_NE(std::string::npos, RunLog().find("valid serial number \"A123\"")) << RunLog();
    std::string identity = ReadFileBytes("E:\\ZelConfig\\SWPartNum.txt");
    EXPECT_EQ(0u, identity.find("A123|")) << identity;
}

TEST_F(TendwickWindowTest, AFailedRunIsShownInRedAndTheSameKeyRetries)
{
    LayUnit(kUnitA);
    // The hive copy cannot be replaced while a folder holds its name.
    RemoveTree("C:\\CopyOfCorvaneUserReg.reg");
    DeleteFileA("C:\\CopyOfCorvaneUserReg.reg");
    ASSERT_TRUE(CreateDirectoryA("C:\\CopyOfCorvaneUserReg.reg", nullptr));
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F1);
    ASSERT_TRUE(window.WaitLabelContains(1, "Continue save?", kScreenMs)) << window.Label(1);
    window.Press(F1);
    EXPECT_TRUE(window.WaitLabel(1, "Configuration Save & Restore Utility failed", kRunMs)) << window.Label(1);
    EXPECT_EQ(kRed, window.LabelColour(1));
    // The title's "&" is shown as it is, not as a mnemonic underline.
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(window.Window(), IDC_LABEL1), GWL_STYLE) & SS_NOPREFIX);
    EXPECT_EQ(0u, window.Label(2).find("File Exception (dwResult: ")) << window.Label(2);
    EXPECT_EQ(kRed, window.LabelColour(2));
    EXPECT_EQ("Confirm", window.SoftKey(1));
    EXPECT_EQ(0x11u, window.KeyMask());
    EXPECT_NE(std::string::npos, RunLog().find("Configuration Save & Restore Utility failed with 0xFFFFFFFF"))
        << RunLog();

    RemoveDirectoryA("C:\\CopyOfCorvaneUserReg.reg");
    // A key held through the run's end repeats: that is no fresh press.
    ASSERT_TRUE(PostMessageA(window.Window(), WM_KEYDOWN, F1, 0x40000001));
    ASSERT_TRUE(PostMessageA(window.Window(), WM_KEYUP, F1, static_cast<LPARAM>(0xC0000001u)));
    EXPECT_FALSE(window.WaitLabelChange(1, "Configuration Save & Restore Utility failed", 3000))
        << "a repeat started the retry";
    EXPECT_NE(std::string::npos, RunLog().find("OnKeyDown: Key 70 held or repeating, ignored")) << RunLog();
    window.Press(F1);
    EXPECT_TRUE(window.WaitLabel(1, "Configuration Saved", kRunMs)) << window.Label(1);
}

TEST_F(TendwickWindowTest, F5TwiceRestartsOnce)
{
    LayUnit(kUnitA);
    DbwinCapture debug(DbwinCapture::AllProcesses);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F5);
    window.Press(F5);
    EXPECT_TRUE(window.WaitExit(kScreenMs));
    ASSERT_TRUE(debug.WaitFor(kUtilityStarted, 10000));
    debug.Flush();
    size_t starts = 0;
    for (const std::string& text : debug.Texts()) starts += text.find(kUtilityStarted) != std::string::npos;
    EXPECT_EQ(1u, starts);
}

// --- runs that never lose the stick's save and never hang ----------------------

TEST_F(TendwickWindowTest, NoKeyIsTakenWhileACutOffDisablingIsFinished)
{
    // A save whose disabling stopped short: the shell program was missing.
    LayUnit(kUnitA);
    ASSERT_TRUE(MoveFileA("E:\\VevezaDE1.DAT", "E:\\VevezaDE1.hold"));
    SaveThroughTheWindow();
    ASSERT_TRUE(MoveFileA("E:\\VevezaDE1.hold", "E:\\VevezaDE1.DAT"));
    ASSERT_FALSE(HasFatalFailure());

    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    ASSERT_EQ("Save", window.SoftKey(1)) << window.Describe();
    ASSERT_EQ(0x05u, window.KeyMask() & 0x05u) << "save and restore both offered";
    // The question a save asks comes before the unit is changed again.
    window.Press(F1);
    ASSERT_TRUE(window.WaitLabel(1, "Save will disable this unit. Continue save?", kScreenMs));
    // F3 queued behind the confirming F1 reaches the window during the run.
    window.Press(F1);
    window.Press(F3);
    EXPECT_TRUE(WaitSoftKey(window, 1, "Done", kRunMs));
    EXPECT_EQ("Configuration Saved", window.Label(1));
    EXPECT_EQ(0x01u, window.KeyMask());
    EXPECT_TRUE(FileExists("E:\\ZelConfig\\SWPartNum.txt")) << "the disabled unit's only save was cleared";
    EXPECT_EQ("\"StartupApp1\"=string:\"D:\\Data\\Dormantis.exe|Ferx|noregister\"",
              StoreValueLine("D:\\Data\\ShellPersist\\ShellConfig.pri", "StartupApp1"));
}

TEST_F(TendwickWindowTest, WithoutAPersistRootCancelStillEndsInTheRestartScreen)
{
    // The persist root goes after the window has opened: the media root for
    // the utility is then asked for in vain, by a call that raises.
    LayUnit(kUnitA);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    HKEY corvane = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane", 0, KEY_SET_VALUE, &corvane));
    RegDeleteValueA(corvane, "PersistPath");
    RegDeleteValueA(corvane, "DataPath");
    RegCloseKey(corvane);
    window.Press(F5);
    EXPECT_TRUE(window.WaitExit(kScreenMs));
    EXPECT_EQ(0u, window.ExitCode()) << "ended by an exception";
    std::string log = TendwickDriver::LastRun(RunLog());
    EXPECT_NE(std::string::npos, log.find("ERROR: Restart: No media root for the utility")) << log;
    EXPECT_NE(std::string::npos, log.find("EVENT: System Restarting\r\n")) << log;
}

TEST_F(TendwickWindowTest, AClosedWindowWaitsForTheRunAndTheProgramEnds)
{
    LayUnit(kUnitA);
    ASSERT_NO_FATAL_FAILURE(SaveThroughTheWindow());
    LayUnit(kUnitB, true);
    DbwinCapture debug(DbwinCapture::AllProcesses);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F3);
    ASSERT_TRUE(window.WaitLabelContains(1, "Continue restore?", kScreenMs));
    window.Press(F3);
    ASSERT_TRUE(window.WaitLabel(1, "Updating configuration from removable media...", kRunMs));
    PostMessageA(window.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.WaitExit(kRunMs));
    std::string log = TendwickDriver::LastRun(RunLog());
    EXPECT_NE(std::string::npos, log.find("OnClose: Run in progress, closing after it")) << log;
    EXPECT_NE(std::string::npos, log.find("EVENT: Configuration Restored")) << log;
    EXPECT_TRUE(debug.WaitFor(kUtilityStarted, 10000)) << "the restored unit was not restarted";
}

TEST_F(TendwickWindowTest, AQuitRequestDuringARunEndsTheProgramAfterIt)
{
    LayUnit(kUnitA);
    ASSERT_NO_FATAL_FAILURE(SaveThroughTheWindow());
    LayUnit(kUnitB, true);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F3);
    ASSERT_TRUE(window.WaitLabelContains(1, "Continue restore?", kScreenMs));
    window.Press(F3);
    ASSERT_TRUE(window.WaitLabel(1, "Updating configuration from removable media...", kRunMs));
    ASSERT_TRUE(PostThreadMessageA(GetWindowThreadProcessId(window.Window(), nullptr), WM_QUIT, 0, 0));
    EXPECT_TRUE(window.WaitExit(kRunMs)) << "the quit request was swallowed";
}

TEST_F(TendwickWindowTest, AStickChangedAfterTheOpeningScreenIsDecidedAgain)
{
    // Save: another unit's save plugged in after the question stays whole.
    LayUnit(kUnitA);
    {
        TendwickDriver window(Exe());
        ASSERT_TRUE(window.Start(kScreenMs));
        window.Press(F1);
        ASSERT_TRUE(window.WaitLabelContains(1, "Continue save?", kScreenMs));
        ASSERT_TRUE(WriteFileMakingFolders("E:\\ZelConfig\\SWPartNum.txt", "Z9999|612-00999-000 Rev 3"));
        ASSERT_TRUE(WriteFileMakingFolders("E:\\ZelConfig\\CorvaneUserRegistry.reg", "WINE REGISTRY Version 2\n"));
        window.Press(F1);
        EXPECT_TRUE(window.WaitLabel(1, "No save or restore allowed.\nUnit is not a valid Save or Restore candidate",
                                     kRunMs));
        EXPECT_EQ("Saved files on disk, Invalid target", window.Label(3));
        EXPECT_EQ(0x10u, window.KeyMask());
        EXPECT_EQ("Z9999|612-00999-000 Rev 3", ReadFileBytes("E:\\ZelConfig\\SWPartNum.txt"));
    }

    // Restore: a save of a release this unit may not take, swapped in after the question.
    LayUnit(kUnitA);
    ASSERT_NO_FATAL_FAILURE(SaveThroughTheWindow());
    LayUnit(kUnitB, true);
    TendwickDriver window(Exe());
    ASSERT_TRUE(window.Start(kScreenMs));
    window.Press(F3);
    ASSERT_TRUE(window.WaitLabelContains(1, "Continue restore?", kScreenMs));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\ZelConfig\\SWPartNum.txt", "A1234|612-00340-800 Rev 9"));
    window.Press(F3);
    EXPECT_TRUE(window.WaitLabel(1, "No save or restore allowed.\nUnit is not a valid Save or Restore candidate",
                                 kRunMs));
    EXPECT_NE(std::string::npos, window.Label(2).find("612-00340-800 Rev 09")) << window.Label(2);
    EXPECT_NE("\"UnitTag\"=string:\"Unit A Client\"",
              StoreValueLine("D:\\Data\\DatalinkPersist\\Client.pri", "UnitTag"));
    EXPECT_TRUE(FileExists("E:\\ZelConfig\\CorvaneUserRegistry.reg"));
}

} // namespace
