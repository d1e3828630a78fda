// The inspector's pass over a media folder: identity, hive and checksum file,
// catalogue rows, what does not belong, and the verdict.
#include "ChkFile.h"
#include "MediaFolder.h"
#include "MediaInspection.h"
#include "ReportOutput.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const RowFinding& Row(const MediaReport& report, const char* mediaName)
{
    for (const RowFinding& row : report.rows)
        if (std::string(row.pEntry->pszMediaName) == mediaName) return row;
    static RowFinding none;
    ADD_FAILURE() << "no row " << mediaName;
    return none;
}

bool Has(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

} // namespace

TEST(ParseChkText, OnlyTheSavesOwnFormIsWellFormed)
{
    struct Row {
        std::string bytes;
        ChkOutcome  outcome;
        uint32_t    crc;
    } rows[] = {
        {"12345\n", CHK_OK, 12345u},
        {"-1\n", CHK_OK, 0xFFFFFFFFu},
        {"-2147483648\n", CHK_OK, 0x80000000u},
        {"2147483647\n", CHK_OK, 0x7FFFFFFFu},
        {"2147483648\n", CHK_OUT_OF_RANGE, 0},
        {"4294967295\n", CHK_OUT_OF_RANGE, 0},
        {"99999999999999999999\n", CHK_OUT_OF_RANGE, 0},
        {"007\n", CHK_OUT_OF_RANGE, 0},
        {"-0\n", CHK_OUT_OF_RANGE, 0},
        {"0\n", CHK_OK, 0},
        {"", CHK_EMPTY, 0},
        {"\n", CHK_NOT_A_NUMBER, 0},
        {"+5\n", CHK_NOT_A_NUMBER, 0},
        {" 5\n", CHK_NOT_A_NUMBER, 0},
        {"12\r\n", CHK_BAD_ENDING, 12u},
        {"12", CHK_BAD_ENDING, 12u},
        {"12\n\n", CHK_BAD_ENDING, 12u},
        {std::string("12\n\0", 4), CHK_BAD_ENDING, 12u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("\"" + row.bytes + "\"");
        uint32_t crc = 77;
        EXPECT_EQ(row.outcome, ParseChkText(row.bytes.data(), row.bytes.size(), &crc));
        EXPECT_EQ(row.crc, crc);
    }
}

TEST(InspectMedia, ACompleteSave)
{
    CMediaFolder folder;
    folder.CompleteSave();
    MediaReport report = InspectMedia(folder.Media(), "E:\\");
    EXPECT_EQ(VERDICT_COMPLETE, report.verdict);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ("A1234", report.identity.serial);
    EXPECT_TRUE(report.identity.bSerialValid);
    EXPECT_EQ("612-00340-800", report.identity.part);
    EXPECT_EQ(0, report.identity.nRevision);
    EXPECT_EQ((std::vector<size_t>{6, 14}), report.identity.acceptingRows) << "onto Rev 0 and Rev 1 of its part";
    EXPECT_TRUE(report.hive.ChkMatches());
    EXPECT_EQ(4u, report.PresentRows());
    const RowFinding& shell = Row(report, "ShellPersist-ShellConfig.pri");
    EXPECT_EQ(ROW_VALID, shell.state);
    EXPECT_EQ(3u, shell.nValues);
    EXPECT_EQ(2u, shell.nTaken) << "the shell filter takes KnobLevels and ExternalVideo";
    EXPECT_EQ(ROW_ABSENT, Row(report, "LightningPersist-WX500Config.pri").state) << "a unit may lack a file";
    EXPECT_TRUE(report.bAddressBook);
    EXPECT_TRUE(report.unknown.empty());
    EXPECT_TRUE(report.stale.empty());
    EXPECT_EQ(0, VerdictExitCode(report.verdict));
}

TEST(InspectMedia, WhatMakesASaveIncomplete)
{
    struct Case {
        const char* what;
        void (*damage)(const CMediaFolder&);
        const char* problem;
    } cases[] = {
        {"interrupted before the identity record",
         [](const CMediaFolder& f) { f.Remove("media/ZelConfig/SWPartNum.txt"); }, "SWPartNum.txt missing"},
        {"identity record empty", [](const CMediaFolder& f) { f.Write("media/ZelConfig/SWPartNum.txt", ""); },
         "SWPartNum.txt empty"},
        {"no checksum file", [](const CMediaFolder& f) { f.Remove("media/ZelConfig/CorvaneUserRegistry.chk"); },
         "CorvaneUserRegistry.chk missing"},
        {"hive changed", [](const CMediaFolder& f) { f.Write("media/ZelConfig/CorvaneUserRegistry.reg", "other"); },
         "CorvaneUserRegistry.reg does not match its checksum"},
        {"checksum file garbled", [](const CMediaFolder& f) { f.Write("media/ZelConfig/CorvaneUserRegistry.chk", "x"); },
         "CorvaneUserRegistry.chk holds no number"},
        {"key file corrupted",
         [](const CMediaFolder& f) {
             f.Write("media/ZelConfig/Persist/DatalinkPersist-Client.pri", "\"Revision\"=dword:7\r\nCRC:1\r\n");
         },
         "DatalinkPersist-Client.pri fails the store's check"},
        {"key file cut short",
         [](const CMediaFolder& f) {
             f.Write("media/ZelConfig/Persist/ShellPersist-ShellConfig.pri", "\"ExternalVideo\"=bool:1\r\n\"Kno");
         },
         "ShellPersist-ShellConfig.pri fails the store's check"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CMediaFolder folder;
        folder.CompleteSave();
        c.damage(folder);
        MediaReport report = InspectMedia(folder.Media(), "media");
        EXPECT_EQ(VERDICT_INCOMPLETE, report.verdict);
        EXPECT_EQ((std::vector<std::string>{c.problem}), report.problems);
        EXPECT_EQ(1, VerdictExitCode(report.verdict));
    }
}

TEST(InspectMedia, WithoutTheHiveThereIsNoSaveAndTheRestIsLeftOver)
{
    CMediaFolder folder;
    folder.CompleteSave();
    folder.Remove("media/ZelConfig/CorvaneUserRegistry.reg");
    folder.Write("media/ZIPPATH/.keep", "");
    folder.Remove("media/ZIPPATH/.keep");
    MediaReport report = InspectMedia(folder.Media(), "media");
    EXPECT_EQ(VERDICT_NO_SAVE, report.verdict);
    EXPECT_TRUE(Has(report.stale, "ZelConfig\\Persist\\ShellPersist-ShellConfig.pri"));
    EXPECT_TRUE(Has(report.stale, "ZelConfig\\SWPartNum.txt"));
    EXPECT_TRUE(Has(report.stale, "ZIPPATH\\")) << "the write probe of an interrupted save";
    EXPECT_EQ(1, VerdictExitCode(report.verdict));
}

TEST(InspectMedia, FilesOutsideTheLayoutAreNamedButDoNotSpoilTheSave)
{
    CMediaFolder folder;
    folder.CompleteSave();
    folder.Write("media/ZelConfig/notes.txt", "hello");
    folder.Write("media/ZelConfig/Persist/EnginePersist-Garrick Info.pri", "old name");
    folder.Write("media/ZelConfig/Old/x.pri", "");
    folder.Write("media/dontDisable.dat", "");
    MediaReport report = InspectMedia(folder.Media(), "media");
    EXPECT_EQ(VERDICT_COMPLETE, report.verdict);
    EXPECT_EQ((std::vector<std::string>{"ZelConfig\\Old\\x.pri", "ZelConfig\\Persist\\EnginePersist-Garrick Info.pri",
                                        "ZelConfig\\notes.txt"}),
              report.unknown);
    ASSERT_EQ(1u, report.rootFiles.size());
    EXPECT_NE(std::string::npos, MediaReportText(report).find("dontDisable.dat: a save leaves the source unit enabled"));
}

TEST(InspectMedia, AnIdentityNoReleaseTakesIsWarnedAbout)
{
    struct Row {
        const char* record;
        const char* serial;
        const char* part;
        int         revision;
        size_t      targets;
    } rows[] = {
        {"A1234|612-00340-800 Rev 1", "A1234", "612-00340-800", 1, 1},
        {"|612-00340-002 Rev 0", "", "612-00340-002", 0, 2},
        {"A1234|Unknown", "A1234", "Unknown", -1, 0},
        {"A1234|612-00340-8 Rev 0", "A1234", "612-00340-8", 0, 0},
        {"0123456789012345678901234567890123456789|612-00340-000 Rev 0", "0123456789012345678901234567", "612-00340-000", 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record);
        IdentityFinding identity = ParseIdentityRecord(row.record);
        EXPECT_EQ(row.serial, identity.serial);
        EXPECT_EQ(row.part, identity.part);
        EXPECT_EQ(row.revision, identity.nRevision);
        EXPECT_EQ(row.targets, identity.acceptingRows.size());
    }
    CMediaFolder folder;
    folder.CompleteSave();
    folder.Write("media/ZelConfig/SWPartNum.txt", "A1234|Unknown");
    MediaReport report = InspectMedia(folder.Media(), "media");
    EXPECT_EQ(VERDICT_COMPLETE, report.verdict) << "the save itself is whole";
    EXPECT_EQ(1u, report.warnings.size());
}

TEST(InspectSavedKey, CountsWhatTheImportReads)
{
    RowFinding row;
    row.pEntry = &SavedFileCatalogue[42];   // ShellConfig, with the shell filter
    InspectSavedKey(CMediaFolder::KeyFile("\"KnobLevels\"=dword:2\r\n\"X\"=float:1\r\nbad\r\n\"Owner\"=string:\"a\"\r\n"),
                    &row);
    EXPECT_EQ(ROW_VALID, row.state);
    EXPECT_EQ(3u, row.nValues);
    EXPECT_EQ(1u, row.nTaken);
    EXPECT_EQ(1u, row.nRefusedLines);
    EXPECT_EQ(0u, row.nBadTypes) << "the filter leaves X out before its type matters";
}

TEST(Report, MediaBytesReachNeitherTerminalNorJsonRaw)
{
    CMediaFolder folder;
    folder.CompleteSave();
    const char record[] = "A\x1b[2J|\"612\\\x01\xe9 Rev 0";
    folder.Write("media/ZelConfig/SWPartNum.txt", std::string(record, sizeof(record) - 1));
    MediaReport report = InspectMedia(folder.Media(), "media");
    std::string text = MediaReportText(report);
    EXPECT_EQ(std::string::npos, text.find('\x1b'));
    EXPECT_NE(std::string::npos, text.find("A\\x1B[2J|\"612\\\\x01\\xE9 Rev 0")) << text;
    std::string json = ReportJson(report, nullptr);
    EXPECT_NE(std::string::npos, json.find("\"record\": \"A\\u001B[2J|\\\"612\\\\\\u0001\\u00E9 Rev 0\""));
    for (unsigned char c : json) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
}
