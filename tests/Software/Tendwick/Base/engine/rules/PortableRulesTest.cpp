// The engine's byte-level rules: fields, prefixes, the part-number scan, the
// path join, serial-number validity, the legacy family, the saved identity
// record and the release table.
#include "FerroxState.h"
#include "IdentityRules.h"
#include "ReleasePairs.h"
#include "TextFields.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Fields {
    std::vector<std::string> values;
};

// Runs SplitFields into a buffer with guard bytes around every field.
Fields Split(const char* text, char separator, size_t fieldSize, size_t maxFields)
{
    std::vector<char> buffer(fieldSize * maxFields + 1, 'Z');
    SplitFields(text, separator, buffer.data(), fieldSize, maxFields);
    EXPECT_EQ('Z', buffer.back()) << "wrote past the last field";
    Fields out;
    for (size_t i = 0; i < maxFields; ++i) {
        const char* field = buffer.data() + i * fieldSize;
        EXPECT_NE(nullptr, std::memchr(field, '\0', fieldSize)) << "field " << i << " not terminated";
        out.values.emplace_back(field);
    }
    return out;
}

TEST(SplitFields, FieldsEndAtSeparatorsAndAtTheLastCharacter)
{
    EXPECT_EQ((std::vector<std::string>{"A1234", "612-00340-000 Rev 1"}),
              Split("A1234|612-00340-000 Rev 1", '|', 30, 2).values);
    EXPECT_EQ((std::vector<std::string>{"", "B"}), Split("|B", '|', 30, 2).values);
    EXPECT_EQ((std::vector<std::string>{"A", ""}), Split("A|", '|', 30, 2).values);
    EXPECT_EQ((std::vector<std::string>{"ABC", ""}), Split("ABC", '|', 30, 2).values);
    EXPECT_EQ((std::vector<std::string>{"", ""}), Split("", '|', 30, 2).values);
    EXPECT_EQ((std::vector<std::string>{"A", "", "B"}), Split("A||B", '|', 30, 3).values);
    EXPECT_EQ((std::vector<std::string>{"x", ""}), Split("x", '|', 30, 2).values);
}

TEST(SplitFields, StopsAfterMaxFields)
{
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), Split("A|B|C|D", '|', 30, 2).values);
    EXPECT_EQ((std::vector<std::string>{"oemlogo.bmp", "map.exe,C:\\Zelsys,0"}),
              Split("oemlogo.bmp|map.exe,C:\\Zelsys,0", '|', 200, 2).values);
}

TEST(SplitFields, EachFieldKeepsFieldSizeMinusTwoCharacters)
{
    std::string serial40(40, 'S');
    Fields f = Split((serial40 + "|" + std::string(40, 'P')).c_str(), '|', 30, 2);
    EXPECT_EQ(std::string(28, 'S'), f.values[0]);
    EXPECT_EQ(std::string(28, 'P'), f.values[1]);

    EXPECT_EQ((std::vector<std::string>{"", ""}), Split("AB|CD", '|', 2, 2).values);
    EXPECT_EQ((std::vector<std::string>{"A", "C"}), Split("AB|CD", '|', 3, 2).values);
}

TEST(SplitFields, ToleratesDegenerateArguments)
{
    char one[1] = {'Z'};
    SplitFields("abc", '|', one, 1, 1);
    EXPECT_EQ('\0', one[0]);
    char two[2][30];
    SplitFields(nullptr, '|', &two[0][0], 30, 2);
    EXPECT_STREQ("", two[0]);
    EXPECT_STREQ("", two[1]);
    SplitFields("abc", '|', nullptr, 30, 2);
}

TEST(PrefixMatch, ComparesTheShorterLengthWithoutCase)
{
    EXPECT_TRUE(PrefixMatch("612-00340-5", "612-00340-500"));
    EXPECT_TRUE(PrefixMatch("612-00340-500", "612-00340-5"));
    EXPECT_TRUE(PrefixMatch("tarnvello", "TARNVELLO7"));
    EXPECT_TRUE(PrefixMatch("", "anything"));
    EXPECT_TRUE(PrefixMatch("anything", ""));
    EXPECT_FALSE(PrefixMatch("612-00340-002", "612-00340-000"));
    EXPECT_FALSE(PrefixMatch("A1234", "A1235"));
}

