// The import's rules shared by the restore and the media inspector, and the
// disabling record's reading: plain bytes, natively and under Wine.
#include "DisableRecord.h"
#include "RestoreOutcome.h"
#include "SavedKeyImport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Writes down what the walk hands over, one text per call.
class CTranscript : public CSavedKeyVisitor {
public:
    explicit CTranscript(const char* stopAfter = nullptr) : m_pszStopAfter(stopAfter) {}
    void OnRefusedLine(ParseOutcome outcome, const char* line) override
    {
        calls.push_back("refused " + std::to_string(outcome) + " " + line);
    }
    void OnFilteredOut(const char* name, const char* type, const char* text) override
    {
        calls.push_back(std::string("kept ") + name + " " + type + " " + text);
    }
    void OnValue(const ImportValue& value) override
    {
        calls.push_back(std::string("value ") + value.pszName + " " + std::to_string(value.kind) + " " +
                        value.pszText + " " + std::to_string(value.dwNumber));
        m_bStop = m_pszStopAfter && std::string(value.pszName) == m_pszStopAfter;
    }
    bool Done() const override { return m_bStop; }

    std::vector<std::string> calls;

private:
    const char* m_pszStopAfter;
    bool        m_bStop = false;
};

std::vector<std::string> Walk(std::string text, const ValueFilterItem* filter = nullptr, uint32_t count = 0,
                              const char* stopAfter = nullptr)
{
    CTranscript transcript(stopAfter);
    WalkSavedKeyFile(&text[0], text.size(), filter, count, transcript);
    return transcript.calls;
}

std::string Word(const std::string& bytes, size_t chunk, bool* cut = nullptr)
{
    CRecordWordReader reader;
    for (size_t at = 0; at < bytes.size(); at += chunk)
        if (!reader.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at))) break;
    if (cut) *cut = reader.WasCut();
    return reader.Word();
}

} // namespace

TEST(WalkSavedKeyFile, HandsOverEachLineByKindUntilTheCrcLine)
{
    EXPECT_EQ((std::vector<std::string>{"value On 0 1 1", "value Big 1 -1 4294967295", "value S 2 a b 0",
                                        "value F 3 1.5 0", "refused 1 junk"}),
              Walk("\"On\"=bool:1\r\n\"Big\"=dword:-1\r\n\"S\"=string:\"a b\"\r\n\"F\"=float:1.5\r\njunk\r\n"
                   "CRC:1\r\n\"After\"=dword:2\r\n"));
    EXPECT_EQ((std::vector<std::string>{"value Neg 0 -3 4294967293"}), Walk("\"Neg\"=bool:-3\r\n"));
}

TEST(WalkSavedKeyFile, AFilterPassesOnlyItsNamesExactlyAndReportsTheRest)
{
    EXPECT_EQ((std::vector<std::string>{"kept knoblevels dword 9", "value KnobLevels 1 2 2", "kept Owner string x"}),
              Walk("\"knoblevels\"=dword:9\r\n\"KnobLevels\"=dword:2\r\n\"Owner\"=string:\"x\"\r\n",
                   ShellValueFilter, SHELL_FILTER_COUNT));
    EXPECT_EQ(2u, Walk("\"A\"=dword:1\r\n\"B\"=dword:1\r\n", ShellValueFilter, 0).size()) << "count 0: no filter";
}

TEST(WalkSavedKeyFile, StopsWhenTheVisitorIsDone)
{
    EXPECT_EQ((std::vector<std::string>{"value A 2 x 0"}),
              Walk("\"A\"=string:\"x\"\r\nbad\r\n\"B\"=string:\"y\"\r\n", nullptr, 0, "A"));
}

TEST(SavedKeyName, IsTheFileNameUpToItsFirstPeriod)
{
    struct Row {
        const char* file;
        bool        ok;
        const char* key;
    } rows[] = {
        {"ShellConfig.pri", true, "ShellConfig"},
        {"Aldren 210 Info.pri", true, "Aldren 210 Info"},
        {"a.b.pri", true, "a"},
        {".pri", true, ""},
        {"Config", false, ""},
        {nullptr, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file ? row.file : "(null)");
        char key[32] = "untouched";
        EXPECT_EQ(row.ok, SavedKeyName(row.file, key, sizeof(key)));
        EXPECT_STREQ(row.key, key);
    }
    char tiny[7];
    EXPECT_TRUE(SavedKeyName("Fits.pri", tiny, sizeof(tiny)));
    EXPECT_FALSE(SavedKeyName("Longer.pri", tiny, sizeof(tiny))) << "a key that does not fit is refused, not cut";
    EXPECT_STREQ("", tiny);
}

TEST(RestoreSteps, OptionConfigurationsFirstThenEveryRow)
{
    std::vector<RestoreStep> steps = RestoreSteps();
    ASSERT_EQ(14u + SAVED_FILE_COUNT, steps.size());
    for (size_t i = 0; i < 14; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(&SavedFileCatalogue[45 + i], steps[i].pEntry);
        EXPECT_TRUE(steps[i].bFirstPass);
        EXPECT_EQ(i == 0, steps[i].bStepProgress) << "the first pass steps the bar once";
    }
    for (size_t i = 0; i < SAVED_FILE_COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(&SavedFileCatalogue[i], steps[14 + i].pEntry);
        EXPECT_FALSE(steps[14 + i].bFirstPass);
        EXPECT_TRUE(steps[14 + i].bStepProgress);
    }
}

