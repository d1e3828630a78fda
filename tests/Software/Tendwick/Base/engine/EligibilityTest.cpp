// Whether the unit may be saved, whether the media's save may be restored
// onto it, and the disabled source unit.
#include "EngineFixture.h"

#include "ReleasePairs.h"

namespace {

class Eligibility : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        registry.SetString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", "UNIT4711");
    }
    void PutSaveOnMedia()
    {
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
        if (!FileExists(std::string(kMediaConfig) + "\\SWPartNum.txt")) WriteSavedIdentity("OTHER1|612-00340-000 Rev 0");
    }
};

TEST_F(Eligibility, ASaveOnTheMediaRefusesEverySave)
{
    PutSaveOnMedia();
    EligibilityStatus status = ELIG_NONE;
    EXPECT_FALSE(engine.ChkSave("612-00340-000", 0, &status));
    EXPECT_EQ(ELIG_SAVED_FILES_ON_DISK, status);
    EXPECT_STREQ("Saved files on disk", EligibilityStatusText(status));
    EXPECT_FALSE(engine.LastSurvey().bSaveAllowed);
    EXPECT_EQ(1u, LoggedAt("", "ChkSave: Saved Files Present\n"));
    EXPECT_TRUE(LoggedMessages("ChkSaveAllow").empty());
}

TEST_F(Eligibility, ARevisionOneUnitIsFoundAfter21Comparisons)
{
    EligibilityStatus status = ELIG_NONE;
    EXPECT_TRUE(engine.ChkSave("612-00340-500", 1, &status));
    EXPECT_EQ(ELIG_INVALID_SOURCE, status) << "left at 1 when allowed";
    EXPECT_TRUE(engine.LastSurvey().bSaveAllowed);

    std::vector<std::string> comparisons = LoggedMessages("ChkSaveAllow: comparing");
    ASSERT_EQ(21u, comparisons.size());
    EXPECT_EQ("ChkSaveAllow: comparing [612-00340-500 Rev 1 =? 612-00340-000 Rev 0]\n", comparisons[0]);
    EXPECT_EQ("ChkSaveAllow: comparing [612-00340-500 Rev 1 =? 612-00340-900 Rev 0]\n", comparisons[15]);
    EXPECT_EQ("ChkSaveAllow: comparing [612-00340-500 Rev 1 =? 612-00340-000 Rev 1]\n", comparisons[16]);
    EXPECT_EQ("ChkSaveAllow: comparing [612-00340-500 Rev 1 =? 612-00340-500 Rev 1]\n", comparisons[20]);
    EXPECT_EQ(1u, LoggedAt("", comparisons[20])) << "trace level";
    EXPECT_TRUE(window.calls.empty()) << "the checks show nothing";
}

TEST_F(Eligibility, AShortenedPartNumberPassesTheSaveCheckByPrefix)
{
    EligibilityStatus status = ELIG_NONE;
    EXPECT_TRUE(engine.ChkSave("612-00340-5", 0, &status));
    EXPECT_EQ(5u, LoggedMessages("ChkSaveAllow: comparing").size());
    EXPECT_TRUE(IsSupportedRelease("612-00340-5", 0));
}

TEST_F(Eligibility, AnUnknownReleaseIsNoSource)
{
    EligibilityStatus status = ELIG_NONE;
    EXPECT_FALSE(engine.ChkSave("Unknown", -1, &status));
    EXPECT_EQ(ELIG_INVALID_SOURCE, status);
    EXPECT_STREQ("Invalid source", EligibilityStatusText(status));
    EXPECT_FALSE(engine.LastSurvey().bSaveAllowed);
    EXPECT_EQ(24u, LoggedMessages("ChkSaveAllow: comparing").size());
    EXPECT_EQ(1u, LoggedAt("ERROR", "ChkSaveAllow: Unknown is not a valid source part and revision\n"));
}