TEST(EqualsNoCase, WholeTextsOnly)
{
    EXPECT_TRUE(EqualsNoCase("saved", "SAVED"));
    EXPECT_FALSE(EqualsNoCase("SAVED ", "SAVED"));
    EXPECT_FALSE(EqualsNoCase("SAVE", "SAVED"));
}

TEST(ScanPartNumText, TakesTheFirstWordAndTheThirdAsRevision)
{
    char part[64] = "preset";
    int revision = -1;
    EXPECT_EQ(2, ScanPartNumText("612-00340-000 Rev 1", part, sizeof(part), &revision));
    EXPECT_STREQ("612-00340-000", part);
    EXPECT_EQ(1, revision);

    revision = -1;
    EXPECT_EQ(2, ScanPartNumText("  612-00340-002\tRev\t-3x", part, sizeof(part), &revision));
    EXPECT_STREQ("612-00340-002", part);
    EXPECT_EQ(-3, revision);
}

TEST(ScanPartNumText, LeavesWhatTheTextLacks)
{
    char part[64] = "preset";
    int revision = -1;
    EXPECT_EQ(1, ScanPartNumText("Unknown", part, sizeof(part), &revision));
    EXPECT_STREQ("Unknown", part);
    EXPECT_EQ(-1, revision);

    EXPECT_EQ(1, ScanPartNumText("612 Rev x1", part, sizeof(part), &revision));
    EXPECT_EQ(-1, revision);

    std::strcpy(part, "preset");
    EXPECT_EQ(0, ScanPartNumText(" \t ", part, sizeof(part), &revision));
    EXPECT_STREQ("preset", part);
}

TEST(ScanPartNumText, CutsThePartAndClampsTheRevision)
{
    char part[8];
    int revision = 0;
    EXPECT_EQ(2, ScanPartNumText("612-00340-000 Rev 99999999999999", part, sizeof(part), &revision));
    EXPECT_STREQ("612-003", part);
    EXPECT_EQ(INT_MAX, revision);
    EXPECT_EQ(2, ScanPartNumText("a b -99999999999999", part, sizeof(part), &revision));
    EXPECT_EQ(INT_MIN, revision);
}

TEST(JoinPath, KeepsTheFolderUpToItsLastBackslash)
{
    EXPECT_EQ("E:\\ZelConfig\\SWPartNum.txt", JoinPath("E:\\ZelConfig\\", "SWPartNum.txt"));
    EXPECT_EQ("E:\\ZelConfig\\SWPartNum.txt", JoinPath("E:\\ZelConfig\\", "\\SWPartNum.txt"));
    EXPECT_EQ("E:\\dontDisable.dat", JoinPath("E:", "dontDisable.dat"));
    EXPECT_EQ("E:\\dontDisable.dat", JoinPath("E:\\media", "dontDisable.dat"));
    EXPECT_EQ("\\x", JoinPath("", "x"));
}

TEST(IsValidSerialNum, LengthFourToTenWithoutBarAndNotTheFamilyWord)
{
    const char* valid[] = {"tarx", "A1234", "TARNVELLX", "ABCDEFGHIJ", "TARNVELL0X"};
    for (const char* text : valid) EXPECT_TRUE(IsValidSerialNum(text)) << text;
    const char* invalid[] = {"tarn", "TARN", "tarnvel", "TARNVELLO", "TARNVELLO7", "tarnvelloX",
                             "TARNVELLO77", "abc", "", "ABCDEFGHIJK", "A|12", "|A123", "A123|"};
    for (const char* text : invalid) EXPECT_FALSE(IsValidSerialNum(text)) << text;
    EXPECT_FALSE(IsValidSerialNum(nullptr));
}

