// Naming the program that wrote a save from the run log on the media.
#include "MediaFolder.h"
#include "MediaInspection.h"
#include "ReportOutput.h"
#include "SaveWriter.h"

#include <gtest/gtest.h>

namespace {

// Lines as the run log writes them: stamp, label, colon, message.
std::string Banner(const char* program, const char* at = "2026/12/08 00:58:30")
{
    return std::string("\r\n\r\n") + at + " : ======Start New Log '" + program + "'======\r\n";
}
std::string Version(const char* text) { return std::string("2026/12/08 00:58:30 : Save And Restore sw part number ") + text + "\r\n"; }
std::string Copy(const char* at) { return std::string(at) + " : SaveConfig: Copying D:\\Data\\a.pri to E:\\ZelConfig\\Persist\\a.pri\r\n"; }
const std::string kSaved = "2026/12/08 00:58:34 EVENT: Configuration Saved\r\n";
const std::string kOpened = "2026/12/08 00:58:30 EVENT: Ready to Restore Configuration\r\n";

} // namespace

TEST(FindSaveWriter, TheRunOfTheLastSaveAndTheVersionItLogged)
{
    struct Row {
        const char* name;
        std::string log;
        bool        found;
        const char* program;   // nullptr: no banner
        const char* version;   // nullptr: none logged
        const char* stamp;
    } rows[] = {
        {"empty log", "", false, nullptr, nullptr, ""},
        {"runs without a save", Banner("E:\\T.exe") + Version("V1") + kOpened, false, nullptr, nullptr, ""},
        {"one save", Banner("E:\\T.exe") + Version("V1") + Copy("2026/12/08 00:58:32") + Copy("2026/12/08 00:58:33") + kSaved,
         true, "E:\\T.exe", "V1", "2026/12/08 00:58:33"},
        {"a later run that only looked at the stick",
         Banner("E:\\Old.exe") + Version("V1") + Copy("2026/12/08 00:58:32") + Banner("E:\\New.exe") + Version("V2") + kOpened,
         true, "E:\\Old.exe", "V1", "2026/12/08 00:58:32"},
        {"the later of two saves",
         Banner("E:\\Old.exe") + Version("V1") + Copy("2026/12/08 00:58:32") + Banner("E:\\New.exe") + Version("V2") +
             Copy("2026/12/09 10:00:00"),
         true, "E:\\New.exe", "V2", "2026/12/09 10:00:00"},
        {"a saving run that logged no version does not borrow the run before",
         Banner("E:\\T.exe") + Version("V1") + kOpened + Banner("E:\\driver.exe") + Copy("2026/12/08 00:58:32"),
         true, "E:\\driver.exe", nullptr, "2026/12/08 00:58:32"},
        {"the log read from inside a run", Version("V1") + Copy("2026/12/08 00:58:32"), true, nullptr, "V1",
         "2026/12/08 00:58:32"},
        {"line feeds alone", "2026/12/08 00:58:30 : ======Start New Log 'E:\\T.exe'======\n"
                             "2026/12/08 00:58:30 : Save And Restore sw part number V1\n"
                             "2026/12/08 00:58:31 : SaveConfig: Copying a to b\n",
         true, "E:\\T.exe", "V1", "2026/12/08 00:58:31"},
        {"the texts count only as a line's message",
         Banner("E:\\T.exe") + "SaveConfig: Copying a to b\r\n" + "2026/12/08 00:58:31 : x SaveConfig: Copying a to b\r\n",
         false, nullptr, nullptr, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SaveWriter writer = FindSaveWriter(row.log);
        EXPECT_EQ(row.found, writer.bFound);
        EXPECT_EQ(row.program != nullptr, writer.bBanner);
        EXPECT_EQ(row.program ? row.program : "", writer.program);
        EXPECT_EQ(row.version != nullptr, writer.bVersion);
        EXPECT_EQ(row.version ? row.version : "", writer.version);
        EXPECT_EQ(row.stamp, writer.stamp);
    }
}

TEST(InspectMedia, NamesTheWriterOfASave)
{
    CMediaFolder folder;
    folder.CompleteSave();
    std::string text = MediaReportText(InspectMedia(folder.Media(), "E:\\"));
    EXPECT_NE(std::string::npos, text.find("Written by  unknown: no run log on the media\n")) << text;

    const std::string log = "media/ZelData/VURLog/CsrLog.txt";
    folder.Write(log, Banner("E:\\T.exe") + Version("618-00150-000 Rev 01 (Build 2)") + Copy("2026/12/08 00:58:33"));
    MediaReport report = InspectMedia(folder.Media(), "E:\\");
    EXPECT_EQ(VERDICT_COMPLETE, report.verdict) << "the log decides nothing about the save";
    text = MediaReportText(report);
    EXPECT_NE(std::string::npos, text.find("Written by  \"618-00150-000 Rev 01 (Build 2)\"\n"
                                           "  program          E:\\T.exe\n"
                                           "  last copy        2026/12/08 00:58:33 UTC\n"))
        << text;
    EXPECT_NE(std::string::npos, ReportJson(report, nullptr).find("\"version\": \"618-00150-000 Rev 01 (Build 2)\""));

    folder.Remove("media/ZelConfig/CorvaneUserRegistry.reg");
    text = MediaReportText(InspectMedia(folder.Media(), "E:\\"));
    EXPECT_EQ(std::string::npos, text.find("Written by")) << "no save, no writer\n" << text;
}

TEST(ReadFileTail, ALongLogIsReadFromItsLastWholeLines)
{
    CMediaFolder folder;
    folder.Write("media/log.txt", "first line\nsecond\nthird\n");
    std::string bytes;
    EXPECT_EQ(FILE_READ_OK, ReadFileTail(folder.Media() / "log.txt", 100, &bytes));
    EXPECT_EQ("first line\nsecond\nthird\n", bytes);
    EXPECT_EQ(FILE_READ_OK, ReadFileTail(folder.Media() / "log.txt", 10, &bytes));
    EXPECT_EQ("third\n", bytes) << "the cut line is dropped";
    EXPECT_EQ(FILE_MISSING, ReadFileTail(folder.Media() / "none.txt", 10, &bytes));
}