TEST_F(Eligibility, ADisabledUnitIsNoSource)
{
    SetFerrox("ShellConfig", "saved");
    EligibilityStatus status = ELIG_NONE;
    EXPECT_FALSE(engine.ChkSave("612-00340-000", 0, &status));
    EXPECT_EQ(ELIG_DISABLED_UNIT, status);
    EXPECT_STREQ("Disabled unit", EligibilityStatusText(status));
    EXPECT_EQ(1u, LoggedAt("ERROR", "ChkSave: Unit is disabled already\n"));
}

TEST_F(Eligibility, OnlySavedInAnyCaseMeansDisabled)
{
    EXPECT_FALSE(engine.IsUnitDisabled()) << "no value";
    SetFerrox("ShellConfig", "SAVED ");
    EXPECT_FALSE(engine.IsUnitDisabled());
    SetFerrox("ShellConfig", "RESTORED");
    EXPECT_FALSE(engine.IsUnitDisabled());
    SetFerrox("ShellConfig", "Saved");
    EXPECT_TRUE(engine.IsUnitDisabled());
}

TEST_F(Eligibility, TheLegacyFamilyKeepsItsStateInSystemData)
{
    SetFerrox("SystemData", "SAVED");
    EXPECT_FALSE(engine.IsUnitDisabled());
    engine.SetSwPartNum("612-00288-001", 0);
    EXPECT_TRUE(engine.IsUnitDisabled());
    SetFerrox("ShellConfig", "SAVED");
    SetFerrox("SystemData", "RESTORED");
    EXPECT_FALSE(engine.IsUnitDisabled());
}

TEST_F(Eligibility, OnlyTheSavedRegistryFileMarksASave)
{
    ASSERT_TRUE(
        WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\ShellPersist-ShellConfig.pri", "CRC:0\r\n"));
    WriteSavedIdentity("A1|612-00340-000 Rev 0");
    EXPECT_FALSE(engine.AreThereSavedFiles());
    EXPECT_EQ(1u, LoggedAt("WARNING", "AreThereSavedFiles: Could not open RegValue"));

    PutSaveOnMedia();
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:");
    ClearLog();
    EXPECT_TRUE(engine.AreThereSavedFiles());
    EXPECT_TRUE(LoggedMessages("AreThereSavedFiles").empty());

    // The media root's first 64 characters count.
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(80, 'm') + "\\");
    EXPECT_FALSE(engine.AreThereSavedFiles());
}