TEST(IsSameUnitIdentity, ValidSerialNumbersAreComparedAsWholeTexts)
{
    struct Row {
        const char* savedSerial;
        const char* savedPart;
        int         savedRevision;
        const char* serial;
        bool        same;
    };
    const Row rows[] = {
        {"A1234", "612-00340-800", 0, "A1234", true},
        {"a1234", "612-00340-800", 0, "A1234", true},
        {"A1234", "612-00340-800", 0, "A123", false},   // both valid, one begins the other
        {"A123", "612-00340-800", 0, "A1234", false},
        {"A12", "612-00340-800", 0, "A1234", false},    // an invalid saved serial names no valid unit
        {"", "612-00340-800", 0, "A1234", false},
        {"A1234", "612-00340-800", 0, "A12", true},     // no valid serial of its own: the release decides
        {"A1234", "612-00340-800", 0, "TARNVELLO", true},
        {"A1234", "612-00340-800", 1, "A1234", false},  // another release
        {"A1234", "612-00340-802", 0, "A1234", false},
        {"A1234", "612-00340", 0, "A1234", true},       // part numbers over the shorter length
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.savedSerial) + "|" + row.savedPart + " on " + row.serial);
        EXPECT_EQ(row.same, IsSameUnitIdentity(row.savedSerial, row.savedPart, row.savedRevision, row.serial,
                                               "612-00340-800", 0));
    }
    EXPECT_FALSE(IsSameUnitIdentity(nullptr, "612-00340-800", 0, "A1234", "612-00340-800", 0));
}

TEST(IsLegacyShellPart, FirstNineCharactersExactly)
{
    EXPECT_TRUE(IsLegacyShellPart("612-00288-001"));
    EXPECT_TRUE(IsLegacyShellPart("612-00288"));
    EXPECT_FALSE(IsLegacyShellPart("612-0028"));
    EXPECT_FALSE(IsLegacyShellPart("612-00289-001"));
    EXPECT_FALSE(IsLegacyShellPart("612-00340-000"));
    EXPECT_FALSE(IsLegacyShellPart(""));
    EXPECT_FALSE(IsLegacyShellPart(nullptr));
}

struct SavedIdentity {
    std::string part;
    int         revision;
    std::string serial;
};

SavedIdentity Parse(const char* record)
{
    char part[SAVED_FIELD_OUT_SIZE + 1];
    char serial[SAVED_FIELD_OUT_SIZE + 1];
    std::memset(part, 'Z', sizeof(part));
    std::memset(serial, 'Z', sizeof(serial));
    int revision = 12345;
    ParseSavedPartNum(record, part, &revision, serial, SAVED_FIELD_OUT_SIZE);
    EXPECT_EQ('Z', part[SAVED_FIELD_OUT_SIZE]);
    EXPECT_EQ('Z', serial[SAVED_FIELD_OUT_SIZE]);
    return {part, revision, serial};
}

TEST(ParseSavedPartNum, ReadsTheRecordsOfASave)
{
    SavedIdentity a = Parse("A1234|612-00340-000 Rev 1");
    EXPECT_EQ("A1234", a.serial);
    EXPECT_EQ("612-00340-000", a.part);
    EXPECT_EQ(1, a.revision);

    SavedIdentity b = Parse("|612-00340-002 Rev 0");
    EXPECT_EQ("", b.serial);
    EXPECT_EQ("612-00340-002", b.part);
    EXPECT_EQ(0, b.revision);

    SavedIdentity c = Parse(" | ");
    EXPECT_EQ(" ", c.serial);
    EXPECT_EQ("", c.part);
    EXPECT_EQ(-1, c.revision);

    SavedIdentity d = Parse("B77|Unknown");
    EXPECT_EQ("Unknown", d.part);
    EXPECT_EQ(-1, d.revision);
}

TEST(ParseSavedPartNum, CutsLongFieldsTo28Characters)
{
    std::string record = std::string(40, '7') + "|" + std::string(35, 'P') + " Rev 1";
    SavedIdentity s = Parse(record.c_str());
    EXPECT_EQ(std::string(28, '7'), s.serial);
    EXPECT_EQ(std::string(28, 'P'), s.part);
    EXPECT_EQ(-1, s.revision) << "the revision lay beyond the field's cut";
}