TEST(NeedsDatalinkFixUp, OnlyTheClientKeyOfALegacySave)
{
    EXPECT_TRUE(NeedsDatalinkFixUp("DatalinkPersist", "Client", "612-00288-001"));
    EXPECT_TRUE(NeedsDatalinkFixUp("datalinkpersist", "client", "612-00288"));
    EXPECT_FALSE(NeedsDatalinkFixUp("DatalinkPersist", "Client", "612-00340-800"));
    EXPECT_FALSE(NeedsDatalinkFixUp("DatalinkPersist", "XMClient", "612-00288-001"));
    EXPECT_FALSE(NeedsDatalinkFixUp("DatalinkPersist", "Client", ""));
}

TEST(DisableRecord, OneWordReadInAnyPiecesAndCutAfter199Characters)
{
    for (size_t chunk : {1u, 3u, 256u}) {
        SCOPED_TRACE(chunk);
        bool cut = true;
        EXPECT_EQ("C:\\a.bmp|D:\\m.exe,C:\\Zelsys,0", Word("\r\n  C:\\a.bmp|D:\\m.exe,C:\\Zelsys,0 tail", chunk, &cut));
        EXPECT_FALSE(cut);
        EXPECT_EQ(std::string(199, 'x'), Word(std::string(199, 'x') + " ", chunk, &cut));
        EXPECT_FALSE(cut);
        EXPECT_EQ(std::string(199, 'x'), Word(std::string(250, 'x'), chunk, &cut));
        EXPECT_TRUE(cut);
        EXPECT_EQ("", Word(" \t\r\n", chunk, &cut));
    }
}

TEST(DisableRecord, SplitsIntoPictureAndMapOf198CharactersEach)
{
    DisableRecordFields fields;
    SplitDisableRecord("C:\\Zelsys\\Splash.bmp|C:\\Zelsys\\Map.exe,C:\\Zelsys,0|extra", &fields);
    EXPECT_STREQ("C:\\Zelsys\\Splash.bmp", fields.szPicture);
    EXPECT_STREQ("C:\\Zelsys\\Map.exe,C:\\Zelsys,0", fields.szMap);
    SplitDisableRecord("|only-map", &fields);
    EXPECT_STREQ("", fields.szPicture);
    EXPECT_STREQ("only-map", fields.szMap);
    SplitDisableRecord(std::string(199, 'p'), &fields);
    EXPECT_EQ(std::string(198, 'p'), fields.szPicture);
    EXPECT_STREQ("", fields.szMap);
}

TEST(RestoreOutcome, FinishedOnlyWithNothingFailedAndTheTextNamesWhatFailed)
{
    const char kTail[] = ".\nThe save stays on the removable media; press Confirm to try again.";
    struct Row {
        RestoreOutcome outcome;
        const char*    what;   // nullptr: finished, no text
    };
    RestoreOutcome files;
    files.nFilesNotTaken = 3;
    RestoreOutcome one;
    one.nFilesNotTaken = 1;
    one.bAddressBookFailed = true;
    RestoreOutcome rest;
    rest.bKnobLayoutFailed = rest.bStartupFailed = rest.bUndoFailed = rest.bStateFailed = true;
    RestoreOutcome proof;
    proof.bProofFailed = true;
    RestoreOutcome media;
    media.bMediaNotCleared = true;
    RestoreOutcome unreadable;
    unreadable.bMediaUnreadable = true;
    unreadable.nFilesNotTaken = 2;
    const Row rows[] = {
        {RestoreOutcome(), nullptr},
        {files, "3 saved files not taken"},
        {one, "1 saved file not taken, address book not written"},
        {rest, "knob layout not written, startup application not written, unit settings not put back, unit state "
               "not recorded"},
        {proof, "undo record not written on the unit, nothing undone"},
        {media, "removable media not cleared"},
        {unreadable, "removable media not readable, 2 saved files not taken"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what ? row.what : "finished");
        EXPECT_EQ(row.what == nullptr, row.outcome.Finished());
        EXPECT_EQ(row.what ? std::string("Restore not finished: ") + row.what + kTail : std::string(),
                  RestoreFailureText(row.outcome));
    }
}

TEST(ReadSavedFileText, ALargerFileThanAnyKeyIsNotRead)
{
    const std::string path = testing::TempDir() + "saved-size.pri";
    for (size_t size : {SAVED_FILE_MAX_BYTES, SAVED_FILE_MAX_BYTES + 1}) {
        SCOPED_TRACE(size);
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        std::string bytes(size, 'x');
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        SavedFileText text;
        long found = -1;
        EXPECT_EQ(size > SAVED_FILE_MAX_BYTES ? SAVED_READ_TOO_LARGE : SAVED_READ_OK,
                  ReadSavedFileText(path.c_str(), &text, &found));
        EXPECT_EQ(static_cast<long>(size), found);
    }
    std::remove(path.c_str());
}
