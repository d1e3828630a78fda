// Who the unit is: serial-number sources in their order, the part-number
// text, storing a new serial number and the identity saved on the media.
#include "EngineFixture.h"

#include "IdentityRules.h"

#include <algorithm>
#include <cstring>

#include "Retenta.h"

namespace {

class UnitIdentity : public EngineTest {
protected:
    void SetComputerName(const std::string& name)
    {
        registry.SetString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", name);
    }
    void SetRegistrySerial(const std::string& serial)
    {
        registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", serial);
    }

    struct Serial {
        int         source;
        std::string text;
    };
    Serial Get(size_t size = 100)
    {
        std::vector<char> buffer(size + 8, 'Z');
        int source = static_cast<int>(GetSerialNum(buffer.data(), size));
        for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ('Z', buffer[i]) << "wrote past the buffer at " << i;
        EXPECT_NE(nullptr, std::memchr(buffer.data(), '\0', size)) << "not terminated";
        return {source, std::string(buffer.data())};
    }
};

TEST_F(UnitIdentity, TheUserRegistryComesFirstEvenAfterSaveNewSn)
{
    SetRegistrySerial("REG7788");
    SetComputerName("UNIT4711");
    ASSERT_TRUE(SaveNewSn("STORE55"));
    EXPECT_EQ("STORE55", ReadStoreString("ShellPersist", "SystemData", "SerialNumber"));

    Serial s = Get();
    EXPECT_EQ(2, s.source);
    EXPECT_EQ("REG7788", s.text);
    EXPECT_EQ(1u, LoggedAt("", "CRunMaint::GetSerialNum: Returning retVal = 2, s/n=\"REG7788\"\n"));
}

TEST_F(UnitIdentity, TheStoreComesSecondAndLogsOnce)
{
    StoreString("ShellPersist", "SystemData", "SerialNumber", "ST1234");
    SetComputerName("UNIT4711");
    Serial s = Get();
    EXPECT_EQ(1, s.source);
    EXPECT_EQ("ST1234", s.text);
    EXPECT_EQ(1u, LoggedMessages("CRunMaint::GetSerialNum: Returning").size());
    EXPECT_EQ(1u, LoggedAt("", "CRunMaint::GetSerialNum: Returning retVal = 1, s/n=\"ST1234\"\n"));
}

TEST_F(UnitIdentity, AnEmptyStoreValueIsSkippedForTheComputerName)
{
    StoreString("ShellPersist", "SystemData", "SerialNumber", "");
    SetComputerName("UNIT4711");
    Serial s = Get();
    EXPECT_EQ(3, s.source);
    EXPECT_EQ("UNIT4711", s.text);
    EXPECT_TRUE(IsValidSerialNum(s.text.c_str()));
}

TEST_F(UnitIdentity, TheFamilyWordAsComputerNameIsARealSourceButNoValidSerial)
{
    SetComputerName("TARNVELLO7");
    Serial s = Get();
    EXPECT_EQ(3, s.source);
    EXPECT_EQ("TARNVELLO7", s.text);
    EXPECT_FALSE(IsValidSerialNum(s.text.c_str()));
    EXPECT_FALSE(HasValidSerialNum());

    char part[100], serial[100];
    EXPECT_TRUE(engine.GetSwPartNum(part, serial, sizeof(serial))) << "code 3 counts as a real source";
}

TEST_F(UnitIdentity, TheFixedTextIsTheLastResort)
{
    registry.Delete(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName");
    Serial s = Get();
    EXPECT_EQ(0, s.source);
    EXPECT_EQ("TARNVELLO", s.text);
    EXPECT_EQ(1u, LoggedAt("ERROR", "CRunMaint::GetSerialNum: RegOpenKeyEx ComputerName returned error 2\n"));
    EXPECT_EQ(1u, LoggedAt("", "CRunMaint::GetSerialNum: Returning retVal = 0, s/n=\"TARNVELLO\"\n"));

    char part[100], serial[100];
    EXPECT_FALSE(engine.GetSwPartNum(part, serial, sizeof(serial)));
    EXPECT_STREQ("TARNVELLO", serial);
    EXPECT_FALSE(HasValidSerialNum());
}

TEST_F(UnitIdentity, RegistryValuesLongerThanTheBufferAreNotTaken)
{
    // size - 1 bytes with the terminator fit; one more does not.
    SetRegistrySerial(std::string(98, 'R'));
    SetComputerName("UNIT4711");
    EXPECT_EQ(2, Get(100).source);
    EXPECT_EQ(std::string(98, 'R'), Get(100).text);

    SetRegistrySerial(std::string(99, 'R'));
    Serial s = Get(100);
    EXPECT_EQ(3, s.source);
    EXPECT_EQ("UNIT4711", s.text);

    SetComputerName(std::string(200, 'C'));
    s = Get(100);
    EXPECT_EQ(0, s.source);
    EXPECT_EQ("TARNVELLO", s.text);
    EXPECT_EQ(1u, LoggedAt("ERROR", "CRunMaint::GetSerialNum: RegOpenKeyEx ComputerName returned error 234\n"));
}

TEST_F(UnitIdentity, AValueStoredWithoutItsTerminatorStillEnds)
{
    registry.SetRawString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", std::string(8, 'N'));
    Serial s = Get(10);
    EXPECT_EQ(2, s.source);
    EXPECT_EQ(std::string(8, 'N'), s.text);
}

TEST_F(UnitIdentity, SmallBuffersGetTheFixedTextCut)
{
    registry.Delete(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName");
    Serial s = Get(5);
    EXPECT_EQ(0, s.source);
    EXPECT_EQ("TARN", s.text);
}

TEST_F(UnitIdentity, AStoreValueCutToTheBufferIsNoSerialNumber)
{
    StoreString("ShellPersist", "SystemData", "SerialNumber", std::string(150, 'S').c_str());
    SetComputerName("UNIT4711");
    Serial s = Get(100);
    EXPECT_EQ(3, s.source);
    EXPECT_EQ("UNIT4711", s.text);
}

TEST_F(UnitIdentity, PartNumberTextFromTheStoreOrUnknown)
{
    SetComputerName("UNIT4711");
    char part[100], serial[100];
    EXPECT_TRUE(engine.GetSwPartNum(part, serial, sizeof(part)));
    EXPECT_STREQ("Unknown", part);

    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00340-000 Rev 1");
    EXPECT_TRUE(engine.GetSwPartNum(part, serial, sizeof(part)));
    EXPECT_STREQ("612-00340-000 Rev 1", part);
    EXPECT_STREQ("UNIT4711", serial);

    // Longer than the buffer: the store cuts it and says so; not taken.
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", std::string(300, 'P').c_str());
    EXPECT_TRUE(engine.GetSwPartNum(part, serial, sizeof(part)));
    EXPECT_STREQ("Unknown", part);
}

TEST_F(UnitIdentity, SaveNewSnStoresTheNumberAndReportsIt)
{
    EXPECT_TRUE(SaveNewSn("A9876"));
    EXPECT_EQ("A9876", ReadStoreString("ShellPersist", "SystemData", "SerialNumber"));
    EXPECT_EQ(1u, LoggedAt("", "SaveNewSn: Saving Serial Number File\n"));
    EXPECT_EQ(1u, LoggedAt("", "SaveNewSn: Saved Serial to Persist\n"));
    EXPECT_EQ(0u, LoggedAt("", "SaveNewSn: Could not save Serial to Persist\n"));

    // The registry source is not written: the store is what answers now.
    registry.Delete(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName");
    char serial[100];
    EXPECT_EQ(SerialSource::Store, GetSerialNum(serial, sizeof(serial)));
    EXPECT_TRUE(HasValidSerialNum());
}

TEST_F(UnitIdentity, SaveNewSnReportsAStoreThatCannotBeWritten)
{
    // A base path so long that the key's file name no longer fits a path.
    std::string base = PersistRoot();
    while (base.size() < 235) {
        base += std::string(std::min<size_t>(40, 240 - base.size()), 'L') + "\\";
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr)) << base.size() << " " << GetLastError();
    }
    ASSERT_TRUE(SetPersistBasePath(base.c_str()));
    EXPECT_FALSE(SaveNewSn("A9876"));
    EXPECT_EQ(1u, LoggedAt("", "SaveNewSn: Could not save Serial to Persist\n"));
}

TEST_F(UnitIdentity, SetSwPartNumKeepsAtMost63Characters)
{
    EXPECT_EQ("", engine.LastSurvey().unit.part);
    EXPECT_EQ(-1, engine.LastSurvey().unit.revision);

    engine.SetSwPartNum(std::string(100, 'p').c_str(), 7);
    EXPECT_EQ(std::string(63, 'p'), engine.LastSurvey().unit.part);
    EXPECT_EQ(7, engine.LastSurvey().unit.revision);

    engine.SetSwPartNum("612-00288-001", 0);
    EXPECT_TRUE(IsLegacyShellPart(engine.LastSurvey().unit.part.c_str()));
    engine.SetSwPartNum("612-00340-000", 0);
    EXPECT_FALSE(IsLegacyShellPart(engine.LastSurvey().unit.part.c_str()));
}

TEST_F(UnitIdentity, TheEngineStartsWithClearedFlags)
{
    EXPECT_FALSE(engine.Prompts().bConfirmShown);
    EXPECT_FALSE(engine.LastSurvey().bSaveAllowed);
    EXPECT_FALSE(engine.LastSurvey().bRestoreAllowed);
    EXPECT_EQ(RestoreStage::Start, engine.Prompts().restoreStage);
    EXPECT_FALSE(engine.Prompts().bSerialPromptShown);
    engine.SetConfirmShown(true);
    EXPECT_TRUE(engine.Prompts().bConfirmShown);
}

struct Saved {
    std::string part;
    int         revision;
    std::string serial;
};

class SavedIdentity : public EngineTest {
protected:
    Saved Read()
    {
        char part[SAVED_FIELD_OUT_SIZE + 4];
        char serial[SAVED_FIELD_OUT_SIZE + 4];
        std::memset(part, 'Z', sizeof(part));
        std::memset(serial, 'Z', sizeof(serial));
        std::strcpy(part, "preset");
        std::strcpy(serial, "preset");
        int revision = 99;
        engine.ReadSavedPartNum(part, &revision, serial);
        for (size_t i = SAVED_FIELD_OUT_SIZE; i < sizeof(part); ++i) {
            EXPECT_EQ('Z', part[i]) << "part overrun at " << i;
            EXPECT_EQ('Z', serial[i]) << "serial overrun at " << i;
        }
        return {part, revision, serial};
    }
};

TEST_F(SavedIdentity, ReadsTheRecordOfASave)
{
    WriteSavedIdentity("A1234|612-00340-000 Rev 1");
    Saved s = Read();
    EXPECT_EQ("A1234", s.serial);
    EXPECT_EQ("612-00340-000", s.part);
    EXPECT_EQ(1, s.revision);

    WriteSavedIdentity("|612-00340-002 Rev 0");
    s = Read();
    EXPECT_EQ("", s.serial);
    EXPECT_EQ("612-00340-002", s.part);
    EXPECT_EQ(0, s.revision);
}

TEST_F(SavedIdentity, AFortyCharacterSerialReadsBackAsItsFirst28)
{
    std::string serial40 = "0123456789012345678901234567890123456789";
    WriteSavedIdentity(serial40 + "|612-00340-000 Rev 1");
    Saved s = Read();
    EXPECT_EQ(serial40.substr(0, 28), s.serial);
    EXPECT_EQ("612-00340-000", s.part);
    EXPECT_EQ(1, s.revision);
}

TEST_F(SavedIdentity, WithoutARecordThePresetsStay)
{
    Saved s = Read();
    EXPECT_EQ("preset", s.part);
    EXPECT_EQ(99, s.revision);
    EXPECT_EQ("preset", s.serial);
}

TEST_F(SavedIdentity, TheMediaRootComesFromCdromWithABackslashAdded)
{
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:");
    WriteSavedIdentity("B5|612-00340-100 Rev 0");
    EXPECT_EQ("612-00340-100", Read().part);

    // Longer than the flows take: refused, neither cut nor replaced by the default.
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "F:\\" + std::string(200, 'x'));
    EXPECT_EQ("preset", Read().serial);
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(70, 'x'));
    EXPECT_EQ("preset", Read().serial);

    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\nowhere\\");
    EXPECT_EQ("preset", Read().serial);
}

