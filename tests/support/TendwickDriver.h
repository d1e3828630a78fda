// Drives the real maintenance program from a test under Wine: starts it, waits
// for its window, presses bezel keys and reads back the screen. The waits
// return a gtest result whose failure text names what the screen showed:
//
//   TendwickDriver d(BinFolder() + "\\Tendwick.exe");
//   ASSERT_TRUE(d.Start());
//   EXPECT_EQ("Save", d.SoftKey(1));
//   d.Press(VK_F1);
//   EXPECT_TRUE(d.WaitLabelContains(1, "?", 10000));
//   d.Press(VK_F1);
//   EXPECT_TRUE(d.WaitLabel(1, "Configuration Saved", 60000));
//   EXPECT_EQ(0x01u, d.KeyMask());
//
// The readers (Label, LabelColourName, SoftKey, Corners, KeyMask,
// IsControlVisible, Describe) come from TendwickWindow. A program still
// running when the driver goes is terminated.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TendwickWindow.h"

class TendwickDriver : public TendwickWindow {
public:
    // Where the program writes its run log with the default media drive.
    static const char RUN_LOG_PATH[];

    explicit TendwickDriver(std::string exe) : TendwickWindow(std::move(exe)) {}

    // Starts the program in its own folder and waits until its window is
    // shown, idle and painted.
    testing::AssertionResult Start(DWORD ms = DEFAULT_READY_TIMEOUT, const std::string& arguments = std::string());
    // Waits again for idle and painted (after a key, before a screenshot).
    testing::AssertionResult WaitIdle(DWORD ms = DEFAULT_READY_TIMEOUT);

    // Label number (1..4) reads exactly text / contains text / no longer reads from.
    testing::AssertionResult WaitLabel(int number, const std::string& text, DWORD ms);
    testing::AssertionResult WaitLabelContains(int number, const std::string& text, DWORD ms);
    testing::AssertionResult WaitLabelChange(int number, const std::string& from, DWORD ms);
    testing::AssertionResult WaitControlVisible(int id, bool visible, DWORD ms);
    // Soft key number (1..5) reads caption; a run has returned when its last
    // soft keys show, while the status line may change mid-run.
    testing::AssertionResult WaitSoftKey(int number, const std::string& caption, DWORD ms);

    // The program has ended within ms; its exit code is then ExitCode().
    testing::AssertionResult WaitExit(DWORD ms);
    DWORD ExitCode() const { return m_dwExitCode; }

    // The whole run log, and the part of it this run wrote (from the last
    // "Start New Log" banner on, the whole text when there is none).
    static std::string RunLog(const std::string& path = RUN_LOG_PATH);
    static std::string LastRun(const std::string& log);

private:
    testing::AssertionResult LabelWait(int number, const std::string& text, Match how, DWORD ms);

    DWORD m_dwExitCode = STILL_ACTIVE;
};