TEST(ParseSavedPartNum, AnyContentGivesADefinedIdentity)
{
    SavedIdentity noBar = Parse("no bar at all in this record");
    EXPECT_EQ("no bar at all in this record", noBar.serial);
    EXPECT_EQ("", noBar.part);
    EXPECT_EQ(-1, noBar.revision);

    SavedIdentity bars = Parse("||||||||");
    EXPECT_EQ("", bars.serial);
    EXPECT_EQ("", bars.part);

    SavedIdentity binary = Parse("\x01\xff\x80|\xfe\xfd 1 2");
    EXPECT_EQ("\x01\xff\x80", binary.serial);
    EXPECT_EQ("\xfe\xfd", binary.part);
    EXPECT_EQ(2, binary.revision);

    std::mt19937 random(4);
    for (int round = 0; round < 2000; ++round) {
        std::string record(random() % 120, '\0');
        for (char& c : record) c = static_cast<char>(random() % 255 + 1);
        if (round % 3 == 0)
            for (size_t i = 0; i < record.size(); i += 1 + random() % 5) record[i] = '|';
        SavedIdentity any = Parse(record.c_str());
        EXPECT_LE(any.serial.size(), 28u);
        EXPECT_LE(any.part.size(), 28u);
    }
}

TEST(ReleasePairTable, ThreeGroupsOfTheSameEightPartsAndTheEndRow)
{
    const char* parts[] = {"612-00340-000", "612-00340-002", "612-00340-100", "612-00340-200",
                           "612-00340-500", "612-00340-502", "612-00340-800", "612-00340-900"};
    const char* labels[] = {"Line A Release 4-knob", "Line A Release 2-knob", "Line B Release",
                            "Line C Release",        "Retrofit Release 4-knob", "Retrofit Release 2-knob",
                            "ZR455 Release",         "ZR655 Release"};
    const int revisions[3][2] = {{0, 0}, {0, 1}, {1, 1}};
    for (int group = 0; group < 3; ++group) {
        for (int i = 0; i < 8; ++i) {
            const ReleasePair& row = ReleasePairTable[group * 8 + i];
            SCOPED_TRACE(group * 8 + i + 1);
            EXPECT_STREQ(parts[i], row.pszSourcePart);
            EXPECT_STREQ(parts[i], row.pszTargetPart);
            EXPECT_STREQ(labels[i], row.pszLabel);
            EXPECT_EQ(revisions[group][0], row.nSourceRevision);
            EXPECT_EQ(revisions[group][1], row.nTargetRevision);
            EXPECT_FALSE(IsReleaseTableEnd(row));
        }
    }
    const ReleasePair& end = ReleasePairTable[24];
    EXPECT_TRUE(IsReleaseTableEnd(end));
    EXPECT_STREQ("END", end.pszLabel);
    EXPECT_STREQ("END", end.pszTargetPart);
    EXPECT_EQ(0, end.nSourceRevision);
    EXPECT_EQ(-2, end.nTargetRevision);
}

TEST(ReleasePairTable, SupportedReleasesMatchByPrefixAndRevision)
{
    EXPECT_TRUE(IsSupportedRelease("612-00340-500", 1));
    EXPECT_TRUE(IsSupportedRelease("612-00340-900", 0));
    EXPECT_TRUE(IsSupportedRelease("612-00340-5", 0));
    EXPECT_FALSE(IsSupportedRelease("612-00340-500", 2));
    EXPECT_FALSE(IsSupportedRelease("612-00340-500", -1));
    EXPECT_FALSE(IsSupportedRelease("Unknown", -1));
    EXPECT_FALSE(IsSupportedRelease("612-00288-001", 0));
    EXPECT_FALSE(IsSupportedRelease("END", 0)) << "the end row is no release";
}