TEST_F(SavedIdentity, UntrustedContentGivesADefinedIdentity)
{
    WriteSavedIdentity("no bar here");
    Saved s = Read();
    EXPECT_EQ("no bar here", s.serial);
    EXPECT_EQ("", s.part);
    EXPECT_EQ(-1, s.revision);

    WriteSavedIdentity("|||||||||||||");
    s = Read();
    EXPECT_EQ("", s.serial);
    EXPECT_EQ("", s.part);
    EXPECT_EQ(-1, s.revision);

    // A full read of 100 bytes without a terminator or a bar.
    WriteSavedIdentity(std::string(150, 'x'));
    EXPECT_EQ(std::string(28, 'x'), Read().serial);

    std::string binary;
    for (int i = 0; i < 10 * 1024; ++i) binary += static_cast<char>((i * 37 + 11) & 0xFF);
    WriteSavedIdentity(binary);
    s = Read();
    EXPECT_LE(s.serial.size(), 28u);
    EXPECT_LE(s.part.size(), 28u);

    WriteSavedIdentity(std::string("AB\0CD|612-00340-000 Rev 1", 25));
    s = Read();
    EXPECT_EQ("AB", s.serial) << "the text ends at a NUL";
    EXPECT_EQ("", s.part);

    WriteSavedIdentity("K1|" + std::string(10 * 1024, '|'));
    s = Read();
    EXPECT_EQ("K1", s.serial);
    EXPECT_EQ("", s.part);
}

TEST_F(NoCorvaneKeyTest, ReadSavedPartNumKeepsThePresetsWithoutTheSettingsKey)
{
    ASSERT_TRUE(WriteFileMakingFolders("E:\\ZelConfig\\SWPartNum.txt", "A1234|612-00340-000 Rev 1"));
    char part[32] = "p", serial[32] = "s";
    int revision = 5;
    engine.ReadSavedPartNum(part, &revision, serial);
    RemoveTree(kMediaConfig);
    EXPECT_STREQ("p", part);
    EXPECT_STREQ("s", serial);
    EXPECT_EQ(5, revision);
}

} // namespace