TEST_F(Eligibility, RestoreOnlyOntoTheSamePartFromAnAllowedRevision)
{
    WriteSavedIdentity("OTHER1|612-00340-002 Rev 1");
    EligibilityStatus status = ELIG_NONE;
    EXPECT_FALSE(engine.ChkRestoreAllow("612-00340-002", 1, "612-00340-002", 0, &status));
    EXPECT_EQ(ELIG_INVALID_TARGET, status);
    EXPECT_STREQ("Invalid target", EligibilityStatusText(status));
    EXPECT_FALSE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(1u, LoggedAt("ERROR", "ChkRestoreAllow: 612-00340-002 is not a valid restore target\n"));

    EXPECT_TRUE(engine.ChkRestoreAllow("612-00340-002", 0, "612-00340-002", 1, &status));
    EXPECT_EQ(ELIG_INVALID_TARGET, status) << "left at 5 when allowed through the table";
    EXPECT_TRUE(engine.LastSurvey().bRestoreAllowed);

    EXPECT_FALSE(engine.ChkRestoreAllow("612-00340-000", 0, "612-00340-002", 0, &status));
    EXPECT_FALSE(engine.ChkRestoreAllow("612-00340-500", 0, "612-00340-5", 0, &status))
        << "whole texts, unlike the save check";
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(Eligibility, ADisabledUnitReceivesNoOtherUnitsSave)
{
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00340-000 Rev 0");
    engine.SetSwPartNum("612-00340-000", 0);
    SetFerrox("ShellConfig", "SAVED");
    WriteSavedIdentity("OTHER1|612-00340-000 Rev 0");
    EligibilityStatus status = ELIG_NONE;
    EXPECT_FALSE(engine.IsSameUnitRestore());
    EXPECT_FALSE(engine.ChkRestoreAllow("612-00340-000", 0, "612-00340-000", 0, &status));
    EXPECT_EQ(ELIG_DISABLED_UNIT, status);
    EXPECT_EQ(1u, LoggedAt("ERROR", "ChkRestoreAllow: Unit is already disabled\n"));
}

TEST_F(Eligibility, TheDisabledSourceUnitWithTheDefaultSerialTakesItsSaveBack)
{
    registry.SetString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", "TARNVELLO");
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00340-000 Rev 1");
    engine.SetSwPartNum("612-00340-000", 1);
    SetFerrox("ShellConfig", "SAVED");
    WriteSavedIdentity("SRC999|612-00340-000 Rev 1");

    EXPECT_TRUE(engine.IsSameUnitRestore()) << "no valid serial of its own to tell it apart";
    EligibilityStatus status = ELIG_NONE;
    EXPECT_TRUE(engine.ChkRestoreAllow("612-00340-000", 1, "612-00340-000", 1, &status));
    EXPECT_EQ(ELIG_RESTORE_START, status);
    EXPECT_STREQ("", EligibilityStatusText(status));
    EXPECT_TRUE(engine.LastSurvey().bRestoreAllowed);
}

TEST_F(Eligibility, ASaveCountsOnlyWithBothItsRegistryFileAndItsIdentityRecord)
{
    struct Row {
        bool registryFile;
        bool identity;
        bool counts;
    };
    for (const Row& row : {Row{true, false, false}, Row{false, true, false}, Row{true, true, true}}) {
        SCOPED_TRACE(std::string(row.registryFile ? "registry file" : "") + (row.identity ? " identity record" : ""));
        RemoveTree(kMediaConfig);
        if (row.registryFile) {
            ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
        }
        if (row.identity) WriteSavedIdentity("A1234|612-00340-000 Rev 0");
        EXPECT_EQ(row.counts, engine.AreThereSavedFiles());
        EligibilityStatus status = ELIG_NONE;
        EXPECT_EQ(!row.counts, engine.ChkSave("612-00340-000", 0, &status));
        EXPECT_EQ(row.counts ? ELIG_SAVED_FILES_ON_DISK : ELIG_INVALID_SOURCE, status);
    }
}

TEST_F(Eligibility, TwoValidSerialNumbersMustBeEqualAsWholeTexts)
{
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00340-800 Rev 0");
    engine.SetSwPartNum("612-00340-800", 0);
    SetFerrox("ShellConfig", "SAVED");
    struct Row {
        const char* own;
        const char* saved;
        bool        same;
    };
    for (const Row& row : {Row{"A123", "A1234", false}, Row{"A1234", "A123", false}, Row{"A1234", "A12345", false},
                           Row{"A1234", "a1234", true}, Row{"A1234", "A1234", true},
                           // Without a valid serial of its own the disabled unit on the saved
                           // release is the source unit, as before.
                           Row{"TARNVELLO", "A1234", true}}) {
        SCOPED_TRACE(std::string(row.own) + " against the save of " + row.saved);
        registry.SetString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", row.own);
        WriteSavedIdentity(std::string(row.saved) + "|612-00340-800 Rev 0");
        EXPECT_EQ(row.same, engine.IsSameUnitRestore());
    }
}

TEST_F(Eligibility, TheSameUnitNeedsItsSerialItsReleaseAndTheDisabledState)
{
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00340-800 Rev 0");
    engine.SetSwPartNum("612-00340-800", 0);
    WriteSavedIdentity("UNIT4711|612-00340-800 Rev 0");
    EXPECT_FALSE(engine.IsSameUnitRestore()) << "not disabled";

    SetFerrox("ShellConfig", "SAVED");
    EXPECT_TRUE(engine.IsSameUnitRestore());

    WriteSavedIdentity("UNIT4711|612-00340-800 Rev 1");
    EXPECT_FALSE(engine.IsSameUnitRestore()) << "another release";

    WriteSavedIdentity("UNIT4712|612-00340-800 Rev 0");
    EXPECT_FALSE(engine.IsSameUnitRestore()) << "another unit";
}

} // namespace