TEST(ReleasePairTable, RestorePairsCompareWholeTexts)
{
    auto allowed = [](const char* savedPart, int savedRevision, const char* part, int revision) {
        for (const ReleasePair* row = ReleasePairTable; !IsReleaseTableEnd(*row); ++row)
            if (IsRestorePairRow(*row, savedPart, savedRevision, part, revision)) return true;
        return false;
    };
    EXPECT_TRUE(allowed("612-00340-002", 0, "612-00340-002", 1));
    EXPECT_TRUE(allowed("612-00340-002", 0, "612-00340-002", 0));
    EXPECT_TRUE(allowed("612-00340-002", 1, "612-00340-002", 1));
    EXPECT_FALSE(allowed("612-00340-002", 1, "612-00340-002", 0));
    EXPECT_FALSE(allowed("612-00340-000", 0, "612-00340-002", 0));
    EXPECT_FALSE(allowed("612-00340-5", 0, "612-00340-5", 0));
    EXPECT_FALSE(allowed("612-00340-500", 0, "612-00340-50", 0));
}

TEST(EligibilityStatusText, TheWindowsTexts)
{
    const char* expected[] = {"", "Invalid source", "Saved files on disk", "Unknown error", "",
                              "Invalid target", "No saved files on disk", "Unknown error", "Disabled unit"};
    for (int code = 0; code <= 8; ++code) EXPECT_STREQ(expected[code], EligibilityStatusText(code)) << code;
    EXPECT_STREQ("", EligibilityStatusText(9));
    EXPECT_STREQ("", EligibilityStatusText(-1));
}

} // namespace

// The unit's state: which step records which text, in which key per family.
TEST(FerroxState, EachStepRecordsItsTextInTheFamilysKey)
{
    struct Row {
        FerroxStep  step;
        const char* text;
    } const rows[] = {
        {FerroxStep::Disable, "SAVED"},
        {FerroxStep::Restore, "RESTORED"},
        {FerroxStep::Undo, "RESTORED-ORIGINAL"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const FerroxState state = FerroxStateAfter(row.step);
        EXPECT_STREQ(row.text, FerroxStateText(state));
        EXPECT_TRUE(FerroxTextIs(row.text, state));
        for (const Row& other : rows) {
            if (other.step != row.step) {
                EXPECT_FALSE(FerroxTextIs(other.text, state)) << other.text;
            }
        }
    }
    EXPECT_STREQ("SystemData", FerroxStateKey(true));
    EXPECT_STREQ("ShellConfig", FerroxStateKey(false));
}

TEST(FerroxState, AStoredTextMatchesWithoutRegardToCaseButWhole)
{
    EXPECT_TRUE(FerroxTextIs("saved", FerroxState::Saved));
    EXPECT_TRUE(FerroxTextIs("Restored-Original", FerroxState::RestoredOriginal));
    EXPECT_FALSE(FerroxTextIs("RESTORED-ORIGINAL", FerroxState::Restored));
    EXPECT_FALSE(FerroxTextIs("SAVED ", FerroxState::Saved));
    EXPECT_FALSE(FerroxTextIs(nullptr, FerroxState::Saved));
}

TEST(CopyText, NeverWritesPastTheBufferAndReportsACut)
{
    struct Row {
        size_t      size;
        const char* src;
        const char* copied;
        bool        whole;
    } const rows[] = {
        {5, "abcd", "abcd", true}, {5, "abcde", "abcd", false}, {1, "a", "", false},
        {1, "", "", true},         {4, nullptr, "", true},      {8, "ab", "ab", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.src ? row.src : "(null)") + " into " + std::to_string(row.size));
        char buffer[16];
        std::memset(buffer, 'Z', sizeof(buffer));
        EXPECT_EQ(row.whole, CopyText(buffer, row.size, row.src));
        EXPECT_STREQ(row.copied, buffer);
        for (size_t i = row.size; i < sizeof(buffer); ++i) EXPECT_EQ('Z', buffer[i]) << "wrote at " << i;
    }
    char untouched = 'Z';
    EXPECT_FALSE(CopyText(&untouched, 0, "a"));
    EXPECT_EQ('Z', untouched);
}
